#include "LocalHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

LocalHttpServer::LocalHttpServer(QObject* parent) : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, &LocalHttpServer::OnNewConnection);
}

bool LocalHttpServer::Start()
{
    return listen(QHostAddress::LocalHost, 0);
}

void LocalHttpServer::Route(const QByteArray& path, const Reply& reply)
{
    m_routes.insert(path, reply);
}

QByteArray LocalHttpServer::Url(const QByteArray& path) const
{
    return "http://127.0.0.1:" + QByteArray::number(serverPort()) + path;
}

QByteArray LocalHttpServer::SolidPage(const QByteArray& colour, const QByteArray& extraHead)
{
    return "<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%;background:" + colour + "}</style>" +
           extraHead + "</head><body></body></html>";
}

void LocalHttpServer::OnNewConnection()
{
    while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (socket->property("answered").toBool()) return;
            QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request);
            if (!request.contains("\r\n\r\n")) return;
            socket->setProperty("answered", true);
            QByteArray path = request.mid(request.indexOf(' ') + 1);
            path.truncate(path.indexOf(' '));
            m_counts[path] += 1;
            const Reply reply = m_routes.value(path, {404, "text/html", "<html><body>Not found</body></html>", 0});
            const QByteArray reason = reply.status == 200 ? "OK" : "Status";
            const QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " " + reason +
                                    "\r\nContent-Type: " + reply.contentType +
                                    "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                                    "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
            auto send = [socket, data = head + reply.body] {
                socket->write(data);
                socket->disconnectFromHost();
            };
            if (reply.delayMs > 0)
                QTimer::singleShot(reply.delayMs, socket, send);
            else
                send();
        });
    }
}

quint16 RefusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
