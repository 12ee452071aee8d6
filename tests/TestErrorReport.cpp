// The general error report: an exception that escapes a handler is reported and the event
// loop goes on; ExceptionManager reaches the same report by name.

#include "platform/ReportingApplication.h"

#include <QProcess>
#include <QTest>
#include <QTimer>

#include <dlfcn.h>
#include <stdexcept>

class TestErrorReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void escapedExceptionIsReportedAndLoopGoesOn();
    void exceptionManagerByName();
    void programExportsExceptionManager();

private:
    QStringList m_reports;
};

void TestErrorReport::init()
{
    m_reports.clear();
    TReportingApplication::SetReporter([this](const QString& message) { m_reports << message; });
}

void TestErrorReport::cleanup()
{
    TReportingApplication::SetReporter({});
}

void TestErrorReport::escapedExceptionIsReportedAndLoopGoesOn()
{
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start();
    bool restOfHandlerRan = false;
    QTimer::singleShot(0, this, [&restOfHandlerRan] {
        throw std::runtime_error("Cannot create file \"/nowhere/x.jpg\": No such file or directory");
        restOfHandlerRan = true;
    });
    QTRY_COMPARE(m_reports.size(), 1);
    QCOMPARE(m_reports.first(), QStringLiteral("Cannot create file \"/nowhere/x.jpg\": No such file or directory"));
    QVERIFY(!restOfHandlerRan);
    const int before = ticks;
    QTRY_VERIFY(ticks > before + 2);
    QVERIFY(timer.isActive());
}

void TestErrorReport::exceptionManagerByName()
{
    using Entry = void (*)(const char*);
    auto entry = reinterpret_cast<Entry>(dlsym(RTLD_DEFAULT, "ExceptionManager"));
    QVERIFY(entry);
    entry("disk full");
    QCOMPARE(m_reports, QStringList{QStringLiteral("disk full")});
}

void TestErrorReport::programExportsExceptionManager()
{
    QProcess nm;
    nm.start(QStringLiteral("nm"),
             {QStringLiteral("-D"), QStringLiteral("--defined-only"), QStringLiteral(THUMBRIX_PROGRAM)});
    if (!nm.waitForStarted()) QSKIP("nm (binutils) is not installed");
    QVERIFY(nm.waitForFinished());
    const QByteArray symbols = nm.readAllStandardOutput();
    QVERIFY2(symbols.contains(" T ExceptionManager\n"), symbols.left(400).constData());
}

int main(int argc, char** argv)
{
    TReportingApplication app(argc, argv);
    TestErrorReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestErrorReport.moc"
