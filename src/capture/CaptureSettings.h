#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The settings panel's values as the capture reads them.
struct TCaptureSettings
{
    QString Folder;
    int BrowserX = 800;
    int BrowserY = 600;
    int ThumbX = 200;
    int ThumbY = 150;
    bool KeepAspectRatio = true;
    bool Skip = true;
    int LinkType = 0;
    QString ImageFormat = QStringLiteral("jpg");
};

// The thumbnail height that keeps the browser's proportions: thumbX / browserX in double
// precision, times browserY, truncated toward zero. Empty when that cannot be computed
// (browserX is 0, or the result does not fit an int); the caller then keeps its height.
std::optional<int> AspectThumbHeight(int thumbX, int browserX, int browserY);

// Folder, "/", ID, ".", extension, as bytes: the ID goes into the name unchanged.
QByteArray ThumbnailPath(const QString& folder, const QByteArray& id, const QString& extension);
