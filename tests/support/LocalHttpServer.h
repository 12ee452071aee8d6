#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>

// A tiny HTTP/1.1 server on 127.0.0.1 for tests: fixed replies by path, one request per
// connection. Unknown paths answer 404 with a small page.
class LocalHttpServer : public QTcpServer
{
    Q_OBJECT

public:
    struct Reply
    {
        int status = 200;
        QByteArray contentType = QByteArrayLiteral("text/html");
        QByteArray body;
        int delayMs = 0;
    };

    explicit LocalHttpServer(QObject* parent = nullptr);

    bool Start();
    void Route(const QByteArray& path, const Reply& reply);
    void RoutePage(const QByteArray& path, const QByteArray& html) { Route(path, {200, "text/html", html, 0}); }
    QByteArray Url(const QByteArray& path) const;
    int RequestCount(const QByteArray& path) const { return m_counts.value(path); }

    // A page whose whole viewport is one colour (a CSS colour such as "#ff0000").
    static QByteArray SolidPage(const QByteArray& colour, const QByteArray& extraHead = {});

private:
    void OnNewConnection();

    QHash<QByteArray, Reply> m_routes;
    QHash<QByteArray, int> m_counts;
};

// A port on 127.0.0.1 where nothing listens.
quint16 RefusedPort();
