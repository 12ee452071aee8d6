#include "capture/SettingsFile.h"

#include "common/IniFile.h"

#include <QFile>

namespace {

const QByteArray kSection = QByteArrayLiteral("Settings");
// config.ini holds one section of a few keys; anything near this size is not ours.
constexpr qint64 kMaxConfigBytes = qint64(1) << 20;

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
    const QByteArray path = SettingsFilePath(programFolder);
    TIniFile ini;
    // Keep whatever else the file holds; an unreadable old file is simply replaced.
    QString ignored;
    ini.Load(path, &ignored, kMaxConfigBytes);
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
    return ini.Save(path, error);
}
