#include "batch/BatchConsole.h"

#include "batch/ByteEscape.h"

namespace {

constexpr int kBarWidth = 30;

QString Clock(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

BatchConsole::BatchConsole(std::FILE* out, std::FILE* err, bool showProgress)
    : m_out(out), m_err(err), m_showProgress(showProgress)
{
}

void BatchConsole::Begin(int rowCount)
{
    m_rowCount = rowCount;
    m_clock.start();
    DrawProgress(0);
}

QString BatchConsole::RowLine(const TUrlJob& job, const QString& reason)
{
    // IDs come from the list file and reasons may quote them: an escape sequence in
    // either would otherwise reach the user's terminal.
    QByteArray line = job.Number + ' ' + job.Id + ' ' + job.Status;
    if (!reason.isEmpty()) line += ": " + reason.toUtf8();
    return QString::fromUtf8(EscapeUnsafeBytes(line));
}

QString BatchConsole::CountsLine(const QList<TUrlJob>& jobs)
{
    int pending = 0, success = 0, error = 0;
    for (const TUrlJob& job : jobs) {
        pending += job.Status == JobStatus::Pending;
        success += job.Status == JobStatus::Success;
        error += job.Status == JobStatus::Error;
    }
    const qsizetype total = jobs.size();
    return QStringLiteral("Total: %1  Done: %2  Success: %3  Error: %4")
        .arg(total)
        .arg(total - pending)
        .arg(success)
        .arg(error);
}

void BatchConsole::RowFinished(const TUrlJob& job, const QString& reason, int finishedCount)
{
    ClearProgress();
    Print(m_out, RowLine(job, reason) + QLatin1Char('\n'));
    DrawProgress(finishedCount);
}

void BatchConsole::End(const QList<TUrlJob>& jobs)
{
    ClearProgress();
    Print(m_out, CountsLine(jobs) + QLatin1Char('\n'));
}

void BatchConsole::Stopped(const QString& why)
{
    ClearProgress();
    Print(m_err, why + QLatin1Char('\n'));
}

void BatchConsole::DrawProgress(int finishedCount)
{
    if (!m_showProgress || m_rowCount <= 0) return;
    const int filled = int(qint64(kBarWidth) * finishedCount / m_rowCount);
    QString bar = QStringLiteral("\r[") + QString(filled, QLatin1Char('#')) +
                  QString(kBarWidth - filled, QLatin1Char('.')) +
                  QStringLiteral("] %1/%2").arg(finishedCount).arg(m_rowCount);
    if (finishedCount > 0 && finishedCount < m_rowCount) {
        const qint64 left = m_clock.elapsed() * (m_rowCount - finishedCount) / finishedCount / 1000;
        bar += QStringLiteral("  ETA ") + Clock(left);
    }
    Print(m_err, bar);
}

void BatchConsole::ClearProgress()
{
    if (m_showProgress && m_rowCount > 0) Print(m_err, QStringLiteral("\r\x1b[K"));
}
