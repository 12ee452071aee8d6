#pragma once

#include "common/UserDialogs.h"

// The real dialogs: TSkinMessageDialog for messages, Qt's file dialogs for files.
class TQtUserDialogs : public UserDialogs
{
public:
    // `parent` owns the message dialogs and is used by file dialogs that are given none.
    explicit TQtUserDialogs(QWidget* parent = nullptr);

    int ShowSkinMessage(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext) override;
    QString ChooseFolder(QWidget* parent, const QString& title) override;
    QString OpenFile(QWidget* parent, const QString& title) override;
    QString SaveFile(QWidget* parent, const QString& title, const QString& fileName) override;
    void ReportError(const QString& message) override;

private:
    QWidget* DialogParent(QWidget* parent) const;

    QWidget* m_parent;
};
