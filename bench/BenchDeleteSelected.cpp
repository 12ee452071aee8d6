// Times Delete Selected on a large list shown in a table view, as the main window shows it.

#include "urllist/JobList.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRows = 200000;

// Selects rows in a fresh list of kRows rows under a visible view, then times the deletion.
void Run(const char* name, const std::function<QItemSelection(const TJobTableModel&)>& rows)
{
    TJobTableModel model;
    for (int n = 1; n <= kRows; ++n) {
        TUrlJob job;
        job.Number = QByteArray::number(n);
        job.Id = QByteArray::number(n, 16);
        job.Url = "http://example.com/page" + QByteArray::number(n);
        job.Status = JobStatus::Pending;
        model.Append(job);
    }
    QTableView view;
    view.setModel(&model);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.verticalHeader()->hide();
    view.resize(800, 600);
    view.show();
    QApplication::processEvents();

    view.selectionModel()->select(rows(model), QItemSelectionModel::Select);
    TJobList jobs(&model, view.selectionModel());
    const auto start = Clock::now();
    jobs.DeleteSelected();
    QApplication::processEvents();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-44s %8.3f s  (%d rows left)\n", name, seconds, model.Count());
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Run("200,000 rows, all selected", [](const TJobTableModel& model) {
        return QItemSelection(model.index(0, 0), model.index(kRows - 1, TJobTableModel::ColumnCount - 1));
    });
    Run("200,000 rows, 1,000 ranges of 100 selected", [](const TJobTableModel& model) {
        QItemSelection ranges;
        for (int top = 0; top < kRows; top += 200)
            ranges.select(model.index(top, 0), model.index(top + 99, TJobTableModel::ColumnCount - 1));
        return ranges;
    });
    return 0;
}
