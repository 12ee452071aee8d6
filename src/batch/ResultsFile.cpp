#include "batch/ResultsFile.h"

#include "common/ByteFile.h"

#include <QByteArrayView>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray JsonString(QByteArrayView utf8)
{
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const uchar u = uchar(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20)
                out += "\\u00" + QByteArray(1, c).toHex();
            else
                out += c;
        }
    }
    out += '"';
    return out;
}

class JsonLine
{
public:
    void Raw(const char* key, const QByteArray& json)
    {
        m_text += m_text.isEmpty() ? "{" : ",";
        m_text += JsonString(key) + ':' + json;
    }
    void Number(const char* key, qint64 value) { Raw(key, QByteArray::number(value)); }
    // Zero stands for "not known".
    void NumberOrNull(const char* key, qint64 value) { Raw(key, value ? QByteArray::number(value) : "null"); }
    void Text(const char* key, const QString& value) { Raw(key, JsonString(value.toUtf8())); }
    void TextOrNull(const char* key, const QString& value)
    {
        Raw(key, value.isEmpty() ? QByteArray("null") : JsonString(value.toUtf8()));
    }
    // Bytes as stored: a JSON string when they are UTF-8, otherwise null and "<key>_hex".
    void Bytes(const char* key, const QByteArray& value, bool nullWhenEmpty = false)
    {
        if (nullWhenEmpty && value.isEmpty()) {
            Raw(key, "null");
        } else if (QByteArrayView(value).isValidUtf8()) {
            Raw(key, JsonString(value));
        } else {
            Raw(key, "null");
            Raw((QByteArray(key) + "_hex").constData(), '"' + value.toHex() + '"');
        }
    }
    QByteArray Finish() const { return m_text + "}\n"; }

private:
    QByteArray m_text;
};

} // namespace

ResultsFile::~ResultsFile()
{
    if (m_ownFd) ::close(m_fd);
}

bool ResultsFile::Open(const QString& path, QString* error)
{
    if (path == QLatin1String("-")) {
        m_fd = STDOUT_FILENO;
        m_name = QStringLiteral("standard output");
        return true;
    }
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("Cannot open \"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_ownFd = true;
    m_name = path;
    return true;
}

bool ResultsFile::Write(const TUrlJob& job, const TRowResult& result, QString* error)
{
    const QByteArray line = Line(job, result);
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(m_fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error)
                *error = QStringLiteral("Cannot write \"%1\": %2")
                             .arg(m_name, QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray ResultsFile::Line(const TUrlJob& job, const TRowResult& result)
{
    JsonLine line;
    bool numbered = false;
    const qint64 number = job.Number.toLongLong(&numbered);
    line.Raw("number", numbered ? QByteArray::number(number) : QByteArray("null"));
    line.Bytes("id", job.Id);
    line.Bytes("url", job.Url);
    line.Raw("status", JsonString(result.Status));
    line.Text("reason", result.Reason);
    const bool written = !result.File.isEmpty();
    line.Bytes("file", result.File, true);
    line.Raw("bytes", written ? QByteArray::number(result.Bytes) : QByteArray("null"));
    line.Raw("width", written ? QByteArray::number(result.Width) : QByteArray("null"));
    line.Raw("height", written ? QByteArray::number(result.Height) : QByteArray("null"));
    line.Number("ms", result.Ms);
    line.NumberOrNull("http_status", result.HttpStatus);
    line.TextOrNull("final_url", result.FinalUrl);
    line.Number("attempts", result.Attempts);
    line.Raw("settled", result.Settled ? "true" : "false");
    line.Number("settle_ms", result.SettleMs);
    line.TextOrNull("consent", result.Consent);
    return line.Finish();
}
