#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

// A rule an accepted (or refused) input must keep. A broken rule aborts, so libFuzzer
// saves the input as a crash and scripts/fuzz.sh fails.
#define FUZZ_REQUIRE(condition, rule)                                                                                  \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "rule broken: %s\n", rule);                                                           \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace Fuzz {

inline QByteArray Bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// C0 controls and DEL; with `tabToo` false a tab is allowed.
inline bool HasControl(const QByteArray& bytes, bool tabToo = true)
{
    for (const char c : bytes) {
        const uchar u = uchar(c);
        if ((u < 0x20 && (tabToo || u != '\t')) || u == 0x7f) return true;
    }
    return false;
}

inline bool HasControl(const QString& text, bool tabToo = true)
{
    return HasControl(text.toUtf8(), tabToo);
}

} // namespace Fuzz
