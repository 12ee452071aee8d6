#include "platform/NetErrors.h"

#include <algorithm>
#include <iterator>

namespace {

// Chromium's net/base/net_error_list.h; everything not listed ends the row at once.
constexpr int kMayPass[] = {
    -7,   // TIMED_OUT
    -15,  // SOCKET_NOT_CONNECTED
    -21,  // NETWORK_CHANGED
    -100, // CONNECTION_CLOSED
    -101, // CONNECTION_RESET
    -102, // CONNECTION_REFUSED
    -103, // CONNECTION_ABORTED
    -104, // CONNECTION_FAILED
    -105, // NAME_NOT_RESOLVED
    -106, // INTERNET_DISCONNECTED
    -109, // ADDRESS_UNREACHABLE
    -111, // TUNNEL_CONNECTION_FAILED
    -118, // CONNECTION_TIMED_OUT
    -120, // SOCKS_CONNECTION_FAILED
    -130, // PROXY_CONNECTION_FAILED
    -137, // NAME_RESOLUTION_FAILED
    -324, // EMPTY_RESPONSE
    -354, // CONTENT_LENGTH_MISMATCH
    -355, // INCOMPLETE_CHUNKED_ENCODING
};

} // namespace

bool NetErrorMayPass(int code)
{
    return std::find(std::begin(kMayPass), std::end(kMayPass), code) != std::end(kMayPass);
}
