#include "platform/ConsentWatch.h"

#include "platform/ConsentScripts.h"

#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

constexpr int kPollMs = 50;
// The check answers within milliseconds. A question left this long is a page stuck in a
// script; the paint fence that follows tells whether it is stuck for good.
constexpr int kUnansweredMs = 1000;
// The check's own deadlines for a banner (the rules engine's grace, its work, the banner's
// fade) end within this, counted from the load event.
constexpr int kMaxMs = 6000;

} // namespace

ConsentWatch::ConsentWatch(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ConsentWatch::OnTimer);
}

void ConsentWatch::Start(QWebEnginePage* page, const TSettleReport& report)
{
    Cancel();
    m_page = page;
    m_report = report;
    m_active = true;
    m_clock.start();
    Ask();
}

void ConsentWatch::Cancel()
{
    m_active = false;
    m_asked = false;
    ++m_token;
    m_timer.stop();
}

void ConsentWatch::Ask()
{
    if (!m_page) {
        Finish();
        return;
    }
    m_asked = true;
    m_timer.start(kUnansweredMs);
    QPointer<ConsentWatch> self(this);
    const quint64 token = m_token;
    m_page->runJavaScript(ConsentScripts::StateQuery(), QWebEngineScript::MainWorld,
                          [self, token](const QVariant& answer) {
                              if (self && self->m_token == token)
                                  self->OnAnswer(ConsentScripts::Heed(self->m_page, answer.toString()));
                          });
}

void ConsentWatch::OnTimer()
{
    if (!m_active) return;
    if (m_asked)
        Finish();
    else
        Ask();
}

void ConsentWatch::OnAnswer(const QString& consent)
{
    m_asked = false;
    m_timer.stop();
    if (consent == QLatin1String("busy")) {
        if (m_report.SettleMs + m_clock.elapsed() < kMaxMs)
            m_timer.start(kPollMs);
        else
            Finish();
        return;
    }
    // Whatever else the page could make the answer is no outcome of ours.
    if (consent.isEmpty() || consent == QLatin1String("hidden") || consent == QLatin1String("opted-out"))
        m_report.Consent = consent;
    Finish();
}

void ConsentWatch::Finish()
{
    TSettleReport report = m_report;
    report.SettleMs += int(m_clock.elapsed());
    Cancel();
    Q_EMIT Finished(report);
}
