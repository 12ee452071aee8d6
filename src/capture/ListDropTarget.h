#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QAbstractItemView;
class QMimeData;
class TJobList;
class UserDialogs;

// Lists and addresses from the desktop onto the URL list. A text file dropped on it is read
// as the Import window's Load File reads it, in the format that window opens with, and
// replaces the list; addresses dropped or pasted (Ctrl+V) are added as the Add URL window
// adds them. A line that is not an address is left out.
class TListDropTarget : public QObject
{
    Q_OBJECT

public:
    // `idKind` gives the ID kind chosen now; `beforeReplace` runs before a file replaces the list.
    TListDropTarget(QAbstractItemView* view, TJobList& jobs, UserDialogs& dialogs, std::function<int()> idKind,
                    std::function<void()> beforeReplace, QObject* parent = nullptr);

    // What a drop or a paste of `data` does; true when it was for us.
    bool Accept(const QMimeData& data);
    // Whether a line of text names a web address: http, https or no scheme, a host, no spaces.
    static bool IsAddressLine(const QByteArray& line);

Q_SIGNALS:
    void TotalChanged(int rowCount);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadFile(const QByteArray& path);
    void AddAddresses(const QList<QByteArray>& lines);

    QAbstractItemView* m_view;
    TJobList& m_jobs;
    UserDialogs& m_dialogs;
    std::function<int()> m_idKind;
    std::function<void()> m_beforeReplace;
};
