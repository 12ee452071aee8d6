#pragma once

#include <QList>
#include <QString>

class QWebEngineScript;

// What a capture page carries to hide consent banners.
namespace ConsentScripts {

// Scripts to insert into every capture page's script collection (QWebEnginePage::scripts()),
// before its first load.
QList<QWebEngineScript> Scripts();
// A JavaScript expression, evaluated in the main world at each settle poll, then until it is
// no longer busy (ConsentWatch). It evaluates to "busy" (a banner was detected and is still
// being dealt with: the capture waits for it), "opted-out", "hidden", or "" (no banner).
QString StateQuery();
// Where the rules engine, DuckDuckGo's autoconsent, is looked for: beside the program. Without
// it the pages carry only the built-in check, which still hides the banners it finds.
QString RulesEngineFile();
bool RulesEngineFound();

} // namespace ConsentScripts
