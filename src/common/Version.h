#pragma once

#include <QString>

// "<program> <version>", what --version prints.
inline QString VersionLine(const QString& program)
{
    return program + QStringLiteral(" " THUMBRIX_VERSION "\n");
}
