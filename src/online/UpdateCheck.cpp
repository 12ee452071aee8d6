#include "online/UpdateCheck.h"

#include "common/ByteFile.h"
#include "common/IniFile.h"
#include "common/UserDialogs.h"
#include "common/UserFolders.h"
#include "online/HttpClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QByteArray kInfoFile = QByteArrayLiteral("mainappupdate.inf");
const QString kUpdater = QStringLiteral("Updater.exe");
// The file names one version; a larger download, or local copy, is not the file.
constexpr qint64 kMaxInfoBytes = qint64(1) << 20;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

qsizetype SkipDigits(const QByteArray& text, qsizetype i)
{
    while (i < text.size() && IsDigit(text.at(i)))
        ++i;
    return i;
}

} // namespace

QByteArray UpdateBaseUrl()
{
    return QByteArrayLiteral(THUMBRIX_UPDATE_BASE_URL);
}

double VersionNumber(const QByteArray& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == ' ')
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text.at(i) == '+' || text.at(i) == '-')) ++i;
    const qsizetype intStart = i;
    i = SkipDigits(text, i);
    if (i == intStart) return 0;
    if (i < text.size() && text.at(i) == '.') i = SkipDigits(text, i + 1);
    if (i < text.size() && (text.at(i) == 'e' || text.at(i) == 'E')) {
        qsizetype exp = i + 1;
        if (exp < text.size() && (text.at(exp) == '+' || text.at(exp) == '-')) ++exp;
        const qsizetype expDigits = exp;
        exp = SkipDigits(text, exp);
        if (exp == expDigits) return 0;
        i = exp;
    }
    const qsizetype end = i;
    while (i < text.size() && text.at(i) == ' ')
        ++i;
    if (i != text.size()) return 0;
    // QByteArray::toDouble reads "." in every locale.
    bool ok = false;
    const double value = text.mid(start, end - start).toDouble(&ok);
    return ok ? value : 0;
}

TUpdateCheck::TUpdateCheck(THttpClient& http, UserDialogs& dialogs, const QString& programFolder,
                           const QString& infoFolder, const QByteArray& updateBaseUrl, const QByteArray& appVersion,
                           Launcher launcher, CloseMainWindow closeMainWindow)
    : m_http(http), m_dialogs(dialogs), m_programFolder(programFolder), m_infoFolder(infoFolder),
      m_updateBaseUrl(updateBaseUrl), m_appVersion(appVersion), m_launcher(std::move(launcher)),
      m_closeMainWindow(std::move(closeMainWindow))
{
}

bool TUpdateCheck::DownloadToFile(const QByteArray& url, const QString& localPath)
{
    if (QFile::exists(localPath) && !QFile::remove(localPath)) return false;

    // The body goes to a temporary file beside the target and is renamed only when complete.
    QSaveFile file(localPath);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QCoreApplication::processEvents();
    QString error;
    m_http.SetMaxReplySize(kMaxInfoBytes);
    const bool got = m_http.GetToDevice(url, &file, &error);
    m_http.Disconnect();
    if (!got) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        QFile::remove(localPath);
        return false;
    }
    return true;
}

void TUpdateCheck::CheckForUpdate(bool silent)
{
    const QString localPath = QDir(m_infoFolder).filePath(QString::fromLatin1(kInfoFile));
    // A per-user cache folder may not exist yet; a missing program folder stays missing.
    QString ignored;
    if (m_infoFolder != m_programFolder) MakeUserFolder(m_infoFolder, &ignored);
    if (DownloadToFile(m_updateBaseUrl + kInfoFile, localPath) && QFile::exists(localPath)) {
        TIniFile ini;
        QString error;
        if (ini.Load(QFile::encodeName(localPath), &error, kMaxInfoBytes)) {
            const QByteArray versionText =
                ini.ReadString(QByteArrayLiteral("APPLICATION"), QByteArrayLiteral("Version"), QByteArray());
            // The file's version is single precision, ours double: 2.01f still beats 2.0.
            const float fileVersion = float(VersionNumber(versionText));
            if (VersionNumber(m_appVersion) < double(fileVersion)) {
                OfferUpdate(versionText);
                return;
            }
        }
    }
    if (!silent)
        m_dialogs.ShowSkinMessage(QStringLiteral("There's no new updates for this application!"),
                                  TMsgDlgType::Information, mbOK, 0);
}

void TUpdateCheck::OfferUpdate(const QByteArray& versionText)
{
    const QString offer = QStringLiteral("There is a new update: (version ") + DisplayText(versionText) +
                          QStringLiteral(") available for your application!. Do you want download this update now?");
    if (m_dialogs.ShowSkinMessage(offer, TMsgDlgType::Information, mbOK | mbCancel, 0) != mrOk) return;

    const QString updater = QDir(m_programFolder).filePath(kUpdater);
    if (!QFileInfo::exists(updater)) {
        m_dialogs.ShowSkinMessage(
            QStringLiteral("The updater module is missing. Please reinstall again the current version!"),
            TMsgDlgType::Warning, mbOK, 0);
        return;
    }
    if (m_dialogs.ShowSkinMessage(QStringLiteral("To update your software the application will close to\n\rreplace "
                                                 "some files. Do you want to update now?"),
                                  TMsgDlgType::Information, mbOK | mbCancel, 0) != mrOk)
        return;

    // Closing without a running updater would leave the user with no program and no update.
    if (!m_launcher(updater,
                    {QString::fromLatin1(m_updateBaseUrl), QString::fromLatin1(m_appVersion), QStringLiteral("A")})) {
        m_dialogs.ShowSkinMessage(QStringLiteral("The updater module could not be started."), TMsgDlgType::Warning,
                                  mbOK, 0);
        return;
    }
    m_closeMainWindow();
}
