#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;
class TMultipartForm;

// What the news and update code need of HTTP. While a call waits, the client lets pending
// window events run at least every 250 ms. Production uses libcurl; tests use fakes or a
// local server.
class THttpClient
{
public:
    virtual ~THttpClient() = default;

    // POSTs `form` to `url` over HTTP/1.0. True with the body when the final status is 2xx;
    // redirects are followed with the same method and form while fewer than 15 requests
    // have been sent for the call.
    virtual bool PostForm(const QByteArray& url, const TMultipartForm& form, QByteArray* reply, QString* error) = 0;
    // GETs `url` over HTTP/1.1 into `out`. True when the final status is 2xx and the whole
    // body was written.
    virtual bool GetToDevice(const QByteArray& url, QIODevice* out, QString* error) = 0;
    // Closes any open connection; never fails visibly.
    virtual void Disconnect() = 0;

    // The most body bytes one reply may bring, for the calls that follow. Past it the
    // transfer stops and the call fails as any failed transfer does.
    void SetMaxReplySize(qint64 bytes) { m_maxReplySize = bytes; }
    qint64 MaxReplySize() const { return m_maxReplySize; }

private:
    qint64 m_maxReplySize = qint64(8) << 20;
};
