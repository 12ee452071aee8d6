// How BatchRunner hands rows to its lanes, on fake browsers the test completes by hand.

#include "CaptureRows.h"
#include "FakeWebBrowser.h"

#include "capture/BatchRunner.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestBatchRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void rowsGoToFreeLanesInListOrder();
    void lanesAreMadeOnlyForRowsThatNeedThem_data();
    void lanesAreMadeOnlyForRowsThatNeedThem();
    void rowsSharingAFileTakeTurns();
    void eachRowTakesTheSettingsAsItStarts();
    void timeoutEndsOnlyItsOwnLane();
    void timeoutCountsOnlyTheLoad_data();
    void timeoutCountsOnlyTheLoad();
    void failuresThatMayPassAreTriedAgain_data();
    void failuresThatMayPassAreTriedAgain();

private:
    BatchRunner::BrowserFactory Factory();
    TBatchSettings Settings() const;
    // Lets the runner hand out the next rows; it makes new browsers a little apart.
    void Settle();
    // The row in progress on browser `lane` finishes with the browser's picture.
    void Complete(int lane);

    std::unique_ptr<QTemporaryDir> m_dir;
    QList<FakeWebBrowser*> m_browsers; // owned by the runner
};

void TestBatchRunner::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_browsers.clear();
}

BatchRunner::BrowserFactory TestBatchRunner::Factory()
{
    return [this] {
        auto browser = std::make_unique<FakeWebBrowser>();
        // Each lane's picture is its own shade, so a file shows which lane wrote it.
        browser->View = QImage(80, 60, QImage::Format_RGB32);
        browser->View.fill(qRgb(10 * int(m_browsers.size() + 1), 0, 0));
        m_browsers << browser.get();
        return browser;
    };
}

TBatchSettings TestBatchRunner::Settings() const
{
    TBatchSettings settings;
    settings.Folder = m_dir->path();
    settings.Sizes = {80, 60, 8, 6};
    settings.Extension = QStringLiteral("bmp");
    settings.TimeoutMs = 60000;
    return settings;
}

void TestBatchRunner::Settle()
{
    const auto navigations = [this] {
        qsizetype count = m_browsers.size();
        for (const FakeWebBrowser* browser : std::as_const(m_browsers))
            count += browser->Navigated.size();
        return count;
    };
    qsizetype before = -1;
    while (before != navigations()) {
        before = navigations();
        QTest::qWait(80);
    }
}

void TestBatchRunner::Complete(int lane)
{
    Q_EMIT m_browsers[lane]->DocumentComplete();
    Settle();
}

void TestBatchRunner::rowsGoToFreeLanesInListOrder()
{
    BatchRunner runner(Factory(), 3);
    QSignalSpy started(&runner, &BatchRunner::RowStarted);
    QSignalSpy finished(&runner, &BatchRunner::RowFinished);
    QSignalSpy done(&runner, &BatchRunner::Finished);
    QList<TUrlJob> jobs;
    for (int i = 0; i < 6; ++i)
        jobs << PendingJob("row" + QByteArray::number(i), "http://host/" + QByteArray::number(i));
    runner.Start(jobs, Settings());
    Settle();

    QCOMPARE(runner.LaneCount(), 3);
    QCOMPARE(started.size(), 3);
    QCOMPARE(m_browsers[0]->Navigated, QList<QByteArray>{"http://host/0"});
    QCOMPARE(m_browsers[1]->Navigated, QList<QByteArray>{"http://host/1"});
    QCOMPARE(m_browsers[2]->Navigated, QList<QByteArray>{"http://host/2"});

    // The lane that comes free first takes the next row, whichever lane it is.
    Complete(1);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toInt(), 1);
    QCOMPARE(m_browsers[1]->Navigated.last(), QByteArray("http://host/3"));
    Complete(2);
    QCOMPARE(m_browsers[2]->Navigated.last(), QByteArray("http://host/4"));
    Complete(2);
    QCOMPARE(m_browsers[2]->Navigated.last(), QByteArray("http://host/5"));
    QCOMPARE(m_browsers[0]->Navigated.size(), 1);

    for (int i = 0; i < started.size(); ++i)
        QCOMPARE(started[i][0].toInt(), i);
    Complete(0);
    Complete(1);
    QVERIFY(done.isEmpty()); // row 5 is still on lane 2
    Complete(2);
    QCOMPARE(done.size(), 1);
    QCOMPARE(finished.size(), 6);
    QCOMPARE(runner.LaneCount(), 3);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(runner.Jobs()[i].Status, JobStatus::Success);
        QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("row%1.bmp").arg(i))));
    }
    Settle();
    QCOMPARE(done.size(), 1);
}

void TestBatchRunner::lanesAreMadeOnlyForRowsThatNeedThem_data()
{
    QTest::addColumn<int>("lanes");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("existing"); // rows whose file is already there, skipped
    QTest::addColumn<int>("made");

    QTest::newRow("fewer-rows-than-lanes") << 4 << 2 << 0 << 2;
    QTest::newRow("more-rows-than-lanes") << 4 << 9 << 0 << 4;
    QTest::newRow("skipped-rows-need-none") << 4 << 3 << 2 << 1;
    QTest::newRow("all-skipped") << 4 << 3 << 3 << 0;
    QTest::newRow("one-lane") << 1 << 5 << 0 << 1;
}

void TestBatchRunner::lanesAreMadeOnlyForRowsThatNeedThem()
{
    QFETCH(int, lanes);
    QFETCH(int, rows);
    QFETCH(int, existing);
    QFETCH(int, made);

    QList<TUrlJob> jobs;
    for (int i = 0; i < rows; ++i) {
        jobs << PendingJob("r" + QByteArray::number(i), "http://host/" + QByteArray::number(i));
        if (i < existing) {
            QFile file(m_dir->filePath(QStringLiteral("r%1.bmp").arg(i)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    BatchRunner runner(Factory(), lanes);
    QSignalSpy done(&runner, &BatchRunner::Finished);
    runner.Start(jobs, Settings());
    Settle();
    QCOMPARE(runner.LaneCount(), made);
    while (done.isEmpty()) {
        const auto busy = std::find_if(m_browsers.begin(), m_browsers.end(),
                                       [](FakeWebBrowser* b) { return !b->Navigated.isEmpty(); });
        QVERIFY(busy != m_browsers.end());
        (*busy)->Navigated.clear();
        Complete(int(busy - m_browsers.begin()));
    }
    QCOMPARE(runner.LaneCount(), made);
    for (int i = 0; i < rows; ++i)
        QCOMPARE(runner.Jobs()[i].Status, i < existing ? JobStatus::Skipped : JobStatus::Success);
}

// The caller's settings change during the run, and a row is added: the rows that start
// afterwards get them, browsers included, and the rows under way keep their own.
void TestBatchRunner::eachRowTakesTheSettingsAsItStarts()
{
    BatchRunner runner(Factory(), 2);
    QSignalSpy done(&runner, &BatchRunner::Finished);
    TBatchSettings now = Settings();
    const QList<TUrlJob> jobs = {PendingJob("r0", "http://host/0"), PendingJob("r1", "http://host/1"),
                                 PendingJob("r2", "http://host/2")};
    runner.Start(jobs, [&now] { return now; });
    Settle();
    QCOMPARE(runner.LaneCount(), 2);
    for (const FakeWebBrowser* browser : std::as_const(m_browsers)) {
        QCOMPARE(browser->Widths, QList<int>{80});
        QCOMPARE(browser->Heights, QList<int>{60});
        QVERIFY(browser->Options.isEmpty()); // the default options need no fresh page
    }

    now.Sizes = {100, 75, 10, 7};
    now.Options.UserAgent = "Probe/1";
    now.Extension = QStringLiteral("png");
    QCOMPARE(runner.Add(PendingJob("r3", "http://host/3")), 3);
    Complete(0);
    QCOMPARE(m_browsers[0]->Navigated.last(), QByteArray("http://host/2"));
    QCOMPARE(m_browsers[0]->Widths, (QList<int>{80, 100}));
    QCOMPARE(m_browsers[0]->Heights, (QList<int>{60, 75}));
    QCOMPARE(m_browsers[0]->Options, QList<TCaptureOptions>{now.Options});
    Complete(1); // its row started before the change
    QCOMPARE(m_browsers[1]->Navigated.last(), QByteArray("http://host/3"));
    QCOMPARE(m_browsers[1]->Options, QList<TCaptureOptions>{now.Options});
    Complete(0);
    Complete(1);
    QCOMPARE(done.size(), 1);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("r0.bmp"), QStringLiteral("r1.bmp"), QStringLiteral("r2.png"),
                          QStringLiteral("r3.png")}));
    QCOMPARE(QImage(m_dir->filePath(QStringLiteral("r1.bmp"))).size(), QSize(8, 6));
    QCOMPARE(QImage(m_dir->filePath(QStringLiteral("r3.png"))).size(), QSize(10, 7));
    // A run that has ended takes no more rows.
    QCOMPARE(runner.Add(PendingJob("r4", "http://host/4")), -1);
    QCOMPARE(runner.Jobs().size(), 4);
}

void TestBatchRunner::rowsSharingAFileTakeTurns()
{
    // One at a time, the later of two rows with one ID writes the file last; so it must here.
    BatchRunner runner(Factory(), 3);
    QSignalSpy done(&runner, &BatchRunner::Finished);
    const QList<TUrlJob> jobs = {PendingJob("same", "http://host/first"), PendingJob("same", "http://host/second"),
                                 PendingJob("other", "http://host/other")};
    runner.Start(jobs, Settings());
    Settle();
    QCOMPARE(runner.LaneCount(), 1); // the second row waits, and the third waits behind it
    QCOMPARE(m_browsers[0]->Navigated, QList<QByteArray>{"http://host/first"});

    Complete(0);
    QCOMPARE(m_browsers[0]->Navigated.last(), QByteArray("http://host/second"));
    QCOMPARE(runner.LaneCount(), 2);
    QCOMPARE(m_browsers[1]->Navigated, QList<QByteArray>{"http://host/other"});
    // The other row ends first; the shared file still ends up with the second row's picture.
    Complete(1);
    Complete(0);
    QCOMPARE(done.size(), 1);
    const QImage written(m_dir->filePath(QStringLiteral("same.bmp")));
    QCOMPARE(written.pixel(0, 0), m_browsers[0]->View.pixel(0, 0));
    QCOMPARE(runner.Jobs()[1].Status, JobStatus::Success);
}

void TestBatchRunner::timeoutEndsOnlyItsOwnLane()
{
    BatchRunner runner(Factory(), 2);
    QSignalSpy finished(&runner, &BatchRunner::RowFinished);
    QSignalSpy done(&runner, &BatchRunner::Finished);
    TBatchSettings settings = Settings();
    settings.TimeoutMs = 300;
    settings.Retries = 1;
    const QList<TUrlJob> jobs = {PendingJob("stuck", "http://host/stuck"), PendingJob("a", "http://host/a"),
                                 PendingJob("b", "http://host/b")};
    runner.Start(jobs, settings);
    Settle();
    // Lane 1 carries on with its rows while lane 0 waits out its time-out and its retry.
    Complete(1);
    Complete(1);
    QCOMPARE(finished.size(), 2);
    QVERIFY(m_browsers[1]->Steps.isEmpty());
    QVERIFY(done.wait(5000));
    QCOMPARE(runner.Jobs()[0].Status, JobStatus::Error);
    QCOMPARE(finished.last()[0].toInt(), 0);
    QVERIFY2(finished.last()[1].toString().endsWith(QLatin1String("(2 attempts)")),
             qPrintable(finished.last()[1].toString()));
    QCOMPARE(m_browsers[0]->Steps,
             (QStringList{QStringLiteral("stop"), QStringLiteral("renew"), QStringLiteral("stop")}));
    QCOMPARE(m_browsers[0]->Navigated.size(), 2);
    QVERIFY(m_browsers[1]->Steps.isEmpty());
    QCOMPARE(runner.Jobs()[1].Status, JobStatus::Success);
    QCOMPARE(runner.Jobs()[2].Status, JobStatus::Success);
}

void TestBatchRunner::timeoutCountsOnlyTheLoad_data()
{
    // What the browser does, in order: "loaded", "again" (it loads again by itself), "wait"
    // (past the time-out), "complete".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("status");
    const auto steps = [](const char* text) { return QString::fromLatin1(text).split(u' '); };
    QTest::newRow("waits-past-the-timeout") << steps("loaded wait complete") << JobStatus::Success;
    QTest::newRow("loads-again-and-waits") << steps("loaded again loaded wait complete") << JobStatus::Success;
    QTest::newRow("never-loads") << steps("wait") << JobStatus::Error;
    QTest::newRow("loads-again-too-late") << steps("loaded wait again") << JobStatus::Error;
    QTest::newRow("loads-again-and-hangs") << steps("loaded again wait") << JobStatus::Error;
}

void TestBatchRunner::timeoutCountsOnlyTheLoad()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, status);
    BatchRunner runner(Factory(), 1);
    QSignalSpy done(&runner, &BatchRunner::Finished);
    TBatchSettings settings = Settings();
    settings.TimeoutMs = 500;
    settings.Retries = 0;
    runner.Start({PendingJob("a", "http://host/a")}, settings);
    Settle();
    FakeWebBrowser& browser = *m_browsers[0];
    for (const QString& step : steps) {
        if (step == QLatin1String("loaded"))
            Q_EMIT browser.Loaded();
        else if (step == QLatin1String("again"))
            Q_EMIT browser.LoadingAgain();
        else if (step == QLatin1String("wait"))
            QTest::qWait(2 * settings.TimeoutMs);
        else
            Q_EMIT browser.DocumentComplete();
    }
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(runner.Jobs()[0].Status, status);
    QCOMPARE(runner.Results()[0].Attempts, 1);
    if (status == JobStatus::Error)
        QCOMPARE(runner.Results()[0].Reason, QStringLiteral("the page did not load within 0.5 s"));
}

void TestBatchRunner::failuresThatMayPassAreTriedAgain_data()
{
    QTest::addColumn<WebBrowser::Failure>("failure");
    QTest::addColumn<int>("attempts");
    using F = WebBrowser::Failure;
    QTest::newRow("http-status") << F::HttpStatus << 1;
    QTest::newRow("certificate") << F::Certificate << 1;
    QTest::newRow("address") << F::Address << 1;
    QTest::newRow("network") << F::Network << 2;
    QTest::newRow("renderer") << F::Renderer << 2;
    QTest::newRow("paint") << F::Paint << 2;
}

void TestBatchRunner::failuresThatMayPassAreTriedAgain()
{
    QFETCH(WebBrowser::Failure, failure);
    QFETCH(int, attempts);
    BatchRunner runner(Factory(), 1);
    QSignalSpy done(&runner, &BatchRunner::Finished);
    TBatchSettings settings = Settings();
    settings.Retries = 1;
    runner.Start({PendingJob("a", "http://host/a")}, settings);
    Settle();
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        QCOMPARE(m_browsers[0]->Navigated.size(), attempt);
        Q_EMIT m_browsers[0]->NavigateError(QStringLiteral("it failed"), failure);
        Complete(0);
    }
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(m_browsers[0]->Navigated.size(), attempts);
    QCOMPARE(runner.Results()[0].Attempts, attempts);
    QCOMPARE(runner.Jobs()[0].Status, JobStatus::Error);
    QCOMPARE(runner.Results()[0].Reason,
             attempts > 1 ? QStringLiteral("it failed (%1 attempts)").arg(attempts) : QStringLiteral("it failed"));
}

QTEST_GUILESS_MAIN(TestBatchRunner)
#include "TestBatchRunner.moc"
