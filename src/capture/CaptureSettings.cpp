#include "capture/CaptureSettings.h"

#include <QFile>

#include <cmath>
#include <limits>

std::optional<int> AspectThumbHeight(int thumbX, int browserX, int browserY)
{
    if (browserX == 0) return std::nullopt;
    const double height = std::trunc(double(thumbX) / double(browserX) * double(browserY));
    if (!std::isfinite(height) || height < double(std::numeric_limits<int>::min()) ||
        height > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    return int(height);
}

QByteArray ThumbnailPath(const QString& folder, const QByteArray& id, const QString& extension)
{
    return QFile::encodeName(folder) + '/' + id + '.' + QFile::encodeName(extension);
}
