// When a page counts as settled, look by look.

#include "capture/PageSettling.h"

#include <QTest>

Q_DECLARE_METATYPE(TPageActivity)
Q_DECLARE_METATYPE(PageSettling::Verdict)

class TestPageSettling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void judge_data();
    void judge();
};

void TestPageSettling::judge_data()
{
    QTest::addColumn<TPageActivity>("activity");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<PageSettling::Verdict>("verdict");
    using V = PageSettling::Verdict;
    const int quiet = PageSettling::kQuietMs;

    const TPageActivity idle;
    QTest::newRow("nothing since load: settled at once") << idle << qint64(0) << V::Settled;
    TPageActivity a = idle;
    a.QuietMs = quiet;
    QTest::newRow("quiet long enough") << a << qint64(900) << V::Settled;
    a.QuietMs = quiet - 1;
    QTest::newRow("last answer just in") << a << qint64(900) << V::Wait;
    a = idle;
    a.Requests = 1;
    QTest::newRow("request in flight") << a << qint64(100) << V::Wait;
    a = idle;
    a.Fonts = 1;
    QTest::newRow("font loading") << a << qint64(100) << V::Wait;
    a = idle;
    a.Images = 2;
    QTest::newRow("image in view not decoded") << a << qint64(100) << V::Wait;
    a = idle;
    a.Timers = 1;
    QTest::newRow("short timer pending") << a << qint64(100) << V::Wait;
    a = idle;
    a.Observers = 1;
    QTest::newRow("intersection observer's first report to come") << a << qint64(20) << V::Wait;
    a = idle;
    a.ConsentBusy = true;
    QTest::newRow("consent banner being dealt with") << a << qint64(100) << V::Wait;
    a = idle;
    a.Animations = 1;
    a.AnimationLeftMs = 800;
    QTest::newRow("fade-in under way") << a << qint64(100) << V::Wait;
    a.AnimationLeftMs = 4950;
    QTest::newRow("animation ending after the cap") << a << qint64(100) << V::Capped;
    a.AnimationLeftMs = 400;
    QTest::newRow("animation restarted just before the cap") << a << qint64(4700) << V::Capped;
    a.Requests = 1;
    QTest::newRow("animation and a request") << a << qint64(100) << V::Wait;
    a = idle;
    a.Requests = 3;
    a.Timers = 2;
    QTest::newRow("busy at the cap") << a << qint64(5000) << V::Capped;
    QTest::newRow("busy just before the cap") << a << qint64(4999) << V::Wait;
}

void TestPageSettling::judge()
{
    QFETCH(TPageActivity, activity);
    QFETCH(qint64, elapsedMs);
    QFETCH(PageSettling::Verdict, verdict);
    QCOMPARE(PageSettling(5000).Judge(activity, elapsedMs), verdict);
}

QTEST_GUILESS_MAIN(TestPageSettling)
#include "TestPageSettling.moc"
