#include "common/ByteFile.h"

#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool WriteReplacing(const QByteArray& path, const QByteArray& data, QString* error)
{
    static const char what[] = "Cannot create file";
    if (!IsUsablePath(path)) {
        SetError(error, what, path, path.isEmpty() ? ENOENT : EINVAL);
        return false;
    }
    const qsizetype slash = path.lastIndexOf('/');
    if (slash == path.size() - 1) {
        SetError(error, what, path, EISDIR);
        return false;
    }

    // A fixed short name: the target's own name may already be as long as a name can be.
    QByteArray tempPath = slash < 0 ? QByteArray() : path.left(slash + 1);
    tempPath += ".thumbrix-XXXXXX";
    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, what, path, errno);
        return false;
    }

    const bool written = WriteAllTo(fd, data) && ::fchmod(fd, 0666 & ~CurrentUmask()) == 0 && ::fsync(fd) == 0;
    if (!written) {
        const int e = CloseAfterError(fd);
        ::unlink(tempPath.constData());
        SetError(error, what, path, e);
        return false;
    }
    if (::close(fd) != 0 || ::rename(tempPath.constData(), path.constData()) != 0) {
        const int e = errno;
        ::unlink(tempPath.constData());
        SetError(error, what, path, e);
        return false;
    }
    return true;
}

bool ReadAll(const QByteArray& path, QByteArray* data, QString* error)
{
    static const char what[] = "Cannot read file";
    if (!IsUsablePath(path)) {
        SetError(error, what, path, path.isEmpty() ? ENOENT : EINVAL);
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, what, path, errno);
        return false;
    }

    struct stat st;
    int statError = 0;
    if (::fstat(fd, &st) != 0)
        statError = errno;
    else if (S_ISDIR(st.st_mode))
        statError = EISDIR;
    if (statError != 0) {
        ::close(fd);
        SetError(error, what, path, statError);
        return false;
    }

    QByteArray result;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = CloseAfterError(fd);
            SetError(error, what, path, e);
            return false;
        }
        result.append(buffer, n);
    }
    ::close(fd);
    if (data) *data = result;
    return true;
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
