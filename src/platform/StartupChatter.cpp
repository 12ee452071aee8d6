#include "platform/StartupChatter.h"

#include <QLoggingCategory>
#include <QStringList>


namespace {

QtMessageHandler g_previous = nullptr;

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (StartupChatter::Is(type, message)) return;
    if (g_previous) g_previous(type, context, message);
}

} // namespace

namespace StartupChatter {

bool Is(QtMsgType type, const QString& message)
{
    // Exact texts only: a warning that merely looks alike must still be seen.
    static const QStringList warnings = {
        QStringLiteral("No suitable graphics backend found"),  // the engine, without a GPU
        QStringLiteral("This plugin does not support raise()"), // the off-screen platform
    };
    static const QStringList notes = {
        QStringLiteral("Sandboxing disabled by user."), // the engine, as root, where it must be
    };
    const QString text = message.trimmed();
    switch (type) {
    case QtWarningMsg:
        return warnings.contains(text) ||
               (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '")) &&
                !text.contains(QLatin1Char('\n')));
    case QtInfoMsg:
        return notes.contains(text);
    default:
        return false;
    }
}

void Quiet()
{
    // The engine describes its graphics set-up at start, as information of its own category.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    g_previous = qInstallMessageHandler(Filter);
}

} // namespace StartupChatter
