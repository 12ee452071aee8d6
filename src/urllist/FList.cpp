#include "urllist/FList.h"

#include "common/ByteFile.h"
#include "common/UserDialogs.h"
#include "urllist/JobList.h"

#include <QButtonGroup>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

QString ListFormatCaption(ListFormat format)
{
    switch (format) {
    case ListFormat::OneUrlPerLine:
        return QStringLiteral("One URL per line");
    case ListFormat::Pipe:
        return QStringLiteral("ID and URL separated by pipe \"|\" (e.g. 1|http://www.example.com)");
    case ListFormat::Comma:
        return QStringLiteral("ID and URL separated by comma \",\" (e.g. 1,http://www.example.com)");
    }
    return QString();
}

QButtonGroup* AddListFormatRadios(QWidget* owner, QBoxLayout* layout)
{
    auto* label = new QLabel(QStringLiteral("File for&mat:"), owner);
    layout->addWidget(label);
    auto* group = new QButtonGroup(owner);
    for (ListFormat format : {ListFormat::OneUrlPerLine, ListFormat::Pipe, ListFormat::Comma}) {
        auto* radio = new QRadioButton(ListFormatCaption(format), owner);
        radio->setObjectName(QStringLiteral("rbtFormat%1").arg(int(format)));
        group->addButton(radio, int(format));
        layout->addWidget(radio);
    }
    group->button(int(kFirstListFormat))->setChecked(true);
    label->setBuddy(group->button(int(kFirstListFormat)));
    return group;
}

QPushButton* AddOkCancelRow(QDialog* dialog, QBoxLayout* layout)
{
    auto* buttons = new QHBoxLayout;
    auto* btnOk = new QPushButton(QStringLiteral("&Ok"), dialog);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    auto* btnCancel = new QPushButton(QStringLiteral("&Cancel"), dialog);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    QObject::connect(btnCancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return btnOk;
}

void FixSizeAndCenter(QDialog* dialog, int width, int height)
{
    dialog->setFixedSize(width, height);
    const QScreen* screen =
        dialog->parentWidget() ? dialog->parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame(QPoint(), dialog->size());
    frame.moveCenter(screen->availableGeometry().center());
    dialog->move(frame.topLeft());
}

namespace {

// A heading with a horizontal rule filling the rest of its line.
QLabel* AddHeading(const QString& text, QWidget* owner, QBoxLayout* layout)
{
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(text, owner);
    auto* rule = new QFrame(owner);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    row->addWidget(label);
    row->addWidget(rule, 1);
    layout->addLayout(row);
    return label;
}

} // namespace

TfrmList::TfrmList(TJobList& jobs, int idKind, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_jobs(jobs), m_idKind(idKind),
      m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Choose your way to to enter your URL List"));
    auto* layout = new QVBoxLayout(this);

    QLabel* fileHeading = AddHeading(QStringLiteral(" Load URL List from &file: "), this, layout);
    layout->addWidget(new QLabel(QStringLiteral("The file should be text file and one URL per line."), this));
    auto* fileRow = new QHBoxLayout;
    m_edtURLFile = new QLineEdit(this);
    m_edtURLFile->setObjectName(QStringLiteral("edtURLFile"));
    fileHeading->setBuddy(m_edtURLFile);
    auto* btnBrowse = new QPushButton(QStringLiteral("&Browse"), this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setAutoDefault(false);
    fileRow->addWidget(m_edtURLFile, 1);
    fileRow->addWidget(btnBrowse);
    layout->addLayout(fileRow);

    m_formats = AddListFormatRadios(this, layout);
    auto* btnLoadFile = new QPushButton(QStringLiteral("&Load File"), this);
    btnLoadFile->setObjectName(QStringLiteral("btnLoadFile"));
    btnLoadFile->setDefault(true);
    layout->addWidget(btnLoadFile, 0, Qt::AlignRight);

    QLabel* listHeading = AddHeading(QStringLiteral("&Type URL List:"), this, layout);
    layout->addWidget(new QLabel(QStringLiteral("Enter URL List in the text box below. One URL per line."), this));
    m_memList = new QPlainTextEdit(this);
    m_memList->setObjectName(QStringLiteral("memList"));
    m_memList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memList->setTabChangesFocus(true);
    listHeading->setBuddy(m_memList);
    layout->addWidget(m_memList, 1);
    auto* btnLoadList = new QPushButton(QStringLiteral("Load L&ist"), this);
    btnLoadList->setObjectName(QStringLiteral("btnLoadList"));
    btnLoadList->setAutoDefault(false);
    layout->addWidget(btnLoadList, 0, Qt::AlignRight);

    connect(btnBrowse, &QPushButton::clicked, this, &TfrmList::BrowseClick);
    connect(btnLoadFile, &QPushButton::clicked, this, &TfrmList::LoadFileClick);
    connect(btnLoadList, &QPushButton::clicked, this, &TfrmList::LoadListClick);

    FixSizeAndCenter(this, 516, 362);
}

void TfrmList::BrowseClick()
{
    const QString path = m_dialogs.OpenFile(this, QStringLiteral("Open file"));
    if (!path.isEmpty()) m_edtURLFile->setText(path);
}

void TfrmList::LoadFileClick()
{
    const QByteArray path = QFile::encodeName(m_edtURLFile->text());
    // An empty path or a folder counts as missing: the command just ends. A FIFO or a device
    // is there, and the reader refuses it with a reason.
    if (ByteFile::FileExists(path)) {
        // Read before the list is touched: a file that turns out unreadable must not
        // cost the user the rows they already have.
        QByteArray text;
        QString error;
        if (ReadListFile(path, &text, &error))
            Import(text, ListFormat(m_formats->checkedId()));
        else
            m_dialogs.ReportError(error);
    }
    accept();
}

void TfrmList::LoadListClick()
{
    const QByteArray text = m_memList->toPlainText().toUtf8();
    // Typed text is always one URL per line, whichever radio is checked.
    if (HasContent(text)) Import(text, ListFormat::OneUrlPerLine);
    accept();
}

void TfrmList::Import(const QByteArray& text, ListFormat format)
{
    if (m_jobs.Import(SplitListLines(text), format, m_idKind) > 0) Q_EMIT TotalChanged(m_jobs.Count());
}
