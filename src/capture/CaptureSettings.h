#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Seconds a page may take to complete before its row ends as an error; the same default as
// thumbrix-batch's --timeout. Longer than an hour is a stuck page, not a slow one; 0 is no
// limit.
constexpr int kDefaultPageTimeout = 30;
constexpr int kMaxPageTimeout = 3600;
// Capture views of the window's run; 1 is the one-view run with its poll.
constexpr int kMaxPagesAtOnce = 16;

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
    int PageTimeout = kDefaultPageTimeout;
    int PagesAtOnce = 1;
    QString ImageFormat = QStringLiteral("jpg");
};

// The thumbnail height that keeps the browser's proportions: thumbX / browserX in double
// precision, times browserY, truncated toward zero. Empty when that cannot be computed
// (browserX is 0, or the result does not fit an int); the caller then keeps its height.
std::optional<int> AspectThumbHeight(int thumbX, int browserX, int browserY);

// Folder, "/", ID, ".", extension, as bytes: the ID goes into the name unchanged.
QByteArray ThumbnailPath(const QString& folder, const QByteArray& id, const QString& extension);
