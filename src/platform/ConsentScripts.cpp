#include "platform/ConsentScripts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QWebEngineScript>

#include <algorithm>

namespace {

// DuckDuckGo's autoconsent, installed beside the programs (scripts/install-deps.sh, CMake).
constexpr char kRulesEngineFile[] = "autoconsent/autoconsent.standalone.js";
constexpr char kRulesEngineName[] = "thumbrix-autoconsent";

QWebEngineScript MainFrameScript(const QString& name, const QString& source)
{
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    // Before the page's own scripts, so the rules engine can hide a banner before it paints;
    // in the main world, where the consent platforms' own objects live.
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    // Frames are where advertising lives: the engine would be parsed again for each one.
    script.setRunsOnSubFrames(false);
    return script;
}

// The rules engine polls with short timers of its own; the settle probe waits for a page's
// short timers, and would wait for those too. Inside the engine, setTimeout names a delayed
// task of the browser's scheduler instead, which nothing counts. Whether a banner is still
// being dealt with, the engine's state tells.
const char kEngineTimers[] = R"(
"use strict";
const tasks = typeof scheduler === "object" && scheduler !== null && typeof scheduler.postTask === "function";
const setTimeout = !tasks ? window.setTimeout.bind(window) : (handler, delay, ...args) => {
    const controller = new TaskController();
    scheduler.postTask(() => handler(...args), {delay: Math.max(0, Number(delay) || 0), signal: controller.signal})
        .catch(() => {});
    return controller;
};
const clearTimeout = !tasks ? window.clearTimeout.bind(window) : (controller) => {
    if (controller && typeof controller.abort === "function") controller.abort();
};
)";

QString ReadRulesEngine()
{
    QFile file(ConsentScripts::RulesEngineFile());
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray engine = file.readAll();
    if (engine.isEmpty()) return {};
    return QStringLiteral("(function () {") + QString::fromUtf8(kEngineTimers) + QString::fromUtf8(engine) +
           QStringLiteral("\n}).call(window);");
}

QList<QWebEngineScript> BuildScripts()
{
    QList<QWebEngineScript> scripts;
    const QString engine = ReadRulesEngine();
    // The engine first: ours adjusts it before it starts looking.
    if (!engine.isEmpty()) scripts.append(MainFrameScript(QLatin1String(kRulesEngineName), engine));
    QFile banners(QStringLiteral(":/thumbrix/consent-banners.js"));
    if (banners.open(QIODevice::ReadOnly))
        scripts.append(MainFrameScript(QStringLiteral("thumbrix-consent"), QString::fromUtf8(banners.readAll())));
    return scripts;
}

} // namespace

namespace ConsentScripts {

QList<QWebEngineScript> Scripts()
{
    // Read once: every capture view of the run carries the same scripts.
    static const QList<QWebEngineScript> scripts = BuildScripts();
    return scripts;
}

QString RulesEngineFile()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kRulesEngineFile));
}

bool RulesEngineFound()
{
    const QList<QWebEngineScript> scripts = Scripts();
    return std::any_of(scripts.cbegin(), scripts.cend(),
                       [](const QWebEngineScript& s) { return s.name() == QLatin1String(kRulesEngineName); });
}

QString StateQuery()
{
    return QStringLiteral("(()=>{try{const c=window.__thumbrixConsent;return c?String(c.poll()):''}"
                          "catch(e){return ''}})()");
}

} // namespace ConsentScripts
