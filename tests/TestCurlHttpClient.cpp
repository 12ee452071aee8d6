// The libcurl client against a raw server on 127.0.0.1 that records every request byte for
// byte and answers from a script: exact headers in order, cookies, redirects followed by
// hand, status handling, reply size caps, and the event loop kept running while a request
// waits.

#include "FakeUserDialogs.h"

#include "brand/BrandProfile.h"
#include "online/MultipartForm.h"
#include "online/NewsService.h"
#include "platform/CurlHttpClient.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

using TFields = QList<QPair<QByteArray, QByteArray>>;

struct TAnswer
{
    QByteArray bytes;
    int delayMs = 0;
    bool endless = false; // after `bytes`, filler for as long as the client reads
};

// Where an endless answer gives up by itself; a client that gets this far has no cap.
constexpr qint64 kEndlessSafetyLimit = qint64(64) << 20;

QByteArray Response(int status, const QByteArray& headers = {}, const QByteArray& body = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) +
           " Scripted\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + headers +
           "\r\n" + body;
}

QByteArray RequestPath(const QByteArray& request)
{
    return request.left(request.indexOf("\r\n")).split(' ').value(1);
}

QByteArray HeaderValue(const QByteArray& request, const QByteArray& name)
{
    const QByteArray head = request.left(request.indexOf("\r\n\r\n"));
    for (const QByteArray& line : head.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower()) return line.mid(colon + 1).trimmed();
    }
    return {};
}

// Reads each request until its Content-Length is satisfied, records it, answers and closes.
class TScriptedServer
{
public:
    using TScript = std::function<TAnswer(const QByteArray& path, int index)>;

    explicit TScriptedServer(TScript script) : m_script(std::move(script))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { Accept(); });
    }

    bool Listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 Port() const { return m_server.serverPort(); }
    QByteArray Url(const QByteArray& path) const { return "http://127.0.0.1:" + QByteArray::number(Port()) + path; }
    const QList<QByteArray>& Requests() const { return m_requests; }
    qint64 Streamed() const { return m_streamed; }

private:
    void Accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Read(socket); });
        }
    }

    void Read(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        const int headEnd = pending.indexOf("\r\n\r\n");
        if (headEnd < 0) return;
        const qsizetype total = headEnd + 4 + HeaderValue(pending, "Content-Length").toLongLong();
        if (pending.size() < total) return;
        const QByteArray request = pending.left(total);
        m_pending.remove(socket);
        m_requests.append(request);
        const TAnswer answer = m_script(RequestPath(request), int(m_requests.size()) - 1);
        if (answer.endless) {
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] { Feed(socket); });
            socket->write(answer.bytes);
            Feed(socket);
            return;
        }
        const auto send = [socket, bytes = answer.bytes] {
            socket->write(bytes);
            socket->disconnectFromHost();
        };
        if (answer.delayMs > 0)
            QTimer::singleShot(answer.delayMs, socket, send);
        else
            send();
    }

    void Feed(QTcpSocket* socket)
    {
        static const QByteArray chunk(64 * 1024, 'x');
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * chunk.size()) {
            if (m_streamed >= kEndlessSafetyLimit) {
                socket->disconnectFromHost();
                return;
            }
            socket->write(chunk);
            m_streamed += chunk.size();
        }
    }

    QTcpServer m_server;
    TScript m_script;
    QList<QByteArray> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
    qint64 m_streamed = 0;
};

QByteArray ExpectedBody(const QByteArray& boundary, const TFields& fields)
{
    QByteArray body;
    for (const auto& [name, value] : fields)
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    return body + "\r\n--" + boundary + "--\r\n";
}

QByteArray ExpectedPost(const QByteArray& path, quint16 port, const QByteArray& boundary, const TFields& fields,
                        const QByteArray& cookieLine = {})
{
    const QByteArray body = ExpectedBody(boundary, fields);
    QByteArray request = "POST " + path + " HTTP/1.0\r\n";
    request += "Connection: keep-alive\r\n";
    request += "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
    request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
    request += "Accept: text/html, */*\r\n";
    request += "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)\r\n";
    if (!cookieLine.isEmpty()) request += cookieLine + "\r\n";
    return request + "\r\n" + body;
}

QByteArray BoundaryOf(const QByteArray& request)
{
    const QByteArray contentType = HeaderValue(request, "Content-Type");
    const QByteArray prefix = "multipart/form-data; boundary=";
    return contentType.startsWith(prefix) ? contentType.mid(prefix.size()) : QByteArray();
}

TMultipartForm MakeForm(const TFields& fields)
{
    TMultipartForm form;
    for (const auto& [name, value] : fields)
        form.AddField(name, value);
    return form;
}

const TFields NewsFields{{"memusername", "pub42"}, {"prodcode", "TX-2"}, {"prodtype", "BG"},
                         {"conttype", "all"},      {"newstarget", "UA"}, {"something", ""}};

// A device that takes no bytes, like a full disk.
class TFailingDevice : public QIODevice
{
public:
    TFailingDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override
    {
        setErrorString(QStringLiteral("disk full"));
        return -1;
    }
};

} // namespace

Q_DECLARE_METATYPE(TAnswer)

class TestCurlHttpClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void postSendsExactBytes_data();
    void postSendsExactBytes();
    void cookiesFollowOnLaterRequests();
    void cookieRules_data();
    void cookieRules();
    void redirectsRepeatThePost_data();
    void redirectsRepeatThePost();
    void endlessRedirectsStopAtFifteenRequests();
    void failingStatuses_data();
    void failingStatuses();
    void unreachableServersFail_data();
    void unreachableServersFail();
    void getSendsHttp11AndWritesTheBody();
    void getWritesNothingForAnError_data();
    void getWritesNothingForAnError();
    void getFollowsRedirectsWithoutTheirBodies();
    void getReportsAFailingDevice();
    void repliesStopAtTheCap_data();
    void repliesStopAtTheCap();
    void newsRepliesStopAtEightMebibytes_data();
    void newsRepliesStopAtEightMebibytes();
    void eventsRunWhileWaiting();
    void secondCallWhileWaitingIsRefused();
    void disconnectDuringWaitEndsTheCall();
    void deletingTheClientDuringWaitDoesNotCrash();
};

void TestCurlHttpClient::initTestCase()
{
    // A proxy from the environment would rewrite the request line.
    qputenv("no_proxy", "*");
}

void TestCurlHttpClient::postSendsExactBytes_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<TFields>("fields");

    QTest::newRow("news-list-form") << QByteArray("/news/getlastnews.php") << NewsFields;
    QTest::newRow("awkward-values") << QByteArray("/getnewsdetails.php?lang=en")
                                    << TFields{{"memusername", "a b&c=d\"e"},
                                               {"newsid", "caf\xE9 \xAF^OK"},
                                               {"line", "one\r\ntwo"},
                                               {"something", ""}};
    QTest::newRow("no-fields") << QByteArray("/") << TFields{};
}

void TestCurlHttpClient::postSendsExactBytes()
{
    QFETCH(QByteArray, path);
    QFETCH(TFields, fields);

    TScriptedServer server([](const QByteArray&, int) { return TAnswer{Response(200, {}, "1^A^x\xAFOK")}; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    const TMultipartForm form = MakeForm(fields);
    QByteArray reply;
    QString error;
    QVERIFY2(client.PostForm(server.Url(path), form, &reply, &error), qPrintable(error));
    QCOMPARE(reply, QByteArray("1^A^x\xAFOK"));

    QCOMPARE(server.Requests().size(), 1);
    const QByteArray recorded = server.Requests().first();
    const QByteArray boundary = BoundaryOf(recorded);
    QVERIFY2(QRegularExpression(QStringLiteral("^-{8}[0-9]{15}$")).match(QString::fromLatin1(boundary)).hasMatch(),
             boundary.constData());
    QCOMPARE(recorded, ExpectedPost(path, server.Port(), boundary, fields));
}

void TestCurlHttpClient::cookiesFollowOnLaterRequests()
{
    TScriptedServer server([](const QByteArray& path, int) {
        if (path == "/login") return TAnswer{Response(200, "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n", "OK")};
        if (path == "/renew") return TAnswer{Response(200, "set-cookie: a=3; HttpOnly\r\n", "OK")};
        return TAnswer{Response(200, {}, "OK")};
    });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    const TMultipartForm form = MakeForm(NewsFields);
    QString error;
    const QList<QByteArray> paths{"/login", "/news", "/renew", "/news"};
    for (const QByteArray& path : paths)
        QVERIFY2(client.PostForm(server.Url(path), form, nullptr, &error), qPrintable(error));
    QBuffer download;
    download.open(QIODevice::WriteOnly);
    QVERIFY2(client.GetToDevice(server.Url("/update.inf"), &download, &error), qPrintable(error));

    const QList<QByteArray>& requests = server.Requests();
    QCOMPARE(requests.size(), 5);
    const QByteArray boundary = BoundaryOf(requests[0]);
    QCOMPARE(requests[0], ExpectedPost("/login", server.Port(), boundary, NewsFields));
    QCOMPARE(requests[1], ExpectedPost("/news", server.Port(), boundary, NewsFields, "Cookie: a=1; b=2"));
    QCOMPARE(requests[2], ExpectedPost("/renew", server.Port(), boundary, NewsFields, "Cookie: a=1; b=2"));
    QCOMPARE(requests[3], ExpectedPost("/news", server.Port(), boundary, NewsFields, "Cookie: a=3; b=2"));
    QVERIFY2(requests[4].endsWith("\r\nCookie: a=3; b=2\r\n\r\n"), requests[4].constData());

    TCurlHttpClient freshClient;
    QVERIFY2(freshClient.PostForm(server.Url("/news"), form, nullptr, &error), qPrintable(error));
    QCOMPARE(HeaderValue(server.Requests().last(), "Cookie"), QByteArray());
}

void TestCurlHttpClient::cookieRules_data()
{
    QTest::addColumn<QByteArray>("setCookie"); // the Set-Cookie header lines of 127.0.0.1's /set
    QTest::addColumn<QByteArray>("host");      // where the next request goes
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("sent"); // its Cookie header

    const QByteArray ip = "127.0.0.1";
    QTest::newRow("same-host") << QByteArray("Set-Cookie: a=1\r\n") << ip << QByteArray("/news") << QByteArray("a=1");
    QTest::newRow("other-host") << QByteArray("Set-Cookie: a=1\r\n") << QByteArray("localhost") << QByteArray("/news")
                                << QByteArray();
    QTest::newRow("path-inside") << QByteArray("Set-Cookie: a=1; Path=/news\r\n") << ip << QByteArray("/news/x")
                                 << QByteArray("a=1");
    QTest::newRow("path-outside") << QByteArray("Set-Cookie: a=1; Path=/news\r\n") << ip << QByteArray("/other")
                                  << QByteArray();
    QTest::newRow("path-prefix-only") << QByteArray("Set-Cookie: a=1; Path=/news\r\n") << ip << QByteArray("/newsroom")
                                      << QByteArray();
    QTest::newRow("secure-over-http") << QByteArray("Set-Cookie: a=1; Secure\r\nSet-Cookie: b=2\r\n") << ip
                                      << QByteArray("/news") << QByteArray("b=2");
    QTest::newRow("max-age-zero") << QByteArray("Set-Cookie: a=1; Max-Age=0\r\nSet-Cookie: b=2\r\n") << ip
                                  << QByteArray("/news") << QByteArray("b=2");
    QTest::newRow("expired") << QByteArray("Set-Cookie: a=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT\r\n") << ip
                             << QByteArray("/news") << QByteArray();
    QTest::newRow("foreign-domain") << QByteArray("Set-Cookie: a=1; Domain=example.com\r\n") << ip
                                    << QByteArray("/news") << QByteArray();
    // (libcurl itself refuses a reply with a NUL in a header line.)
    QTest::newRow("bare-cr-in-value") << QByteArray("Set-Cookie: a=1\rInjected: x\r\nSet-Cookie: b=2\r\n") << ip
                                      << QByteArray("/news") << QByteArray("b=2");
}

void TestCurlHttpClient::cookieRules()
{
    QFETCH(QByteArray, setCookie);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, sent);
    TScriptedServer server([setCookie](const QByteArray& requested, int) {
        return TAnswer{Response(200, requested == "/set" ? setCookie : QByteArray(), "OK")};
    });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    QString error;
    QVERIFY2(client.PostForm(server.Url("/set"), MakeForm(NewsFields), nullptr, &error), qPrintable(error));
    const QByteArray next = "http://" + host + ':' + QByteArray::number(server.Port()) + path;
    QVERIFY2(client.PostForm(next, MakeForm(NewsFields), nullptr, &error), qPrintable(error));
    QCOMPARE(server.Requests().size(), 2);
    QCOMPARE(HeaderValue(server.Requests().last(), "Cookie"), sent);
    // Wherever it goes, the Cookie line stays last.
    if (!sent.isEmpty()) QVERIFY(server.Requests().last().contains("\r\nCookie: " + sent + "\r\n\r\n"));
}

void TestCurlHttpClient::redirectsRepeatThePost_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("location"); // "{A}" / "{B}" stand for the two servers' base URLs
    QTest::addColumn<bool>("landsOnB");

    QTest::newRow("302-relative") << 302 << QByteArray("/final") << false;
    QTest::newRow("301-absolute") << 301 << QByteArray("{A}/final") << false;
    QTest::newRow("303-see-other") << 303 << QByteArray("/final") << false;
    QTest::newRow("307-temporary") << 307 << QByteArray("final") << false;
    QTest::newRow("302-other-port") << 302 << QByteArray("{B}/final") << true;
}

void TestCurlHttpClient::redirectsRepeatThePost()
{
    QFETCH(int, status);
    QFETCH(QByteArray, location);
    QFETCH(bool, landsOnB);

    TScriptedServer serverB([](const QByteArray&, int) { return TAnswer{Response(200, {}, "landed on B")}; });
    QVERIFY(serverB.Listen());
    TScriptedServer* serverAPointer = nullptr;
    TScriptedServer serverA([&](const QByteArray& path, int) {
        if (path == "/start") return TAnswer{Response(302, "Location: /hop/middle\r\n", "moved")};
        if (path == "/hop/middle") {
            QByteArray target = location;
            target.replace("{A}", serverAPointer->Url({})).replace("{B}", serverB.Url({}));
            return TAnswer{Response(status, "Location: " + target + "\r\n", "moved again")};
        }
        return TAnswer{Response(200, {}, "landed on A")};
    });
    serverAPointer = &serverA;
    QVERIFY(serverA.Listen());

    TCurlHttpClient client;
    const TMultipartForm form = MakeForm(NewsFields);
    QByteArray reply;
    QString error;
    QVERIFY2(client.PostForm(serverA.Url("/start"), form, &reply, &error), qPrintable(error));
    QCOMPARE(reply, landsOnB ? QByteArray("landed on B") : QByteArray("landed on A"));

    const QList<QByteArray> requestsA = serverA.Requests();
    QCOMPARE(requestsA.size(), landsOnB ? 2 : 3);
    const QByteArray boundary = BoundaryOf(requestsA[0]);
    QCOMPARE(boundary, form.Boundary());
    QCOMPARE(requestsA[0], ExpectedPost("/start", serverA.Port(), boundary, NewsFields));
    QCOMPARE(requestsA[1], ExpectedPost("/hop/middle", serverA.Port(), boundary, NewsFields));
    const QByteArray finalPath = location == "final" ? QByteArray("/hop/final") : QByteArray("/final");
    if (landsOnB) {
        QCOMPARE(serverB.Requests().size(), 1);
        QCOMPARE(serverB.Requests()[0], ExpectedPost(finalPath, serverB.Port(), boundary, NewsFields));
    } else {
        QCOMPARE(requestsA[2], ExpectedPost(finalPath, serverA.Port(), boundary, NewsFields));
    }
}

void TestCurlHttpClient::endlessRedirectsStopAtFifteenRequests()
{
    TScriptedServer server([](const QByteArray&, int index) {
        return TAnswer{Response(302, "Location: /loop/" + QByteArray::number(index + 2) + "\r\n", "again")};
    });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    QByteArray reply = "stale";
    QString error;
    QVERIFY(!client.PostForm(server.Url("/loop/1"), MakeForm(NewsFields), &reply, &error));
    QCOMPARE(server.Requests().size(), 15);
    QCOMPARE(RequestPath(server.Requests().last()), QByteArray("/loop/15"));
    for (const QByteArray& request : server.Requests())
        QVERIFY(request.startsWith("POST "));
    QVERIFY2(error.contains(QStringLiteral("302")), qPrintable(error));
    QCOMPARE(reply, QByteArray());
}

void TestCurlHttpClient::failingStatuses_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("expectedInError");

    QTest::newRow("not-found") << Response(404, {}, "no such page OK") << QStringLiteral("HTTP status 404");
    QTest::newRow("server-error") << Response(500, {}, "OK") << QStringLiteral("HTTP status 500");
    QTest::newRow("redirect-without-location") << Response(302, {}, "OK") << QStringLiteral("HTTP status 302");
    QTest::newRow("not-modified") << Response(304) << QStringLiteral("HTTP status 304");
}

void TestCurlHttpClient::failingStatuses()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, expectedInError);

    TScriptedServer server([&](const QByteArray&, int) { return TAnswer{answer}; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    QByteArray reply = "stale";
    QString error;
    QVERIFY(!client.PostForm(server.Url("/getlastnews.php"), MakeForm(NewsFields), &reply, &error));
    QVERIFY2(error.contains(expectedInError), qPrintable(error));
    QCOMPARE(reply, QByteArray());
    QCOMPARE(server.Requests().size(), 1);
}

void TestCurlHttpClient::unreachableServersFail_data()
{
    QTest::addColumn<QByteArray>("url");

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const QByteArray refusedUrl = "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/getlastnews.php";
    closed.close();
    QTest::newRow("refused-port") << refusedUrl;
    QTest::newRow("empty-base-url") << QByteArray("/getlastnews.php");
    QTest::newRow("not-http") << QByteArray("ftp://127.0.0.1/getlastnews.php");
}

void TestCurlHttpClient::unreachableServersFail()
{
    QFETCH(QByteArray, url);

    TCurlHttpClient client;
    QByteArray reply = "stale";
    QString error;
    QVERIFY(!client.PostForm(url, MakeForm(NewsFields), &reply, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(reply, QByteArray());

    QBuffer download;
    download.open(QIODevice::WriteOnly);
    error.clear();
    QVERIFY(!client.GetToDevice(url, &download, &error));
    QVERIFY(!error.isEmpty());
}

void TestCurlHttpClient::getSendsHttp11AndWritesTheBody()
{
    const QByteArray payload("[update]\r\nversion=2.1\r\n\0\xFF", 25);
    TScriptedServer server([&](const QByteArray&, int) { return TAnswer{Response(200, {}, payload)}; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    QBuffer download;
    download.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY2(client.GetToDevice(server.Url("/liveupdate/mainappupdate.inf"), &download, &error), qPrintable(error));
    QCOMPARE(download.data(), payload);
    QCOMPARE(server.Requests().size(), 1);
    QCOMPARE(server.Requests()[0],
             "GET /liveupdate/mainappupdate.inf HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(server.Port()) +
                 "\r\nAccept: text/html, */*\r\n"
                 "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)\r\n\r\n");
}

void TestCurlHttpClient::getWritesNothingForAnError_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("expectedInError");

    QTest::newRow("not-found") << Response(404, {}, "<html>not here</html>") << QStringLiteral("404");
    QTest::newRow("forbidden") << Response(403, {}, "go away") << QStringLiteral("403");
    QTest::newRow("endless-redirects") << Response(302, "Location: /again\r\n", "moved") << QStringLiteral("302");
}

void TestCurlHttpClient::getWritesNothingForAnError()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, expectedInError);

    TScriptedServer server([&](const QByteArray&, int) { return TAnswer{answer}; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    QBuffer download;
    download.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY(!client.GetToDevice(server.Url("/file.exe"), &download, &error));
    QVERIFY2(error.contains(expectedInError), qPrintable(error));
    QCOMPARE(download.data(), QByteArray());
}

void TestCurlHttpClient::getFollowsRedirectsWithoutTheirBodies()
{
    TScriptedServer server([](const QByteArray& path, int) {
        if (path == "/old/file.exe") return TAnswer{Response(302, "Location: /new/file.exe\r\n", "this page moved")};
        return TAnswer{Response(200, {}, "payload")};
    });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    QBuffer download;
    download.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY2(client.GetToDevice(server.Url("/old/file.exe"), &download, &error), qPrintable(error));
    QCOMPARE(download.data(), QByteArray("payload"));
    QCOMPARE(server.Requests().size(), 2);
    QVERIFY(server.Requests()[1].startsWith("GET /new/file.exe HTTP/1.1\r\n"));
}

void TestCurlHttpClient::getReportsAFailingDevice()
{
    TScriptedServer server([](const QByteArray&, int) { return TAnswer{Response(200, {}, "payload")}; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    TFailingDevice device;
    QString error;
    QVERIFY(!client.GetToDevice(server.Url("/file.exe"), &device, &error));
    QVERIFY2(error.contains(QStringLiteral("disk full")), qPrintable(error));

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QVERIFY(!client.GetToDevice(server.Url("/file.exe"), &readOnly, &error));
    QCOMPARE(server.Requests().size(), 1);
}

void TestCurlHttpClient::repliesStopAtTheCap_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<TAnswer>("answer");
    QTest::addColumn<bool>("ok");

    constexpr qint64 cap = 256 * 1024;
    const QByteArray closeHead = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    const QByteArray atCap(cap, 'a');
    const QByteArray overCap(cap + 1, 'a');
    for (const bool post : {true, false}) {
        const QByteArray method = post ? "post-" : "get-";
        QTest::addRow("%sendless-without-length", method.constData()) << post << TAnswer{closeHead, 0, true} << false;
        QTest::addRow("%sdeclared-over-cap", method.constData())
            << post << TAnswer{Response(200, {}, overCap)} << false;
        QTest::addRow("%sundeclared-over-cap", method.constData()) << post << TAnswer{closeHead + overCap} << false;
        QTest::addRow("%sexactly-the-cap", method.constData()) << post << TAnswer{Response(200, {}, atCap)} << true;
        QTest::addRow("%sendless-redirect-page", method.constData())
            << post << TAnswer{"HTTP/1.1 302 Found\r\nLocation: /next\r\nConnection: close\r\n\r\n", 0, true} << false;
        QTest::addRow("%sendless-error-page", method.constData())
            << post << TAnswer{"HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n", 0, true} << false;
    }
}

void TestCurlHttpClient::repliesStopAtTheCap()
{
    QFETCH(bool, post);
    QFETCH(TAnswer, answer);
    QFETCH(bool, ok);
    constexpr qint64 cap = 256 * 1024;

    TScriptedServer server([&](const QByteArray&, int) { return answer; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    client.SetMaxReplySize(cap);
    QByteArray reply;
    QBuffer download;
    download.open(QIODevice::WriteOnly);
    QString error;
    const bool got = post ? client.PostForm(server.Url("/getlastnews.php"), MakeForm(NewsFields), &reply, &error)
                          : client.GetToDevice(server.Url("/mainappupdate.inf"), &download, &error);

    // The client hung up, not the server: what it holds never outgrew the cap.
    QVERIFY2(server.Streamed() < kEndlessSafetyLimit, qPrintable(QString::number(server.Streamed())));
    QCOMPARE(got, ok);
    QVERIFY(reply.size() <= cap && download.data().size() <= cap);
    if (ok) {
        QCOMPARE((post ? reply : download.data()).size(), cap);
    } else {
        QVERIFY2(error.contains(QStringLiteral("larger than 256 KiB")), qPrintable(error));
        QCOMPARE(reply, QByteArray());
    }
    // Still usable afterwards.
    TScriptedServer small([](const QByteArray&, int) { return TAnswer{Response(200, {}, "OK")}; });
    QVERIFY(small.Listen());
    QVERIFY2(client.PostForm(small.Url("/again"), MakeForm(NewsFields), &reply, &error), qPrintable(error));
    QCOMPARE(reply, QByteArray("OK"));
}

void TestCurlHttpClient::newsRepliesStopAtEightMebibytes_data()
{
    QTest::addColumn<TAnswer>("answer");
    QTest::addColumn<bool>("ok");

    // A news list whose last record is the end marker, padded to a given size.
    const auto list = [](qint64 size) {
        const QByteArray tail = "\xAF"
                                "OK";
        return QByteArray("1^") + QByteArray(size - 2 - tail.size(), 't') + tail;
    };
    constexpr qint64 cap = qint64(8) << 20;
    QTest::newRow("exactly-8-MiB") << TAnswer{Response(200, {}, list(cap))} << true;
    QTest::newRow("one-byte-over") << TAnswer{"HTTP/1.0 200 OK\r\n\r\n" + list(cap + 1)} << false;
    QTest::newRow("never-ends") << TAnswer{"HTTP/1.0 200 OK\r\n\r\n1^", 0, true} << false;
}

void TestCurlHttpClient::newsRepliesStopAtEightMebibytes()
{
    QFETCH(TAnswer, answer);
    QFETCH(bool, ok);

    TScriptedServer server([&](const QByteArray&, int) { return answer; });
    QVERIFY(server.Listen());
    TBrandProfile profile;
    profile.GoldNewsBaseURL = server.Url("/news/");
    TCurlHttpClient http;
    http.SetMaxReplySize(1); // the service must set its own cap
    FakeUserDialogs dialogs;
    TNewsService news(http, dialogs, profile);
    QList<QByteArray> items;
    QCOMPARE(news.FetchNewsList("pub42", "TX-2", "BG", NewsTarget, items), ok);

    QVERIFY(server.Streamed() < kEndlessSafetyLimit);
    QCOMPARE(items.size(), ok ? 1 : 0);
    QCOMPARE(dialogs.MessageTexts(),
             ok ? QStringList()
                : QStringList{QStringLiteral("There is a trouble accessing the news site. Contact your provider.")});
}

void TestCurlHttpClient::eventsRunWhileWaiting()
{
    TScriptedServer server([](const QByteArray&, int) { return TAnswer{Response(200, {}, "OK"), 1000}; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;

    QElapsedTimer sinceTick;
    qint64 maxGap = 0;
    int ticks = 0;
    QTimer ui;
    ui.setInterval(20);
    connect(&ui, &QTimer::timeout, this, [&] {
        maxGap = qMax(maxGap, sinceTick.restart());
        ++ticks;
    });
    QElapsedTimer call;
    call.start();
    sinceTick.start();
    ui.start();
    QByteArray reply;
    QString error;
    const bool ok = client.PostForm(server.Url("/slow"), MakeForm(NewsFields), &reply, &error);
    maxGap = qMax(maxGap, sinceTick.elapsed());
    ui.stop();
    QVERIFY2(ok, qPrintable(error));
    QCOMPARE(reply, QByteArray("OK"));
    QVERIFY(call.elapsed() >= 900);
    qInfo("%d ticks of a 20 ms timer in %lld ms, largest gap %lld ms", ticks, call.elapsed(), maxGap);
    QVERIFY(ticks >= 10);
    QVERIFY2(maxGap < 250, qPrintable(QString::number(maxGap)));
}

void TestCurlHttpClient::secondCallWhileWaitingIsRefused()
{
    TScriptedServer server([](const QByteArray&, int) { return TAnswer{Response(200, {}, "OK"), 500}; });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    const TMultipartForm form = MakeForm(NewsFields);
    bool nestedRan = false;
    bool nestedPost = true;
    bool nestedGet = true;
    QString nestedError;
    QTimer::singleShot(100, this, [&] {
        nestedRan = true;
        nestedPost = client.PostForm(server.Url("/second"), form, nullptr, &nestedError);
        QBuffer download;
        download.open(QIODevice::WriteOnly);
        nestedGet = client.GetToDevice(server.Url("/second"), &download, nullptr);
    });
    QByteArray reply;
    QString error;
    QVERIFY2(client.PostForm(server.Url("/first"), form, &reply, &error), qPrintable(error));
    QCOMPARE(reply, QByteArray("OK"));
    QVERIFY(nestedRan);
    QVERIFY(!nestedPost);
    QVERIFY(!nestedGet);
    QVERIFY2(nestedError.contains(QStringLiteral("busy")), qPrintable(nestedError));
    QCOMPARE(server.Requests().size(), 1);
    // Not stuck busy afterwards.
    QVERIFY2(client.PostForm(server.Url("/third"), form, &reply, &error), qPrintable(error));
}

void TestCurlHttpClient::disconnectDuringWaitEndsTheCall()
{
    TScriptedServer server([](const QByteArray& path, int) {
        return TAnswer{Response(200, {}, "OK"), path == "/slow" ? 5000 : 0};
    });
    QVERIFY(server.Listen());
    TCurlHttpClient client;
    QTimer::singleShot(100, this, [&] { client.Disconnect(); });
    QElapsedTimer call;
    call.start();
    QString error;
    QVERIFY(!client.PostForm(server.Url("/slow"), MakeForm(NewsFields), nullptr, &error));
    QVERIFY(call.elapsed() < 4000);
    QVERIFY(!error.isEmpty());
    QByteArray reply;
    QVERIFY2(client.PostForm(server.Url("/fast"), MakeForm(NewsFields), &reply, &error), qPrintable(error));
    QCOMPARE(reply, QByteArray("OK"));
}

void TestCurlHttpClient::deletingTheClientDuringWaitDoesNotCrash()
{
    TScriptedServer server([](const QByteArray&, int) { return TAnswer{Response(200, {}, "OK"), 5000}; });
    QVERIFY(server.Listen());
    auto* client = new TCurlHttpClient;
    QTimer::singleShot(100, this, [&] {
        delete client;
        client = nullptr;
    });
    QString error;
    QVERIFY(!client->PostForm(server.Url("/slow"), MakeForm(NewsFields), nullptr, &error));
    QCOMPARE(client, nullptr);
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestCurlHttpClient)
#include "TestCurlHttpClient.moc"
