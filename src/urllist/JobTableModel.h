#pragma once

#include "urllist/UrlJob.h"

#include <QAbstractTableModel>
#include <QList>

// The rows of the URL list, as the list view shows them: "#", "ID", "URL", "Status".
// The rows are the only store of the jobs; their order is the order of capture.
class TJobTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        ColNumber,
        ColId,
        ColUrl,
        ColStatus,
        ColumnCount,
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

    int Count() const { return int(m_jobs.size()); }
    const TUrlJob& At(int row) const { return m_jobs.at(row); }
    const QList<TUrlJob>& Jobs() const { return m_jobs; }

    void Append(const TUrlJob& job);
    void Clear();
    void SetStatus(int row, const QByteArray& status);
    // The first row becomes "1", the next "2", and so on.
    void Renumber();
    // The number the last row shows, or 0 for an empty list.
    int LastRowNumber() const;

private:
    QList<TUrlJob> m_jobs;
};
