#include "common/UUtils.h"

#include "brand/AesLib.h"
#include "common/ByteFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kProfileBufferSize = 262144;
constexpr qint64 kMaxProfileBytes = qint64(16) << 20;

bool OpenOrExplain(QFile& file, QIODevice::OpenMode mode, QString* error)
{
    if (file.open(mode)) return true;
    if (error) *error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
    return false;
}

int DigitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

int HexDigit(char c)
{
    return DigitValue(c, 16);
}

} // namespace

void SplitByChar(char delimiter, const QByteArray& text, QList<QByteArray>& list)
{
    list.clear();
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf(delimiter, start);
        if (end < 0) {
            list.append(text.mid(start));
            break;
        }
        list.append(text.mid(start, end - start));
        start = end + 1;
    }
}

QByteArray DecodeHexEscapes(const QByteArray& text)
{
    QByteArray result;
    result.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i) != '$') {
            result.append(text.at(i++));
            continue;
        }
        int value = 0;
        qsizetype digits = 0;
        for (; digits < 2 && i + 1 + digits < text.size(); ++digits) {
            const int digit = HexDigit(text.at(i + 1 + digits));
            if (digit < 0) return QByteArray();
            value = value * 16 + digit;
        }
        if (digits == 0) return QByteArray();
        result.append(char(value));
        i += 1 + digits;
    }
    return result;
}

bool EncryptFile(const QString& source, const QString& destination, QString* error)
{
    QFile in(source);
    QFile out(destination);
    if (!OpenOrExplain(in, QIODevice::ReadOnly, error)) return false;
    if (!OpenOrExplain(out, QIODevice::WriteOnly | QIODevice::Truncate, error)) return false;
    TEncryption encryption(ProfilePassword(), kProfileBufferSize);
    encryption.EncryptStream(&in, &out);
    return true;
}

bool DecryptFile(const QString& source, const QString& destination, QString* error)
{
    QFile in(source);
    QFile out(destination);
    if (!OpenOrExplain(in, QIODevice::ReadOnly, error)) return false;
    if (!OpenOrExplain(out, QIODevice::WriteOnly | QIODevice::Truncate, error)) return false;
    TEncryption encryption(ProfilePassword(), kProfileBufferSize);
    encryption.DecryptStream(&in, &out, in.size());
    return true;
}

bool DecryptFileToBytes(const QString& source, QByteArray* plain, bool* authentic, QString* error)
{
    // Only a regular file (a pipe would hold us at open), and no bigger than any profile a
    // reseller writes.
    const QFileInfo info(source);
    if (info.exists() && !info.isFile()) {
        if (error) *error = QStringLiteral("%1: not a regular file").arg(source);
        return false;
    }
    QFile file(source);
    if (!OpenOrExplain(file, QIODevice::ReadOnly, error)) return false;
    QByteArray stored = file.read(kMaxProfileBytes + 1);
    if (stored.size() > kMaxProfileBytes) {
        if (error) *error = QStringLiteral("%1: larger than %2 MiB").arg(source).arg(kMaxProfileBytes >> 20);
        return false;
    }
    QBuffer in(&stored);
    in.open(QIODevice::ReadOnly);
    QByteArray decrypted;
    QBuffer out(&decrypted);
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(ProfilePassword(), kProfileBufferSize);
    const bool ok = encryption.DecryptStream(&in, &out, in.size());
    out.close();
    if (plain) *plain = decrypted;
    if (authentic) *authentic = ok;
    return true;
}

bool EncryptBytesToFile(const QByteArray& plain, const QString& destination, QString* error)
{
    QByteArray source = plain;
    QBuffer in(&source);
    in.open(QIODevice::ReadOnly);
    QByteArray encrypted;
    QBuffer out(&encrypted);
    out.open(QIODevice::WriteOnly);
    TEncryption encryption(ProfilePassword(), kProfileBufferSize);
    if (!encryption.EncryptStream(&in, &out)) {
        // Only memory is involved here, so this is the cipher library failing.
        if (error) *error = QStringLiteral("%1: encryption failed").arg(destination);
        return false;
    }
    return ByteFile::WriteReplacing(QFile::encodeName(destination), encrypted, error);
}

QByteArray ProfilePassword()
{
    return QByteArrayLiteral("vemtorquil");
}

bool ParseInteger(const QByteArray& text, int* result)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == '+' || text.at(i) == '-')) {
        negative = text.at(i) == '-';
        ++i;
    }
    int base = 10;
    if (text.mid(i, 1) == "$") {
        base = 16;
        i += 1;
    } else if (text.mid(i, 2) == "0x" || text.mid(i, 2) == "0X") {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    const qint64 limit = negative ? qint64(1) << 31 : (qint64(1) << 31) - 1;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text.at(i), base);
        if (digit < 0) return false;
        value = value * base + digit;
        if (value > limit) return false;
    }
    *result = int(negative ? -value : value);
    return true;
}
