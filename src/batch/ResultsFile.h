#pragma once

#include "capture/RowResult.h"
#include "urllist/UrlJob.h"

#include <QByteArray>
#include <QString>

// The machine-readable record of a run: JSON Lines, one object per finished row, appended
// to the file (never truncating it) and handed to the system as each row ends. Each line
// goes out in one write to a file opened for appending, so a worker that dies loses no
// finished row, and workers that share one file never mix their lines.
class ResultsFile
{
public:
    ResultsFile() = default;
    ~ResultsFile();
    ResultsFile(const ResultsFile&) = delete;
    ResultsFile& operator=(const ResultsFile&) = delete;

    // "-" is standard output.
    bool Open(const QString& path, QString* error);
    bool IsOpen() const { return m_fd >= 0; }
    bool Write(const TUrlJob& job, const TRowResult& result, QString* error);

    // The row's object on one line, ending in "\n". Keys in a fixed order: number, id, url,
    // status, reason, file, bytes, width, height, ms, http_status, final_url, attempts,
    // settled, settle_ms, consent. A
    // text from the list that is not valid UTF-8 is null, with its bytes in hexadecimal
    // beside it ("id_hex", "url_hex", "file_hex").
    static QByteArray Line(const TUrlJob& job, const TRowResult& result);

private:
    int m_fd = -1;
    bool m_ownFd = false;
    QString m_name;
};
