#pragma once

#include "urllist/UrlListFile.h"

#include <QDialog>

class QBoxLayout;
class QButtonGroup;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TJobList;
class UserDialogs;

// Shared by the import and export windows, which offer the same three formats.
QString ListFormatCaption(ListFormat format);
// Adds "File format:" and the radios rbtFormat1..3 (the first checked) to `layout`; the
// group's button ids are the ListFormat values.
// The format the list windows open with.
constexpr ListFormat kFirstListFormat = ListFormat::OneUrlPerLine;
QButtonGroup* AddListFormatRadios(QWidget* owner, QBoxLayout* layout);
// Adds the right-aligned "Ok" (default) and "Cancel" (rejects) row to `layout`; returns "Ok".
QPushButton* AddOkCancelRow(QDialog* dialog, QBoxLayout* layout);
// Fixes the client area at `width` x `height` and places the dialog in the middle of its screen.
void FixSizeAndCenter(QDialog* dialog, int width, int height);

// Replaces the whole URL list by the lines of a file or of typed text.
class TfrmList : public QDialog
{
    Q_OBJECT

public:
    TfrmList(TJobList& jobs, int idKind, UserDialogs& dialogs, QWidget* parent = nullptr);

    // The window has no way out but its two load buttons, so Escape and the window
    // manager's close request do nothing.
    void reject() override {}

Q_SIGNALS:
    void TotalChanged(int rowCount);

private:
    void BrowseClick();
    void LoadFileClick();
    void LoadListClick();
    void Import(const QByteArray& text, ListFormat format);

    TJobList& m_jobs;
    const int m_idKind;
    UserDialogs& m_dialogs;
    QLineEdit* m_edtURLFile;
    QButtonGroup* m_formats;
    QPlainTextEdit* m_memList;
};
