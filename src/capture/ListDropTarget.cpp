#include "capture/ListDropTarget.h"

#include "common/UserDialogs.h"
#include "urllist/FList.h"
#include "urllist/JobList.h"
#include "urllist/UrlListFile.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

TListDropTarget::TListDropTarget(QAbstractItemView* view, TJobList& jobs, UserDialogs& dialogs,
                                 std::function<int()> idKind, std::function<void()> beforeReplace, QObject* parent)
    : QObject(parent), m_view(view), m_jobs(jobs), m_dialogs(dialogs), m_idKind(std::move(idKind)),
      m_beforeReplace(std::move(beforeReplace))
{
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->setDropIndicatorShown(false);
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
}

bool TListDropTarget::IsAddressLine(const QByteArray& line)
{
    const QByteArray text = line.trimmed();
    if (text.isEmpty() || text.startsWith('-')) return false;
    for (const char c : text) {
        if (uchar(c) <= ' ') return false;
    }
    const bool schemed = text.contains("://");
    const QUrl url = QUrl::fromEncoded(schemed ? text : "http://" + text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return false;
    const QString host = url.host();
    // Without a scheme, a word alone is more likely text than a host.
    return !host.isEmpty() && (schemed || host.contains(QLatin1Char('.')) || host == QLatin1String("localhost"));
}

bool TListDropTarget::Accept(const QMimeData& data)
{
    if (data.hasUrls()) {
        const QList<QUrl> urls = data.urls();
        if (urls.size() == 1 && urls.first().isLocalFile()) {
            LoadFile(QFile::encodeName(urls.first().toLocalFile()));
            return true;
        }
        QList<QByteArray> lines;
        for (const QUrl& url : urls)
            lines << url.toEncoded();
        AddAddresses(lines);
        return true;
    }
    if (data.hasText()) {
        AddAddresses(SplitListLines(data.text().toUtf8()));
        return true;
    }
    return false;
}

void TListDropTarget::LoadFile(const QByteArray& path)
{
    // A folder, a FIFO, a device or an oversized file is refused with its reason, and
    // nothing of the list is touched.
    QByteArray text;
    QString error;
    if (!ReadListFile(path, &text, &error)) {
        m_dialogs.ReportError(error);
        return;
    }
    if (m_beforeReplace) m_beforeReplace();
    if (m_jobs.Import(SplitListLines(text), kFirstListFormat, m_idKind()) > 0 || m_jobs.Count() == 0)
        Q_EMIT TotalChanged(m_jobs.Count());
}

void TListDropTarget::AddAddresses(const QList<QByteArray>& lines)
{
    bool added = false;
    for (const QByteArray& line : lines) {
        if (IsAddressLine(line)) added = m_jobs.AddUrl(line.trimmed(), m_idKind()) || added;
    }
    if (added) Q_EMIT TotalChanged(m_jobs.Count());
}

bool TListDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (watched != m_view->viewport() || !drag->mimeData() ||
            !(drag->mimeData()->hasUrls() || drag->mimeData()->hasText()))
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (watched != m_view->viewport() || !drop->mimeData()) return false;
        if (Accept(*drop->mimeData())) drop->acceptProposedAction();
        return true;
    }
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched != m_view || !key->matches(QKeySequence::Paste)) return false;
        if (const QMimeData* data = QApplication::clipboard()->mimeData()) Accept(*data);
        return true;
    }
    default:
        return false;
    }
}
