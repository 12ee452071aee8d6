#include "capture/PageCapture.h"

#include "capture/ManipulateBitmaps.h"
#include "capture/ThumbnailWriters.h"
#include "capture/WebBrowser.h"
#include "common/ByteFile.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

namespace {

bool CreateBitmap(const char* what, int width, int height, TBitmap32* bitmap, QString* error)
{
    if (TBitmap32::TryCreate(width, height, bitmap)) return true;
    *error =
        QStringLiteral("Cannot create a %1 bitmap of %2 x %3 pixels").arg(QLatin1String(what)).arg(width).arg(height);
    return false;
}

// The page bitmap seen as a QImage, so the view can be painted into it scaled to bounds.
void PaintView(const QImage& view, int boundsWidth, int boundsHeight, TBitmap32& page)
{
    if (view.isNull() || page.IsEmpty()) return;
    QImage target(reinterpret_cast<uchar*>(page.Row(0)), page.Width(), page.Height(), qsizetype(page.Width()) * 4,
                  QImage::Format_RGB32);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, boundsWidth, boundsHeight), view);
}

} // namespace

bool CapturePageToFile(WebBrowser& browser, const TCaptureSizes& sizes, const QByteArray& path, QString* error,
                       int quality, QSize* written)
{
    if (!browser.HasDocument()) return true;

    TBitmap32 page;
    TBitmap32 thumb;
    const int cssWidth = sizes.FullPage ? browser.Width() : sizes.BrowserX;
    const int cssHeight = sizes.FullPage ? browser.Height() : sizes.BrowserY;
    const int pageWidth = qRound(cssWidth * sizes.Scale);
    const int pageHeight = qRound(cssHeight * sizes.Scale);
    const int thumbHeight =
        sizes.FullPage && cssWidth > 0 ? qMax(1, int(qint64(sizes.ThumbX) * cssHeight / cssWidth)) : sizes.ThumbY;
    if (!CreateBitmap("page", pageWidth, pageHeight, &page, error) ||
        !CreateBitmap("thumbnail", sizes.ThumbX, thumbHeight, &thumb, error))
        return false;
    if (written) *written = QSize(sizes.ThumbX, thumbHeight);

    PaintView(browser.Draw(), qRound(browser.Width() * sizes.Scale), qRound(browser.Height() * sizes.Scale), page);

    if (!ResampleBitmap(page, thumb)) {
        *error = QStringLiteral("Cannot reduce a page of %1 x %2 pixels to a thumbnail").arg(pageWidth).arg(pageHeight);
        return false;
    }

    const ThumbnailWriter write = WriterForPath(path);
    if (!write) return true;

    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QString reason;
    if (!write(thumb, &buffer, &reason, quality)) {
        *error = QStringLiteral("Cannot encode \"%1\": %2").arg(DisplayText(path), reason);
        return false;
    }
    return ByteFile::WriteReplacing(path, encoded, error);
}
