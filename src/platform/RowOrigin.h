#pragma once

#include <QUrl>

// The origin (scheme, host, port) of the address a row asked for: the only place its
// credentials and its private headers may go. Not where a redirect leads: a page that moved
// to another origin is that origin's page.
class RowOrigin
{
public:
    RowOrigin() = default;
    explicit RowOrigin(const QUrl& address);

    // False for every address while no origin is known.
    bool Holds(const QUrl& address) const;

    // Headers that carry a secret: they go to the row's origin only, like the credentials.
    static bool IsPrivateHeader(const QByteArray& name);

private:
    QString m_scheme;
    QString m_host;
    int m_port = -1;
};
