#include "platform/DesktopShell.h"

#include "common/ByteFile.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
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

// Where the association lists may stand, most important first: in each folder the
// lists of the current desktops come before the plain one.
QStringList MimeAppsLists()
{
    QStringList desktops;
    for (const QString& desktop :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops << desktop.toLower();
    QStringList folders;
    folders << EnvPaths("XDG_CONFIG_HOME", Home() + QStringLiteral("/.config")).value(0);
    folders << EnvPaths("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    folders << ApplicationDirs();
    QStringList files;
    for (const QString& folder : folders) {
        for (const QString& desktop : desktops)
            files << folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        files << folder + QStringLiteral("/mimeapps.list");
    }
    // The older name, still written by some desktops.
    for (const QString& dir : ApplicationDirs())
        files << dir + QStringLiteral("/defaults.list");
    return files;
}

// The entries of `key` in one group of a key file (mimeapps.list, mimeinfo.cache).
QStringList GroupEntries(const QString& listFile, const QString& group, const QString& key)
{
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == header;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0 && line.left(eq).trimmed() == key) {
            QStringList entries;
            for (const QString& entry : line.mid(eq + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts))
                entries << entry.trimmed();
            return entries;
        }
    }
    return {};
}

QString FindDesktopFile(const QString& desktopId)
{
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/'))) return {};
    for (const QString& dir : ApplicationDirs()) {
        const QString path = dir + QLatin1Char('/') + desktopId;
        if (QFile::exists(path)) return path;
        // "vendor-app.desktop" may stand as vendor/app.desktop.
        for (qsizetype dash = desktopId.indexOf(QLatin1Char('-')); dash > 0;
             dash = desktopId.indexOf(QLatin1Char('-'), dash + 1)) {
            QString nested = desktopId;
            nested[dash] = QLatin1Char('/');
            if (QFile::exists(dir + QLatin1Char('/') + nested)) return dir + QLatin1Char('/') + nested;
        }
    }
    return {};
}

// What the desktop's own setting names as the web browser, when the tool for it is there.
QString XdgSettingsBrowser()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-settings"));
    if (tool.isEmpty()) return {};
    QProcess process;
    process.start(tool, {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
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
    const QStringList lists = MimeAppsLists();
    for (const QString& list : lists) {
        for (const QString& id : GroupEntries(list, QStringLiteral("Default Applications"), mimeType)) {
            const QString desktopFile = FindDesktopFile(id);
            if (!desktopFile.isEmpty()) return desktopFile;
        }
    }
    // No default installed: the most preferred association, unless a list of the same or
    // higher rank removed it; then the caches of the installed entries.
    QStringList removed;
    for (const QString& list : lists) {
        removed << GroupEntries(list, QStringLiteral("Removed Associations"), mimeType);
        for (const QString& id : GroupEntries(list, QStringLiteral("Added Associations"), mimeType)) {
            const QString desktopFile = removed.contains(id) ? QString() : FindDesktopFile(id);
            if (!desktopFile.isEmpty()) return desktopFile;
        }
    }
    for (const QString& dir : ApplicationDirs()) {
        for (const QString& id :
             GroupEntries(dir + QStringLiteral("/mimeinfo.cache"), QStringLiteral("MIME Cache"), mimeType)) {
            const QString desktopFile = removed.contains(id) ? QString() : FindDesktopFile(id);
            if (!desktopFile.isEmpty()) return desktopFile;
        }
    }
    if (mimeType == QLatin1String("x-scheme-handler/http") || mimeType == QLatin1String("x-scheme-handler/https"))
        return FindDesktopFile(XdgSettingsBrowser());
    return {};
}

QByteArray TDesktopShell::SchemeOf(const QByteArray& url)
{
    // RFC 3986: a letter, then letters, digits, "+", "-" or ".", then ":". What a person
    // types as "host:port" fits that too; a colon followed by a port is not a scheme's.
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    static const QRegularExpression port(QStringLiteral("^[0-9]+(?:[/?#]|$)"));
    const QString text = QString::fromLatin1(url);
    const QRegularExpressionMatch m = scheme.match(text);
    if (!m.hasMatch() || port.match(text.mid(m.capturedEnd())).hasMatch()) return {};
    return m.captured(1).toLower().toLatin1();
}

bool TDesktopShell::IsSafeAddress(const QByteArray& url)
{
    // Whatever the handler's command line makes of it, an address must never read as an
    // option, nor reach a program that would run or show local things (file:, javascript:).
    if (url.startsWith('-')) return false;
    const QByteArray scheme = SchemeOf(url);
    // No scheme: opened as http.
    return scheme.isEmpty() || scheme == "http" || scheme == "https" || scheme == "mailto";
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

TDesktopShell::TDesktopShell(std::function<bool(const QUrl&)> fallback) : m_fallback(std::move(fallback))
{
    if (!m_fallback) m_fallback = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

bool TDesktopShell::Open(const QString& scheme, const QByteArray& url)
{
    if (!IsSafeAddress(url)) return false;
    const QString desktopFile = DefaultHandler(QStringLiteral("x-scheme-handler/") + scheme);
    if (desktopFile.isEmpty()) {
        // The desktop's own opener knows rules we do not (portals, desktop settings).
        const QUrl target = QUrl::fromEncoded(SchemeOf(url).isEmpty() && !url.isEmpty() ? "http://" + url : url);
        return !url.isEmpty() && target.isValid() && m_fallback(target);
    }
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
    const QByteArray scheme = SchemeOf(url);
    return Open(scheme.isEmpty() ? QStringLiteral("http") : QString::fromLatin1(scheme), url);
}

bool TDesktopShell::OpenFile(const QByteArray& path)
{
    // Only a regular file of ours, by an absolute path: a file: address cannot read as an option.
    if (path.isEmpty() || ByteFile::RegularFileSize(path) < 0) return false;
    return m_fallback(QUrl::fromLocalFile(QFileInfo(QFile::decodeName(path)).absoluteFilePath()));
}
