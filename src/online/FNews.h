#pragma once

#include <QDialog>

#include <functional>

class QPushButton;
class QTreeWidget;
class THtmlView;

// The news window: the items of the news list, and the page of the one selected. Selecting
// an item fetches its page and records it as read when its id is a news id (1 to 18
// decimal digits); while a fetch runs the selection holds.
class TfrmNews : public QDialog
{
    Q_OBJECT

public:
    // Fetches one item's page; false when the request failed (it has told the user).
    using FetchDetails = std::function<bool(const QByteArray& newsId, QByteArray* html)>;
    using StoreRead = std::function<void(const QByteArray& newsId)>;

    TfrmNews(const QList<QByteArray>& newsList, FetchDetails fetch, StoreRead store, THtmlView& view,
             QWidget* parent = nullptr);

    bool Busy() const { return m_busy; }
    QTreeWidget* Items() const { return lvwItems; }

    void FormShow();
    void lvwItemsChange();
    void btnExitClick();

private:
    void SetBusyCursor(bool busy);

    QList<QByteArray> m_newsList;
    FetchDetails m_fetch;
    StoreRead m_store;
    THtmlView& m_view;
    bool m_busy = false;
    QTreeWidget* lvwItems = nullptr;
    QPushButton* btnExit = nullptr;
};
