#pragma once

#include <QByteArray>

// Bytes from the list made safe to show: valid UTF-8 stays, except control characters (C0,
// DEL, C1), which become the \xHH of their bytes, as does every byte that is not UTF-8. A
// backslash becomes "\\", so each \x in the result stands for one byte of the input. The
// result is always valid UTF-8.
QByteArray EscapeUnsafeBytes(const QByteArray& bytes);
