#pragma once

#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

class QAbstractItemModel;

// Why rows of the list failed, where the engine said. A reason stays with its row when rows
// above it are deleted or added; a deleted row takes its reason with it, a new list all.
class TRowReasons : public QObject
{
    Q_OBJECT

public:
    explicit TRowReasons(QAbstractItemModel* rows, QObject* parent = nullptr);

    void Set(int row, const QString& reason);
    // Empty for a row the engine said nothing about.
    QString Reason(int row) const;
    void Clear() { m_reasons.clear(); }

private:
    QAbstractItemModel* m_rows;
    QHash<QPersistentModelIndex, QString> m_reasons;
};
