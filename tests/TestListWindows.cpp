#include "FakeUserDialogs.h"
#include "FifoRescue.h"
#include "support/AsUnprivilegedUser.h"

#include "common/ByteFile.h"
#include "urllist/FList.h"
#include "urllist/FSave.h"
#include "urllist/FURL.h"
#include "urllist/JobId.h"
#include "urllist/JobList.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

using Lines = QList<QByteArray>;

namespace {

// Also keeps the file name the save dialog proposes, which the plain fake drops.
class RecordingDialogs : public FakeUserDialogs
{
public:
    QStringList ProposedNames;

    QString SaveFile(QWidget* parent, const QString& title, const QString& fileName) override
    {
        ProposedNames << fileName;
        return FakeUserDialogs::SaveFile(parent, title, fileName);
    }
};

// The main window's side of the windows: its rows, the view's selection, the dialog service
// and a scratch folder.
struct Fixture
{
    TJobTableModel model;
    QItemSelectionModel selection{&model};
    TJobList jobs{&model, &selection};
    RecordingDialogs dialogs;
    QTemporaryDir dir;

    // Rows numbered 1..count with URLs "old<number>".
    void AddRows(int count)
    {
        for (int n = 1; n <= count; ++n) {
            TUrlJob job;
            job.Number = QByteArray::number(n);
            job.Id = "id" + QByteArray::number(n);
            job.Url = "old" + QByteArray::number(n);
            job.Status = JobStatus::Pending;
            model.Append(job);
        }
    }
    Lines Column(QByteArray TUrlJob::*field) const
    {
        Lines values;
        for (const TUrlJob& job : model.Jobs())
            values << job.*field;
        return values;
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    bool Write(const QString& name, const QByteArray& bytes) const
    {
        QString error;
        return ByteFile::WriteReplacing(QFile::encodeName(Path(name)), bytes, &error);
    }
    QByteArray Read(const QString& name) const
    {
        QByteArray bytes;
        QString error;
        if (!ByteFile::ReadAll(QFile::encodeName(Path(name)), &bytes, &error)) qWarning("%s", qPrintable(error));
        return bytes;
    }
};

QString Plain(QString caption)
{
    return caption.remove(QLatin1Char('&'));
}

// The button showing `caption`; windows name their controls only where the program refers to them.
QPushButton* Button(const QWidget* window, const QString& caption)
{
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (Plain(button->text()) == caption) return button;
    }
    qWarning("no button \"%s\"", qPrintable(caption));
    return nullptr;
}

QLabel* Label(const QWidget* window, const QString& caption)
{
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (Plain(label->text()) == caption) return label;
    }
    qWarning("no label \"%s\"", qPrintable(caption));
    return nullptr;
}

template <typename T> T* Control(const QWidget* window, const char* name)
{
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    if (!control) qWarning("no control %s", name);
    return control;
}

bool ClosedWith(const QDialog& window, QDialog::DialogCode code)
{
    return !window.isVisible() && window.result() == code;
}

// Controls stand top to bottom (or left to right on one line) and Tab visits them in that order.
void CheckOrder(QWidget* window, const QList<QWidget*>& controls)
{
    for (qsizetype i = 1; i < controls.size(); ++i) {
        const QRect above(controls.at(i - 1)->mapTo(window, QPoint()), controls.at(i - 1)->size());
        const QRect below(controls.at(i)->mapTo(window, QPoint()), controls.at(i)->size());
        QVERIFY2(above.bottom() < below.top() || (above.top() == below.top() && above.right() < below.left()),
                 qPrintable(controls.at(i)->objectName()));
    }
    QList<QWidget*> chain;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if (controls.contains(w)) chain << w;
    }
    QCOMPARE(chain, controls);
}

const QString kFormatCaptions[] = {
    QStringLiteral("One URL per line"),
    QStringLiteral("ID and URL separated by pipe \"|\" (e.g. 1|http://www.example.com)"),
    QStringLiteral("ID and URL separated by comma \",\" (e.g. 1,http://www.example.com)"),
};

void CheckFormatRadios(const QWidget* window)
{
    for (int i = 0; i < 3; ++i) {
        auto* radio = Control<QRadioButton>(window, qPrintable(QStringLiteral("rbtFormat%1").arg(i + 1)));
        QVERIFY(radio);
        QCOMPARE(radio->text(), kFormatCaptions[i]);
        QCOMPARE(radio->isChecked(), i == 0);
    }
}

} // namespace

class TestListWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listWindow();
    void listImport_data();
    void listImport();
    void listImportsNothing_data();
    void listImportsNothing();
    void listEmptyFileEmptiesList();
    void listUnreadableFileKeepsList_data();
    void listUnreadableFileKeepsList();
    void listEscapeDoesNotClose();
    void browse_data();
    void browse();

    void addUrlWindow();
    void addUrl_data();
    void addUrl();
    void addUrlCancel_data();
    void addUrlCancel();

    void saveWindow();
    void saveEmptyNameStaysOpen();
    void save_data();
    void save();
    void saveUnwritableStaysOpen();
};

void TestListWindows::listWindow()
{
    Fixture f;
    TfrmList window(f.jobs, int(IdKind::Md5), f.dialogs);
    window.show();

    QCOMPARE(window.windowTitle(), QStringLiteral("Choose your way to to enter your URL List"));
    QCOMPARE(window.size(), QSize(516, 362));
    QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
    QStringList buttons;
    for (const QPushButton* button : window.findChildren<QPushButton*>())
        buttons << Plain(button->text());
    QCOMPARE(buttons,
             QStringList({QStringLiteral("Browse"), QStringLiteral("Load File"), QStringLiteral("Load List")}));
    CheckFormatRadios(&window);

    auto* edtURLFile = Control<QLineEdit>(&window, "edtURLFile");
    auto* memList = Control<QPlainTextEdit>(&window, "memList");
    QVERIFY(edtURLFile && memList);
    QVERIFY(edtURLFile->text().isEmpty());
    QVERIFY(memList->toPlainText().isEmpty());
    QCOMPARE(memList->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    QLabel* fileHeading = Label(&window, QStringLiteral(" Load URL List from file: "));
    QLabel* listHeading = Label(&window, QStringLiteral("Type URL List:"));
    QVERIFY(fileHeading && listHeading);
    QCOMPARE(fileHeading->buddy(), edtURLFile);
    QCOMPARE(listHeading->buddy(), memList);
    QVERIFY(Label(&window, QStringLiteral("The file should be text file and one URL per line.")));
    QVERIFY(Label(&window, QStringLiteral("File format:")));
    QVERIFY(Label(&window, QStringLiteral("Enter URL List in the text box below. One URL per line.")));

    CheckOrder(&window,
               {edtURLFile, Button(&window, QStringLiteral("Browse")), Control<QRadioButton>(&window, "rbtFormat1"),
                Control<QRadioButton>(&window, "rbtFormat2"), Control<QRadioButton>(&window, "rbtFormat3"),
                Button(&window, QStringLiteral("Load File")), memList, Button(&window, QStringLiteral("Load List"))});
}

void TestListWindows::listImport_data()
{
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<Lines>("ids");
    QTest::addColumn<Lines>("urls");

    const QString one = QStringLiteral("rbtFormat1");
    const QString pipe = QStringLiteral("rbtFormat2");
    const QString comma = QStringLiteral("rbtFormat3");

    QTest::newRow("file-one-url-per-line")
        << false << QByteArrayLiteral("http://www.a.com/\r\n\nhttp://b/x\r") << one << Lines{"a_comI", "", "bIx"}
        << Lines{"http://www.a.com/", "", "http://b/x"};
    QTest::newRow("file-pipe") << false << QByteArrayLiteral("1|http://a/\n|http://b/|c\r\nno-id") << pipe
                               << Lines{"1", "", ""} << Lines{"http://a/", "http://b/|c", "no-id"};
    QTest::newRow("file-comma") << false << QByteArrayLiteral("1,http://a/\r2 , http://b/,c\r\n") << comma
                                << Lines{"1", "2 "} << Lines{"http://a/", " http://b/,c"};
    QTest::newRow("file-bom-in-url") << false << QByteArrayLiteral("\xEF\xBB\xBFhttp://A/") << one
                                     << Lines{"\xEF\xBB\xBF"
                                              "aI"}
                                     << Lines{"\xEF\xBB\xBFhttp://A/"};
    QTest::newRow("file-bom-in-id") << false
                                    << QByteArrayLiteral("\xEF\xBB\xBF"
                                                         "7|x")
                                    << pipe
                                    << Lines{"\xEF\xBB\xBF"
                                             "7"}
                                    << Lines{"x"};
    QTest::newRow("file-not-utf8") << false << QByteArrayLiteral("http://caf\xE9/") << one << Lines{"caf\xE9I"}
                                   << Lines{"http://caf\xE9/"};
    QTest::newRow("typed-lines") << true << QByteArrayLiteral("http://www.a.com/\n\n x \n") << one
                                 << Lines{"a_comI", "", " x "} << Lines{"http://www.a.com/", "", " x "};
    QTest::newRow("typed-ignores-pipe") << true << QByteArrayLiteral("1|http://a/") << pipe << Lines{"1|aI"}
                                        << Lines{"1|http://a/"};
    QTest::newRow("typed-ignores-comma") << true << QByteArrayLiteral("1,http://a/") << comma << Lines{"1,aI"}
                                         << Lines{"1,http://a/"};
    QTest::newRow("typed-utf8") << true << QByteArrayLiteral("http://caf\xC3\xA9/") << one << Lines{"caf\xC3\xA9I"}
                                << Lines{"http://caf\xC3\xA9/"};
}

void TestListWindows::listImport()
{
    QFETCH(bool, typed);
    QFETCH(QByteArray, text);
    QFETCH(QString, radio);
    QFETCH(Lines, ids);
    QFETCH(Lines, urls);

    Fixture f;
    f.AddRows(5);
    f.jobs.SelectAll();
    TfrmList window(f.jobs, int(IdKind::Url), f.dialogs);
    QSignalSpy total(&window, &TfrmList::TotalChanged);
    window.show();

    Control<QRadioButton>(&window, qPrintable(radio))->click();
    if (typed) {
        Control<QPlainTextEdit>(&window, "memList")->setPlainText(QString::fromUtf8(text));
        Button(&window, QStringLiteral("Load List"))->click();
    } else {
        QVERIFY(f.Write(QStringLiteral("list.txt"), text));
        Control<QLineEdit>(&window, "edtURLFile")->setText(f.Path(QStringLiteral("list.txt")));
        Button(&window, QStringLiteral("Load File"))->click();
    }

    QVERIFY(ClosedWith(window, QDialog::Accepted));
    QCOMPARE(f.Column(&TUrlJob::Id), ids);
    QCOMPARE(f.Column(&TUrlJob::Url), urls);
    Lines numbers;
    for (qsizetype i = 0; i < urls.size(); ++i)
        numbers << QByteArray::number(6 + i);
    QCOMPARE(f.Column(&TUrlJob::Number), numbers);
    QCOMPARE(f.Column(&TUrlJob::Status), Lines(urls.size(), JobStatus::Pending));
    QVERIFY(!f.jobs.AnySelected());
    QCOMPARE(total.size(), 1);
    QCOMPARE(total.at(0).at(0).toInt(), int(urls.size()));
    QVERIFY(f.dialogs.Errors.isEmpty());
}

void TestListWindows::listImportsNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("path"); // relative to the scratch folder
    QTest::addColumn<QString>("text");

    const QString loadFile = QStringLiteral("Load File");
    const QString loadList = QStringLiteral("Load List");
    QTest::newRow("empty-path") << loadFile << QString() << QString();
    QTest::newRow("missing-file") << loadFile << QStringLiteral("missing.txt") << QString();
    QTest::newRow("folder") << loadFile << QStringLiteral("folder") << QString();
    QTest::newRow("empty-text") << loadList << QString() << QString();
    QTest::newRow("blank-text") << loadList << QString() << QStringLiteral("  \n\t \r\n ");
}

void TestListWindows::listImportsNothing()
{
    QFETCH(QString, button);
    QFETCH(QString, path);
    QFETCH(QString, text);

    Fixture f;
    f.AddRows(3);
    QVERIFY(f.dir.isValid() && QDir(f.dir.path()).mkdir(QStringLiteral("folder")));
    TfrmList window(f.jobs, int(IdKind::Md5), f.dialogs);
    QSignalSpy total(&window, &TfrmList::TotalChanged);
    window.show();

    if (!path.isEmpty()) Control<QLineEdit>(&window, "edtURLFile")->setText(f.Path(path));
    Control<QPlainTextEdit>(&window, "memList")->setPlainText(text);
    Button(&window, button)->click();

    QVERIFY(ClosedWith(window, QDialog::Accepted));
    QCOMPARE(f.Column(&TUrlJob::Url), Lines({"old1", "old2", "old3"}));
    QCOMPARE(total.size(), 0);
    QVERIFY(f.dialogs.Errors.isEmpty());
    QVERIFY(f.dialogs.Messages.isEmpty());
}

void TestListWindows::listEmptyFileEmptiesList()
{
    Fixture f;
    f.AddRows(3);
    QVERIFY(f.Write(QStringLiteral("empty.txt"), QByteArray()));
    TfrmList window(f.jobs, int(IdKind::Md5), f.dialogs);
    QSignalSpy total(&window, &TfrmList::TotalChanged);
    window.show();

    Control<QLineEdit>(&window, "edtURLFile")->setText(f.Path(QStringLiteral("empty.txt")));
    Button(&window, QStringLiteral("Load File"))->click();

    QVERIFY(ClosedWith(window, QDialog::Accepted));
    QCOMPARE(f.jobs.Count(), 0);
    QCOMPARE(total.size(), 0);
}

void TestListWindows::listUnreadableFileKeepsList_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("no-permission") << QStringLiteral("mode-000");
    // Exists for everyone, root included, and fails at the first read.
    QTest::newRow("read-fails") << QStringLiteral("/proc/self/mem");
    // Not a file to read: refused at once, never waited on.
    QTest::newRow("fifo") << QStringLiteral("fifo");
    QTest::newRow("device") << QStringLiteral("/dev/zero");
}

void TestListWindows::listUnreadableFileKeepsList()
{
    QFETCH(QString, kind);

    Fixture f;
    f.AddRows(3);
    QString path = kind;
    if (kind == QStringLiteral("mode-000")) {
        if (::geteuid() == 0) {
            const QString failure = RunAsUnprivilegedUser(); // root reads a file whatever its mode
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            return;
        }
        path = f.Path(QStringLiteral("locked.txt"));
        QVERIFY(f.Write(QStringLiteral("locked.txt"), QByteArrayLiteral("http://a/\r\n")));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0), 0);
    } else if (kind == QStringLiteral("fifo")) {
        path = f.Path(kind);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (!ByteFile::FileExists(QFile::encodeName(path))) {
        QSKIP("no /proc on this system");
    }

    TfrmList window(f.jobs, int(IdKind::Md5), f.dialogs);
    QSignalSpy total(&window, &TfrmList::TotalChanged);
    window.show();
    Control<QLineEdit>(&window, "edtURLFile")->setText(path);
    {
        const TFifoRescue rescue(QFile::encodeName(path)); // a reader stuck on the pipe fails instead of hanging
        Button(&window, QStringLiteral("Load File"))->click();
    }

    QVERIFY(ClosedWith(window, QDialog::Accepted));
    QCOMPARE(f.dialogs.Errors.size(), 1);
    QVERIFY2(f.dialogs.Errors.at(0).contains(path), qPrintable(f.dialogs.Errors.at(0)));
    QCOMPARE(f.Column(&TUrlJob::Url), Lines({"old1", "old2", "old3"}));
    QCOMPARE(total.size(), 0);
}

void TestListWindows::listEscapeDoesNotClose()
{
    Fixture f;
    f.AddRows(2);
    TfrmList window(f.jobs, int(IdKind::Md5), f.dialogs);
    window.show();

    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(window.isVisible());
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(f.jobs.Count(), 2);
}

void TestListWindows::browse_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("title");

    QTest::newRow("import-open-file") << false << QStringLiteral("edtURLFile") << QStringLiteral("Open file");
    QTest::newRow("export-save-file") << true << QStringLiteral("edtFile") << QStringLiteral("Save file");
}

void TestListWindows::browse()
{
    QFETCH(bool, save);
    QFETCH(QString, edit);
    QFETCH(QString, title);

    Fixture f;
    std::unique_ptr<QDialog> window;
    if (save)
        window = std::make_unique<TfrmSave>(f.jobs, f.dialogs);
    else
        window = std::make_unique<TfrmList>(f.jobs, int(IdKind::Md5), f.dialogs);
    window->show();
    auto* edtFile = Control<QLineEdit>(window.get(), qPrintable(edit));
    QVERIFY(edtFile);
    edtFile->setText(QStringLiteral("typed.txt"));

    const QString chosen = QStringLiteral(u"/home/user/Listen für heute.txt");
    f.dialogs.FileAnswers.enqueue(chosen);
    QTest::mouseClick(Button(window.get(), QStringLiteral("Browse")), Qt::LeftButton);
    QCOMPARE(edtFile->text(), chosen);

    // Cancelled: the path stays.
    QTest::mouseClick(Button(window.get(), QStringLiteral("Browse")), Qt::LeftButton);
    QCOMPARE(edtFile->text(), chosen);

    QCOMPARE(f.dialogs.DialogTitles, QStringList({title, title}));
    QCOMPARE(f.dialogs.ProposedNames,
             save ? QStringList({QStringLiteral("URLList.txt"), QStringLiteral("URLList.txt")}) : QStringList());
    QVERIFY(window->isVisible());
}

void TestListWindows::addUrlWindow()
{
    Fixture f;
    TfrmAddUrl window(f.jobs, int(IdKind::Md5));
    window.show();

    QCOMPARE(window.windowTitle(), QStringLiteral("Add url"));
    QCOMPARE(window.size(), QSize(445, 98));
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);

    auto* edtURL = Control<QLineEdit>(&window, "edtURL");
    QLabel* prompt = Label(&window, QStringLiteral("Please enter the target URL:"));
    QVERIFY(edtURL && prompt);
    QCOMPARE(prompt->buddy(), edtURL);
    CheckOrder(&window, {prompt, edtURL, Button(&window, QStringLiteral("Ok"))});
    CheckOrder(&window, {edtURL, Button(&window, QStringLiteral("Ok")), Button(&window, QStringLiteral("Cancel"))});
}

void TestListWindows::addUrl_data()
{
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("number"); // empty when nothing is added

    QTest::newRow("into-empty-list") << 0 << QStringLiteral("http://a/") << QByteArrayLiteral("1");
    QTest::newRow("after-last") << 8 << QStringLiteral("http://a/") << QByteArrayLiteral("9");
    QTest::newRow("spaces-kept") << 2 << QStringLiteral(" x ") << QByteArrayLiteral("3");
    QTest::newRow("not-a-url") << 0 << QStringLiteral(u"caf\u00E9") << QByteArrayLiteral("1");
    QTest::newRow("empty") << 2 << QString() << QByteArray();
    QTest::newRow("spaces-only") << 2 << QStringLiteral("   ") << QByteArray();
}

void TestListWindows::addUrl()
{
    QFETCH(int, rowCount);
    QFETCH(QString, text);
    QFETCH(QByteArray, number);

    Fixture f;
    f.AddRows(rowCount);
    TfrmAddUrl window(f.jobs, int(IdKind::Md5));
    QSignalSpy total(&window, &TfrmAddUrl::TotalChanged);
    window.SetUrl(text);
    window.show();
    QCOMPARE(Control<QLineEdit>(&window, "edtURL")->text(), text);

    QTest::mouseClick(Button(&window, QStringLiteral("Ok")), Qt::LeftButton);

    QVERIFY(ClosedWith(window, QDialog::Accepted));
    const bool added = !number.isEmpty();
    QCOMPARE(f.jobs.Count(), rowCount + (added ? 1 : 0));
    QCOMPARE(total.size(), added ? 1 : 0);
    if (!added) return;
    QCOMPARE(total.at(0).at(0).toInt(), rowCount + 1);
    const TUrlJob& job = f.model.At(rowCount);
    QCOMPARE(job.Number, number);
    QCOMPARE(job.Url, text.toUtf8());
    QCOMPARE(job.Id, MakeJobId(text.toUtf8(), int(IdKind::Md5)));
    QCOMPARE(job.Status, JobStatus::Pending);
}

void TestListWindows::addUrlCancel_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("cancel-button") << false;
    QTest::newRow("close-box") << true;
}

void TestListWindows::addUrlCancel()
{
    QFETCH(bool, closeBox);

    Fixture f;
    f.AddRows(1);
    TfrmAddUrl window(f.jobs, int(IdKind::Md5));
    QSignalSpy total(&window, &TfrmAddUrl::TotalChanged);
    window.SetUrl(QStringLiteral("http://a/"));
    window.show();

    if (closeBox)
        QVERIFY(window.close());
    else
        QTest::mouseClick(Button(&window, QStringLiteral("Cancel")), Qt::LeftButton);

    QVERIFY(ClosedWith(window, QDialog::Rejected));
    QCOMPARE(f.jobs.Count(), 1);
    QCOMPARE(total.size(), 0);
}

void TestListWindows::saveWindow()
{
    Fixture f;
    TfrmSave window(f.jobs, f.dialogs);
    window.show();

    QCOMPARE(window.windowTitle(), QStringLiteral("Export List into a text file "));
    QCOMPARE(window.size(), QSize(518, 197));
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    CheckFormatRadios(&window);

    auto* edtFile = Control<QLineEdit>(&window, "edtFile");
    QLabel* fileLabel = Label(&window, QStringLiteral("Output file name:"));
    QVERIFY(edtFile && fileLabel);
    QVERIFY(edtFile->text().isEmpty());
    QCOMPARE(fileLabel->buddy(), edtFile);
    QVERIFY(Label(&window, QStringLiteral("File format:")));

    CheckOrder(&window, {fileLabel, edtFile, Control<QRadioButton>(&window, "rbtFormat1"),
                         Control<QRadioButton>(&window, "rbtFormat2"), Control<QRadioButton>(&window, "rbtFormat3"),
                         Button(&window, QStringLiteral("Ok"))});
    CheckOrder(&window, {edtFile, Button(&window, QStringLiteral("Browse"))});
    CheckOrder(&window, {Button(&window, QStringLiteral("Ok")), Button(&window, QStringLiteral("Cancel"))});
}

void TestListWindows::saveEmptyNameStaysOpen()
{
    Fixture f;
    f.AddRows(2);
    f.jobs.SelectAll();
    TfrmSave window(f.jobs, f.dialogs);
    window.show();
    Control<QRadioButton>(&window, "rbtFormat3")->click();

    QTest::mouseClick(Button(&window, QStringLiteral("Ok")), Qt::LeftButton);

    QVERIFY(window.isVisible());
    QCOMPARE(f.dialogs.Messages.size(), 1);
    QCOMPARE(f.dialogs.Messages.at(0).text, QStringLiteral("Please enter a name and location to save list."));
    QCOMPARE(f.dialogs.Messages.at(0).kind, TMsgDlgType::Information);
    QCOMPARE(f.dialogs.Messages.at(0).buttons, TMsgDlgButtons(mbOK));
    QVERIFY(Control<QRadioButton>(&window, "rbtFormat3")->isChecked());
    QVERIFY(QDir(f.dir.path()).isEmpty());
}

void TestListWindows::save_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("one-url-per-line") << QStringLiteral("rbtFormat1") << QStringLiteral("URLList.txt")
                                      << QByteArrayLiteral("http://a/\r\n\r\n");
    QTest::newRow("pipe") << QStringLiteral("rbtFormat2") << QStringLiteral("URLList.txt")
                          << QByteArrayLiteral("a1|http://a/\r\nc3|\r\n");
    QTest::newRow("comma") << QStringLiteral("rbtFormat3") << QStringLiteral("URLList.txt")
                           << QByteArrayLiteral("a1,http://a/\r\nc3,\r\n");
    QTest::newRow("name-not-ascii") << QStringLiteral("rbtFormat2") << QStringLiteral(u"Liste für heute")
                                    << QByteArrayLiteral("a1|http://a/\r\nc3|\r\n");
}

void TestListWindows::save()
{
    QFETCH(QString, radio);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);

    Fixture f;
    for (const auto& [id, url] : {std::pair("a1", "http://a/"), std::pair("b2", "http://b/"), std::pair("c3", "")}) {
        TUrlJob job;
        job.Number = QByteArray::number(f.jobs.Count() + 1);
        job.Id = id;
        job.Url = url;
        job.Status = JobStatus::Success;
        f.model.Append(job);
    }
    f.selection.select(f.model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    f.selection.select(f.model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    // A longer file of the same name is replaced, not overwritten in place.
    QVERIFY(f.Write(name, QByteArray(200, 'z')));

    TfrmSave window(f.jobs, f.dialogs);
    window.show();
    Control<QRadioButton>(&window, qPrintable(radio))->click();
    Control<QLineEdit>(&window, "edtFile")->setText(f.Path(name));
    QTest::mouseClick(Button(&window, QStringLiteral("Ok")), Qt::LeftButton);

    QVERIFY(ClosedWith(window, QDialog::Accepted));
    QCOMPARE(f.Read(name), bytes);
    QVERIFY(f.dialogs.Errors.isEmpty());
    QVERIFY(f.dialogs.Messages.isEmpty());
}

void TestListWindows::saveUnwritableStaysOpen()
{
    Fixture f;
    f.AddRows(2);
    f.jobs.SelectAll();
    TfrmSave window(f.jobs, f.dialogs);
    window.show();
    const QString path = f.Path(QStringLiteral("missing/URLList.txt"));
    Control<QRadioButton>(&window, "rbtFormat2")->click();
    Control<QLineEdit>(&window, "edtFile")->setText(path);

    QTest::mouseClick(Button(&window, QStringLiteral("Ok")), Qt::LeftButton);

    QVERIFY(window.isVisible());
    QCOMPARE(f.dialogs.Errors.size(), 1);
    QVERIFY2(f.dialogs.Errors.at(0).contains(path), qPrintable(f.dialogs.Errors.at(0)));
    QCOMPARE(Control<QLineEdit>(&window, "edtFile")->text(), path);
    QVERIFY(Control<QRadioButton>(&window, "rbtFormat2")->isChecked());

    // Once the folder is there the same inputs go through.
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("missing")));
    QTest::mouseClick(Button(&window, QStringLiteral("Ok")), Qt::LeftButton);
    QVERIFY(ClosedWith(window, QDialog::Accepted));
    QCOMPARE(f.Read(QStringLiteral("missing/URLList.txt")), QByteArrayLiteral("id1|old1\r\nid2|old2\r\n"));
}

QTEST_MAIN(TestListWindows)
#include "TestListWindows.moc"
