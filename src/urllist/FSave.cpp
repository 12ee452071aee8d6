#include "urllist/FSave.h"

#include "common/ByteFile.h"
#include "common/UserDialogs.h"
#include "urllist/FList.h"
#include "urllist/JobList.h"

#include <QButtonGroup>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmSave::TfrmSave(TJobList& jobs, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_jobs(jobs), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Export List into a text file "));
    auto* layout = new QVBoxLayout(this);

    auto* fileLabel = new QLabel(QStringLiteral("O&utput file name:"), this);
    layout->addWidget(fileLabel);
    auto* fileRow = new QHBoxLayout;
    m_edtFile = new QLineEdit(this);
    m_edtFile->setObjectName(QStringLiteral("edtFile"));
    fileLabel->setBuddy(m_edtFile);
    auto* btnBrowse = new QPushButton(QStringLiteral("&Browse"), this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setAutoDefault(false);
    fileRow->addWidget(m_edtFile, 1);
    fileRow->addWidget(btnBrowse);
    layout->addLayout(fileRow);

    m_formats = AddListFormatRadios(this, layout);
    layout->addStretch(1);

    QPushButton* btnOk = AddOkCancelRow(this, layout);

    connect(btnBrowse, &QPushButton::clicked, this, &TfrmSave::BrowseClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmSave::OkClick);

    FixSizeAndCenter(this, 518, 197);
}

void TfrmSave::BrowseClick()
{
    const QString path = m_dialogs.SaveFile(this, QStringLiteral("Save file"), QStringLiteral("URLList.txt"));
    if (!path.isEmpty()) m_edtFile->setText(path);
}

void TfrmSave::OkClick()
{
    const QString path = m_edtFile->text();
    if (path.isEmpty()) {
        m_dialogs.ShowSkinMessage(QStringLiteral("Please enter a name and location to save list."),
                                  TMsgDlgType::Information, mbOK, 0);
        return;
    }
    QString error;
    if (!ByteFile::WriteReplacing(QFile::encodeName(path), m_jobs.ExportSelected(ListFormat(m_formats->checkedId())),
                                  &error)) {
        // The inputs stay so the user can correct the path and try again.
        m_dialogs.ReportError(error);
        return;
    }
    accept();
}
