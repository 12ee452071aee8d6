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
    void readsOnlyWellFormedAnswers_data();
    void readsOnlyWellFormedAnswers();
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
    // The quiet time itself, not only its name: a page's script may take a quarter second
    // to draw what its last answer brought.
    a.QuietMs = 250;
    QTest::newRow("quiet a quarter second") << a << qint64(900) << V::Wait;
    a = idle;
    a.Starting = 1;
    QTest::newRow("frames after load still to come") << a << qint64(20) << V::Wait;
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

void TestPageSettling::readsOnlyWellFormedAnswers_data()
{
    QTest::addColumn<QString>("answer");
    // What is read, in the order the probe answers; empty: no answer.
    QTest::addColumn<QList<int>>("read");
    using L = QList<int>;

    QTest::newRow("idle since load") << QStringLiteral("0,0,0,0,0,0,0,-1,0") << L{0, 0, 0, 0, 0, 0, 0, -1, 0};
    QTest::newRow("busy") << QStringLiteral("2,1,3,1,4,800,5,120,1") << L{2, 1, 3, 1, 4, 800, 5, 120, 1};
    QTest::newRow("a field the page spoiled") << QStringLiteral("0,0,0,0,0,0,x,-1,0") << L{};
    QTest::newRow("one field short") << QStringLiteral("0,0,0,0,0,0,0,-1") << L{};
    QTest::newRow("one field over") << QStringLiteral("0,0,0,0,0,0,0,-1,0,0") << L{};
    QTest::newRow("below the least") << QStringLiteral("0,0,0,0,0,0,-1,-1,0") << L{};
    QTest::newRow("longer than numbers can be")
        << QStringLiteral("0,0,0,0,0,0,0,-1,") + QString(200, QLatin1Char('0')) + QLatin1Char('1') << L{};
    QTest::newRow("empty") << QString() << L{};
}

void TestPageSettling::readsOnlyWellFormedAnswers()
{
    QFETCH(QString, answer);
    QFETCH(QList<int>, read);

    const std::optional<TPageActivity> a = ProbeAnswer::Read(answer);
    QCOMPARE(a.has_value(), !read.isEmpty());
    if (!a) return;
    QCOMPARE((QList<int>{a->Requests, a->Fonts, a->Images, a->Observers, a->Animations, a->AnimationLeftMs, a->Timers,
                         a->QuietMs, a->Starting}),
             read);
}

QTEST_GUILESS_MAIN(TestPageSettling)
#include "TestPageSettling.moc"
