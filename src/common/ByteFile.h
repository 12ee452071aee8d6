#pragma once

#include <QByteArray>
#include <QString>

// File names travel as the bytes the user's list holds; Qt's QString paths would
// replace bytes that are not valid UTF-8, so these helpers speak POSIX directly.
namespace ByteFile {

bool FileExists(const QByteArray& path);
bool DirectoryExists(const QByteArray& path);
// The size of the regular file at `path`; -1 when there is none.
qint64 RegularFileSize(const QByteArray& path);

// Replaces the file at `path` with `data` through a temporary file in the same folder,
// so a failure never leaves a partial file behind. The new file keeps the old one's
// permission bits; a symbolic link of ours is written through to its target, in the
// target's folder. Anything but a regular file at the end is refused. On failure `error`
// holds the path and the system's reason. `permissionMask` takes bits away from the mode,
// old or new: 0600 for a file only its owner may read.
bool WriteReplacing(const QByteArray& path, const QByteArray& data, QString* error, unsigned permissionMask = 0777);

// Reads a whole regular file of at most `maxBytes`. A folder, FIFO, device or socket is
// refused without waiting for it. On failure `error` holds the path and the reason.
// Callers name their own cap; the default only keeps a read within a QByteArray.
bool ReadAll(const QByteArray& path, QByteArray* data, QString* error, qint64 maxBytes = qint64(1) << 30);

// Reads an open descriptor (a pipe, a terminal) to its end, at most `maxBytes`; `name`
// stands for it in `error`. The descriptor stays open.
bool ReadStream(int fd, const QByteArray& name, QByteArray* data, QString* error, qint64 maxBytes);

// Deletes the temporary files of replacements still being written. For a process that is
// stopping on a signal; a replacement it interrupts fails.
void RemoveUnfinishedFiles();

// "8 MiB", "512 KiB" or "100 bytes".
QString SizeText(qint64 bytes);

} // namespace ByteFile

// Bytes of the list (UTF-8 when they are valid UTF-8, else Latin-1) as text to show.
QString DisplayText(const QByteArray& bytes);
