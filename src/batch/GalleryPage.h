#pragma once

#include "capture/RowResult.h"
#include "urllist/UrlJob.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct TGalleryRow
{
    TUrlJob Job;
    TRowResult Result; // left empty for a row the run never reached
};

// Where the thumbnails are, as the batch's settings name them: a skipped row wrote nothing,
// so its file is found the way the runner found it.
struct TGalleryFiles
{
    QString Folder;
    QString Extension;
};

// One static HTML page showing every row of a run: failures first, then the rest, each in
// list order. It loads nothing but the thumbnails, by paths relative to its own folder, and
// runs no script. Text from the list is shown with EscapeUnsafeBytes' \xHH convention.
namespace GalleryPage {

// The page for a gallery file at `galleryPath`. Looks at the file system only to place the
// thumbnails relative to it and to find those of skipped rows.
QByteArray Html(const QByteArray& galleryPath, const QList<TGalleryRow>& rows, const TGalleryFiles& files);

// Writes Html() to `galleryPath`, replacing any file there; on failure nothing is left
// behind and `error` holds the path and the reason.
bool Write(const QByteArray& galleryPath, const QList<TGalleryRow>& rows, const TGalleryFiles& files, QString* error);

} // namespace GalleryPage
