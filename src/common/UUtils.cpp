#include "common/UUtils.h"

#include "brand/AesLib.h"
#include "common/ByteFile.h"

#include <QBuffer>
#include <QFile>

namespace {

constexpr int kProfileBufferSize = 262144;

bool OpenOrExplain(QFile& file, QIODevice::OpenMode mode, QString* error)
{
    if (file.open(mode)) return true;
    if (error) *error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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
    QFile in(source);
    if (!OpenOrExplain(in, QIODevice::ReadOnly, error)) return false;
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
