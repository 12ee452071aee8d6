#pragma once

#include <QDialog>

class QButtonGroup;
class QLineEdit;
class TJobList;
class UserDialogs;

// Writes the selected rows of the list to a file in one of the list formats.
class TfrmSave : public QDialog
{
    Q_OBJECT

public:
    TfrmSave(TJobList& jobs, UserDialogs& dialogs, QWidget* parent = nullptr);

private:
    void BrowseClick();
    void OkClick();

    TJobList& m_jobs;
    UserDialogs& m_dialogs;
    QLineEdit* m_edtFile;
    QButtonGroup* m_formats;
};
