#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QTemporaryDir>

// PHP's built-in web server on a free 127.0.0.1 port, serving scripts the test writes.
class PhpServer
{
public:
    ~PhpServer();

    // False with a reason when php is missing or does not start listening.
    bool Start(const QList<QPair<QString, QByteArray>>& scripts, QString* reason);
    QByteArray Url(const QByteArray& path) const;
    bool PhpMissing() const { return m_missing; }

private:
    QTemporaryDir m_root;
    QProcess m_php;
    quint16 m_port = 0;
    bool m_missing = false;
};
