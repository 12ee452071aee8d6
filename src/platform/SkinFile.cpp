#include "platform/SkinFile.h"

#include "common/ByteFile.h"

#include <QApplication>
#include <QFile>

#include <zlib.h>

namespace {

// The compressed sheet; what it inflates to has its own cap below.
constexpr qint64 kMaxSkinBytes = qint64(16) << 20;

} // namespace

QString DecodeSkin(const QByteArray& data)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return {};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    QByteArray out;
    char chunk[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, qsizetype(sizeof chunk - stream.avail_out));
        // A style sheet is small; a stream that keeps growing is not one.
        if (out.size() > (16 << 20)) status = Z_DATA_ERROR;
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? QString::fromUtf8(out) : QString();
}

bool ApplySkinFile(const QString& path, QApplication* application, QString* error)
{
    QByteArray data;
    if (!ByteFile::ReadAll(QFile::encodeName(path), &data, error, kMaxSkinBytes)) return false;
    const QString sheet = DecodeSkin(data);
    if (sheet.trimmed().isEmpty()) {
        *error = QStringLiteral("%1: not a skin file").arg(path);
        return false;
    }
    application->setStyleSheet(sheet);
    return true;
}
