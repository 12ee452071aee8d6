#pragma once

#include "capture/CaptureOptions.h"

#include <QList>

class QWebEngineProfile;
class QWebEngineScript;

// What the capture options ask of a view's profile and pages: the identity it shows sites
// (user agent, headers, cookies) and what it adds to each page (hidden elements, a style
// sheet).
namespace CaptureIdentity {

void Apply(QWebEngineProfile* profile, const TCaptureOptions& options);
// Empty when the options add nothing to pages.
QList<QWebEngineScript> PageScripts(const TCaptureOptions& options);

} // namespace CaptureIdentity
