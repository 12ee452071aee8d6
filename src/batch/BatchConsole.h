#pragma once

#include "urllist/UrlJob.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <cstdio>

// What thumbrix-batch prints: one line per finished row on stdout, a progress bar with an
// estimate of the time left on stderr when that is a terminal, the counts at the end.
class BatchConsole
{
public:
    BatchConsole(std::FILE* out, std::FILE* err, bool showProgress);

    void Begin(int rowCount);
    void RowFinished(const TUrlJob& job, const QString& reason, int finishedCount);
    void End(const QList<TUrlJob>& jobs);
    // The run was cut short: `why` goes to stderr in place of the counts.
    void Stopped(const QString& why);

    // "number ID status", and ": reason" when there is one. Control characters and bytes
    // that are not UTF-8 are written as \xHH (ESC as \x1b), a backslash as "\\".
    static QString RowLine(const TUrlJob& job, const QString& reason);
    static QString CountsLine(const QList<TUrlJob>& jobs);

private:
    void DrawProgress(int finishedCount);
    void ClearProgress();

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_showProgress;
    int m_rowCount = 0;
    QElapsedTimer m_clock;
};
