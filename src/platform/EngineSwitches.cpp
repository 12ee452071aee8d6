#include "platform/EngineSwitches.h"

#include <QByteArray>
#include <QtGlobal>

void PrepareEngineSwitches(const TEngineOptions& options)
{
    QByteArrayList flags;
    // Blink's own setting changes what the page is told, and nothing else of the engine.
    if (options.ColorScheme == QLatin1String("dark")) flags << "--blink-settings=preferredColorScheme=0";
    if (options.ColorScheme == QLatin1String("light")) flags << "--blink-settings=preferredColorScheme=1";
    if (options.ReducedMotion) flags << "--force-prefers-reduced-motion";
    if (!options.ProxyServer.isEmpty()) flags << "--proxy-server=" + options.ProxyServer;
    // A heap sized for memory, not speed: it halves each renderer, and the pages we load run
    // their scripts about once. Never over the user's own V8 flags.
    if (!qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--js-flags")) flags << "--js-flags=--optimize-for-size";
    if (!flags.isEmpty()) {
        QByteArray all = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        for (const QByteArray& flag : flags)
            all += (all.isEmpty() ? "" : " ") + flag;
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", all);
    }
    // Qt paints the widgets, the engine's view among them, at this many device pixels.
    if (options.Scale != 1) qputenv("QT_SCALE_FACTOR", QByteArray::number(options.Scale, 'g', 6));
}
