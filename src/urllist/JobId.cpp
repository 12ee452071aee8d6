#include "urllist/JobId.h"

#include <QCryptographicHash>

QByteArray MakeJobId(const QByteArray& url, int kind)
{
    if (kind == int(IdKind::Url)) return UrlToFileId(url);
    return QCryptographicHash::hash(url, QCryptographicHash::Md5).toHex();
}

QByteArray UrlToFileId(const QByteArray& url)
{
    // toLower() touches ASCII letters only; replace() never rescans what it has written,
    // so "hthttp://tp://x" loses exactly one "http://".
    QByteArray id = url.toLower();
    id.replace(QByteArrayLiteral("http://"), QByteArray());
    id.replace(QByteArrayLiteral("www."), QByteArray());
    id.replace('.', '_');
    id.replace('/', 'I');
    return id;
}

bool IsSafeFileId(const QByteArray& id)
{
    return !id.contains('/') && !id.contains('\0');
}
