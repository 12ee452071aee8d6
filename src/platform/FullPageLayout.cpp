#include "platform/FullPageLayout.h"

#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

constexpr int kPollMs = 50;
// A scroll takes 100 ms a step; a page past the maximum stops it. This bounds a page whose
// script never lets it finish.
constexpr int kMaxPolls = 400;

// Each step waits for two frames and a moment, so that what comes into view can ask for its
// content; the settling that follows waits for that content to arrive.
const QString kScroll = QStringLiteral(
    "(()=>{window.__thumbrixScrolled=0;const max=%1;"
    "const tall=()=>Math.max(document.documentElement?document.documentElement.scrollHeight:0,"
    "document.body?document.body.scrollHeight:0);"
    "const frame=()=>new Promise(r=>requestAnimationFrame(()=>requestAnimationFrame(r)));"
    "const pause=()=>new Promise(r=>setTimeout(r,60));"
    "(async()=>{const step=Math.max(1,Math.floor(innerHeight*0.9));"
    "for(let y=step;y<Math.min(tall(),max);y+=step){scrollTo(0,y);await frame();await pause();}"
    "scrollTo(0,0);await frame();window.__thumbrixScrolled=Math.max(1,Math.min(tall(),max));})();return 1})()");

} // namespace

FullPageLayout::FullPageLayout(QObject* parent) : QObject(parent)
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &FullPageLayout::Poll);
}

void FullPageLayout::Start(QWebEnginePage* page, int maxHeight)
{
    Cancel();
    m_page = page;
    m_maxHeight = maxHeight;
    m_active = true;
    m_polls = 0;
    page->runJavaScript(kScroll.arg(maxHeight), QWebEngineScript::ApplicationWorld);
    m_poll.start();
}

void FullPageLayout::Cancel()
{
    m_active = false;
    m_asked = false;
    ++m_token;
    m_poll.stop();
}

void FullPageLayout::Poll()
{
    if (!m_active) return;
    if (!m_page || ++m_polls > kMaxPolls) {
        Cancel();
        Q_EMIT Measured(0);
        return;
    }
    if (m_asked) return;
    m_asked = true;
    QPointer<FullPageLayout> self(this);
    const quint64 token = m_token;
    m_page->runJavaScript(QStringLiteral("window.__thumbrixScrolled||0"), QWebEngineScript::ApplicationWorld,
                          [self, token](const QVariant& answer) {
                              if (!self || self->m_token != token) return;
                              self->m_asked = false;
                              const int height = answer.toInt();
                              if (height <= 0) return;
                              self->Cancel();
                              Q_EMIT self->Measured(height);
                          });
}
