#include "platform/QtUserDialogs.h"

#include "platform/SkinMessageDialog.h"

#include <QFileDialog>

namespace {

QString AllFilesFilter()
{
    return QStringLiteral("All files (*)");
}

} // namespace

TQtUserDialogs::TQtUserDialogs(QWidget* parent) : m_parent(parent) {}

int TQtUserDialogs::ShowSkinMessage(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext)
{
    TSkinMessageDialog dialog(text, kind, buttons, helpContext, m_parent);
    return dialog.exec();
}

QString TQtUserDialogs::ChooseFolder(QWidget* parent, const QString& title)
{
    return QFileDialog::getExistingDirectory(DialogParent(parent), title, QString(), QFileDialog::ShowDirsOnly);
}

QString TQtUserDialogs::OpenFile(QWidget* parent, const QString& title)
{
    // getOpenFileName accepts existing files only.
    return QFileDialog::getOpenFileName(DialogParent(parent), title, QString(), AllFilesFilter());
}

QString TQtUserDialogs::SaveFile(QWidget* parent, const QString& title, const QString& fileName)
{
    return QFileDialog::getSaveFileName(DialogParent(parent), title, fileName, AllFilesFilter());
}

void TQtUserDialogs::ReportError(const QString& message)
{
    ShowSkinMessage(message, TMsgDlgType::Error, mbOK, 0);
}

QWidget* TQtUserDialogs::DialogParent(QWidget* parent) const
{
    return parent ? parent : m_parent;
}
