#include "batch/GalleryPage.h"

#include "batch/ByteEscape.h"
#include "capture/CaptureSettings.h"
#include "common/ByteFile.h"
#include "urllist/JobId.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace {

const QByteArray kStyle = QByteArrayLiteral(
    "body{margin:16px;font:14px/1.4 sans-serif;background:#f2f2f2;color:#222}"
    ".counts{font-size:16px;margin:0 0 12px}"
    "ul{list-style:none;margin:0;padding:0;display:grid;grid-template-columns:repeat(auto-fill,minmax(220px,1fr));"
    "gap:12px}"
    "li{background:#fff;border:1px solid #ccc;padding:8px;overflow-wrap:anywhere}"
    "li.error{border-color:#c00}"
    "li p{margin:6px 0 0}"
    "img{display:block;max-width:100%;height:auto}"
    ".none{display:flex;align-items:center;justify-content:center;height:120px;background:#e2e2e2;color:#666}"
    ".error .status{color:#c00;font-weight:bold}");

// Nothing leaves the page: thumbnails are the only thing it loads, and its one style block
// is allowed by hash, not by 'unsafe-inline'. A page opened from disk has an opaque origin
// in some browsers, so file: is named beside 'self'.
QByteArray SecurityPolicy()
{
    const QByteArray styleHash = QCryptographicHash::hash(kStyle, QCryptographicHash::Sha256).toBase64();
    return "default-src 'none'; img-src 'self' file:; style-src 'sha256-" + styleHash +
           "'; base-uri 'none'; form-action 'none'";
}

// Bytes from the list as HTML text or attribute value.
QByteArray HtmlText(const QByteArray& bytes)
{
    const QByteArray shown = EscapeUnsafeBytes(bytes);
    QByteArray html;
    html.reserve(shown.size());
    for (const char c : shown) {
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        case '\'':
            html += "&#39;";
            break;
        default:
            html += c;
        }
    }
    return html;
}

QByteArray WorkingFolder()
{
    QByteArray folder(PATH_MAX, '\0');
    while (!::getcwd(folder.data(), size_t(folder.size()))) {
        if (errno != ERANGE) return {};
        folder.resize(folder.size() * 2);
    }
    folder.truncate(qsizetype(qstrlen(folder.constData())));
    return folder;
}

// The components of `path` as an absolute name. ".." is taken away lexically, the way a
// browser resolves it in a URL; only where the name itself steps back with ".." could the
// system's answer differ (through a link), so such a folder is asked for its real path.
QByteArrayList AbsoluteParts(const QByteArray& path, const QByteArray& cwd)
{
    // Without a working folder both names stay relative to the same unknown place.
    const QByteArray absolute = path.startsWith('/') ? path : cwd + '/' + path;
    const qsizetype slash = absolute.lastIndexOf('/');
    QByteArray folder = absolute.left(slash);
    if (folder.split('/').contains("..")) {
        if (char* real = ::realpath(folder.constData(), nullptr)) {
            folder = real;
            std::free(real);
        }
    }
    QByteArrayList parts;
    for (const QByteArray& part : (folder + absolute.mid(slash)).split('/')) {
        if (part.isEmpty() || part == ".") continue;
        if (part == "..") {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts << part;
    }
    return parts;
}

// `file` as a URL relative to the folder `from`. Every byte but the unreserved ones is
// percent-encoded: a file:// page decodes the path back to these bytes, and '#', '?', '%',
// '\' or a ':' in the first segment then cannot change what the URL means.
QByteArray RelativeUrl(const QByteArrayList& from, const QByteArray& file, const QByteArray& cwd)
{
    const QByteArrayList to = AbsoluteParts(file, cwd);
    qsizetype common = 0;
    while (common < from.size() && common + 1 < to.size() && from.at(common) == to.at(common))
        ++common;
    QByteArray url;
    for (qsizetype i = common; i < from.size(); ++i)
        url += "../";
    for (qsizetype i = common; i < to.size(); ++i) {
        if (i > common) url += '/';
        url += to.at(i).toPercentEncoding();
    }
    return url;
}

// Where the capture went, read the way it reads a list's URL; a link only onto the web.
QByteArray WebHref(const QByteArray& url)
{
    const QUrl target = QUrl::fromUserInput(DisplayText(url));
    const QString scheme = target.scheme();
    if (!target.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return {};
    return target.toEncoded();
}

QByteArray RowStatus(const TGalleryRow& row)
{
    return row.Result.Status.isEmpty() ? row.Job.Status : row.Result.Status;
}

// The thumbnail to show, empty for a placeholder. A failed row shows none even when an
// older file is there: that file is not what this run saw.
QByteArray ThumbnailFile(const TGalleryRow& row, const TGalleryFiles& files)
{
    const QByteArray status = RowStatus(row);
    if (status == JobStatus::Success) return row.Result.File;
    if (status != JobStatus::Skipped) return {};
    if (!row.Result.File.isEmpty()) return row.Result.File;
    // Skipped because its file was there: the thumbnail this list already has, unless the
    // ID could not name a file of the output folder.
    if (files.Folder.isEmpty() || !IsSafeFileId(row.Job.Id)) return {};
    const QByteArray path = ThumbnailPath(files.Folder, row.Job.Id, files.Extension);
    return ByteFile::FileExists(path) ? path : QByteArray();
}

QByteArray RowItem(const TGalleryRow& row, const QByteArrayList& galleryFolder, const QByteArray& cwd,
                   const TGalleryFiles& files)
{
    const QByteArray status = RowStatus(row);
    QByteArray item = status == JobStatus::Error ? "<li class=\"error\">" : "<li>";
    const QByteArray file = ThumbnailFile(row, files);
    if (file.isEmpty()) {
        item += "<div class=\"none\">no thumbnail</div>";
    } else {
        item +=
            "<img src=\"" + HtmlText(RelativeUrl(galleryFolder, file, cwd)) + "\" alt=\"" + HtmlText(row.Job.Id) + '"';
        if (row.Result.Width > 0 && row.Result.Height > 0)
            item += " width=\"" + QByteArray::number(row.Result.Width) + "\" height=\"" +
                    QByteArray::number(row.Result.Height) + '"';
        item += " loading=\"lazy\" decoding=\"async\">";
    }
    item += "<p><span class=\"num\">" + HtmlText(row.Job.Number) + "</span> <span class=\"id\">" +
            HtmlText(row.Job.Id) + "</span></p>";
    const QByteArray href = WebHref(row.Job.Url);
    if (href.isEmpty())
        item += "<p class=\"url\">" + HtmlText(row.Job.Url) + "</p>";
    else
        item += "<p class=\"url\"><a href=\"" + HtmlText(href) + "\" rel=\"noopener noreferrer\" target=\"_blank\">" +
                HtmlText(row.Job.Url) + "</a></p>";
    item += "<p><span class=\"status\">" + HtmlText(status) + "</span>";
    if (!row.Result.Reason.isEmpty())
        item += ": <span class=\"reason\">" + HtmlText(row.Result.Reason.toUtf8()) + "</span>";
    return item + "</p></li>\n";
}

QByteArray CountsLine(const QList<TGalleryRow>& rows)
{
    int success = 0, error = 0, skipped = 0;
    for (const TGalleryRow& row : rows) {
        const QByteArray status = RowStatus(row);
        success += status == JobStatus::Success;
        error += status == JobStatus::Error;
        skipped += status == JobStatus::Skipped;
    }
    QByteArray line =
        "Total: " + QByteArray::number(rows.size()) + " &middot; Success: " + QByteArray::number(success) +
        " &middot; Error: " + QByteArray::number(error) + " &middot; Skipped: " + QByteArray::number(skipped);
    // A run cut short leaves rows it never reached.
    const qsizetype rest = rows.size() - success - error - skipped;
    if (rest > 0) line += " &middot; Not done: " + QByteArray::number(rest);
    return line;
}

} // namespace

namespace GalleryPage {

QByteArray Html(const QByteArray& galleryPath, const QList<TGalleryRow>& rows, const TGalleryFiles& files)
{
    QByteArray page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
                      SecurityPolicy() +
                      "\">\n"
                      "<meta name=\"referrer\" content=\"no-referrer\">\n"
                      "<meta http-equiv=\"x-dns-prefetch-control\" content=\"off\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<title>Thumbnails</title>\n<style>" +
                      kStyle + "</style>\n</head>\n<body>\n<p class=\"counts\">" + CountsLine(rows) + "</p>\n<ul>\n";

    const QByteArray cwd = WorkingFolder();
    QByteArrayList galleryFolder = AbsoluteParts(galleryPath, cwd);
    if (!galleryFolder.isEmpty()) galleryFolder.removeLast();
    QList<const TGalleryRow*> order;
    order.reserve(rows.size());
    for (const TGalleryRow& row : rows)
        order << &row;
    std::stable_partition(order.begin(), order.end(),
                          [](const TGalleryRow* row) { return RowStatus(*row) == JobStatus::Error; });
    for (const TGalleryRow* row : order)
        page += RowItem(*row, galleryFolder, cwd, files);
    return page + "</ul>\n</body>\n</html>\n";
}

bool Write(const QByteArray& galleryPath, const QList<TGalleryRow>& rows, const TGalleryFiles& files, QString* error)
{
    return ByteFile::WriteReplacing(galleryPath, Html(galleryPath, rows, files), error);
}

} // namespace GalleryPage
