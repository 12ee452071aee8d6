#include "LocalHttpServer.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

LocalHttpServer::LocalHttpServer(QObject* parent) : QObject(parent) {}

LocalHttpServer::~LocalHttpServer() = default;

bool LocalHttpServer::Listen(std::unique_ptr<QTcpServer> listener)
{
    m_listener = std::move(listener);
    connect(m_listener.get(), &QTcpServer::pendingConnectionAvailable, this, &LocalHttpServer::OnNewConnection);
    return m_listener->listen(QHostAddress::LocalHost, 0);
}

bool LocalHttpServer::Start()
{
    return Listen(std::make_unique<QTcpServer>());
}

bool LocalHttpServer::StartTls(const QString& certificateFile, const QString& keyFile)
{
    QFile keyIn(keyFile);
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificateFile);
    if (chain.isEmpty() || !keyIn.open(QIODevice::ReadOnly)) return false;
    const QSslKey key(&keyIn, QSsl::Rsa);
    if (key.isNull()) return false;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto listener = std::make_unique<QSslServer>();
    listener->setSslConfiguration(tls);
    m_tls = true;
    return Listen(std::move(listener));
}

void LocalHttpServer::Route(const QByteArray& path, const Reply& reply)
{
    m_routes.insert(path, {reply});
}

void LocalHttpServer::RouteSequence(const QByteArray& path, const QList<Reply>& replies)
{
    if (!replies.isEmpty()) m_routes.insert(path, replies);
}

quint16 LocalHttpServer::Port() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

QByteArray LocalHttpServer::Url(const QByteArray& path) const
{
    return (m_tls ? "https" : "http") + QByteArrayLiteral("://127.0.0.1:") + QByteArray::number(Port()) + path;
}

QByteArray LocalHttpServer::SolidPage(const QByteArray& colour, const QByteArray& extraHead)
{
    return "<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%;background:" + colour + "}</style>" +
           extraHead + "</head><body></body></html>";
}

void LocalHttpServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (socket->property("answered").toBool()) {
                socket->readAll();
                return;
            }
            QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request);
            if (!request.contains("\r\n\r\n")) return;
            socket->setProperty("answered", true);
            QByteArray path = request.mid(request.indexOf(' ') + 1);
            path.truncate(path.indexOf(' '));
            m_counts[path] += 1;
            Answer(socket, path);
        });
    }
}

void LocalHttpServer::Answer(QTcpSocket* socket, const QByteArray& path)
{
    const QList<Reply> replies =
        m_routes.value(path, {Reply(404, "text/html", "<html><body>Not found</body></html>", 0)});
    const Reply reply = replies.at(qMin(m_counts.value(path), replies.size()) - 1);
    const QByteArray reason = reply.status == 200 ? "OK" : "Status";
    const QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " " + reason +
                            "\r\nContent-Type: " + reply.contentType +
                            "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                            "\r\nCache-Control: no-store\r\nConnection: close\r\n" + reply.extraHead + "\r\n";
    auto send = [socket, head, reply] {
        switch (reply.ending) {
        case Ending::Normal:
            socket->write(head + reply.body);
            socket->disconnectFromHost();
            break;
        case Ending::HeadersThenSilence:
            socket->write(head);
            break;
        case Ending::Silence:
            break;
        case Ending::Reset: {
            // A zero linger makes close() send RST instead of FIN.
            const linger hard{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            socket->abort();
            break;
        }
        case Ending::Close:
            socket->disconnectFromHost();
            break;
        case Ending::Raw:
            socket->write(reply.body);
            socket->disconnectFromHost();
            break;
        }
    };
    if (reply.delayMs > 0)
        QTimer::singleShot(reply.delayMs, socket, send);
    else
        send();
}

quint16 RefusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
