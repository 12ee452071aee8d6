#include "capture/FOptions.h"

#include "common/UserDialogs.h"
#include "urllist/FList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* LineEdit(QWidget* parent, const char* name, const QString& placeholder = {})
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 30);
    return edit;
}

QPlainTextEdit* LinesEdit(QWidget* parent, const char* name)
{
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setTabChangesFocus(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 4 + 12);
    return edit;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

// Lines with something on them: a blank line between entries is no entry.
QStringList Entries(const QPlainTextEdit* edit)
{
    QStringList entries;
    for (const QString& line : edit->toPlainText().split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty()) entries << line;
    }
    return entries;
}

} // namespace

TfrmOptions::TfrmOptions(const TCaptureChoices& choices, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_choices(choices), m_dialogs(dialogs)
{
    namespace Name = CaptureChoiceName;
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    auto* layout = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    layout->addLayout(columns);

    auto* page = new QGroupBox(QStringLiteral("Each page, from the next Start"), this);
    auto* pageForm = new QFormLayout(page);
    m_edtWaitMs = LineEdit(page, "edtWaitMs");
    pageForm->addRow(QStringLiteral("Fixed &wait (ms):"), m_edtWaitMs);
    m_edtWaitFor = LineEdit(page, "edtWaitFor", QStringLiteral("a JavaScript expression"));
    pageForm->addRow(QStringLiteral("Wait for &expression:"), m_edtWaitFor);
    m_edtWaitForSelector = LineEdit(page, "edtWaitForSelector", QStringLiteral("a CSS selector"));
    pageForm->addRow(QStringLiteral("Wait for se&lector:"), m_edtWaitForSelector);
    m_chkFullPage = CheckBox(page, "chkFullPage", QStringLiteral("&Full page"));
    pageForm->addRow(QString(), m_chkFullPage);
    m_edtMaxHeight = LineEdit(page, "edtMaxHeight");
    pageForm->addRow(QStringLiteral("Max hei&ght (px):"), m_edtMaxHeight);
    m_memHide = LinesEdit(page, "memHide");
    pageForm->addRow(QStringLiteral("Hidde&n elements:\n(a selector a line)"), m_memHide);
    QWidget* row = nullptr;
    m_edtStyleSheetFile = FileEdit("edtStyleSheetFile", Name::StyleSheetFile, &row);
    pageForm->addRow(QStringLiteral("St&yle sheet file:"), row);
    m_edtScriptFile = FileEdit("edtScriptFile", Name::ScriptFile, &row);
    pageForm->addRow(QStringLiteral("Sc&ript file:"), row);
    m_edtQuality = LineEdit(page, "edtQuality", QStringLiteral("1 to 100, for jpg and webp"));
    pageForm->addRow(QStringLiteral("&Quality:"), m_edtQuality);
    columns->addWidget(page);

    auto* identity = new QGroupBox(QStringLiteral("What sites are told, from the next Start"), this);
    auto* identityForm = new QFormLayout(identity);
    m_edtUserAgent = LineEdit(identity, "edtUserAgent", QStringLiteral("the engine's own"));
    identityForm->addRow(QStringLiteral("User &agent:"), m_edtUserAgent);
    m_memHeaders = LinesEdit(identity, "memHeaders");
    identityForm->addRow(QStringLiteral("Hea&ders:\n(\"Name: value\" a line;\nAuthorization and Cookie\nnot saved)"),
                         m_memHeaders);
    m_edtCookiesFile = FileEdit("edtCookiesFile", Name::CookiesFile, &row);
    identityForm->addRow(QStringLiteral("Coo&kies file:"), row);
    m_edtUser = LineEdit(identity, "edtUser", QStringLiteral("for pages that ask"));
    identityForm->addRow(QStringLiteral("&User:"), m_edtUser);
    m_edtPassword = LineEdit(identity, "edtPassword");
    m_edtPassword->setEchoMode(QLineEdit::Password);
    identityForm->addRow(QStringLiteral("&Password (not saved):"), m_edtPassword);
    m_chkIgnoreCertificateErrors =
        CheckBox(identity, "chkIgnoreCertificateErrors", QStringLiteral("&Ignore certificate errors"));
    identityForm->addRow(QString(), m_chkIgnoreCertificateErrors);
    columns->addWidget(identity);

    auto* engine = new QGroupBox(QStringLiteral("The whole engine, from the next start of Thumbrix"), this);
    auto* engineForm = new QFormLayout(engine);
    m_edtScale = LineEdit(engine, "edtScale", QStringLiteral("1 to 4; the window is drawn larger too"));
    engineForm->addRow(QStringLiteral("&Scale:"), m_edtScale);
    m_cbxColorScheme = new QComboBox(engine);
    m_cbxColorScheme->setObjectName(QStringLiteral("cbxColorScheme"));
    m_cbxColorScheme->addItem(QStringLiteral("Engine default"), QString());
    m_cbxColorScheme->addItem(QStringLiteral("Light"), QStringLiteral("light"));
    m_cbxColorScheme->addItem(QStringLiteral("Dark"), QStringLiteral("dark"));
    engineForm->addRow(QStringLiteral("Colour sc&heme:"), m_cbxColorScheme);
    m_chkReducedMotion = CheckBox(engine, "chkReducedMotion", QStringLiteral("Reduced &motion"));
    engineForm->addRow(QString(), m_chkReducedMotion);
    m_edtProxy = LineEdit(engine, "edtProxy",
                          QStringLiteral("http://[user@]host:port, https://…, or socks5://host:port (no user)"));
    engineForm->addRow(QStringLiteral("Pro&xy:"), m_edtProxy);
    // Shown apart from the address, so that the address can be shown as it is.
    m_edtProxyPassword = LineEdit(engine, "edtProxyPassword");
    m_edtProxyPassword->setEchoMode(QLineEdit::Password);
    engineForm->addRow(QStringLiteral("Pr&oxy password (not saved):"), m_edtProxyPassword);
    layout->addWidget(engine);

    auto* note = new QLabel(QStringLiteral("Passwords, the proxy's included, and Authorization and Cookie headers "
                                           "are kept until Thumbrix closes and are never saved. A socks5:// proxy "
                                           "cannot be given a user and password."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    QPushButton* btnOk = AddOkCancelRow(this, layout);
    connect(btnOk, &QPushButton::clicked, this, &TfrmOptions::OkClick);

    Show(m_choices);
}

QLineEdit* TfrmOptions::FileEdit(const char* name, const QString& title, QWidget** row)
{
    *row = new QWidget(this);
    // As tall as its edit: a form stretches what lets it.
    (*row)->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* line = new QHBoxLayout(*row);
    line->setContentsMargins(0, 0, 0, 0);
    QLineEdit* edit = LineEdit(*row, name);
    auto* browse = new QPushButton(QStringLiteral("Browse"), *row);
    browse->setObjectName(QString::fromLatin1(name).replace(0, 3, QStringLiteral("btn")));
    browse->setAutoDefault(false);
    line->addWidget(edit, 1);
    line->addWidget(browse);
    connect(browse, &QPushButton::clicked, this, [this, edit, title] {
        const QString path = m_dialogs.OpenFile(this, title);
        if (!path.isEmpty()) edit->setText(path);
    });
    return edit;
}

void TfrmOptions::Show(const TCaptureChoices& c)
{
    m_edtWaitMs->setText(QString::number(c.WaitMs));
    m_edtWaitFor->setText(c.WaitFor);
    m_edtWaitForSelector->setText(c.WaitForSelector);
    m_chkFullPage->setChecked(c.FullPage);
    m_edtMaxHeight->setText(QString::number(c.MaxHeight));
    m_memHide->setPlainText(c.HideSelectors.join(QLatin1Char('\n')));
    m_edtStyleSheetFile->setText(c.StyleSheetFile);
    m_edtScriptFile->setText(c.ScriptFile);
    m_edtQuality->setText(QString::number(c.Quality));
    m_edtUserAgent->setText(c.UserAgent);
    m_memHeaders->setPlainText(c.Headers.join(QLatin1Char('\n')));
    m_edtCookiesFile->setText(c.CookiesFile);
    m_edtUser->setText(c.User);
    m_edtPassword->setText(c.Password);
    m_chkIgnoreCertificateErrors->setChecked(c.IgnoreCertificateErrors);
    m_edtScale->setText(QString::number(c.Scale, 'g', QLocale::FloatingPointShortest));
    m_cbxColorScheme->setCurrentIndex(qMax(0, m_cbxColorScheme->findData(c.ColorScheme)));
    m_chkReducedMotion->setChecked(c.ReducedMotion);
    m_edtProxy->setText(ProxyWithoutPassword(c.Proxy));
    m_edtProxyPassword->setText(ProxyPasswordOf(c.Proxy));
}

bool TfrmOptions::ReadControls(TCaptureChoices* c, QString* message) const
{
    namespace Name = CaptureChoiceName;
    // An empty text is an option not given, as a command line without it.
    const auto given = [](const QLineEdit* edit) { return !edit->text().isEmpty(); };
    if (!CaptureField::WaitMs(Name::WaitMs, m_edtWaitMs->text(), &c->WaitMs, message)) return false;
    if (given(m_edtWaitFor) &&
        !CaptureField::Condition(Name::WaitFor, m_edtWaitFor->text(), QStringLiteral("a JavaScript expression"),
                                 &c->WaitFor, message))
        return false;
    if (given(m_edtWaitForSelector) &&
        !CaptureField::WaitSelector(Name::WaitForSelector, m_edtWaitForSelector->text(), &c->WaitForSelector, message))
        return false;
    c->FullPage = m_chkFullPage->isChecked();
    if (!CaptureField::MaxHeight(Name::MaxHeight, m_edtMaxHeight->text(), &c->MaxHeight, message)) return false;
    for (const QString& selector : Entries(m_memHide)) {
        if (!CaptureField::HideSelector(Name::HideSelectors, selector, &c->HideSelectors, message)) return false;
    }
    c->StyleSheetFile = m_edtStyleSheetFile->text();
    c->ScriptFile = m_edtScriptFile->text();
    if (!CaptureField::Quality(Name::Quality, m_edtQuality->text(), &c->Quality, message)) return false;
    QByteArray agent;
    if (given(m_edtUserAgent) && !CaptureField::UserAgent(Name::UserAgent, m_edtUserAgent->text(), &agent, message))
        return false;
    c->UserAgent = QString::fromUtf8(agent);
    c->Headers = Entries(m_memHeaders);
    c->CookiesFile = m_edtCookiesFile->text();
    c->User = m_edtUser->text();
    c->Password = m_edtPassword->text();
    c->IgnoreCertificateErrors = m_chkIgnoreCertificateErrors->isChecked();
    if (!CaptureField::Scale(Name::Scale, m_edtScale->text(), &c->Scale, message)) return false;
    c->ColorScheme = m_cbxColorScheme->currentData().toString();
    c->ReducedMotion = m_chkReducedMotion->isChecked();
    if (!WithProxyPassword(m_edtProxy->text(), m_edtProxyPassword->text(), &c->Proxy)) {
        *message =
            QStringLiteral("%1 is given, but the proxy's address names no user@ for it.").arg(Name::ProxyPassword);
        return false;
    }
    return true;
}

void TfrmOptions::OkClick()
{
    TCaptureChoices choices;
    TCaptureOptions resolved;
    QString message;
    // The files are read too, so that one that cannot be is said now, not at the next Start.
    if (!ReadControls(&choices, &message) || !ResolveCaptureChoices(choices, &resolved, &message)) {
        m_dialogs.ShowSkinMessage(message, TMsgDlgType::Warning, mbOK, 0);
        return;
    }
    m_choices = choices;
    accept();
}
