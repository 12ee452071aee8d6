#pragma once

// Root passes every permission check, so a case about a refused permission proves nothing
// as root. There it runs again as "nobody", in a child: a copy of this test program in a
// folder of that user's, asked for the one function and row under way.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

// Runs the current test function (and row) as an unprivileged user; empty when it ran
// there and passed, else what went wrong, with the child's output.
inline QString RunAsUnprivilegedUser()
{
    const passwd* user = ::getpwnam("nobody");
    if (!user) return QStringLiteral("there is no user 'nobody' to run the check as");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) return QStringLiteral("setpriv (util-linux) is not installed");

    // The build folder may be one that user cannot enter (under /root).
    QTemporaryDir dir;
    if (!dir.isValid()) return dir.errorString();
    // Some test programs make no application object to ask.
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QString program = dir.filePath(QFileInfo(self).fileName());
    if (self.isEmpty() || !QFile::copy(self, program) ||
        ::chown(QFile::encodeName(dir.path()).constData(), user->pw_uid, user->pw_gid) != 0)
        return QStringLiteral("cannot make a copy of the test for user nobody in ") + dir.path();

    QString function = QString::fromLatin1(QTest::currentTestFunction());
    const QString row = QString::fromUtf8(QTest::currentDataTag());
    const QString passLine = QStringLiteral("::%1(%2)").arg(function, row);
    if (!row.isEmpty()) function += QLatin1Char(':') + row;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.path());
    environment.insert(QStringLiteral("TMPDIR"), dir.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(dir.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv,
                {QStringLiteral("--reuid=%1").arg(user->pw_uid), QStringLiteral("--regid=%1").arg(user->pw_gid),
                 QStringLiteral("--clear-groups"), QStringLiteral("--"), program, function});
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return QStringLiteral("the check as user nobody did not finish");
    }
    const QString output = QString::fromLocal8Bit(child.readAll());
    bool ran = false;
    for (const QString& line : output.split(QLatin1Char('\n')))
        ran = ran || (line.startsWith(QLatin1String("PASS")) && line.trimmed().endsWith(passLine));
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && ran &&
                        output.contains(QLatin1String(" 0 failed, 0 skipped"));
    return passed ? QString() : QStringLiteral("as user nobody:\n") + output;
}
