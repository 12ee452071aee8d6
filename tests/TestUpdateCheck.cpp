#include "FakeHttpClient.h"
#include "FakeUserDialogs.h"

#include "online/UpdateCheck.h"
#include "platform/CurlHttpClient.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kBase = QByteArrayLiteral("http://updates.test/liveupdate/thumbrix/");
const QString kNoUpdates = QStringLiteral("There's no new updates for this application!");
const QString kMissing = QStringLiteral("The updater module is missing. Please reinstall again the current version!");
const QString kClose = QStringLiteral("To update your software the application will close to\n\rreplace some files. Do "
                                      "you want to update now?");

QString Offer(const QString& version)
{
    return QStringLiteral("There is a new update: (version ") + version +
           QStringLiteral(") available for your application!. Do you want download this update now?");
}

bool WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// A program folder with the check wired to fakes; records the hand-over.
struct Fixture
{
    QTemporaryDir folder;
    FakeHttpClient http;
    FakeUserDialogs dialogs;
    QString launchedProgram;
    QStringList launchedArguments;
    int launches = 0;
    int closes = 0;

    TUpdateCheck Check()
    {
        return TUpdateCheck(
            http, dialogs, folder.path(), folder.path(), kBase, QByteArrayLiteral("2.0"),
            [this](const QString& program, const QStringList& arguments) {
                ++launches;
                launchedProgram = program;
                launchedArguments = arguments;
                return true;
            },
            [this] { ++closes; });
    }
    QString Path(const QString& name) const { return folder.filePath(name); }
    bool AddUpdater() { return WriteFile(Path(QStringLiteral("Updater.exe")), "#!/bin/sh\n"); }
};

// Where an endless answer gives up by itself; a client that gets this far has no cap.
constexpr qint64 kEndlessSafetyLimit = qint64(64) << 20;

// Serves `body` for GET /liveupdate/thumbrix/mainappupdate.inf, or 404 for everything when
// `found` is false; an endless server sends `body` with no length, then filler until the
// client hangs up. Runs on the test's thread: the client keeps events going while it waits.
class TUpdateServer
{
public:
    TUpdateServer(bool found, QByteArray body, bool endless = false)
        : m_found(found), m_body(std::move(body)), m_endless(endless)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Answer(socket); });
            }
        });
    }
    bool Listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QByteArray Base() const
    {
        return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()) + "/liveupdate/thumbrix/";
    }
    QList<QByteArray> RequestLines;
    qint64 Streamed = 0;

private:
    void Answer(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n")) return;
        const QByteArray requestLine = pending.left(pending.indexOf("\r\n"));
        m_pending.remove(socket);
        RequestLines << requestLine;
        const bool hit = m_found && requestLine.startsWith("GET /liveupdate/thumbrix/mainappupdate.inf ");
        if (hit && m_endless) {
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] { Feed(socket); });
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + m_body);
            Feed(socket);
            return;
        }
        const QByteArray body = hit ? m_body : QByteArray("<h1>Not Found</h1>");
        socket->write(QByteArray(hit ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                      "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    void Feed(QTcpSocket* socket)
    {
        static const QByteArray chunk(64 * 1024, ';');
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * chunk.size()) {
            if (Streamed >= kEndlessSafetyLimit) {
                socket->disconnectFromHost();
                return;
            }
            socket->write(chunk);
            Streamed += chunk.size();
        }
    }

    QTcpServer m_server;
    bool m_found;
    QByteArray m_body;
    bool m_endless;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionNumber_data();
    void versionNumber();
    void versionDecision_data();
    void versionDecision();
    void cancelAtOfferEndsEvenWithoutUpdater();
    void missingUpdaterIsReported();
    void cancelAtCloseQuestion();
    void agreeingHandsOverToUpdater();
    void downloadReplacesOldFile();
    void failedDownloadLeavesNoFile();
    void uncreatableFileIsNoUpdate();
    void updaterGetsThreeSeparateArguments();
    void updaterThatCannotStart_data();
    void updaterThatCannotStart();
    void realClientAgainstLocalServer_data();
    void realClientAgainstLocalServer();
    void updateFileStopsAtOneMebibyte_data();
    void updateFileStopsAtOneMebibyte();
    void buildTimeBaseUrl();
};

void TestUpdateCheck::versionNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << QByteArray("2.0") << 2.0;
    QTest::newRow("integer") << QByteArray("3") << 3.0;
    QTest::newRow("spaces-around") << QByteArray("  2.5  ") << 2.5;
    QTest::newRow("sign") << QByteArray("-1.5") << -1.5;
    QTest::newRow("exponent") << QByteArray("21e-1") << 2.1;
    QTest::newRow("exponent-signed") << QByteArray("0.25E+1") << 2.5;
    QTest::newRow("dot-at-end") << QByteArray("2.") << 2.0;
    QTest::newRow("comma") << QByteArray("2,5") << 0.0;
    QTest::newRow("prefix") << QByteArray("v2.5") << 0.0;
    QTest::newRow("two-dots") << QByteArray("2.5.1") << 0.0;
    QTest::newRow("exponent-without-digits") << QByteArray("2e") << 0.0;
    QTest::newRow("tab") << QByteArray("\t2.5") << 0.0;
    QTest::newRow("empty") << QByteArray() << 0.0;
}

void TestUpdateCheck::versionNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(double, value);
    QCOMPARE(VersionNumber(text), value);
}

void TestUpdateCheck::versionDecision_data()
{
    QTest::addColumn<bool>("served"); // false: the server answers 404
    QTest::addColumn<QByteArray>("inf");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("offered"); // the quoted version; empty when nothing is offered

    const QByteArray header = "[APPLICATION]\r\nVersion=";
    QTest::newRow("same-version") << true << header + "2.0\r\n" << false << QString();
    QTest::newRow("same-version-silent") << true << header + "2.0\r\n" << true << QString();
    QTest::newRow("older") << true << header + "1.9\r\n" << false << QString();
    QTest::newRow("newer-2.01") << true << header + "2.01\r\n" << false << QStringLiteral("2.01");
    QTest::newRow("newer-silent") << true << header + "2.01\r\n" << true << QStringLiteral("2.01");
    QTest::newRow("spaces-around") << true << header + " 2.5 \r\n" << false << QStringLiteral("2.5");
    QTest::newRow("lower-case-names") << true << QByteArray("[application]\nversion=3\n") << false
                                      << QStringLiteral("3");
    QTest::newRow("comma") << true << header + "2,5\r\n" << false << QString();
    QTest::newRow("v-prefix") << true << header + "v2.5\r\n" << false << QString();
    QTest::newRow("empty-value") << true << header + "\r\n" << false << QString();
    QTest::newRow("no-section") << true << QByteArray("[OTHER]\r\nVersion=9\r\n") << false << QString();
    QTest::newRow("no-key") << true << QByteArray("[APPLICATION]\r\nBuild=9\r\n") << false << QString();
    QTest::newRow("not-found") << false << QByteArray("<h1>404</h1>") << false << QString();
    QTest::newRow("not-found-silent") << false << QByteArray("<h1>404</h1>") << true << QString();
}

void TestUpdateCheck::versionDecision()
{
    QFETCH(bool, served);
    QFETCH(QByteArray, inf);
    QFETCH(bool, silent);
    QFETCH(QString, offered);

    Fixture f;
    QVERIFY(f.folder.isValid());
    if (served)
        f.http.Reply(inf);
    else
        f.http.Fail(inf);
    f.dialogs.MessageAnswers.enqueue(mrCancel);
    f.Check().CheckForUpdate(silent);

    QCOMPARE(f.http.Gets, QList<QByteArray>{kBase + "mainappupdate.inf"});
    QCOMPARE(f.http.Disconnects, 1);
    QCOMPARE(QFile::exists(f.Path(QStringLiteral("mainappupdate.inf"))), served);
    if (offered.isEmpty()) {
        QCOMPARE(f.dialogs.MessageTexts(), silent ? QStringList() : QStringList{kNoUpdates});
        if (!silent) QCOMPARE(f.dialogs.Messages.first().kind, TMsgDlgType::Information);
    } else {
        QCOMPARE(f.dialogs.MessageTexts(), QStringList{Offer(offered)});
        QCOMPARE(f.dialogs.Messages.first().kind, TMsgDlgType::Information);
        QCOMPARE(f.dialogs.Messages.first().buttons, mbOK | mbCancel);
    }
    QCOMPARE(f.launches, 0);
}

void TestUpdateCheck::cancelAtOfferEndsEvenWithoutUpdater()
{
    Fixture f;
    f.http.Reply("[APPLICATION]\nVersion=2.1\n");
    f.dialogs.MessageAnswers.enqueue(mrCancel);
    f.Check().CheckForUpdate(false);
    QCOMPARE(f.dialogs.MessageTexts(), QStringList{Offer(QStringLiteral("2.1"))});
    QCOMPARE(f.launches + f.closes, 0);
}

void TestUpdateCheck::missingUpdaterIsReported()
{
    Fixture f;
    f.http.Reply("[APPLICATION]\nVersion=2.1\n");
    f.Check().CheckForUpdate(true);
    QCOMPARE(f.dialogs.MessageTexts(), (QStringList{Offer(QStringLiteral("2.1")), kMissing}));
    QCOMPARE(f.dialogs.Messages.last().kind, TMsgDlgType::Warning);
    QCOMPARE(f.dialogs.Messages.last().buttons, TMsgDlgButtons(mbOK));
    QCOMPARE(f.launches + f.closes, 0);
}

void TestUpdateCheck::cancelAtCloseQuestion()
{
    Fixture f;
    QVERIFY(f.AddUpdater());
    f.http.Reply("[APPLICATION]\nVersion=2.1\n");
    f.dialogs.MessageAnswers << mrOk << mrCancel;
    f.Check().CheckForUpdate(false);
    QCOMPARE(f.dialogs.MessageTexts(), (QStringList{Offer(QStringLiteral("2.1")), kClose}));
    QCOMPARE(f.launches + f.closes, 0);
}

void TestUpdateCheck::agreeingHandsOverToUpdater()
{
    Fixture f;
    QVERIFY(f.AddUpdater());
    f.http.Reply("[APPLICATION]\nVersion=2.1\n");
    f.dialogs.MessageAnswers << mrOk << mrOk;
    f.Check().CheckForUpdate(false);

    QCOMPARE(f.dialogs.MessageTexts(), (QStringList{Offer(QStringLiteral("2.1")), kClose}));
    QCOMPARE(f.dialogs.Messages.last().kind, TMsgDlgType::Information);
    QCOMPARE(f.dialogs.Messages.last().buttons, mbOK | mbCancel);
    QCOMPARE(f.launches, 1);
    QCOMPARE(f.launchedProgram, f.Path(QStringLiteral("Updater.exe")));
    QCOMPARE(f.launchedArguments,
             (QStringList{QString::fromLatin1(kBase), QStringLiteral("2.0"), QStringLiteral("A")}));
    QCOMPARE(f.closes, 1);
}

void TestUpdateCheck::downloadReplacesOldFile()
{
    Fixture f;
    const QString path = f.Path(QStringLiteral("mainappupdate.inf"));
    QVERIFY(WriteFile(path, "old content that is longer than the new one"));
    f.http.Reply("new");
    QVERIFY(f.Check().DownloadToFile("http://h.test/x", path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("new"));
    QCOMPARE(f.http.Disconnects, 1);
}

void TestUpdateCheck::failedDownloadLeavesNoFile()
{
    Fixture f;
    const QString path = f.Path(QStringLiteral("mainappupdate.inf"));
    QVERIFY(WriteFile(path, "[APPLICATION]\nVersion=9\n"));
    f.http.Fail("[APPLICATION]\nVers"); // cut off mid-transfer
    QVERIFY(!f.Check().DownloadToFile("http://h.test/x", path));
    QCOMPARE(QDir(f.folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(f.http.Disconnects, 1);
}

void TestUpdateCheck::uncreatableFileIsNoUpdate()
{
    Fixture f;
    const QString missingFolder = f.Path(QStringLiteral("gone"));
    f.http.Reply("[APPLICATION]\nVersion=9\n");
    TUpdateCheck check(
        f.http, f.dialogs, missingFolder, missingFolder, kBase, "2.0",
        [](const QString&, const QStringList&) { return true; }, [] {});
    check.CheckForUpdate(false);
    QCOMPARE(f.dialogs.MessageTexts(), QStringList{kNoUpdates});
}

void TestUpdateCheck::updaterGetsThreeSeparateArguments()
{
    Fixture f;
    const QString record = f.Path(QStringLiteral("args.txt"));
    const QString updater = f.Path(QStringLiteral("Updater.exe"));
    // One argument per line, so a word split or joined by a shell would show.
    QVERIFY(WriteFile(updater, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp\"\n"
                               "mv \"$0.tmp\" \"" +
                                   QFile::encodeName(record) + "\"\n"));
    QVERIFY(QFile::setPermissions(updater, QFile::permissions(updater) | QFile::ExeOwner));

    f.http.Reply("[APPLICATION]\nVersion=2.1\n");
    f.dialogs.MessageAnswers << mrOk << mrOk;
    int closes = 0;
    TUpdateCheck check(
        f.http, f.dialogs, f.folder.path(), f.folder.path(), kBase, "2.0",
        [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
        },
        [&closes] { ++closes; });
    check.CheckForUpdate(false);
    QCOMPARE(closes, 1);

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 10000);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kBase + "\n2.0\nA\n");
}

void TestUpdateCheck::updaterThatCannotStart_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: a folder of that name
    QTest::addColumn<bool>("executable");
    QTest::addColumn<bool>("goneBeforeStart");
    QTest::addColumn<bool>("started");

    QTest::newRow("executable") << QByteArray("#!/bin/sh\n") << true << false << true;
    QTest::newRow("not-executable") << QByteArray("#!/bin/sh\n") << false << false << false;
    QTest::newRow("folder") << QByteArray() << true << false << false;
    QTest::newRow("gone-before-start") << QByteArray("#!/bin/sh\n") << true << true << false;
    QTest::newRow("no-interpreter") << QByteArray("#!/no/such/shell\n") << true << false << false;
}

void TestUpdateCheck::updaterThatCannotStart()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, executable);
    QFETCH(bool, goneBeforeStart);
    QFETCH(bool, started);

    Fixture f;
    const QString updater = f.Path(QStringLiteral("Updater.exe"));
    if (script.isEmpty()) {
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("Updater.exe")));
    } else {
        QVERIFY(WriteFile(updater, script));
        const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions(updater, executable ? mode | QFile::ExeOwner : mode));
    }
    f.http.Reply("[APPLICATION]\nVersion=2.1\n");
    f.dialogs.MessageAnswers << mrOk << mrOk;
    int closes = 0;
    TUpdateCheck check(
        f.http, f.dialogs, f.folder.path(), f.folder.path(), kBase, "2.0",
        [goneBeforeStart](const QString& program, const QStringList& arguments) {
            if (goneBeforeStart) QFile::remove(program);
            return QProcess::startDetached(program, arguments);
        },
        [&closes] { ++closes; });
    check.CheckForUpdate(false);

    QStringList messages{Offer(QStringLiteral("2.1")), kClose};
    if (!started) messages << QStringLiteral("The updater module could not be started.");
    QCOMPARE(f.dialogs.MessageTexts(), messages);
    QCOMPARE(f.dialogs.Messages.last().kind, started ? TMsgDlgType::Information : TMsgDlgType::Warning);
    QCOMPARE(closes, started ? 1 : 0);
}

void TestUpdateCheck::realClientAgainstLocalServer_data()
{
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("inf");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("newer") << true << QByteArray("[APPLICATION]\r\nVersion=2.01\r\n")
                           << QStringList{Offer(QStringLiteral("2.01"))};
    QTest::newRow("same") << true << QByteArray("[APPLICATION]\r\nVersion=2.0\r\n") << QStringList{kNoUpdates};
    QTest::newRow("spaces-around") << true << QByteArray("[APPLICATION]\r\nVersion = 2.5 \r\n")
                                   << QStringList{Offer(QStringLiteral("2.5"))};
    QTest::newRow("comma") << true << QByteArray("[APPLICATION]\r\nVersion=2,5\r\n") << QStringList{kNoUpdates};
    QTest::newRow("v-prefix") << true << QByteArray("[APPLICATION]\r\nVersion=v2.5\r\n") << QStringList{kNoUpdates};
    QTest::newRow("empty") << true << QByteArray("[APPLICATION]\r\nVersion=\r\n") << QStringList{kNoUpdates};
    QTest::newRow("no-section") << true << QByteArray("Version=3\r\n") << QStringList{kNoUpdates};
    QTest::newRow("not-found") << false << QByteArray() << QStringList{kNoUpdates};
}

void TestUpdateCheck::realClientAgainstLocalServer()
{
    QFETCH(bool, found);
    QFETCH(QByteArray, inf);
    QFETCH(QStringList, messages);

    TUpdateServer server(found, inf);
    QVERIFY(server.Listen());
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString local = folder.filePath(QStringLiteral("mainappupdate.inf"));
    QVERIFY(WriteFile(local, "[APPLICATION]\r\nVersion=9\r\n")); // a stale copy must not count
    TCurlHttpClient http;
    FakeUserDialogs dialogs;
    dialogs.MessageAnswers.enqueue(mrCancel);
    TUpdateCheck check(
        http, dialogs, folder.path(), folder.path(), server.Base(), "2.0",
        [](const QString&, const QStringList&) { return true; }, [] {});
    check.CheckForUpdate(false);

    QCOMPARE(server.RequestLines, QList<QByteArray>{"GET /liveupdate/thumbrix/mainappupdate.inf HTTP/1.1"});
    QCOMPARE(dialogs.MessageTexts(), messages);
    QCOMPARE(QFile::exists(local), found);
    if (found) {
        QFile file(local);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), inf);
    }
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), found ? 1 : 0);
}

void TestUpdateCheck::updateFileStopsAtOneMebibyte_data()
{
    QTest::addColumn<QByteArray>("inf");
    QTest::addColumn<bool>("endless");
    QTest::addColumn<QStringList>("messages");

    // A newer version, padded with a comment line to the given size.
    const auto inf = [](qint64 size) {
        const QByteArray head = "[APPLICATION]\r\nVersion=2.01\r\n;";
        return head + QByteArray(size - head.size() - 2, 'x') + "\r\n";
    };
    constexpr qint64 cap = qint64(1) << 20;
    QTest::newRow("exactly-1-MiB") << inf(cap) << false << QStringList{Offer(QStringLiteral("2.01"))};
    QTest::newRow("one-byte-over") << inf(cap + 1) << false << QStringList{kNoUpdates};
    QTest::newRow("never-ends") << QByteArray("[APPLICATION]\r\nVersion=2.01\r\n") << true << QStringList{kNoUpdates};
}

void TestUpdateCheck::updateFileStopsAtOneMebibyte()
{
    QFETCH(QByteArray, inf);
    QFETCH(bool, endless);
    QFETCH(QStringList, messages);

    TUpdateServer server(true, inf, endless);
    QVERIFY(server.Listen());
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    TCurlHttpClient http;
    http.SetMaxReplySize(1); // the check must set its own cap
    FakeUserDialogs dialogs;
    dialogs.MessageAnswers.enqueue(mrCancel);
    TUpdateCheck check(
        http, dialogs, folder.path(), folder.path(), server.Base(), "2.0",
        [](const QString&, const QStringList&) { return true; }, [] {});
    check.CheckForUpdate(false);

    QVERIFY2(server.Streamed < kEndlessSafetyLimit, qPrintable(QString::number(server.Streamed)));
    QCOMPARE(dialogs.MessageTexts(), messages);
    // Nothing partial stays behind, temporary files included.
    const bool offered = messages.first() != kNoUpdates;
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             offered ? QStringList{QStringLiteral("mainappupdate.inf")} : QStringList());
}

void TestUpdateCheck::buildTimeBaseUrl()
{
    const QByteArray url = UpdateBaseUrl();
    QVERIFY2(url.startsWith("http://"), url.constData());
    QVERIFY2(url.endsWith("/liveupdate/thumbrix/"), url.constData());
    QVERIFY(!url.contains(' '));
}

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "TestUpdateCheck.moc"
