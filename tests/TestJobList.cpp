#include "urllist/JobId.h"
#include "urllist/JobList.h"

#include <QSignalSpy>
#include <QTest>

using Lines = QList<QByteArray>;
using Rows = QList<int>;
using Runs = QList<QPair<int, int>>; // first and last row, both included

// The list as the main window holds it: rows, the view's selection and the commands over both.
struct ListFixture
{
    TJobTableModel model;
    QItemSelectionModel selection{&model};
    TJobList jobs{&model, &selection};

    void AddRow(int number, const QByteArray& id, const QByteArray& url)
    {
        TUrlJob job;
        job.Number = QByteArray::number(number);
        job.Id = id;
        job.Url = url;
        job.Status = JobStatus::Success;
        model.Append(job);
    }
    // Rows numbered first .. first + count - 1, with URLs "u<number>".
    void AddRows(int first, int count)
    {
        for (int n = first; n < first + count; ++n)
            AddRow(n, "id" + QByteArray::number(n), "u" + QByteArray::number(n));
    }
    void Select(const Rows& rows)
    {
        for (int row : rows)
            selection.select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    Lines Column(QByteArray TUrlJob::*field) const
    {
        Lines values;
        for (const TUrlJob& job : model.Jobs())
            values << job.*field;
        return values;
    }
};

class TestJobList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void importNumbering_data();
    void importNumbering();
    void importNothingEmptiesList();
    void addUrl_data();
    void addUrl();
    void addBlankAddsNothing_data();
    void addBlankAddsNothing();
    void addKeepsSpaces();
    void addSameUrlTwice();
    void deleteSelected_data();
    void deleteSelected();
    void deleteRuns_data();
    void deleteRuns();
    void deleteAllThenNumberFromOne();
    void selectAllAndClear();
    void selectErrors_data();
    void selectErrors();
    void exportSelected_data();
    void exportSelected();
};

void TestJobList::importNumbering_data()
{
    QTest::addColumn<int>("firstNumber");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<Lines>("numbers");

    QTest::newRow("empty-list") << 1 << 0 << Lines{"1", "2", "3"};
    QTest::newRow("after-one-to-five") << 1 << 5 << Lines{"6", "7", "8"};
    // The last number counts, not the number of rows.
    QTest::newRow("after-six-to-eight") << 6 << 3 << Lines{"9", "10", "11"};
}

void TestJobList::importNumbering()
{
    QFETCH(int, firstNumber);
    QFETCH(int, rowCount);
    QFETCH(Lines, numbers);

    ListFixture f;
    f.AddRows(firstNumber, rowCount);
    f.jobs.SelectAll();

    QCOMPARE(f.jobs.Import({"http://a/", "", "http://c/"}, ListFormat::OneUrlPerLine, int(IdKind::Md5)), 3);
    QCOMPARE(f.Column(&TUrlJob::Number), numbers);
    QCOMPARE(f.Column(&TUrlJob::Url), Lines({"http://a/", "", "http://c/"}));
    QCOMPARE(f.Column(&TUrlJob::Status), Lines(3, JobStatus::Pending));
    QCOMPARE(f.model.At(0).Id, QByteArrayLiteral("d2e30d023bacb13655cf2f69855ddd49"));
    QVERIFY(!f.jobs.AnySelected());
}

void TestJobList::importNothingEmptiesList()
{
    ListFixture f;
    f.AddRows(1, 3);
    QCOMPARE(f.jobs.Import({}, ListFormat::Pipe, int(IdKind::Md5)), 0);
    QCOMPARE(f.jobs.Count(), 0);
}

void TestJobList::addUrl_data()
{
    QTest::addColumn<int>("firstNumber");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QByteArray>("number");

    QTest::newRow("empty-list") << 1 << 0 << QByteArrayLiteral("1");
    QTest::newRow("after-six-to-eight") << 6 << 3 << QByteArrayLiteral("9");
}

void TestJobList::addUrl()
{
    QFETCH(int, firstNumber);
    QFETCH(int, rowCount);
    QFETCH(QByteArray, number);

    ListFixture f;
    f.AddRows(firstNumber, rowCount);
    const Lines before = f.Column(&TUrlJob::Url);

    QVERIFY(f.jobs.AddUrl("http://www.a.com/", int(IdKind::Url)));
    QCOMPARE(f.jobs.Count(), rowCount + 1);
    QCOMPARE(f.Column(&TUrlJob::Url).mid(0, rowCount), before);
    const TUrlJob& added = f.model.At(rowCount);
    QCOMPARE(added.Number, number);
    QCOMPARE(added.Id, QByteArrayLiteral("a_comI"));
    QCOMPARE(added.Url, QByteArrayLiteral("http://www.a.com/"));
    QCOMPARE(added.Status, JobStatus::Pending);
    QVERIFY(!f.jobs.IsSelected(rowCount));
}

void TestJobList::addBlankAddsNothing_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("spaces") << QByteArrayLiteral("   ");
    QTest::newRow("controls-and-space") << QByteArrayLiteral("\t\r\n \x01\x1F ");
}

void TestJobList::addBlankAddsNothing()
{
    QFETCH(QByteArray, text);

    ListFixture f;
    f.AddRows(1, 2);
    QVERIFY(!f.jobs.AddUrl(text, int(IdKind::Md5)));
    QCOMPARE(f.Column(&TUrlJob::Number), Lines({"1", "2"}));
}

void TestJobList::addKeepsSpaces()
{
    ListFixture f;
    QVERIFY(f.jobs.AddUrl(" x ", int(IdKind::Md5)));
    QVERIFY(f.jobs.AddUrl("x", int(IdKind::Md5)));
    QCOMPARE(f.model.At(0).Url, QByteArrayLiteral(" x "));
    QCOMPARE(f.model.At(0).Id, QByteArrayLiteral("6722c218a6f30869ef6886dc4b050a37"));
    QCOMPARE(f.model.At(1).Id, QByteArrayLiteral("9dd4e461268c8034f5c8564e155c67a6"));
}

void TestJobList::addSameUrlTwice()
{
    ListFixture f;
    QVERIFY(f.jobs.AddUrl("http://a/", int(IdKind::Md5)));
    QVERIFY(f.jobs.AddUrl("http://a/", int(IdKind::Md5)));
    QCOMPARE(f.Column(&TUrlJob::Number), Lines({"1", "2"}));
    QCOMPARE(f.model.At(0).Id, f.model.At(1).Id);
}

void TestJobList::deleteSelected_data()
{
    QTest::addColumn<Rows>("selected");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<Lines>("numbers");
    QTest::addColumn<Lines>("urls");

    QTest::newRow("middle") << Rows{1} << true << Lines{"1", "2"} << Lines{"u6", "u8"};
    QTest::newRow("first-and-last") << Rows{0, 2} << true << Lines{"1"} << Lines{"u7"};
    QTest::newRow("all") << Rows{0, 1, 2} << true << Lines{} << Lines{};
    QTest::newRow("none") << Rows{} << false << Lines{"6", "7", "8"} << Lines{"u6", "u7", "u8"};
}

void TestJobList::deleteSelected()
{
    QFETCH(Rows, selected);
    QFETCH(bool, deleted);
    QFETCH(Lines, numbers);
    QFETCH(Lines, urls);

    ListFixture f;
    f.AddRows(6, 3);
    f.Select(selected);

    QCOMPARE(f.jobs.DeleteSelected(), deleted);
    QCOMPARE(f.Column(&TUrlJob::Number), numbers);
    QCOMPARE(f.Column(&TUrlJob::Url), urls);
    // IDs and statuses of the rows that stay are their own.
    for (const TUrlJob& job : f.model.Jobs()) {
        QCOMPARE(job.Id, "id" + job.Url.mid(1));
        QCOMPARE(job.Status, JobStatus::Success);
    }
    QVERIFY(!f.jobs.AnySelected());
}

void TestJobList::deleteRuns_data()
{
    QTest::addColumn<Runs>("selected");
    QTest::addColumn<Runs>("deselected");
    QTest::addColumn<Rows>("oneCellOnly"); // rows of which only the ID cell is selected
    QTest::addColumn<Runs>("removals");
    QTest::addColumn<Lines>("urls");

    // Twelve rows, u1 .. u12 at rows 0 .. 11.
    QTest::newRow("one-run") << Runs{{3, 6}} << Runs{} << Rows{} << Runs{{3, 6}}
                             << Lines{"u1", "u2", "u3", "u8", "u9", "u10", "u11", "u12"};
    QTest::newRow("scattered") << Runs{{0, 1}, {4, 4}, {6, 8}, {11, 11}} << Runs{} << Rows{}
                               << Runs{{11, 11}, {6, 8}, {4, 4}, {0, 1}} << Lines{"u3", "u4", "u6", "u10", "u11"};
    QTest::newRow("touching-selections-are-one-run")
        << Runs{{2, 4}, {5, 7}} << Runs{} << Rows{} << Runs{{2, 7}} << Lines{"u1", "u2", "u9", "u10", "u11", "u12"};
    QTest::newRow("overlapping-selections")
        << Runs{{1, 5}, {3, 8}} << Runs{} << Rows{} << Runs{{1, 8}} << Lines{"u1", "u10", "u11", "u12"};
    QTest::newRow("every-other-row") << Runs{{1, 1}, {3, 3}, {5, 5}, {7, 7}, {9, 9}, {11, 11}} << Runs{} << Rows{}
                                     << Runs{{11, 11}, {9, 9}, {7, 7}, {5, 5}, {3, 3}, {1, 1}}
                                     << Lines{"u1", "u3", "u5", "u7", "u9", "u11"};
    QTest::newRow("all-but-a-hole") << Runs{{0, 11}} << Runs{{5, 6}} << Rows{} << Runs{{7, 11}, {0, 4}}
                                    << Lines{"u6", "u7"};
    QTest::newRow("one-cell-is-not-a-row") << Runs{{2, 3}} << Runs{} << Rows{4, 9} << Runs{{2, 3}}
                                           << Lines{"u1", "u2", "u5", "u6", "u7", "u8", "u9", "u10", "u11", "u12"};
}

void TestJobList::deleteRuns()
{
    QFETCH(Runs, selected);
    QFETCH(Runs, deselected);
    QFETCH(Rows, oneCellOnly);
    QFETCH(Runs, removals);
    QFETCH(Lines, urls);

    ListFixture f;
    f.AddRows(1, 12);
    for (const auto& [first, last] : selected)
        f.selection.select(
            QItemSelection(f.model.index(first, 0), f.model.index(last, TJobTableModel::ColumnCount - 1)),
            QItemSelectionModel::Select);
    for (const auto& [first, last] : deselected)
        f.selection.select(
            QItemSelection(f.model.index(first, 0), f.model.index(last, TJobTableModel::ColumnCount - 1)),
            QItemSelectionModel::Deselect);
    for (int row : oneCellOnly)
        f.selection.select(f.model.index(row, TJobTableModel::ColId), QItemSelectionModel::Select);
    // What a view holds on to: each surviving row must still be found where it went.
    QList<QPersistentModelIndex> held;
    for (int row = 0; row < f.model.Count(); ++row)
        held << QPersistentModelIndex(f.model.index(row, TJobTableModel::ColUrl));
    QSignalSpy removed(&f.model, &QAbstractItemModel::rowsRemoved);

    QVERIFY(f.jobs.DeleteSelected());

    Runs calls;
    for (const QList<QVariant>& call : removed)
        calls << qMakePair(call.at(1).toInt(), call.at(2).toInt());
    QCOMPARE(calls, removals);
    QCOMPARE(f.Column(&TUrlJob::Url), urls);
    Lines numbers;
    for (int n = 1; n <= urls.size(); ++n)
        numbers << QByteArray::number(n);
    QCOMPARE(f.Column(&TUrlJob::Number), numbers);
    QCOMPARE(f.Column(&TUrlJob::Status), Lines(urls.size(), JobStatus::Success));
    Lines followed;
    for (const QPersistentModelIndex& index : held) {
        if (index.isValid()) followed << f.model.At(index.row()).Url;
    }
    QCOMPARE(followed, urls);
}

void TestJobList::deleteAllThenNumberFromOne()
{
    ListFixture f;
    QVERIFY(!f.jobs.DeleteSelected());

    f.AddRows(6, 3);
    f.jobs.SelectAll();
    QVERIFY(f.jobs.DeleteSelected());
    QCOMPARE(f.jobs.Count(), 0);
    QVERIFY(f.jobs.AddUrl("http://a/", int(IdKind::Md5)));
    QCOMPARE(f.model.At(0).Number, QByteArrayLiteral("1"));
}

void TestJobList::selectAllAndClear()
{
    ListFixture f;
    f.jobs.SelectAll();
    QVERIFY(!f.jobs.AnySelected());

    f.AddRows(1, 3);
    f.jobs.SelectAll();
    for (int row = 0; row < 3; ++row)
        QVERIFY(f.jobs.IsSelected(row));
    QCOMPARE(f.jobs.SelectedJobs().size(), 3);

    f.jobs.ClearSelection();
    QVERIFY(!f.jobs.AnySelected());
    QVERIFY(f.jobs.SelectedJobs().isEmpty());
    QCOMPARE(f.Column(&TUrlJob::Url), Lines({"u1", "u2", "u3"}));
}

void TestJobList::selectErrors_data()
{
    QTest::addColumn<Lines>("statuses");
    QTest::addColumn<Rows>("selectedBefore");
    QTest::addColumn<Rows>("selected");

    const QByteArray e = JobStatus::Error;
    const QByteArray s = JobStatus::Success;
    QTest::newRow("scattered") << Lines{s, e, s, e, e} << Rows{} << Rows{1, 3, 4};
    QTest::newRow("others-unselected") << Lines{e, s, JobStatus::Pending, JobStatus::Skipped} << Rows{1, 2, 3}
                                       << Rows{0};
    QTest::newRow("all-errors") << Lines{e, e, e} << Rows{} << Rows{0, 1, 2};
    QTest::newRow("no-errors") << Lines{s, JobStatus::Downloading} << Rows{0} << Rows{};
}

void TestJobList::selectErrors()
{
    QFETCH(Lines, statuses);
    QFETCH(Rows, selectedBefore);
    QFETCH(Rows, selected);
    ListFixture f;
    f.AddRows(1, int(statuses.size()));
    for (int row = 0; row < statuses.size(); ++row)
        f.model.SetStatus(row, statuses.at(row));
    f.Select(selectedBefore);
    QCOMPARE(f.jobs.SelectErrors(), int(selected.size()));
    Rows now;
    for (int row = 0; row < f.jobs.Count(); ++row) {
        if (f.jobs.IsSelected(row)) now << row;
    }
    QCOMPARE(now, selected);
    QCOMPARE(f.Column(&TUrlJob::Status), statuses);
}

void TestJobList::exportSelected_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("one-url-per-line") << int(ListFormat::OneUrlPerLine)
                                      << QByteArrayLiteral("http://a/\r\nhttp://c/\r\n\r\n");
    QTest::newRow("pipe") << int(ListFormat::Pipe) << QByteArrayLiteral("a1|http://a/\r\n|http://c/\r\nd4|\r\n");
    QTest::newRow("comma") << int(ListFormat::Comma) << QByteArrayLiteral("a1,http://a/\r\n,http://c/\r\nd4,\r\n");
}

void TestJobList::exportSelected()
{
    QFETCH(int, format);
    QFETCH(QByteArray, bytes);

    ListFixture f;
    f.AddRow(1, "a1", "http://a/");
    f.AddRow(2, "b2", "http://b/");
    f.AddRow(3, "", "http://c/");
    f.AddRow(4, "d4", "");
    f.Select({3, 0, 2});

    QCOMPARE(f.jobs.ExportSelected(ListFormat(format)), bytes);
    f.jobs.ClearSelection();
    QCOMPARE(f.jobs.ExportSelected(ListFormat(format)), QByteArray());
}

QTEST_GUILESS_MAIN(TestJobList)
#include "TestJobList.moc"
