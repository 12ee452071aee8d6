#pragma once

#include "capture/BatchRunner.h"
#include "capture/CaptureOptions.h"
#include "urllist/UrlListFile.h"

#include <QString>
#include <QStringList>

struct TBatchOptions
{
    QString ListFile; // "-": standard input
    ListFormat Format = ListFormat::OneUrlPerLine;
    int IdKind = 0;
    // Capture views working at once.
    int Jobs = 4;
    // This worker's share of the list: rows whose number n has (n - 1) mod ShardCount
    // equal to ShardIndex - 1. 1/1 is the whole list.
    int ShardIndex = 1;
    int ShardCount = 1;
    QString ResultsFile; // empty: none; "-": standard output
    QString GalleryFile; // empty: none
    TBatchSettings Settings;
    TCaptureOptions Capture;
    TEngineOptions Engine;
};

enum class ParseResult {
    Run,
    Help,
    Version,
    Invalid,
};

// Whether the row numbered `number` (from 1, over the whole list) is this worker's.
bool InShard(qint64 number, int index, int count);

// Reads the command line (arguments()[0] is the program). On Help and Version, `message`
// is the text to print; on Invalid, a one-line reason.
ParseResult ParseBatchOptions(const QStringList& arguments, TBatchOptions* options, QString* message);
