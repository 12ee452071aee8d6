#pragma once

#include <QString>
#include <QtGlobal>

// How fast a run goes and how long it has left, from the rows done so far: "24 pages/min,
// 1:30 left". Empty until a row is done.
QString RunRateText(int rowsDone, int rowsLeft, qint64 elapsedMs);
