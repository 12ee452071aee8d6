#pragma once

#include <QByteArray>
#include <QString>

// File names travel as the bytes the user's list holds; Qt's QString paths would
// replace bytes that are not valid UTF-8, so these helpers speak POSIX directly.
namespace ByteFile {

bool FileExists(const QByteArray& path);
bool DirectoryExists(const QByteArray& path);

// Replaces the file at `path` with `data` through a temporary file in the same folder,
// so a failure never leaves a partial file behind. On failure `error` holds the path
// and the system's reason.
bool WriteReplacing(const QByteArray& path, const QByteArray& data, QString* error);

// Reads the whole file. On failure `error` holds the path and the system's reason.
bool ReadAll(const QByteArray& path, QByteArray* data, QString* error);

} // namespace ByteFile

// Bytes of the list (UTF-8 when they are valid UTF-8, else Latin-1) as text to show.
QString DisplayText(const QByteArray& bytes);
