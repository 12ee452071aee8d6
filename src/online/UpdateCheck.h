#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class THttpClient;
class UserDialogs;

// The maker's update location, fixed at build time; it ends with "/".
QByteArray UpdateBaseUrl();

// A decimal number with "." as separator, whatever the locale: optional spaces and sign,
// digits, optional fraction and exponent, optional trailing spaces. Anything else is 0.
double VersionNumber(const QByteArray& text);

// Downloads "mainappupdate.inf", compares its version with ours and hands over to
// "Updater.exe" when the user agrees.
class TUpdateCheck
{
public:
    // Starts `program` and does not wait for it; false when it could not be started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;
    using CloseMainWindow = std::function<void()>;

    // The updater is looked for in `programFolder`; the downloaded file is kept in `infoFolder`.
    TUpdateCheck(THttpClient& http, UserDialogs& dialogs, const QString& programFolder, const QString& infoFolder,
                 const QByteArray& updateBaseUrl, const QByteArray& appVersion, Launcher launcher,
                 CloseMainWindow closeMainWindow);

    void CheckForUpdate(bool silent);
    // True when the whole body of a successful GET is in `localPath`; otherwise no file
    // of that name remains.
    bool DownloadToFile(const QByteArray& url, const QString& localPath);

private:
    void OfferUpdate(const QByteArray& versionText);

    THttpClient& m_http;
    UserDialogs& m_dialogs;
    QString m_programFolder;
    QString m_infoFolder;
    QByteArray m_updateBaseUrl;
    QByteArray m_appVersion;
    Launcher m_launcher;
    CloseMainWindow m_closeMainWindow;
};
