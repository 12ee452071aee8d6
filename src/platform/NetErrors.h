#pragma once

// Whether a load that failed with the engine's network error `code` (Chromium's net error
// numbers, negative) may pass on another attempt: a time-out, a reset, a refused or lost
// connection, a failed name look-up. An address the engine refuses every time (an unsafe
// port, an invalid address, an unknown scheme) may not.
bool NetErrorMayPass(int code);
