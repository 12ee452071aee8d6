#include "platform/PaintFence.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace {

constexpr int kPollMs = 4;
// Script calls are dearer than corner grabs: ask for frames less often.
constexpr int kFramePollMs = 20;
constexpr int kRecentAnswerMs = 500;
const QColor kFenceColour(0xfe, 0x01, 0xfd);

// The marker goes on the root element, above everything. Where the root's own style
// would hide or recolour it (a filter, say), that style is lifted until the marker goes.
const QString kFenceInject = QStringLiteral(
    "(()=>{const d=document,r=d.documentElement;if(!r)return 0;let m=d.getElementById('__thumbrix_fence');"
    "if(!m){m=d.createElement('thumbrix-fence');m.id='__thumbrix_fence';}"
    "m.style.cssText='all:initial;display:block!important;position:fixed!important;left:0!important;"
    "top:0!important;width:2px!important;height:2px!important;background:#fe01fd!important;"
    "z-index:2147483647!important;pointer-events:none!important;opacity:1!important';"
    "const lift={'filter':'none','opacity':'1','transform':'none','clip-path':'none','-webkit-mask-image':'none',"
    "'mix-blend-mode':'normal','content-visibility':'visible'};const c=getComputedStyle(r);"
    "if(m.__root===undefined&&Object.keys(lift).some(k=>c.getPropertyValue(k)!==lift[k])){"
    "m.__root=r.getAttribute('style');for(const k in lift)r.style.setProperty(k,lift[k],'important');}"
    "r.appendChild(m);return 1})()");
// Takes the marker away and gives the root its own style back, in one step.
const QString kFenceRemove = QStringLiteral(
    "(()=>{const m=document.getElementById('__thumbrix_fence');if(!m)return 0;const r=document.documentElement;"
    "if(m.__root!==undefined){if(m.__root===null)r.removeAttribute('style');else r.setAttribute('style',m.__root);}"
    "m.remove();return 1})()");
// Two animation frames after the marker is gone, the page has painted past it.
const QString kFramesStart =
    QStringLiteral("requestAnimationFrame(()=>requestAnimationFrame(()=>{window.__thumbrix_frames=%1}));1");
const QString kFramesQuery = QStringLiteral("window.__thumbrix_frames||0");

qint64 Now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

PaintFence::PaintFence(QObject* parent) : QObject(parent)
{
    connect(&m_poll, &QTimer::timeout, this, &PaintFence::Poll);
}

void PaintFence::Start(QWebEnginePage* page, QWebEngineView* view)
{
    m_page = page;
    m_view = view;
    m_state = State::WaitShown;
    ++m_token;
    m_answered = false;
    m_lastAnswerAt = 0;
    Await(kFenceInject);
    m_poll.start(kPollMs);
}

void PaintFence::Cancel()
{
    m_state = State::Idle;
    ++m_token;
    m_poll.stop();
}

void PaintFence::Await(const QString& script)
{
    // The step's time starts once the renderer answers; until then it may take longer.
    m_firstAnswer = true;
    m_deadline = Now() + kAnswerTimeoutMs;
    RunScript(script);
}

void PaintFence::RunScript(const QString& script)
{
    // Only a live renderer answers; an answer for an earlier fence or page counts for nothing.
    m_answered = false;
    if (!m_page) return;
    QPointer<PaintFence> self(this);
    const quint64 token = m_token;
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [self, token](const QVariant& result) {
        if (!self || self->m_token != token) return;
        self->m_answered = true;
        self->m_lastAnswerAt = Now();
        if (self->m_firstAnswer) {
            self->m_firstAnswer = false;
            self->m_deadline = self->m_lastAnswerAt + kTimeoutMs;
        }
        if (self->m_state == State::WaitFrames && result.toULongLong() == token) self->m_framesSeen = true;
    });
}

bool PaintFence::MarkerShown()
{
    if (!m_view) return false;
    const QImage corner = m_view->grab(QRect(0, 0, 2, 2)).toImage();
    return !corner.isNull() && corner.pixelColor(0, 0) == kFenceColour;
}

void PaintFence::Poll()
{
    const bool late = Now() > m_deadline;
    switch (m_state) {
    case State::Idle:
        m_poll.stop();
        break;
    case State::WaitShown:
        if (MarkerShown()) {
            m_state = State::WaitGone;
            Await(kFenceRemove);
        } else if (late) {
            MarkerOutOfSight();
        }
        break;
    case State::WaitGone:
        if (!MarkerShown()) {
            Finish();
        } else if (late) {
            MarkerOutOfSight();
        }
        break;
    case State::WaitFrames:
        if (m_framesSeen) {
            Finish();
        } else if (late) {
            FailLate();
        } else if (m_answered) {
            RunScript(kFramesQuery);
        }
        break;
    }
}

void PaintFence::MarkerOutOfSight()
{
    // The renderer answers but the marker never showed, or never went (the page covers or
    // recolours it, or its own colour is the marker's): wait instead for two frames painted
    // after it was taken away.
    if (RendererAnswers())
        StartFrameCheck();
    else
        FailLate();
}

void PaintFence::StartFrameCheck()
{
    m_state = State::WaitFrames;
    m_framesSeen = false;
    if (m_page) m_page->runJavaScript(kFenceRemove, QWebEngineScript::ApplicationWorld);
    Await(kFramesStart.arg(m_token));
    m_poll.start(kFramePollMs);
}

bool PaintFence::RendererAnswers() const
{
    // A query may be on its way: an answer a moment ago counts too.
    return m_answered || Now() - m_lastAnswerAt < kRecentAnswerMs;
}

void PaintFence::FailLate()
{
    const bool answers = RendererAnswers();
    Cancel();
    if (answers)
        Q_EMIT Failed(WebBrowser::Failure::Paint,
                      QStringLiteral("the page did not paint within %1 s").arg(kTimeoutMs / 1000));
    else
        Q_EMIT Failed(WebBrowser::Failure::Renderer, QStringLiteral("the page's script does not respond"));
}

void PaintFence::Finish()
{
    Cancel();
    Q_EMIT Painted();
}
