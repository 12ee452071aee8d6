#include "urllist/JobId.h"

#include <QCryptographicHash>

namespace {

// One left-to-right pass; what was just written is never searched again, so
// "hthttp://tp://x" loses exactly one "http://".
QByteArray ReplaceAll(const QByteArray& text, const QByteArray& from, const QByteArray& to)
{
    QByteArray out;
    out.reserve(text.size());
    qsizetype pos = 0;
    for (;;) {
        const qsizetype hit = text.indexOf(from, pos);
        if (hit < 0) break;
        out.append(text.constData() + pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.constData() + pos, text.size() - pos);
    return out;
}

QByteArray AsciiLower(QByteArray text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return text;
}

} // namespace

QByteArray MakeJobId(const QByteArray& url, int kind)
{
    if (kind == int(IdKind::Url)) return UrlToFileId(url);
    return QCryptographicHash::hash(url, QCryptographicHash::Md5).toHex();
}

QByteArray UrlToFileId(const QByteArray& url)
{
    QByteArray id = AsciiLower(url);
    id = ReplaceAll(id, QByteArrayLiteral("http://"), QByteArray());
    id = ReplaceAll(id, QByteArrayLiteral("www."), QByteArray());
    id.replace('.', '_');
    id.replace('/', 'I');
    return id;
}

bool IsSafeFileId(const QByteArray& id)
{
    return !id.contains('/') && !id.contains('\0');
}
