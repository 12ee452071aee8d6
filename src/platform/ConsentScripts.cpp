#include "platform/ConsentScripts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

// DuckDuckGo's autoconsent, installed beside the programs (scripts/install-deps.sh, CMake).
constexpr char kRulesEngineFile[] = "autoconsent/autoconsent.standalone.js";

QWebEngineScript MainFrameScript(const QString& name, const QString& source)
{
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    // Before the page's own scripts, so that a page cannot take what the check relies on; in
    // the main world, where the consent platforms' own objects live.
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    // Frames are where advertising lives, and no banner of the page's.
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
    // Ours adjusts the engine as soon as it is in, before it starts looking.
    return QStringLiteral("(function () {") + QString::fromUtf8(kEngineTimers) + QString::fromUtf8(engine) +
           QStringLiteral("\n}).call(window);\n"
                          "try { window.__thumbrixConsent.tame(); } catch (e) {}\n");
}

// Read once: every page of the run that asks for it gets the same engine.
const QString& RulesEngine()
{
    static const QString engine = ReadRulesEngine();
    return engine;
}

QList<QWebEngineScript> BuildScripts()
{
    QList<QWebEngineScript> scripts;
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
    return !RulesEngine().isEmpty();
}

QString StateQuery()
{
    return QStringLiteral("(()=>{try{const c=window.__thumbrixConsent;return c?String(c.poll()):''}"
                          "catch(e){return ''}})()");
}

QString Heed(QWebEnginePage* page, const QString& answer)
{
    if (answer != QLatin1String("engine")) return answer;
    // Without the engine, the page's own check goes on alone at the next question.
    if (page && RulesEngineFound()) page->runJavaScript(RulesEngine(), QWebEngineScript::MainWorld);
    return QStringLiteral("busy");
}

} // namespace ConsentScripts
