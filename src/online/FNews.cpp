#include "online/FNews.h"

#include "brand/BrandProfile.h"
#include "common/ByteFile.h"
#include "common/HtmlView.h"
#include "common/UUtils.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kIdRole = Qt::UserRole;

// A list that can hold its selection: while the window fetches a page no other row may
// be chosen.
class TNewsList : public QTreeWidget
{
public:
    TNewsList(QWidget* parent, const bool& locked) : QTreeWidget(parent), m_locked(locked) {}

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override
    {
        return m_locked ? QItemSelectionModel::NoUpdate : QTreeWidget::selectionCommand(index, event);
    }

private:
    const bool& m_locked;
};

} // namespace

TfrmNews::TfrmNews(const QList<QByteArray>& newsList, FetchDetails fetch, StoreRead store, THtmlView& view,
                   QWidget* parent)
    : QDialog(parent), m_newsList(newsList), m_fetch(std::move(fetch)), m_store(std::move(store)), m_view(view)
{
    setObjectName(QStringLiteral("frmNews"));
    setWindowTitle(QStringLiteral("News"));

    auto* listPanel = new QWidget(this);
    listPanel->setMinimumHeight(10);
    lvwItems = new TNewsList(listPanel, m_busy);
    lvwItems->setObjectName(QStringLiteral("lvwItems"));
    lvwItems->setAccessibleName(QStringLiteral("News items"));
    lvwItems->setColumnCount(2);
    lvwItems->setHeaderLabels({QStringLiteral("News Title"), QStringLiteral("Published")});
    lvwItems->setRootIsDecorated(false);
    lvwItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwItems->header()->setStretchLastSection(false);
    lvwItems->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lvwItems->header()->resizeSection(1, 160);
    auto* listLayout = new QVBoxLayout(listPanel);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(lvwItems);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setHandleWidth(10);
    splitter->addWidget(listPanel);
    QWidget* page = m_view.Widget();
    page->setObjectName(QStringLiteral("prfEditorNews"));
    splitter->addWidget(page);
    splitter->setSizes({105, 411 - 105 - 10 - 41});
    splitter->setChildrenCollapsible(false);

    auto* buttonPanel = new QWidget(this);
    buttonPanel->setFixedHeight(41);
    btnExit = new QPushButton(QStringLiteral("Close"), buttonPanel);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setFixedSize(97, 20);
    auto* buttons = new QHBoxLayout(buttonPanel);
    buttons->addStretch(1);
    buttons->addWidget(btnExit);
    buttons->addStretch(1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(splitter, 1);
    column->addWidget(buttonPanel);

    connect(btnExit, &QPushButton::clicked, this, &TfrmNews::btnExitClick);
    connect(lvwItems, &QTreeWidget::itemSelectionChanged, this, &TfrmNews::lvwItemsChange);

    resize(682, 411);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

void TfrmNews::FormShow()
{
    for (const QByteArray& record : m_newsList) {
        QList<QByteArray> pieces;
        SplitByChar('^', record, pieces);
        // A record without all three pieces shows what it has; without an id it cannot be fetched.
        auto* row = new QTreeWidgetItem(lvwItems);
        row->setText(0, DisplayText(pieces.value(1)));
        row->setText(1, DisplayText(pieces.value(2)));
        row->setData(0, kIdRole, pieces.value(0));
    }
    lvwItems->clearSelection();
    lvwItems->setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
}

void TfrmNews::lvwItemsChange()
{
    const QList<QTreeWidgetItem*> selected = lvwItems->selectedItems();
    if (selected.isEmpty() || m_busy) return;
    const QByteArray newsId = selected.first()->data(0, kIdRole).toByteArray();
    if (newsId.isEmpty()) return;
    m_busy = true;
    SetBusyCursor(true);
    QByteArray html;
    if (m_fetch(newsId, &html)) {
        m_view.SetHtml(html);
        // The id came from the server: one that is not a news id is shown, never kept.
        if (IsNewsId(newsId)) m_store(newsId);
    }
    SetBusyCursor(false);
    m_busy = false;
}

void TfrmNews::SetBusyCursor(bool busy)
{
    for (QWidget* w : {static_cast<QWidget*>(lvwItems), m_view.Widget(), static_cast<QWidget*>(this)}) {
        if (busy)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
}

void TfrmNews::btnExitClick()
{
    accept();
}
