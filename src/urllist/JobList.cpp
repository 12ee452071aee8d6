#include "urllist/JobList.h"

#include "urllist/JobId.h"

#include <algorithm>

TJobList::TJobList(TJobTableModel* model, QItemSelectionModel* selection) : m_model(model), m_selection(selection) {}

bool TJobList::IsSelected(int row) const
{
    return m_selection->isRowSelected(row, {});
}

bool TJobList::AnySelected() const
{
    // Whole rows only, as IsSelected counts them.
    return !m_selection->selectedRows().isEmpty();
}

QList<TUrlJob> TJobList::SelectedJobs() const
{
    QList<TUrlJob> jobs;
    for (int row = 0; row < Count(); ++row) {
        if (IsSelected(row)) jobs << m_model->At(row);
    }
    return jobs;
}

void TJobList::SelectAll()
{
    if (Count() == 0) return;
    const QItemSelection all(m_model->index(0, 0), m_model->index(Count() - 1, TJobTableModel::ColumnCount - 1));
    m_selection->select(all, QItemSelectionModel::Select);
}

void TJobList::ClearSelection()
{
    m_selection->clearSelection();
}

int TJobList::SelectErrors()
{
    // One selection of whole rows, in runs: a long list's view pays per range, not per row.
    QItemSelection errors;
    int count = 0;
    const QList<TUrlJob>& jobs = m_model->Jobs();
    for (int row = 0; row < Count(); ++row) {
        if (jobs.at(row).Status != JobStatus::Error) continue;
        int last = row;
        while (last + 1 < Count() && jobs.at(last + 1).Status == JobStatus::Error)
            ++last;
        errors.select(m_model->index(row, 0), m_model->index(last, TJobTableModel::ColumnCount - 1));
        count += last - row + 1;
        row = last;
    }
    m_selection->select(errors, QItemSelectionModel::ClearAndSelect);
    return count;
}

bool TJobList::DeleteSelected()
{
    QList<int> rows;
    for (const QModelIndex& index : m_selection->selectedRows())
        rows << index.row();
    if (rows.isEmpty()) return false;
    std::sort(rows.begin(), rows.end());
    // One removal per run of neighbouring rows, the last run first: a view pays per removal, not per row.
    for (qsizetype end = rows.size(); end > 0;) {
        qsizetype first = end - 1;
        while (first > 0 && rows.at(first - 1) == rows.at(first) - 1)
            --first;
        m_model->removeRows(rows.at(first), int(end - first));
        end = first;
    }
    m_model->Renumber();
    return true;
}

int TJobList::Import(const QList<QByteArray>& lines, ListFormat format, int idKind)
{
    const int base = m_model->LastRowNumber();
    m_model->Clear();
    const QList<TUrlJob> jobs = MakeJobs(lines, format, idKind, base);
    for (const TUrlJob& job : jobs)
        m_model->Append(job);
    return int(jobs.size());
}

bool TJobList::AddUrl(const QByteArray& url, int idKind)
{
    if (!HasContent(url)) return false;
    TUrlJob job;
    job.Number = QByteArray::number(qint64(m_model->LastRowNumber()) + 1);
    job.Id = MakeJobId(url, idKind);
    job.Url = url;
    job.Status = JobStatus::Pending;
    m_model->Append(job);
    return true;
}

QByteArray TJobList::ExportSelected(ListFormat format) const
{
    return FormatListFile(SelectedJobs(), format);
}

bool HasContent(const QByteArray& text)
{
    for (char c : text) {
        if (uchar(c) > 32) return true;
    }
    return false;
}
