#pragma once

#include "online/HttpClient.h"

#include <memory>

// THttpClient over libcurl, run on the calling (user-interface) thread. While a request
// waits, the client polls its sockets for at most 50 ms at a time and lets Qt handle pending
// events in between, so windows keep painting and a handler can call back into the client:
// a second request while one runs fails with "busy", Disconnect() ends the running request.
// Do not delete the client from an event handled during a wait; should it happen anyway, the
// running call fails and touches nothing of the deleted object.
//
// Requests carry exactly our headers in our order, so redirects are followed by hand and
// cookies are kept in our own jar (Qt's cookie rules: domain, path, Secure, expiry; for the
// life of the client) rather than in curl's engine, which would put the Cookie line first.
class TCurlHttpClient : public THttpClient
{
public:
    TCurlHttpClient();
    ~TCurlHttpClient() override;
    TCurlHttpClient(const TCurlHttpClient&) = delete;
    TCurlHttpClient& operator=(const TCurlHttpClient&) = delete;

    bool PostForm(const QByteArray& url, const TMultipartForm& form, QByteArray* reply, QString* error) override;
    bool GetToDevice(const QByteArray& url, QIODevice* out, QString* error) override;
    void Disconnect() override;

    // 0, the default, leaves connecting to the system. There is never a read time-out.
    void SetConnectTimeout(int milliseconds);

    struct TState;

private:
    std::shared_ptr<TState> m_state;
};
