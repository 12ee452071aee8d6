#pragma once

#include <QFlags>
#include <QString>

class QWidget;

// Kinds of ShowSkinMessage, with the caption and icon each gives the dialog.
enum class TMsgDlgType
{
    Warning,      // "Warning", exclamation
    Error,        // "Error", stop
    Information,  // "Information", information
    Confirmation, // "Confirm", question mark
    Custom,       // the application's title, no icon
};

// The buttons a message may offer, laid out in this order.
enum TMsgDlgBtn
{
    mbYes = 1 << 0,
    mbNo = 1 << 1,
    mbOK = 1 << 2,
    mbCancel = 1 << 3,
    mbAbort = 1 << 4,
    mbRetry = 1 << 5,
    mbIgnore = 1 << 6,
    mbAll = 1 << 7,
    mbNoToAll = 1 << 8,
    mbYesToAll = 1 << 9,
    mbHelp = 1 << 10,
};
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

// What the button that closed a message returns.
enum TModalResult : int
{
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// Every message and file dialog of the program goes through this, so the windows can be
// driven by tests that answer ahead of time. Production shows real dialogs.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    virtual int ShowSkinMessage(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext) = 0;
    // The chosen folder, or an empty text when the user cancels.
    virtual QString ChooseFolder(QWidget* parent, const QString& title) = 0;
    // The chosen existing file ("All files", *.*), or an empty text.
    virtual QString OpenFile(QWidget* parent, const QString& title) = 0;
    // The chosen file to write ("All files", *.*), proposing `fileName`, or an empty text.
    virtual QString SaveFile(QWidget* parent, const QString& title, const QString& fileName) = 0;
    // The general error report: a modal dialog with the platform's message; the program goes on.
    virtual void ReportError(const QString& message) = 0;
};
