#include "PhpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

PhpServer::~PhpServer()
{
    if (m_php.state() != QProcess::NotRunning) {
        m_php.kill();
        m_php.waitForFinished();
    }
}

bool PhpServer::Start(const QList<QPair<QString, QByteArray>>& scripts, QString* reason)
{
    const QString php = QStandardPaths::findExecutable(QStringLiteral("php"));
    if (php.isEmpty()) {
        m_missing = true;
        *reason = QStringLiteral("php is not on PATH; install php-cli (the README's install script does)");
        return false;
    }
    qputenv("no_proxy", "*");
    for (const auto& [name, text] : scripts) {
        const QString path = m_root.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            *reason = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
    }
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        *reason = probe.errorString();
        return false;
    }
    m_port = probe.serverPort();
    probe.close();

    m_php.setStandardOutputFile(QProcess::nullDevice());
    m_php.setStandardErrorFile(QProcess::nullDevice());
    m_php.start(php, {QStringLiteral("-n"), QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                      QStringLiteral("-t"), m_root.path()});
    if (!m_php.waitForStarted()) {
        *reason = m_php.errorString();
        return false;
    }
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(100)) return true;
        QThread::msleep(100);
    }
    *reason = QStringLiteral("php -S did not start listening");
    return false;
}

QByteArray PhpServer::Url(const QByteArray& path) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path;
}
