#include "common/ByteFile.h"

#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <mutex>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A NUL would cut the path short at the system call and name some other file.
bool IsUsablePath(const QByteArray& path)
{
    return !path.isEmpty() && !path.contains('\0');
}

QString SystemError(const char* what, const QByteArray& path, int errorCode)
{
    return QStringLiteral("%1 \"%2\": %3")
        .arg(QString::fromLatin1(what), DisplayText(path), qt_error_string(errorCode));
}

void SetError(QString* error, const char* what, const QByteArray& path, int errorCode)
{
    if (error) *error = SystemError(what, path, errorCode);
}

void SetError(QString* error, const char* what, const QByteArray& path, const QString& reason)
{
    if (error) *error = QStringLiteral("%1 \"%2\": %3").arg(QString::fromLatin1(what), DisplayText(path), reason);
}

QString NotRegularReason(mode_t mode)
{
    if (S_ISDIR(mode)) return QStringLiteral("it is a folder, not a file");
    if (S_ISFIFO(mode)) return QStringLiteral("it is a named pipe (FIFO), not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode)) return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

QString TooLargeReason(qint64 maxBytes)
{
    return QStringLiteral("it is larger than %1").arg(ByteFile::SizeText(maxBytes));
}

// Temporary files of replacements in progress, for RemoveUnfinishedFiles.
std::mutex& UnfinishedLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<QByteArray>& Unfinished()
{
    static std::vector<QByteArray> paths;
    return paths;
}

// Creates the temporary file and records it in one step, so no signal path can miss it.
int CreateUnfinished(QByteArray* tempPath)
{
    const std::lock_guard<std::mutex> guard(UnfinishedLock());
    const int fd = ::mkostemp(tempPath->data(), O_CLOEXEC);
    if (fd >= 0) Unfinished().push_back(*tempPath);
    return fd;
}

void Finished(const QByteArray& tempPath)
{
    const std::lock_guard<std::mutex> guard(UnfinishedLock());
    auto& paths = Unfinished();
    paths.erase(std::remove(paths.begin(), paths.end(), tempPath), paths.end());
}

// Follows `path` through symbolic links the user could have made: ours, or root's. One
// planted by someone else in a shared folder must not steer the write elsewhere, so it is
// replaced like any file. A missing end is fine: the replacement creates it.
bool ResolveOwnLinks(QByteArray* path, int* errorCode)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path->constData(), &st) != 0) {
            if (errno == ENOENT) return true;
            *errorCode = errno;
            return false;
        }
        if (!S_ISLNK(st.st_mode) || (st.st_uid != ::geteuid() && st.st_uid != 0)) return true;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path->constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size()) {
            *errorCode = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        target.truncate(n);
        if (!target.startsWith('/')) target.prepend(path->left(path->lastIndexOf('/') + 1));
        *path = target;
    }
    *errorCode = ELOOP;
    return false;
}

mode_t CurrentUmask()
{
    // umask() can only be read by setting it; do that once, before the workers start.
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

bool WriteAllTo(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Closes after a failed call and returns that call's errno, which close() may overwrite.
int CloseAfterError(int fd)
{
    const int saved = errno;
    ::close(fd);
    return saved;
}

// Reads `fd` to its end, refusing more than `maxBytes`; leaves `fd` open.
bool ReadToEnd(int fd, qsizetype sizeHint, QByteArray* data, QString* error, const char* what, const QByteArray& path,
               qint64 maxBytes)
{
    QByteArray result;
    result.reserve(qsizetype(std::min<qint64>(sizeHint, maxBytes)));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            SetError(error, what, path, errno);
            return false;
        }
        if (result.size() + n > maxBytes) {
            SetError(error, what, path, TooLargeReason(maxBytes));
            return false;
        }
        result.append(buffer, n);
    }
    if (data) *data = result;
    return true;
}

} // namespace

namespace ByteFile {

bool FileExists(const QByteArray& path)
{
    struct stat st;
    return IsUsablePath(path) && ::stat(path.constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const QByteArray& path)
{
    struct stat st;
    return IsUsablePath(path) && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

qint64 RegularFileSize(const QByteArray& path)
{
    struct stat st;
    if (!IsUsablePath(path) || ::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return qint64(st.st_size);
}

bool WriteReplacing(const QByteArray& path, const QByteArray& data, QString* error, unsigned permissionMask)
{
    static const char what[] = "Cannot create file";
    if (!IsUsablePath(path)) {
        SetError(error, what, path, path.isEmpty() ? ENOENT : EINVAL);
        return false;
    }
    if (path.endsWith('/')) {
        SetError(error, what, path, EISDIR);
        return false;
    }

    QByteArray target = path;
    int linkError = 0;
    if (!ResolveOwnLinks(&target, &linkError)) {
        SetError(error, what, path, linkError);
        return false;
    }
    struct stat old;
    // A link still here is someone else's and is replaced, not followed.
    const bool replacing = ::lstat(target.constData(), &old) == 0 && !S_ISLNK(old.st_mode);
    if (replacing && S_ISDIR(old.st_mode)) {
        SetError(error, what, path, EISDIR);
        return false;
    }
    if (replacing && !S_ISREG(old.st_mode)) {
        SetError(error, what, path, NotRegularReason(old.st_mode));
        return false;
    }

    // A fixed short name: the target's own name may already be as long as a name can be.
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray tempPath = slash < 0 ? QByteArray() : target.left(slash + 1);
    tempPath += ".thumbrix-XXXXXX";
    const int fd = CreateUnfinished(&tempPath);
    if (fd < 0) {
        SetError(error, what, path, errno);
        return false;
    }

    bool written = WriteAllTo(fd, data);
    if (written && replacing) {
        struct stat created;
        // Only root can give a file away; for anyone else a differing owner stays ours.
        if (::fstat(fd, &created) == 0 && (created.st_uid != old.st_uid || created.st_gid != old.st_gid)) {
            [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
        }
    }
    written =
        written &&
        ::fchmod(fd, (replacing ? (old.st_mode & 0777) : (0666 & ~CurrentUmask())) & mode_t(permissionMask)) == 0 &&
        ::fsync(fd) == 0;
    if (!written) {
        const int e = CloseAfterError(fd);
        ::unlink(tempPath.constData());
        Finished(tempPath);
        SetError(error, what, path, e);
        return false;
    }
    if (::close(fd) != 0 || ::rename(tempPath.constData(), target.constData()) != 0) {
        const int e = errno;
        ::unlink(tempPath.constData());
        Finished(tempPath);
        SetError(error, what, path, e);
        return false;
    }
    Finished(tempPath);
    return true;
}

bool ReadAll(const QByteArray& path, QByteArray* data, QString* error, qint64 maxBytes)
{
    static const char what[] = "Cannot read file";
    if (!IsUsablePath(path)) {
        SetError(error, what, path, path.isEmpty() ? ENOENT : EINVAL);
        return false;
    }
    // Looked at before opening: opening a device can do things, and a FIFO would wait for
    // a writer. O_NONBLOCK covers a swap between the two calls.
    struct stat st;
    if (::stat(path.constData(), &st) != 0) {
        SetError(error, what, path, errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        SetError(error, what, path, NotRegularReason(st.st_mode));
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        SetError(error, what, path, errno);
        return false;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = errno;
        ::close(fd);
        if (S_ISREG(st.st_mode))
            SetError(error, what, path, e);
        else
            SetError(error, what, path, NotRegularReason(st.st_mode));
        return false;
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        SetError(error, what, path, TooLargeReason(maxBytes));
        return false;
    }

    // The size is only a hint: the file may grow, and some report 0 (those under /proc).
    const bool read = ReadToEnd(fd, qsizetype(st.st_size), data, error, what, path, maxBytes);
    ::close(fd);
    return read;
}

bool ReadStream(int fd, const QByteArray& name, QByteArray* data, QString* error, qint64 maxBytes)
{
    return ReadToEnd(fd, 0, data, error, "Cannot read", name, maxBytes);
}

void RemoveUnfinishedFiles()
{
    const std::lock_guard<std::mutex> guard(UnfinishedLock());
    for (const QByteArray& tempPath : Unfinished())
        ::unlink(tempPath.constData());
    Unfinished().clear();
}

QString SizeText(qint64 bytes)
{
    constexpr qint64 MiB = qint64(1) << 20;
    if (bytes >= MiB && bytes % MiB == 0) return QStringLiteral("%1 MiB").arg(bytes / MiB);
    if (bytes >= 1024 && bytes % 1024 == 0) return QStringLiteral("%1 KiB").arg(bytes / 1024);
    return QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace ByteFile

QString DisplayText(const QByteArray& bytes)
{
    // Stateless, so a sequence cut off at the end counts as an error instead of waiting for more.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError()) return QString::fromLatin1(bytes);
    return text;
}
