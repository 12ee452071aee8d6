#pragma once

#include <QByteArray>
#include <QList>

// One row of the URL list. Id and Url are the bytes as stored: never trimmed,
// never re-encoded.
struct TUrlJob
{
    QByteArray Number;
    QByteArray Id;
    QByteArray Url;
    QByteArray Status;
    bool Selected = false;
};

namespace JobStatus {
inline const QByteArray Pending = QByteArrayLiteral("Pending");
inline const QByteArray Skipped = QByteArrayLiteral("Skipped");
inline const QByteArray Downloading = QByteArrayLiteral("Downloading...");
inline const QByteArray Error = QByteArrayLiteral("Error");
inline const QByteArray Success = QByteArrayLiteral("Success");
} // namespace JobStatus
