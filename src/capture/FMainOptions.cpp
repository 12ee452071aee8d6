// The Options window's choices and where they go: config.ini, the capture browser at each
// Start, the browsing tab at once.

#include "capture/FMain.h"

#include "capture/FOptions.h"
#include "capture/SettingsFile.h"
#include "capture/WebBrowser.h"
#include "common/UserDialogs.h"

void TfrmMain::btnOptionsClick()
{
    TfrmOptions window(m_captureChoices, m_dialogs, this);
    if (window.exec() != QDialog::Accepted) return;
    m_captureChoices = window.Choices();
    QString error;
    const bool folderReady = !m_userFolders.PerUser() || MakeUserFolder(m_settingsFolder, &error);
    // The whole file: the first one written per user must not leave the panel's values behind.
    if (!folderReady || !SaveWholeSettingsFile(m_settingsFolder, CurrentSettings(), m_captureChoices, &error))
        m_dialogs.ReportError(error);
    // The window checked them, files and all.
    TCaptureOptions options;
    if (ResolveCaptureChoices(m_captureChoices, &options, &error)) ApplyBrowsingIdentity(options);
}

bool TfrmMain::ApplyCaptureChoices()
{
    TCaptureOptions options;
    QString message;
    if (!ResolveCaptureChoices(m_captureChoices, &options, &message)) {
        m_dialogs.ShowSkinMessage(message, TMsgDlgType::Warning, mbOK, 0);
        return false;
    }
    // A fresh page for every Start would cost a renderer each time for nothing.
    if (options != m_captureOptions) {
        EmbeddedWB1.SetOptions(options);
        m_captureOptions = options;
    }
    m_captureQuality = m_captureChoices.Quality;
    ApplyBrowsingIdentity(options);
    return true;
}

void TfrmMain::ApplyBrowsingIdentity(const TCaptureOptions& options)
{
    const TCaptureOptions identity = IdentityOf(options);
    // Each change empties the tab's cookies: only when there is one.
    if (identity == m_browsingIdentity) return;
    EmbeddedWB2.SetOptions(identity);
    m_browsingIdentity = identity;
}
