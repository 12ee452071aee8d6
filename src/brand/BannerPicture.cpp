#include "brand/BannerPicture.h"

#include "common/ByteFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

namespace {

// A banner is a small picture, an animated one at most a few megabytes.
constexpr qint64 kMaxBannerBytes = qint64(32) << 20;

} // namespace

QString BannerFilePath(const QString& programFolder, int bannerIndex)
{
    return QDir(programFolder).filePath(QStringLiteral("banner%1.dat").arg(bannerIndex));
}

TBannerResult LoadBannerPicture(const QString& programFolder, int bannerIndex, const QByteArray& imageName,
                                TBannerPicture* picture, QString* error)
{
    if (imageName.isEmpty()) return TBannerResult::None;
    const QString path = BannerFilePath(programFolder, bannerIndex);
    if (!QFile::exists(path)) return TBannerResult::None;
    QByteArray data;
    if (!ByteFile::ReadAll(QFile::encodeName(path), &data, error, kMaxBannerBytes)) return TBannerResult::Failed;

    // The decoder is named by the image name, so the file never has to be renamed to it.
    const QByteArray displayName = imageName.mid(imageName.lastIndexOf('/') + 1).toLower();
    QByteArray format;
    if (displayName.contains(".gif")) {
        format = "gif";
    } else {
        const QByteArray extension = displayName.mid(displayName.lastIndexOf('.') + 1);
        for (const char* known : {"bmp", "ico", "jpg", "jpeg"}) {
            if (extension == known) format = extension == "jpg" ? QByteArray("jpeg") : extension;
        }
    }
    if (format.isEmpty()) {
        *error = QStringLiteral("%1: no picture decoder for \"%2\"").arg(path, QString::fromUtf8(imageName));
        return TBannerResult::Failed;
    }

    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    QImage first = reader.read();
    if (first.isNull()) {
        *error = QStringLiteral("%1: %2").arg(path, reader.errorString());
        return TBannerResult::Failed;
    }
    picture->Animated = format == "gif";
    picture->Size = first.size();
    if (picture->Animated)
        picture->GifData = data;
    else
        picture->Still = first;
    return TBannerResult::Loaded;
}
