#include "common/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kAppFolder = QStringLiteral("thumbrix");

// Relative values are to be ignored, as if unset.
QString BaseFolder(const TEnvironment& environment, const char* variable, const QString& home, const char* fallback)
{
    const QString value = QFile::decodeName(environment(variable));
    if (QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    if (home.isEmpty()) return QString();
    return QDir::cleanPath(home + QLatin1Char('/') + QLatin1String(fallback));
}

QString HomeFolder(const TEnvironment& environment)
{
    const QString home = QFile::decodeName(environment("HOME"));
    return QDir::isAbsolutePath(home) ? home : QString();
}

// A name that stays one harmless path component whatever the profile holds.
QString BrandFolderName(const QByteArray& code)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    const QString text = QString::fromLatin1(code);
    return QStringLiteral("brand-") + (plain.match(text).hasMatch() ? text : QString::fromLatin1(code.toHex()));
}

} // namespace

TUserFolders ForBrand(const TUserFolders& folders, const QByteArray& branderCode)
{
    if (!folders.PerUser() || branderCode.isEmpty()) return folders;
    const QString tail = QLatin1Char('/') + BrandFolderName(branderCode);
    TUserFolders brand = folders;
    brand.Settings = folders.Settings + tail;
    brand.SharedSettings = folders.Settings;
    if (!folders.State.isEmpty()) {
        brand.State = folders.State + tail;
        brand.SharedState = folders.State;
    }
    return brand;
}

bool IsPortableFolder(const QString& programFolder, bool writable)
{
    const QString clean = QDir::cleanPath(QDir(programFolder).absolutePath());
    return writable && clean != QLatin1String("/usr") && !clean.startsWith(QLatin1String("/usr/"));
}

TUserFolders XdgUserFolders(const TEnvironment& environment)
{
    const QString home = HomeFolder(environment);
    const QString config = BaseFolder(environment, "XDG_CONFIG_HOME", home, ".config");
    const QString cache = BaseFolder(environment, "XDG_CACHE_HOME", home, ".cache");
    const QString state = BaseFolder(environment, "XDG_STATE_HOME", home, ".local/state");
    if (config.isEmpty() || cache.isEmpty() || state.isEmpty()) return {};
    const QString tail = QLatin1Char('/') + kAppFolder;
    return {config + tail, cache + tail, state + tail};
}

TUserFolders UserFoldersFor(const QString& programFolder)
{
    if (IsPortableFolder(programFolder, ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0)) return {};
    return XdgUserFolders([](const char* name) -> QByteArray {
        if (std::strcmp(name, "HOME") == 0) {
            // A session without HOME still has a home in the password database.
            const QByteArray home = qgetenv("HOME");
            if (!home.isEmpty()) return home;
            const passwd* entry = ::getpwuid(::geteuid());
            return entry && entry->pw_dir ? QByteArray(entry->pw_dir) : QByteArray();
        }
        return qgetenv(name);
    });
}

bool MakeUserFolder(const QString& path, QString* error)
{
    const QByteArray target = QFile::encodeName(QDir::cleanPath(path));
    qsizetype next = 1;
    while (next <= target.size()) {
        qsizetype end = target.indexOf('/', next);
        if (end < 0) end = target.size();
        const QByteArray part = target.left(end);
        next = end + 1;
        if (::mkdir(part.constData(), 0700) == 0 || errno == EEXIST) continue;
        if (error)
            *error = QStringLiteral("%1: cannot make the folder (%2)")
                         .arg(QFile::decodeName(part), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info
    {
    };
    if (::stat(target.constData(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    if (error) *error = QStringLiteral("%1: not a folder").arg(QFile::decodeName(target));
    return false;
}
