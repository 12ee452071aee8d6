#include "capture/RunRate.h"

#include <cmath>

QString RunRateText(int rowsDone, int rowsLeft, qint64 elapsedMs)
{
    if (rowsDone <= 0 || elapsedMs <= 0) return {};
    const double perMinute = rowsDone * 60000.0 / double(elapsedMs);
    const qint64 leftSeconds = qint64(std::ceil(double(rowsLeft) * double(elapsedMs) / rowsDone / 1000.0));
    const QString rate = perMinute >= 10 ? QString::number(qRound(perMinute)) : QString::number(perMinute, 'f', 1);
    const QString left =
        leftSeconds >= 3600
            ? QStringLiteral("%1:%2:%3")
                  .arg(leftSeconds / 3600)
                  .arg(leftSeconds / 60 % 60, 2, 10, QLatin1Char('0'))
                  .arg(leftSeconds % 60, 2, 10, QLatin1Char('0'))
            : QStringLiteral("%1:%2").arg(leftSeconds / 60).arg(leftSeconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 pages/min, %2 left").arg(rate, left);
}
