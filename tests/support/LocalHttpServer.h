#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>

#include <memory>

class QTcpServer;
class QTcpSocket;

// A tiny HTTP/1.1 server on 127.0.0.1 for tests: fixed replies by path, one request per
// connection. Unknown paths answer 404 with a small page. Replies can misbehave on purpose.
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    // How the reply leaves the server.
    enum class Ending {
        Normal,
        HeadersThenSilence, // the head, then nothing more, the connection kept open
        Silence,            // the request is read and never answered
        Reset,              // the connection is reset without a byte sent
        Close,              // the connection is closed without a byte sent
        Raw,                // the body alone, with no status line or head
    };

    struct Reply
    {
        Reply(int status_ = 200, QByteArray contentType_ = QByteArrayLiteral("text/html"), QByteArray body_ = {},
              int delayMs_ = 0, Ending ending_ = Ending::Normal, QByteArray extraHead_ = {})
            : status(status_), contentType(std::move(contentType_)), body(std::move(body_)), delayMs(delayMs_),
              ending(ending_), extraHead(std::move(extraHead_))
        {
        }
        int status;
        QByteArray contentType;
        QByteArray body;
        int delayMs;
        Ending ending;
        QByteArray extraHead; // whole header lines, each ending in CR LF
    };

    explicit LocalHttpServer(QObject* parent = nullptr);
    ~LocalHttpServer() override;

    bool Start();
    // HTTPS with the given certificate and key files (PEM).
    bool StartTls(const QString& certificateFile, const QString& keyFile);
    void Route(const QByteArray& path, const Reply& reply);
    void RoutePage(const QByteArray& path, const QByteArray& html) { Route(path, {200, "text/html", html, 0}); }
    // The n-th request for `path` gets the n-th reply; the last one answers every later request.
    void RouteSequence(const QByteArray& path, const QList<Reply>& replies);
    QByteArray Url(const QByteArray& path) const;
    quint16 Port() const;
    int RequestCount(const QByteArray& path) const { return m_counts.value(path); }

    // A page whose whole viewport is one colour (a CSS colour such as "#ff0000").
    static QByteArray SolidPage(const QByteArray& colour, const QByteArray& extraHead = {});

private:
    bool Listen(std::unique_ptr<QTcpServer> listener);
    void OnNewConnection();
    void Answer(QTcpSocket* socket, const QByteArray& path);

    std::unique_ptr<QTcpServer> m_listener;
    bool m_tls = false;
    QHash<QByteArray, QList<Reply>> m_routes;
    QHash<QByteArray, int> m_counts;
};

// A port on 127.0.0.1 where nothing listens.
quint16 RefusedPort();
