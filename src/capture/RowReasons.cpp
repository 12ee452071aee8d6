#include "capture/RowReasons.h"

#include <QAbstractItemModel>

TRowReasons::TRowReasons(QAbstractItemModel* rows, QObject* parent) : QObject(parent), m_rows(rows)
{
    connect(m_rows, &QAbstractItemModel::rowsRemoved, this,
            [this] { m_reasons.removeIf([](const auto& reason) { return !reason.key().isValid(); }); });
    connect(m_rows, &QAbstractItemModel::modelReset, this, &TRowReasons::Clear);
}

void TRowReasons::Set(int row, const QString& reason)
{
    const QPersistentModelIndex index(m_rows->index(row, 0));
    if (index.isValid()) m_reasons.insert(index, reason);
}

QString TRowReasons::Reason(int row) const
{
    return m_reasons.value(QPersistentModelIndex(m_rows->index(row, 0)));
}
