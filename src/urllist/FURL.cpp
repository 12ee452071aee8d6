#include "urllist/FURL.h"

#include "urllist/FList.h"
#include "urllist/JobList.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmAddUrl::TfrmAddUrl(TJobList& jobs, int idKind, QWidget* parent) : QDialog(parent), m_jobs(jobs), m_idKind(idKind)
{
    setWindowTitle(QStringLiteral("Add url"));
    auto* layout = new QVBoxLayout(this);

    auto* prompt = new QLabel(QStringLiteral("Please enter the target &URL:"), this);
    m_edtURL = new QLineEdit(this);
    m_edtURL->setObjectName(QStringLiteral("edtURL"));
    prompt->setBuddy(m_edtURL);
    layout->addWidget(prompt);
    layout->addWidget(m_edtURL);

    QPushButton* btnOk = AddOkCancelRow(this, layout);

    connect(btnOk, &QPushButton::clicked, this, &TfrmAddUrl::OkClick);

    FixSizeAndCenter(this, 445, 98);
}

void TfrmAddUrl::SetUrl(const QString& url)
{
    m_edtURL->setText(url);
}

void TfrmAddUrl::OkClick()
{
    if (m_jobs.AddUrl(m_edtURL->text().toUtf8(), m_idKind)) Q_EMIT TotalChanged(m_jobs.Count());
    accept();
}
