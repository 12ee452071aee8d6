#pragma once

#include <QByteArray>

// Index of the ID kind in the "Generate File Name From:" selector.
enum class IdKind : int {
    Md5 = 0, // "Automatic Alphanumeric ID"
    Url = 1, // "URL Address"
};

// ID of a new row made from its URL by `kind`. Kinds outside the selector's two
// entries fall back to the MD5 form, so every row still gets a usable file name.
QByteArray MakeJobId(const QByteArray& url, int kind);

// The "URL Address" rule: lower-case ASCII, drop "http://" and "www.", "." -> "_", "/" -> "I".
QByteArray UrlToFileId(const QByteArray& url);

// An ID becomes a file name inside the output folder; one holding a path separator
// (or a NUL, which no file name can hold) would leave that folder, so it is refused.
bool IsSafeFileId(const QByteArray& id);
