#pragma once

#include "urllist/UrlJob.h"

#include <QByteArray>
#include <QList>

class QIODevice;
class QString;

// The three layouts of a URL list file, numbered as the import and export windows'
// radio buttons are.
enum class ListFormat : int {
    OneUrlPerLine = 1,
    Pipe = 2,
    Comma = 3,
};

// The largest list file read, in the window and in thumbrix-batch: millions of lines.
constexpr qint64 kMaxListFileBytes = qint64(256) << 20;

// Reads a list file whole. Only a regular file of at most kMaxListFileBytes is read; a
// folder, FIFO or device is refused at once. On failure `error` says why.
bool ReadListFile(const QByteArray& path, QByteArray* text, QString* error);
// The same from an open descriptor such as standard input, also at most kMaxListFileBytes.
bool ReadListStream(int fd, const QByteArray& name, QByteArray* text, QString* error);

// Splits list text into lines: CR LF, lone LF and lone CR end a line; a NUL ends the
// text; a break at the very end adds no empty line. Nothing is trimmed and a
// byte-order mark stays part of the first line.
QList<QByteArray> SplitListLines(const QByteArray& text);

struct ListEntry
{
    QByteArray Id; // empty for OneUrlPerLine: the caller makes one from the URL
    QByteArray Url;
};

// Splits one line by `format`: the ID is everything before the first separator, the URL
// everything after it; a line without the separator is all URL.
ListEntry ParseListLine(const QByteArray& line, ListFormat format);

// One line per job, each followed by CR LF, IDs and URLs exactly as stored.
QByteArray FormatListFile(const QList<TUrlJob>& jobs, ListFormat format);

// Rows of a freshly read list: numbered from `base` + 1, status "Pending", IDs from the
// file (pipe and comma) or from MakeJobId(url, idKind) (one URL per line).
QList<TUrlJob> MakeJobs(const QList<QByteArray>& lines, ListFormat format, int idKind, int base);
