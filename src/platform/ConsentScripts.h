#pragma once

#include <QList>
#include <QString>

class QWebEnginePage;
class QWebEngineScript;

// What a capture page carries to hide consent banners.
namespace ConsentScripts {

// Scripts to insert into every capture page's script collection (QWebEnginePage::scripts()),
// before its first load. The rules engine is not among them: a page gets it only once it
// shows what may be a banner (Heed).
QList<QWebEngineScript> Scripts();
// A JavaScript expression, evaluated in the main world at each settle poll, then until it is
// no longer busy (ConsentWatch). Its answer goes through Heed.
QString StateQuery();
// What `answer`, the page's answer to StateQuery(), comes to: "busy" (a banner was detected
// and is still being dealt with: the capture waits for it), "opted-out", "hidden", or "" (no
// banner). When the page asks for the rules engine, brings it into `page` and answers "busy".
QString Heed(QWebEnginePage* page, const QString& answer);
// Where the rules engine, DuckDuckGo's autoconsent, is looked for: beside the program. Without
// it the pages carry only the built-in check, which still hides the banners it finds.
QString RulesEngineFile();
bool RulesEngineFound();

} // namespace ConsentScripts
