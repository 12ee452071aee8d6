#pragma once

#include "capture/CaptureChoices.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class UserDialogs;

// The capture options thumbrix-batch takes on its command line, for the window's runs.
// OK checks them as the batch does and stays open, saying which field is wrong, until they
// hold; Cancel leaves them as they were.
class TfrmOptions : public QDialog
{
    Q_OBJECT

public:
    TfrmOptions(const TCaptureChoices& choices, UserDialogs& dialogs, QWidget* parent = nullptr);

    // What OK took; until then, the choices the window was opened with.
    const TCaptureChoices& Choices() const { return m_choices; }

private:
    void OkClick();
    bool ReadControls(TCaptureChoices* choices, QString* message) const;
    void Show(const TCaptureChoices& choices);
    QLineEdit* FileEdit(const char* name, const QString& title, QWidget** row);

    TCaptureChoices m_choices;
    UserDialogs& m_dialogs;

    QLineEdit* m_edtWaitMs = nullptr;
    QLineEdit* m_edtWaitFor = nullptr;
    QLineEdit* m_edtWaitForSelector = nullptr;
    QCheckBox* m_chkFullPage = nullptr;
    QLineEdit* m_edtMaxHeight = nullptr;
    QPlainTextEdit* m_memHide = nullptr;
    QLineEdit* m_edtStyleSheetFile = nullptr;
    QLineEdit* m_edtScriptFile = nullptr;
    QLineEdit* m_edtQuality = nullptr;
    QLineEdit* m_edtUserAgent = nullptr;
    QPlainTextEdit* m_memHeaders = nullptr;
    QLineEdit* m_edtCookiesFile = nullptr;
    QLineEdit* m_edtUser = nullptr;
    QLineEdit* m_edtPassword = nullptr;
    QCheckBox* m_chkIgnoreCertificateErrors = nullptr;
    QLineEdit* m_edtScale = nullptr;
    QComboBox* m_cbxColorScheme = nullptr;
    QCheckBox* m_chkReducedMotion = nullptr;
    QLineEdit* m_edtProxy = nullptr;
    QLineEdit* m_edtProxyPassword = nullptr;
};
