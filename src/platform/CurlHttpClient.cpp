#include "platform/CurlHttpClient.h"

#include "common/ByteFile.h"
#include "online/MultipartForm.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QPair>
#include <QUrl>

#include <curl/curl.h>

namespace {

constexpr int MaxRequestsPerCall = 15;
constexpr int PollMs = 50;
const QByteArray AcceptLine = QByteArrayLiteral("Accept: text/html, */*");
const QByteArray UserAgentLine = QByteArrayLiteral("User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)");

struct TEasyDeleter
{
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct TMultiDeleter
{
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct TSlistDeleter
{
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct TUrlDeleter
{
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct TCurlFree
{
    void operator()(char* p) const { curl_free(p); }
};
using TEasyPtr = std::unique_ptr<CURL, TEasyDeleter>;
using TMultiPtr = std::unique_ptr<CURLM, TMultiDeleter>;
using TSlistPtr = std::unique_ptr<curl_slist, TSlistDeleter>;
using TUrlPtr = std::unique_ptr<CURLU, TUrlDeleter>;
using TCurlString = std::unique_ptr<char, TCurlFree>;

void SetError(QString* error, const QString& text)
{
    if (error) *error = text;
}

QString CurlText(const char* text)
{
    return QString::fromLocal8Bit(text);
}

bool GlobalInit(QString* error)
{
    static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) {
        SetError(error, CurlText(curl_easy_strerror(rc)));
        return false;
    }
    return true;
}

bool Append(TSlistPtr& list, const QByteArray& line)
{
    curl_slist* head = curl_slist_append(list.get(), line.constData());
    if (!head) return false;
    if (!list) list.reset(head);
    return true;
}

} // namespace

// Qt's cookie rules (domain and host matching, path, Secure, expiry), with two changes: a
// renewed cookie keeps its place, as its creation time is kept, and the jar has a bound.
class TCookieJar : public QNetworkCookieJar
{
public:
    static constexpr int kMaxCookies = 300;
    static constexpr int kMaxCookieBytes = 4096;

    void Store(const QByteArray& setCookieValue, const QUrl& url)
    {
        QList<QNetworkCookie> kept;
        for (const QNetworkCookie& cookie : QNetworkCookie::parseCookies(setCookieValue)) {
            const QByteArray pair = cookie.name() + '=' + cookie.value();
            // A value that would break the request's header lines is never sent back.
            if (pair.contains('\0') || pair.contains('\r') || pair.contains('\n') || pair.size() > kMaxCookieBytes)
                continue;
            kept << cookie;
        }
        if (!kept.isEmpty()) setCookiesFromUrl(kept, url);
    }

    QByteArray Line(const QUrl& url) const
    {
        QByteArray line;
        for (const QNetworkCookie& cookie : cookiesForUrl(url)) {
            line += line.isEmpty() ? "Cookie: " : "; ";
            line += cookie.name() + '=' + cookie.value();
        }
        return line;
    }

protected:
    bool insertCookie(const QNetworkCookie& cookie) override
    {
        QList<QNetworkCookie> cookies = allCookies();
        const bool expired = !cookie.isSessionCookie() && cookie.expirationDate() < QDateTime::currentDateTimeUtc();
        for (qsizetype i = 0; i < cookies.size(); ++i) {
            if (!cookies[i].hasSameIdentifier(cookie)) continue;
            if (expired)
                cookies.removeAt(i);
            else
                cookies[i] = cookie;
            setAllCookies(cookies);
            return !expired;
        }
        if (expired || cookies.size() >= kMaxCookies) return false;
        cookies << cookie;
        setAllCookies(cookies);
        return true;
    }
};

struct TCurlHttpClient::TState
{
    TEasyPtr easy;
    TMultiPtr multi;
    TCookieJar cookies;
    long connectTimeoutMs = 0;
    bool busy = false;
    bool destroyed = false;
    bool disconnectRequested = false;

    void CloseConnections()
    {
        easy.reset();
        multi.reset();
    }
};

namespace {

using TState = TCurlHttpClient::TState;

struct TRequest
{
    bool post = false;
    QByteArray contentType;
    QByteArray body;
    QIODevice* device = nullptr; // GET only
    qint64 maxReply = 0;         // body bytes one reply may bring, kept or not
};

// Why a callback stopped the transfer.
enum class TStop {
    None,
    TooLarge,
    DeviceFailed,
    Exception,
};

// What the callbacks of one transfer see; lives on the stack of PerformOne.
struct TTransfer
{
    CURL* easy = nullptr;
    TState* state = nullptr;
    QUrl url; // of this request, for the cookies its reply sets
    QIODevice* device = nullptr;
    QByteArray* buffer = nullptr;
    qint64 maxReply = 0;
    qint64 received = 0;
    bool statusKnown = false;
    bool keepBody = false;
    TStop stop = TStop::None;
    QString writeError;
};

size_t TakeHeader(TTransfer& transfer, const char* data, size_t length)
{
    const QByteArray line(data, static_cast<qsizetype>(length));
    static const QByteArray setCookie = QByteArrayLiteral("set-cookie:");
    if (line.size() > setCookie.size() && line.left(setCookie.size()).toLower() == setCookie)
        transfer.state->cookies.Store(line.mid(setCookie.size()).trimmed(), transfer.url);
    return length;
}

size_t TakeBody(TTransfer& transfer, const char* data, size_t length)
{
    // Every body counts, kept or not: an endless redirect page must stop too.
    transfer.received += static_cast<qint64>(length);
    if (transfer.received > transfer.maxReply) {
        transfer.stop = TStop::TooLarge;
        return 0;
    }
    // Headers are complete by the first body byte, so the status decides where the body goes;
    // bodies of redirects and errors never reach the caller.
    if (!transfer.statusKnown) {
        long status = 0;
        if (curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return 0;
        transfer.keepBody = status >= 200 && status < 300;
        transfer.statusKnown = true;
    }
    if (!transfer.keepBody) return length;
    if (transfer.device) {
        const qint64 written = transfer.device->write(data, static_cast<qint64>(length));
        if (written != static_cast<qint64>(length)) {
            transfer.stop = TStop::DeviceFailed;
            transfer.writeError = QStringLiteral("Cannot write the download: %1").arg(transfer.device->errorString());
            return 0;
        }
    } else if (transfer.buffer) {
        transfer.buffer->append(data, static_cast<qsizetype>(length));
    }
    return length;
}

// libcurl is C: an exception must not unwind through it, so the callbacks catch everything
// (an append out of memory, a device that throws) and stop the transfer instead.
size_t OnHeader(char* data, size_t size, size_t count, void* user) noexcept
{
    auto* transfer = static_cast<TTransfer*>(user);
    try {
        return TakeHeader(*transfer, data, size * count);
    } catch (...) {
        transfer->stop = TStop::Exception;
        return 0;
    }
}

size_t OnBody(char* data, size_t size, size_t count, void* user) noexcept
{
    auto* transfer = static_cast<TTransfer*>(user);
    try {
        return TakeBody(*transfer, data, size * count);
    } catch (...) {
        transfer->stop = TStop::Exception;
        return 0;
    }
}

QString TooLargeText(qint64 maxReply)
{
    return QStringLiteral("The reply is larger than %1").arg(ByteFile::SizeText(maxReply));
}

bool HostHeader(const QByteArray& url, QByteArray* line, QString* error)
{
    TUrlPtr parsed(curl_url());
    if (!parsed) {
        SetError(error, CurlText(curl_easy_strerror(CURLE_OUT_OF_MEMORY)));
        return false;
    }
    CURLUcode rc = curl_url_set(parsed.get(), CURLUPART_URL, url.constData(), 0);
    char* host = nullptr;
    if (rc == CURLUE_OK) rc = curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0);
    const TCurlString hostText(host);
    char* port = nullptr;
    if (rc == CURLUE_OK) rc = curl_url_get(parsed.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT);
    const TCurlString portText(port);
    if (rc != CURLUE_OK) {
        SetError(
            error,
            QStringLiteral("Bad address \"%1\": %2").arg(QString::fromLatin1(url), CurlText(curl_url_strerror(rc))));
        return false;
    }
    *line = QByteArrayLiteral("Host: ") + hostText.get();
    if (qstrcmp(portText.get(), "80") != 0) *line += ':' + QByteArray(portText.get());
    return true;
}

// Keeps the easy handle on the multi handle for one transfer and leaves it with no pointers
// into our stack, whatever way the transfer ends.
class TAttached
{
public:
    TAttached(CURLM* multi, CURL* easy) : m_multi(multi), m_easy(easy) { m_rc = curl_multi_add_handle(multi, easy); }
    ~TAttached()
    {
        if (m_rc == CURLM_OK) curl_multi_remove_handle(m_multi, m_easy);
        curl_easy_reset(m_easy);
    }
    TAttached(const TAttached&) = delete;
    TAttached& operator=(const TAttached&) = delete;
    CURLMcode Result() const { return m_rc; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    CURLMcode m_rc;
};

// One request and its reply, no redirects. True when a complete reply arrived, whatever its
// status.
bool PerformOne(TState& state, const QByteArray& url, const TRequest& request, QByteArray* body, long* status,
                QByteArray* location, QString* error)
{
    QByteArray hostLine;
    if (!HostHeader(url, &hostLine, error)) return false;

    // The empty "Host:" clears curl's own Host slot, so ours goes out where it stands.
    TSlistPtr headers;
    QList<QByteArray> lines{QByteArrayLiteral("Host:")};
    if (request.post) {
        lines << QByteArrayLiteral("Connection: keep-alive") << "Content-Type: " + request.contentType
              << "Content-Length: " + QByteArray::number(request.body.size());
    }
    lines << hostLine << AcceptLine << UserAgentLine;
    const QByteArray cookieLine = state.cookies.Line(QUrl::fromEncoded(url));
    if (!cookieLine.isEmpty()) lines << cookieLine;
    lines << QByteArrayLiteral("Expect:");
    for (const QByteArray& line : lines) {
        if (!Append(headers, line)) {
            SetError(error, CurlText(curl_easy_strerror(CURLE_OUT_OF_MEMORY)));
            return false;
        }
    }

    if (!state.multi) state.multi.reset(curl_multi_init());
    if (!state.easy) state.easy.reset(curl_easy_init());
    if (!state.multi || !state.easy) {
        SetError(error, QStringLiteral("Cannot start libcurl"));
        return false;
    }
    CURL* easy = state.easy.get();

    TTransfer transfer;
    transfer.easy = easy;
    transfer.state = &state;
    transfer.url = QUrl::fromEncoded(url);
    transfer.device = request.device;
    transfer.buffer = body;
    transfer.maxReply = request.maxReply;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CURLcode rc = CURLE_OK;
    const auto set = [&rc, easy](CURLoption option, auto value) {
        if (rc == CURLE_OK) rc = curl_easy_setopt(easy, option, value);
    };
    set(CURLOPT_ERRORBUFFER, errorBuffer);
    set(CURLOPT_URL, url.constData());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(request.post ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1));
    set(CURLOPT_HTTPHEADER, headers.get());
    set(CURLOPT_HEADERFUNCTION, OnHeader);
    set(CURLOPT_HEADERDATA, &transfer);
    set(CURLOPT_WRITEFUNCTION, OnBody);
    set(CURLOPT_WRITEDATA, &transfer);
    if (state.connectTimeoutMs > 0) set(CURLOPT_CONNECTTIMEOUT_MS, state.connectTimeoutMs);
    // Refuses a declared length over the cap before any body byte; the count covers the rest.
    if (request.maxReply > 0) set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxReply));
    if (request.post) {
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        set(CURLOPT_POSTFIELDS, request.body.constData());
    } else {
        set(CURLOPT_HTTPGET, 1L);
    }
    if (rc != CURLE_OK) {
        SetError(error, CurlText(curl_easy_strerror(rc)));
        curl_easy_reset(easy);
        return false;
    }

    CURLM* multi = state.multi.get();
    const TAttached attached(multi, easy);
    if (attached.Result() != CURLM_OK) {
        SetError(error, CurlText(curl_multi_strerror(attached.Result())));
        return false;
    }
    for (;;) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi, &running);
        if (mc == CURLM_OK && running > 0) mc = curl_multi_poll(multi, nullptr, 0, PollMs, nullptr);
        if (mc != CURLM_OK) {
            SetError(error, CurlText(curl_multi_strerror(mc)));
            return false;
        }
        if (running == 0) break;
        // May run anything, including our own destructor or Disconnect(); state stays alive.
        QCoreApplication::processEvents(QEventLoop::AllEvents, PollMs);
        if (state.destroyed) {
            SetError(error, QStringLiteral("The HTTP client was closed during the request"));
            return false;
        }
        if (state.disconnectRequested) {
            SetError(error, QStringLiteral("Disconnected during the request"));
            return false;
        }
    }

    bool done = false;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            rc = message->data.result;
            done = true;
        }
    }
    if (!done) {
        SetError(error, QStringLiteral("The transfer ended without a result"));
        return false;
    }
    if (rc != CURLE_OK) {
        if (transfer.stop == TStop::TooLarge || rc == CURLE_FILESIZE_EXCEEDED)
            SetError(error, TooLargeText(request.maxReply));
        else if (transfer.stop == TStop::DeviceFailed)
            SetError(error, transfer.writeError);
        else if (transfer.stop == TStop::Exception)
            SetError(error, QStringLiteral("The reply could not be taken in (out of memory)"));
        else
            SetError(error, CurlText(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc)));
        return false;
    }
    rc = curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, status);
    char* redirect = nullptr;
    if (rc == CURLE_OK) rc = curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &redirect);
    if (rc != CURLE_OK) {
        SetError(error, CurlText(curl_easy_strerror(rc)));
        return false;
    }
    *location = redirect ? QByteArray(redirect) : QByteArray();
    return true;
}

bool Exchange(TState& state, QByteArray url, const TRequest& request, QByteArray* body, QString* error)
{
    if (!GlobalInit(error)) return false;
    for (int sent = 1;; ++sent) {
        body->clear();
        long status = 0;
        QByteArray location;
        if (!PerformOne(state, url, request, body, &status, &location, error)) return false;
        if (status >= 200 && status < 300) return true;
        if (status >= 300 && status < 400 && !location.isEmpty() && sent < MaxRequestsPerCall) {
            url = location;
            continue;
        }
        body->clear();
        if (status >= 300 && status < 400 && !location.isEmpty())
            SetError(error, QStringLiteral("HTTP status %1 after %2 requests").arg(status).arg(sent));
        else
            SetError(error, QStringLiteral("HTTP status %1").arg(status));
        return false;
    }
}

// Takes the state by value: a handler run during the wait may delete the client, and the
// state must outlive the call.
bool Run(std::shared_ptr<TState> state, const QByteArray& url, const TRequest& request, QByteArray* body,
         QString* error)
{
    if (state->busy) {
        SetError(error, QStringLiteral("The HTTP client is busy with another request"));
        return false;
    }
    state->busy = true;
    const bool ok = Exchange(*state, url, request, body, error);
    state->busy = false;
    if (state->disconnectRequested) {
        state->disconnectRequested = false;
        state->CloseConnections();
    }
    return ok;
}

} // namespace

TCurlHttpClient::TCurlHttpClient() : m_state(std::make_shared<TState>()) {}

TCurlHttpClient::~TCurlHttpClient()
{
    m_state->destroyed = true;
}

void TCurlHttpClient::SetConnectTimeout(int milliseconds)
{
    m_state->connectTimeoutMs = milliseconds > 0 ? milliseconds : 0;
}

bool TCurlHttpClient::PostForm(const QByteArray& url, const TMultipartForm& form, QByteArray* reply, QString* error)
{
    TRequest request;
    request.post = true;
    request.contentType = form.ContentType();
    request.body = form.Body();
    request.maxReply = MaxReplySize();
    QByteArray body;
    const bool ok = Run(m_state, url, request, &body, error);
    if (reply) *reply = ok ? body : QByteArray();
    return ok;
}

bool TCurlHttpClient::GetToDevice(const QByteArray& url, QIODevice* out, QString* error)
{
    if (!out || !out->isWritable()) {
        SetError(error, QStringLiteral("The download target is not open for writing"));
        return false;
    }
    TRequest request;
    request.device = out;
    request.maxReply = MaxReplySize();
    QByteArray unused;
    return Run(m_state, url, request, &unused, error);
}

void TCurlHttpClient::Disconnect()
{
    if (m_state->busy)
        m_state->disconnectRequested = true;
    else
        m_state->CloseConnections();
}
