#include "urllist/UrlListFile.h"

#include "common/ByteFile.h"
#include "urllist/JobId.h"

bool ReadListFile(const QByteArray& path, QByteArray* text, QString* error)
{
    return ByteFile::ReadAll(path, text, error, kMaxListFileBytes);
}

bool ReadListStream(int fd, const QByteArray& name, QByteArray* text, QString* error)
{
    return ByteFile::ReadStream(fd, name, text, error, kMaxListFileBytes);
}

QList<QByteArray> SplitListLines(const QByteArray& text)
{
    QList<QByteArray> lines;
    qsizetype end = text.indexOf('\0');
    if (end < 0) end = text.size();

    qsizetype start = 0;
    qsizetype i = 0;
    while (i < end) {
        const char c = text.at(i);
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(text.mid(start, i - start));
        i += (c == '\r' && i + 1 < end && text.at(i + 1) == '\n') ? 2 : 1;
        start = i;
    }
    if (start < end) lines.append(text.mid(start, end - start));
    return lines;
}

ListEntry ParseListLine(const QByteArray& line, ListFormat format)
{
    if (format == ListFormat::OneUrlPerLine) return {QByteArray(), line};

    const char separator = format == ListFormat::Pipe ? '|' : ',';
    const qsizetype at = line.indexOf(separator);
    if (at < 0) return {QByteArray(), line};
    return {line.left(at), line.mid(at + 1)};
}

QByteArray FormatListFile(const QList<TUrlJob>& jobs, ListFormat format)
{
    QByteArray out;
    for (const TUrlJob& job : jobs) {
        switch (format) {
        case ListFormat::OneUrlPerLine:
            break;
        case ListFormat::Pipe:
            out += job.Id + '|';
            break;
        case ListFormat::Comma:
            out += job.Id + ',';
            break;
        }
        out += job.Url;
        out += "\r\n";
    }
    return out;
}

QList<TUrlJob> MakeJobs(const QList<QByteArray>& lines, ListFormat format, int idKind, int base)
{
    QList<TUrlJob> jobs;
    jobs.reserve(lines.size());
    for (const QByteArray& line : lines) {
        const ListEntry entry = ParseListLine(line, format);
        TUrlJob job;
        job.Number = QByteArray::number(qint64(base) + jobs.size() + 1);
        job.Url = entry.Url;
        job.Id = format == ListFormat::OneUrlPerLine ? MakeJobId(line, idKind) : entry.Id;
        job.Status = JobStatus::Pending;
        jobs.append(job);
    }
    return jobs;
}
