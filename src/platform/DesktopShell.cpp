#include "platform/DesktopShell.h"

#include "common/ByteFile.h"
#include "platform/ProgramStarter.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <gio/gdesktopappinfo.h>

#include <memory>

namespace {

// GLib's objects, released at the end of the scope.
struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfo = std::unique_ptr<GAppInfo, GObjectUnref>;

// What the desktop's own setting names as the web browser, when the tool for it is there.
QString XdgSettingsBrowser()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-settings"));
    if (tool.isEmpty()) return {};
    QProcess process;
    process.setProcessEnvironment(ProgramStarter::StartEnvironment());
    process.start(tool, {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Only a desktop entry with an Exec line is started by us. GIO names an entry that a
// user's copy marked Hidden (deleted) as readily as any other.
AppInfo Startable(GAppInfo* info)
{
    AppInfo owned(info);
    if (!owned || !G_IS_DESKTOP_APP_INFO(info) || g_desktop_app_info_get_is_hidden(G_DESKTOP_APP_INFO(info))) return {};
    const char* exec = g_app_info_get_commandline(info);
    return exec && *exec ? std::move(owned) : AppInfo();
}

// The default handler GIO finds by the freedesktop rules (the current desktops' lists first,
// added and removed associations, the entries' caches, TryExec); for the web, failing
// that, the desktop's browser setting.
AppInfo DefaultHandler(const QByteArray& scheme)
{
    AppInfo info = Startable(g_app_info_get_default_for_uri_scheme(scheme.constData()));
    if (!info && (scheme == "http" || scheme == "https")) {
        const QByteArray id = XdgSettingsBrowser().toUtf8();
        if (!id.isEmpty()) info = Startable(G_APP_INFO(g_desktop_app_info_new(id.constData())));
    }
    return info;
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

QByteArray TDesktopShell::BrowserReading(const QByteArray& url)
{
    // As the URL standard has a browser read it: C0 controls and spaces go from both ends,
    // tab, CR and LF from anywhere. " javascript:" and "java\tscript:" are javascript: to it.
    qsizetype begin = 0;
    qsizetype end = url.size();
    while (begin < end && uchar(url.at(begin)) <= 0x20)
        ++begin;
    while (end > begin && uchar(url.at(end - 1)) <= 0x20)
        --end;
    QByteArray read;
    read.reserve(end - begin);
    for (qsizetype i = begin; i < end; ++i) {
        const char c = url.at(i);
        if (c != '\t' && c != '\r' && c != '\n') read += c;
    }
    return read;
}

QByteArray TDesktopShell::SchemeOf(const QByteArray& url)
{
    // RFC 3986: a letter, then letters, digits, "+", "-" or ".", then ":". What a person
    // types as "host:port" fits that too: digits after a name that could be a host's are a
    // port, unless the name is a scheme a browser knows ("javascript:1/" is javascript:).
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    static const QRegularExpression port(QStringLiteral("^[0-9]+(?:[/?#]|$)"));
    static const QRegularExpression hostName(QStringLiteral("^[a-z0-9.-]+$"));
    static const QStringList known = {QStringLiteral("about"),       QStringLiteral("blob"),
                                      QStringLiteral("chrome"),      QStringLiteral("chrome-extension"),
                                      QStringLiteral("data"),        QStringLiteral("devtools"),
                                      QStringLiteral("file"),        QStringLiteral("filesystem"),
                                      QStringLiteral("ftp"),         QStringLiteral("http"),
                                      QStringLiteral("https"),       QStringLiteral("jar"),
                                      QStringLiteral("javascript"),  QStringLiteral("livescript"),
                                      QStringLiteral("mailto"),      QStringLiteral("moz-extension"),
                                      QStringLiteral("resource"),    QStringLiteral("vbscript"),
                                      QStringLiteral("view-source"), QStringLiteral("ws"),
                                      QStringLiteral("wss")};
    const QString text = QString::fromLatin1(BrowserReading(url));
    const QRegularExpressionMatch m = scheme.match(text);
    if (!m.hasMatch()) return {};
    const QString name = m.captured(1).toLower();
    if (!known.contains(name) && hostName.match(name).hasMatch() && port.match(text.mid(m.capturedEnd())).hasMatch())
        return {};
    return name.toLatin1();
}

bool TDesktopShell::IsSafeAddress(const QByteArray& url)
{
    // Whatever the handler's command line makes of it, an address must never read as an
    // option, nor reach a program that would run or show local things (file:, javascript:).
    if (url.startsWith('-') || BrowserReading(url).startsWith('-')) return false;
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
    // xdg-open is what Qt's own opener would run too, but Qt's gets the environment as it is now.
    if (!m_fallback)
        m_fallback = [](const QUrl& url) {
            const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
            return !opener.isEmpty() && ProgramStarter::StartDetached(opener, {QString::fromLatin1(url.toEncoded())});
        };
}

bool TDesktopShell::Open(const QString& scheme, const QByteArray& url)
{
    if (!IsSafeAddress(url)) return false;
    const AppInfo handler = DefaultHandler(scheme.toLatin1());
    if (!handler) {
        // The desktop's own opener knows rules we do not (portals, desktop settings).
        const QUrl target = QUrl::fromEncoded(SchemeOf(url).isEmpty() && !url.isEmpty() ? "http://" + url : url);
        return !url.isEmpty() && target.isValid() && m_fallback(target);
    }
    QStringList arguments =
        ExecArguments(QString::fromUtf8(g_app_info_get_commandline(handler.get())), DisplayText(url),
                      QString::fromUtf8(g_app_info_get_name(handler.get())),
                      QFile::decodeName(g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(handler.get()))));
    if (arguments.isEmpty()) return false;
    const QString program = arguments.takeFirst();
    return ProgramStarter::StartDetached(program, arguments);
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
