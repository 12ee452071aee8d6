#include "platform/NetErrors.h"

#include <algorithm>
#include <iterator>

namespace {

// Chromium's net/base/net_error_list.h; everything not listed ends the row at once.
constexpr int kMayPass[] = {
    -2,   // FAILED: the engine's catch-all, a lost connection among others
    -7,   // TIMED_OUT
    -12,  // NETWORK_IO_SUSPENDED: the machine slept
    -15,  // SOCKET_NOT_CONNECTED
    -21,  // NETWORK_CHANGED
    -100, // CONNECTION_CLOSED
    -101, // CONNECTION_RESET
    -102, // CONNECTION_REFUSED
    -103, // CONNECTION_ABORTED
    -104, // CONNECTION_FAILED
    -105, // NAME_NOT_RESOLVED
    -106, // INTERNET_DISCONNECTED
    -107, // SSL_PROTOCOL_ERROR: a handshake cut short
    -109, // ADDRESS_UNREACHABLE
    -111, // TUNNEL_CONNECTION_FAILED
    -118, // CONNECTION_TIMED_OUT
    -120, // SOCKS_CONNECTION_FAILED
    -130, // PROXY_CONNECTION_FAILED
    -137, // NAME_RESOLUTION_FAILED
    -324, // EMPTY_RESPONSE
    -337, // HTTP2_PROTOCOL_ERROR: a stream the server reset
    -354, // CONTENT_LENGTH_MISMATCH
    -355, // INCOMPLETE_CHUNKED_ENCODING
    -356, // QUIC_PROTOCOL_ERROR
};

} // namespace

bool NetErrorMayPass(int code)
{
    return std::find(std::begin(kMayPass), std::end(kMayPass), code) != std::end(kMayPass);
}
