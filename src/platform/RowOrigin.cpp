#include "platform/RowOrigin.h"

namespace {

int PortOf(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    const int fallback = scheme == QLatin1String("https") || scheme == QLatin1String("wss") ? 443
                         : scheme == QLatin1String("http") || scheme == QLatin1String("ws") ? 80
                                                                                            : -1;
    return url.port(fallback);
}

} // namespace

RowOrigin::RowOrigin(const QUrl& address)
{
    // A page of no network origin (about:, data:, file:) has nobody to send a secret to.
    if (!address.isValid() || address.host().isEmpty()) return;
    m_scheme = address.scheme().toLower();
    m_host = address.host(QUrl::FullyEncoded).toLower();
    m_port = PortOf(address);
}

bool RowOrigin::Holds(const QUrl& address) const
{
    return !m_host.isEmpty() && address.scheme().toLower() == m_scheme &&
           address.host(QUrl::FullyEncoded).toLower() == m_host && PortOf(address) == m_port;
}

bool RowOrigin::IsPrivateHeader(const QByteArray& name)
{
    return name.compare("Authorization", Qt::CaseInsensitive) == 0 || name.compare("Cookie", Qt::CaseInsensitive) == 0;
}
