#include "urllist/JobTableModel.h"

#include "common/ByteFile.h"

int TJobTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TJobTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TJobTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const TUrlJob& job = m_jobs.at(index.row());
    switch (index.column()) {
    case ColNumber:
        return DisplayText(job.Number);
    case ColId:
        return DisplayText(job.Id);
    case ColUrl:
        return DisplayText(job.Url);
    case ColStatus:
        return DisplayText(job.Status);
    default:
        return {};
    }
}

QVariant TJobTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case ColNumber:
        return QStringLiteral("#");
    case ColId:
        return QStringLiteral("ID");
    case ColUrl:
        return QStringLiteral("URL");
    case ColStatus:
        return QStringLiteral("Status");
    default:
        return {};
    }
}

void TJobTableModel::Append(const TUrlJob& job)
{
    beginInsertRows({}, Count(), Count());
    m_jobs.append(job);
    m_jobs.last().Selected = false;
    endInsertRows();
}

void TJobTableModel::Clear()
{
    beginResetModel();
    m_jobs.clear();
    endResetModel();
}

bool TJobTableModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || count > Count() - row) return false;
    beginRemoveRows({}, row, row + count - 1);
    m_jobs.remove(row, count);
    endRemoveRows();
    return true;
}

void TJobTableModel::SetStatus(int row, const QByteArray& status)
{
    if (row < 0 || row >= Count()) return;
    m_jobs[row].Status = status;
    const QModelIndex cell = index(row, ColStatus);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

void TJobTableModel::Renumber()
{
    for (int row = 0; row < Count(); ++row)
        m_jobs[row].Number = QByteArray::number(row + 1);
    if (Count() > 0) Q_EMIT dataChanged(index(0, ColNumber), index(Count() - 1, ColNumber), {Qt::DisplayRole});
}

int TJobTableModel::LastRowNumber() const
{
    return m_jobs.isEmpty() ? 0 : m_jobs.last().Number.toInt();
}
