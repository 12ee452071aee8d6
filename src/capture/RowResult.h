#pragma once

#include <QByteArray>
#include <QString>

// What became of one row of a batch: for the report, the results file and the gallery.
struct TRowResult
{
    QByteArray Status; // Success, Error or Skipped
    QString Reason;    // why an error; empty otherwise
    QByteArray File;   // the path written; empty when nothing was
    qint64 Bytes = 0;  // size of the file written
    int Width = 0;     // of the thumbnail written
    int Height = 0;
    qint64 Ms = 0;      // from the row's first attempt to its end
    int HttpStatus = 0; // of the main document; 0 when unknown
    QString FinalUrl;   // the page's address after redirects; empty when unknown
    int Attempts = 0;   // 0 for a row that was never loaded
    bool Settled = false;
    int SettleMs = 0;
    QString Consent; // "opted-out", "hidden", or empty
};
