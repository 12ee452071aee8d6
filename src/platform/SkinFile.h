#pragma once

#include <QString>

class QApplication;

// "mainskin.dat": a zlib stream (RFC 1950) holding a Qt style sheet in UTF-8, applied to the
// whole application. False, leaving the built-in look, when it cannot be read or is empty.
bool ApplySkinFile(const QString& path, QApplication* application, QString* error);

// The style sheet inside a skin file's bytes; empty when they are not a zlib stream.
QString DecodeSkin(const QByteArray& data);
