#include "batch/ByteEscape.h"

#include <QByteArrayView>

#include <algorithm>

namespace {

// Bytes of the UTF-8 sequence a lead byte starts; 1 for ASCII and for bytes that start none.
qsizetype Utf8Length(uchar lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

} // namespace

QByteArray EscapeUnsafeBytes(const QByteArray& bytes)
{
    QByteArray safe;
    safe.reserve(bytes.size());
    const auto escape = [&safe](QByteArrayView part) {
        for (const char c : part)
            safe += "\\x" + QByteArray(1, c).toHex();
    };
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar lead = uchar(bytes.at(i));
        const QByteArrayView sequence = QByteArrayView(bytes).sliced(i, std::min(Utf8Length(lead), bytes.size() - i));
        if (sequence.size() != Utf8Length(lead) || !sequence.isValidUtf8()) {
            escape(sequence.first(1));
            ++i;
            continue;
        }
        const bool c1 = lead == 0xC2 && uchar(sequence.at(1)) < 0xA0;
        if (lead < 0x20 || lead == 0x7F || c1)
            escape(sequence);
        else if (lead == '\\')
            safe += "\\\\";
        else
            safe += sequence;
        i += sequence.size();
    }
    return safe;
}
