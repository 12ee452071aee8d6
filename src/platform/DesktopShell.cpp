#include "platform/DesktopShell.h"

#include "common/ByteFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>

namespace {

QStringList EnvPaths(const char* variable, const QString& fallback)
{
    QString value = qEnvironmentVariable(variable);
    if (value.isEmpty()) value = fallback;
    return value.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString Home()
{
    return QDir::homePath();
}

QStringList ApplicationDirs()
{
    QStringList dirs;
    dirs << EnvPaths("XDG_DATA_HOME", Home() + QStringLiteral("/.local/share")).value(0) +
                QStringLiteral("/applications");
    for (const QString& dir : EnvPaths("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        dirs << dir + QStringLiteral("/applications");
    return dirs;
}

// Where mimeapps.list may stand, most important first.
QStringList MimeAppsLists()
{
    QStringList files;
    files << EnvPaths("XDG_CONFIG_HOME", Home() + QStringLiteral("/.config")).value(0) +
                 QStringLiteral("/mimeapps.list");
    for (const QString& dir : EnvPaths("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")))
        files << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : ApplicationDirs())
        files << dir + QStringLiteral("/mimeapps.list") << dir + QStringLiteral("/defaults.list");
    return files;
}

// The entries of `key` in the [Default Applications] group of a mimeapps.list.
QStringList DefaultEntries(const QString& listFile, const QString& key)
{
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly)) return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Default Applications]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return {};
}

QString FindDesktopFile(const QString& desktopId)
{
    for (const QString& dir : ApplicationDirs()) {
        const QString path = dir + QLatin1Char('/') + desktopId;
        if (QFile::exists(path)) return path;
    }
    return {};
}

// Reads one key of the [Desktop Entry] group, unescaped as desktop entries escape strings.
QString DesktopEntryValue(const QString& desktopFile, const QString& key)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly)) return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq <= 0 || line.left(eq).trimmed() != key) continue;
        const QString raw = line.mid(eq + 1).trimmed();
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) {
                const QChar next = raw[++i];
                value += next == QLatin1Char('s')   ? QStringLiteral(" ")
                         : next == QLatin1Char('n') ? QStringLiteral("\n")
                         : next == QLatin1Char('t') ? QStringLiteral("\t")
                         : next == QLatin1Char('r') ? QStringLiteral("\r")
                                                    : QString(next);
            } else {
                value += raw[i];
            }
        }
        return value;
    }
    return {};
}

// Splits an Exec line into words: double quotes group, and inside them a backslash
// escapes '"', '`', '$' and '\'.
bool SplitExec(const QString& exec, QStringList* words)
{
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                word += exec[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord) *words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) return false;
    if (inWord) *words << word;
    return !words->isEmpty();
}

} // namespace

QString TDesktopShell::DefaultHandler(const QString& mimeType)
{
    for (const QString& list : MimeAppsLists()) {
        for (const QString& id : DefaultEntries(list, mimeType)) {
            const QString desktopFile = FindDesktopFile(id.trimmed());
            if (!desktopFile.isEmpty()) return desktopFile;
        }
    }
    return {};
}

QStringList TDesktopShell::ExecArguments(const QString& exec, const QString& url, const QString& name,
                                         const QString& desktopFile)
{
    QStringList words;
    if (!SplitExec(exec, &words)) return {};
    QStringList result;
    bool placed = false;
    for (const QString& word : words) {
        if (word == QLatin1String("%u") || word == QLatin1String("%U") || word == QLatin1String("%f") ||
            word == QLatin1String("%F")) {
            if (!url.isEmpty()) result << url;
            placed = true;
            continue;
        }
        if (word == QLatin1String("%i")) continue;
        QString expanded;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word[i] != QLatin1Char('%') || i + 1 == word.size()) {
                expanded += word[i];
                continue;
            }
            const QChar code = word[++i];
            if (code == QLatin1Char('%'))
                expanded += QLatin1Char('%');
            else if (code == QLatin1Char('c'))
                expanded += name;
            else if (code == QLatin1Char('k'))
                expanded += desktopFile;
            // Other field codes are deprecated or do not apply: dropped.
        }
        result << expanded;
    }
    if (!placed && !url.isEmpty()) result << url;
    return result;
}

bool TDesktopShell::Open(const QString& scheme, const QByteArray& url)
{
    const QString desktopFile = DefaultHandler(QStringLiteral("x-scheme-handler/") + scheme);
    if (desktopFile.isEmpty()) return false;
    QStringList arguments = ExecArguments(DesktopEntryValue(desktopFile, QStringLiteral("Exec")), DisplayText(url),
                                          DesktopEntryValue(desktopFile, QStringLiteral("Name")), desktopFile);
    if (arguments.isEmpty()) return false;
    const QString program = arguments.takeFirst();
    return QProcess::startDetached(program, arguments);
}

bool TDesktopShell::OpenUrlInBrowser(const QByteArray& url)
{
    return Open(QStringLiteral("http"), url);
}

bool TDesktopShell::OpenLink(const QByteArray& url)
{
    const QString scheme = QUrl::fromEncoded(url).scheme().toLower();
    return Open(scheme.isEmpty() ? QStringLiteral("http") : scheme, url);
}
