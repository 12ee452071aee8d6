#pragma once

#include <QWebEnginePage>

class QUrl;

// Qt WebEngine hands an address it does not load itself (mailto:, tel:, another program's
// scheme) to the desktop's opener, which it starts with this process's environment: the
// engine's switches and all. Our pages refuse such addresses instead, and one the user
// clicked goes to the desktop through TDesktopShell, like every program Thumbrix starts.
namespace ExternalLinks {

// Whether the engine loads `url` itself: the web's schemes, its own, and ours.
bool EngineLoads(const QUrl& url);
// For a page's acceptNavigationRequest: true when the engine is to load `url`.
bool Accept(const QUrl& url, QWebEnginePage::NavigationType type);

} // namespace ExternalLinks
