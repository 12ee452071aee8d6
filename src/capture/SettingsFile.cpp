#include "capture/SettingsFile.h"

#include "brand/BrandProfile.h"
#include "common/ByteFile.h"
#include "common/IniFile.h"

#include <QFile>
#include <QLocale>

#include <algorithm>

#include <functional>

namespace {

const QByteArray kSection = QByteArrayLiteral("Settings");
const QByteArray kCapture = QByteArrayLiteral("Capture");
// config.ini holds two sections of a few keys; anything near this size is not ours.
constexpr qint64 kMaxConfigBytes = qint64(1) << 20;

int ReadBounded(const TIniFile& ini, const QByteArray& key, int low, int high, int defaultValue)
{
    const int value = ini.ReadInteger(kCapture, key, defaultValue);
    return value >= low && value <= high ? value : defaultValue;
}

QString ReadText(const TIniFile& ini, const QByteArray& key)
{
    return QString::fromUtf8(ini.ReadString(kCapture, key, {}));
}

QString ReadPath(const TIniFile& ini, const QByteArray& key)
{
    return QFile::decodeName(ini.ReadString(kCapture, key, {}));
}

// Key1, Key2, ... up to the first one missing; a value `take` refuses is left out.
QStringList ReadNumbered(const TIniFile& ini, const QByteArray& key, const std::function<bool(const QString&)>& take)
{
    // No value read holds a line break.
    const QByteArray missing = QByteArrayLiteral("\n");
    QStringList values;
    for (int n = 1;; ++n) {
        const QByteArray value = ini.ReadString(kCapture, key + QByteArray::number(n), missing);
        if (value == missing) break;
        const QString text = QString::fromUtf8(value);
        if (take(text)) values << text;
    }
    return values;
}

void WriteNumbered(TIniFile& ini, const QByteArray& key, const QStringList& values)
{
    // Every Key<n> goes first, those written twice and those after a gap too: a line the
    // load never saw would otherwise come into effect once the lines before it change.
    for (const QByteArray& name : ini.Keys(kCapture)) {
        const QByteArray number = name.mid(key.size());
        if (number.isEmpty() || name.left(key.size()).compare(key, Qt::CaseInsensitive) != 0 ||
            !std::all_of(number.cbegin(), number.cend(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        while (ini.DeleteKey(kCapture, name)) {
        }
    }
    int n = 1;
    for (const QString& value : values)
        ini.WriteString(kCapture, key + QByteArray::number(n++), value.toUtf8());
}

// Headers that carry a login, kept for the session as the passwords are.
bool IsSessionOnlyHeader(const QString& line)
{
    const QString name = HeaderNameOf(line);
    return name.compare(QLatin1String("Authorization"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("Proxy-Authorization"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("Cookie"), Qt::CaseInsensitive) == 0;
}

// Whether the file says something about the user that others on the machine need not read:
// the headers sent, the names logged in with, where the cookies are.
bool HoldsPrivate(const TIniFile& ini)
{
    for (const QByteArray& name : ini.Keys(kCapture)) {
        if (name.left(6).compare("Header", Qt::CaseInsensitive) == 0 && !ini.ReadString(kCapture, name, {}).isEmpty())
            return true;
    }
    return !ini.ReadString(kCapture, "User", {}).isEmpty() || !ini.ReadString(kCapture, "CookiesFile", {}).isEmpty() ||
           ini.ReadString(kCapture, "Proxy", {}).contains('@');
}

void WriteSettings(TIniFile& ini, const TCaptureSettings& settings)
{
    ini.WriteString(kSection, "Folder", QFile::encodeName(settings.Folder));
    ini.WriteInteger(kSection, "BrowserX", settings.BrowserX);
    ini.WriteInteger(kSection, "BrowserY", settings.BrowserY);
    ini.WriteInteger(kSection, "ThumbX", settings.ThumbX);
    ini.WriteInteger(kSection, "ThumbY", settings.ThumbY);
    ini.WriteBool(kSection, "KeepAspectRatio", settings.KeepAspectRatio);
    ini.WriteBool(kSection, "Skip", settings.Skip);
    ini.WriteInteger(kSection, "LinkType", settings.LinkType);
    ini.WriteInteger(kSection, "PageTimeout", settings.PageTimeout);
    ini.WriteInteger(kSection, "PagesAtOnce", settings.PagesAtOnce);
}

void WriteChoices(TIniFile& ini, const TCaptureChoices& choices)
{
    ini.WriteInteger(kCapture, "WaitMs", choices.WaitMs);
    ini.WriteString(kCapture, "WaitFor", choices.WaitFor.toUtf8());
    ini.WriteString(kCapture, "WaitForSelector", choices.WaitForSelector.toUtf8());
    ini.WriteBool(kCapture, "FullPage", choices.FullPage);
    ini.WriteInteger(kCapture, "MaxHeight", choices.MaxHeight);
    // As many digits as it takes to read the same number back.
    ini.WriteString(kCapture, "Scale", QString::number(choices.Scale, 'g', QLocale::FloatingPointShortest).toLatin1());
    ini.WriteString(kCapture, "ColorScheme", choices.ColorScheme.toUtf8());
    ini.WriteBool(kCapture, "ReducedMotion", choices.ReducedMotion);
    WriteNumbered(ini, "Hide", choices.HideSelectors);
    ini.WriteString(kCapture, "StyleSheetFile", QFile::encodeName(choices.StyleSheetFile));
    ini.WriteString(kCapture, "ScriptFile", QFile::encodeName(choices.ScriptFile));
    ini.WriteInteger(kCapture, "Quality", choices.Quality);
    ini.WriteString(kCapture, "UserAgent", choices.UserAgent.toUtf8());
    QStringList headers = choices.Headers;
    headers.removeIf(IsSessionOnlyHeader);
    WriteNumbered(ini, "Header", headers);
    ini.WriteString(kCapture, "CookiesFile", QFile::encodeName(choices.CookiesFile));
    ini.WriteString(kCapture, "User", choices.User.toUtf8());
    ini.WriteString(kCapture, "Proxy", ProxyWithoutPassword(choices.Proxy).toUtf8());
    ini.WriteBool(kCapture, "IgnoreCertificateErrors", choices.IgnoreCertificateErrors);
}

// Writes what `write` puts in, keeping whatever else the file holds; an unreadable old file
// is simply replaced.
bool Rewrite(const QString& folder, const std::function<void(TIniFile&)>& write, QString* error)
{
    const QByteArray path = SettingsFilePath(folder);
    TIniFile ini;
    QString ignored;
    ini.Load(path, &ignored, kMaxConfigBytes);
    write(ini);
    return ini.Save(path, error, HoldsPrivate(ini));
}

} // namespace

QByteArray SettingsFilePath(const QString& programFolder)
{
    QByteArray folder = QFile::encodeName(programFolder);
    if (!folder.endsWith('/')) folder += '/';
    return folder + "config.ini";
}

TCaptureSettings LoadSettingsFile(const QString& programFolder)
{
    TCaptureSettings settings;
    TIniFile ini;
    QString error;
    if (!ini.Load(SettingsFilePath(programFolder), &error, kMaxConfigBytes))
        return settings; // unreadable: every key takes its default
    settings.Folder = QFile::decodeName(ini.ReadString(kSection, "Folder", {}));
    settings.BrowserX = ini.ReadInteger(kSection, "BrowserX", settings.BrowserX);
    settings.BrowserY = ini.ReadInteger(kSection, "BrowserY", settings.BrowserY);
    settings.ThumbX = ini.ReadInteger(kSection, "ThumbX", settings.ThumbX);
    settings.ThumbY = ini.ReadInteger(kSection, "ThumbY", settings.ThumbY);
    settings.KeepAspectRatio = ini.ReadBool(kSection, "KeepAspectRatio", settings.KeepAspectRatio);
    settings.Skip = ini.ReadBool(kSection, "Skip", settings.Skip);
    settings.LinkType = ini.ReadInteger(kSection, "LinkType", settings.LinkType);
    const int timeout = ini.ReadInteger(kSection, "PageTimeout", settings.PageTimeout);
    // 0 is no limit at all, for users who would rather wait.
    settings.PageTimeout = timeout < 0 ? kDefaultPageTimeout : qMin(timeout, kMaxPageTimeout);
    settings.PagesAtOnce = qBound(1, ini.ReadInteger(kSection, "PagesAtOnce", settings.PagesAtOnce), kMaxPagesAtOnce);
    return settings;
}

bool SaveSettingsFile(const QString& programFolder, const TCaptureSettings& settings, QString* error)
{
    return Rewrite(
        programFolder, [&settings](TIniFile& ini) { WriteSettings(ini, settings); }, error);
}

bool SaveWholeSettingsFile(const QString& folder, const TCaptureSettings& settings, const TCaptureChoices& choices,
                           QString* error)
{
    return Rewrite(
        folder,
        [&](TIniFile& ini) {
            WriteSettings(ini, settings);
            WriteChoices(ini, choices);
        },
        error);
}

TCaptureChoices LoadCaptureChoices(const QString& programFolder)
{
    TCaptureChoices choices;
    TIniFile ini;
    QString error;
    if (!ini.Load(SettingsFilePath(programFolder), &error, kMaxConfigBytes)) return choices;
    QString message; // what a bad value would be told; here it just gives the default
    QString text;
    choices.WaitMs = ReadBounded(ini, "WaitMs", 0, kMaxWaitMs, choices.WaitMs);
    CaptureField::Condition({}, ReadText(ini, "WaitFor"), {}, &choices.WaitFor, &message);
    CaptureField::Condition({}, ReadText(ini, "WaitForSelector"), {}, &choices.WaitForSelector, &message);
    choices.FullPage = ini.ReadBool(kCapture, "FullPage", choices.FullPage);
    choices.MaxHeight = ReadBounded(ini, "MaxHeight", 1, kMaxFullHeight, choices.MaxHeight);
    CaptureField::Scale({}, ReadText(ini, "Scale"), &choices.Scale, &message);
    CaptureField::ColorScheme({}, ReadText(ini, "ColorScheme"), &choices.ColorScheme, &message);
    choices.ReducedMotion = ini.ReadBool(kCapture, "ReducedMotion", choices.ReducedMotion);
    choices.HideSelectors = ReadNumbered(ini, "Hide", [&message](const QString& selector) {
        QStringList ignored;
        return CaptureField::HideSelector({}, selector, &ignored, &message);
    });
    choices.StyleSheetFile = ReadPath(ini, "StyleSheetFile");
    choices.ScriptFile = ReadPath(ini, "ScriptFile");
    choices.Quality = ReadBounded(ini, "Quality", 1, 100, choices.Quality);
    QByteArray agent;
    if (CaptureField::UserAgent({}, ReadText(ini, "UserAgent"), &agent, &message))
        choices.UserAgent = QString::fromUtf8(agent);
    // A login header put in the file by hand is not read, as a password would not be.
    choices.Headers = ReadNumbered(ini, "Header", [&message](const QString& line) {
        QList<QPair<QByteArray, QByteArray>> ignored;
        return !IsSessionOnlyHeader(line) && CaptureField::Header({}, line, &ignored, &message);
    });
    choices.CookiesFile = ReadPath(ini, "CookiesFile");
    text = ReadText(ini, "User");
    if (!text.contains(QLatin1Char(':'))) choices.User = text;
    text = ReadText(ini, "Proxy");
    QByteArray server;
    QString user;
    QString password;
    if (CaptureField::Proxy({}, text, &server, &user, &password, &message)) choices.Proxy = text;
    choices.IgnoreCertificateErrors =
        ini.ReadBool(kCapture, "IgnoreCertificateErrors", choices.IgnoreCertificateErrors);
    return choices;
}

bool SaveCaptureChoices(const QString& programFolder, const TCaptureChoices& choices, QString* error)
{
    return Rewrite(
        programFolder, [&choices](TIniFile& ini) { WriteChoices(ini, choices); }, error);
}

TEngineOptions StartupEngineOptions(const QString& programFolder, const TUserFolders& folders)
{
    TBrandProfile profile;
    QString error; // the window reports it when it reads the profile again
    LoadBrandProfile(
        programFolder, [](int) { return 0; }, &profile, &error);
    const QString source = SettingsSourceFolder(programFolder, ForBrand(folders, profile.BranderCode));
    return EngineOptionsOf(LoadCaptureChoices(source));
}

QString SettingsSourceFolder(const QString& programFolder, const TUserFolders& folders)
{
    if (!folders.PerUser()) return programFolder;
    if (ByteFile::FileExists(SettingsFilePath(folders.Settings))) return folders.Settings;
    const QString& shared = folders.SharedSettings;
    return !shared.isEmpty() && ByteFile::FileExists(SettingsFilePath(shared)) ? shared : programFolder;
}
