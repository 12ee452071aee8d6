#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Splits `text` at every `delimiter`; an empty piece between delimiters is kept, a
// trailing empty piece is dropped, and an empty text gives no piece.
void SplitByChar(char delimiter, const QByteArray& text, QList<QByteArray>& list);

// Turns every "$" and one or two hexadecimal digits into that byte. A single malformed
// escape gives the empty text, so a damaged page is never shown half decoded.
QByteArray DecodeHexEscapes(const QByteArray& text);

// Whole-file encryption in the profile format with the program's fixed password.
// False (with the path and reason in `error`) only when the source cannot be opened or
// the destination cannot be created; whether the data authenticated is not reported,
// just as a caller of these sees only what was written.
bool EncryptFile(const QString& source, const QString& destination, QString* error);
bool DecryptFile(const QString& source, const QString& destination, QString* error);

// As DecryptFile, but into memory and reporting whether the verification value and the
// authentication code matched (`authentic`).
bool DecryptFileToBytes(const QString& source, QByteArray* plain, bool* authentic, QString* error);
// As EncryptFile, from memory; the destination is replaced atomically.
bool EncryptBytesToFile(const QByteArray& plain, const QString& destination, QString* error);

// A whole number as the settings and news ids write it: leading spaces, an optional sign,
// then decimal digits, or "$", "0x" or "0X" and hexadecimal ones. False for anything else
// and for a value outside the 32-bit signed range.
bool ParseInteger(const QByteArray& text, int* result);

// The fixed password of the profile file.
QByteArray ProfilePassword();
