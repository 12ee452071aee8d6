#pragma once

#include <QCommandLineParser>
#include <QString>

// "<program> <version>", what --version prints.
inline QString VersionLine(const QString& program)
{
    return program + QStringLiteral(" " THUMBRIX_VERSION "\n");
}

// The parser's help with the program's own name on the usage line, as the manual pages
// show it; Qt would put "<executable_name>" there, or the path the program was started by.
inline QString HelpText(const QCommandLineParser& parser, const QString& program)
{
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: ");
    const qsizetype options = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(usage) && options > usage.size()) text.replace(usage.size(), options - usage.size(), program);
    return text;
}
