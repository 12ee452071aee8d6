#pragma once

#include "capture/CaptureOptions.h"

#include <QList>

class QUrl;
class QWebEngineProfile;
class QWebEngineScript;

// What the capture options ask of a view's profile and pages: the identity it shows sites
// (user agent, headers, cookies) and what it adds to each page (hidden elements, a style
// sheet).
namespace CaptureIdentity {

// In place of whatever the profile said before: `engineAgent` (what the profile said when it
// was new) when the options name no user agent, no headers when they add none, and their
// cookies alone.
void Apply(QWebEngineProfile* profile, const TCaptureOptions& options, const QString& engineAgent);
// The address of the row the profile loads now: the headers that carry a secret go to its
// origin alone, the others everywhere.
void SetRowAddress(QWebEngineProfile* profile, const QUrl& address);
// Empty when the options add nothing to pages.
QList<QWebEngineScript> PageScripts(const TCaptureOptions& options);

} // namespace CaptureIdentity
