#pragma once

#include <QDialog>

class QLineEdit;
class TJobList;

// Appends one typed URL to the end of the list.
class TfrmAddUrl : public QDialog
{
    Q_OBJECT

public:
    TfrmAddUrl(TJobList& jobs, int idKind, QWidget* parent = nullptr);

    void SetUrl(const QString& url);

Q_SIGNALS:
    void TotalChanged(int rowCount);

private:
    void OkClick();

    TJobList& m_jobs;
    const int m_idKind;
    QLineEdit* m_edtURL;
};
