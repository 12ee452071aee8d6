#include "capture/ThumbnailPreview.h"

#include "common/ByteFile.h"
#include "urllist/UrlJob.h"

#include <QImageReader>
#include <QPixmap>

namespace {

constexpr int kSide = 220;
// Thumbnails are small; anything bigger is not worth decoding for a preview.
constexpr qint64 kMaxBytes = 64 << 20;

} // namespace

TThumbnailPreview::TThumbnailPreview(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("imgPreview"));
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setFixedWidth(kSide);
    setMinimumHeight(kSide * 3 / 4);
    setFrameShape(QFrame::StyledPanel);
    ShowNothing();
}

void TThumbnailPreview::ShowNothing()
{
    m_shown.clear();
    setPixmap({});
    setText(QStringLiteral("Click a row to see its thumbnail."));
}

void TThumbnailPreview::ShowRow(const QByteArray& path, const QByteArray& status, const QString& reason)
{
    m_shown.clear();
    const qint64 size = ByteFile::RegularFileSize(path);
    if (size > 0 && size <= kMaxBytes) {
        QImageReader reader(DisplayText(path));
        reader.setAutoTransform(false);
        const QImage image = reader.read();
        if (!image.isNull()) {
            m_shown = path;
            setText({});
            setPixmap(
                QPixmap::fromImage(image.scaled(kSide - 8, 4 * kSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
            return;
        }
    }
    setPixmap({});
    if (status == JobStatus::Error)
        setText(reason.isEmpty() ? QStringLiteral("Error: no thumbnail was written.")
                                 : QStringLiteral("Error: %1").arg(reason));
    else
        setText(QStringLiteral("Nothing written yet."));
}
