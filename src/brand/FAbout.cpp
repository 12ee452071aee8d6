#include "brand/FAbout.h"

#include "brand/BrandProfile.h"
#include "common/ByteFile.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(const TBrandProfile& profile, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    lblProductName = new QLabel(this);
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblProductVersion = new QLabel(this);
    lblProductVersion->setObjectName(QStringLiteral("lblProductVersion"));
    lblCopyright = new QLabel(this);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    // Profile text, shown as written: markup in it must not turn into formatting or links.
    for (QLabel* label : {lblProductName, lblProductVersion, lblCopyright})
        label->setTextFormat(Qt::PlainText);
    memAbout = new QPlainTextEdit(this);
    memAbout->setObjectName(QStringLiteral("memAbout"));
    memAbout->setReadOnly(true);
    memAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memAbout->setAccessibleName(QStringLiteral("About"));
    editAbout = new QPushButton(QStringLiteral("Ok"), this);
    editAbout->setObjectName(QStringLiteral("editAbout"));
    editAbout->setDefault(true);

    auto* column = new QVBoxLayout(this);
    column->addWidget(lblProductName);
    column->addWidget(lblProductVersion);
    column->addWidget(lblCopyright);
    column->addWidget(memAbout, 1);
    column->addWidget(editAbout, 0, Qt::AlignRight);
    connect(editAbout, &QPushButton::clicked, this, &TfrmAbout::editAboutClick);

    FormCreate(profile);
    setFixedSize(368, 211);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmAbout::FormCreate(const TBrandProfile& profile)
{
    const QString name = DisplayText(profile.ApplicationName);
    setWindowTitle(QStringLiteral("About ") + name + QStringLiteral("..."));
    lblProductName->setText(name);
    lblProductVersion->setText(QStringLiteral("Product Version: ") + QString::fromLatin1(AppVersion));
    lblCopyright->setText(QStringLiteral("Copyright \u00a9 ") + DisplayText(profile.CopyrightYears) + QLatin1Char(' ') +
                          DisplayText(profile.CopyrightCompany));
    // One line per line of the text, whichever break it used.
    QString text = DisplayText(profile.AboutText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    memAbout->setPlainText(text);
}

void TfrmAbout::editAboutClick()
{
    accept();
}
