#pragma once

#include "capture/BatchRunner.h"
#include "urllist/UrlListFile.h"

#include <QString>
#include <QStringList>

struct TBatchOptions
{
    QString ListFile;
    ListFormat Format = ListFormat::OneUrlPerLine;
    int IdKind = 0;
    // Capture views working at once.
    int Jobs = 4;
    TBatchSettings Settings;
};

enum class ParseResult {
    Run,
    Help,
    Invalid,
};

// Reads the command line (arguments()[0] is the program). On Help, `message` is the help
// text; on Invalid, a one-line reason.
ParseResult ParseBatchOptions(const QStringList& arguments, TBatchOptions* options, QString* message);
