#include "platform/SettleWatch.h"

#include "platform/ConsentScripts.h"

#include <QFile>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

constexpr int kPollMs = 50;
// A renderer that leaves a question this long unanswered is stuck in a script: the paint
// fence that follows tells it apart and gives the page up.
constexpr int kUnansweredMs = 1000;

QString ProbeSource()
{
    QFile file(QStringLiteral(":/thumbrix/settle-probe.js"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll())
        .replace(QLatin1String("%SHORT_TIMER_MS%"), QString::number(PageSettling::kShortTimerMs))
        .replace(QLatin1String("%LONG_LIVED_MS%"), QString::number(PageSettling::kLongLivedMs));
}

int Number(const QVariantMap& map, const char* key)
{
    return map.value(QLatin1String(key)).toInt();
}

} // namespace

SettleWatch::SettleWatch(const TCaptureOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_settling(options.Settle ? options.SettleMaxMs : 0)
{
    m_poll.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &SettleWatch::Poll);
}

void SettleWatch::SetOptions(const TCaptureOptions& options)
{
    m_options = options;
    m_settling = PageSettling(options.Settle ? options.SettleMaxMs : 0);
}

QWebEngineScript SettleWatch::ProbeScript()
{
    QWebEngineScript script;
    script.setName(QStringLiteral("thumbrix-settle-probe"));
    script.setSourceCode(ProbeSource());
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    return script;
}

void SettleWatch::Start(QWebEnginePage* page)
{
    Cancel();
    m_page = page;
    m_active = true;
    m_consent.clear();
    m_clock.start();
    Poll();
}

void SettleWatch::Cancel()
{
    m_active = false;
    m_asked = false;
    ++m_token;
    m_poll.stop();
}

void SettleWatch::Poll()
{
    if (!m_active) return;
    if (!m_page) {
        Finish(false);
        return;
    }
    if (m_asked) {
        if (m_clock.elapsed() - m_askedAt >= kUnansweredMs || m_clock.elapsed() >= m_settling.MaxMs() + kUnansweredMs)
            Finish(false);
        else
            m_poll.start(kPollMs);
        return;
    }
    const QString consent = m_options.HideConsent ? ConsentScripts::StateQuery() : QStringLiteral("''");
    const QString question = QStringLiteral("(()=>{let c='';try{c=String(%1)}catch(e){}"
                                            "return {s:window.__thumbrixSettle?window.__thumbrixSettle():null,c}})()")
                                 .arg(consent);
    m_asked = true;
    m_askedAt = m_clock.elapsed();
    // Back to see whether it answered: a renderer stuck in a script never does.
    m_poll.start(kPollMs);
    QPointer<SettleWatch> self(this);
    const quint64 token = m_token;
    m_page->runJavaScript(question, QWebEngineScript::MainWorld, [self, token](const QVariant& answer) {
        if (self && self->m_token == token) self->OnAnswer(answer);
    });
}

void SettleWatch::OnAnswer(const QVariant& answer)
{
    m_asked = false;
    const QVariantMap map = answer.toMap();
    const QString consent = ConsentScripts::Heed(m_page, map.value(QStringLiteral("c")).toString());
    if (consent != QLatin1String("busy")) m_consent = consent;

    const QVariantMap probe = map.value(QStringLiteral("s")).toMap();
    TPageActivity activity;
    // A page without the probe (an image, a page of the engine's own) has nothing to wait for.
    if (!probe.isEmpty()) {
        activity.Requests = Number(probe, "requests");
        activity.Fonts = Number(probe, "fonts");
        activity.Images = Number(probe, "images");
        activity.Animations = Number(probe, "animations");
        activity.AnimationLeftMs = Number(probe, "animationLeftMs");
        activity.Timers = Number(probe, "timers");
        activity.QuietMs = probe.value(QStringLiteral("quietMs"), -1).toInt();
        activity.Observers = Number(probe, "observers");
    }
    activity.ConsentBusy = consent == QLatin1String("busy");

    switch (m_settling.Judge(activity, m_clock.elapsed())) {
    case PageSettling::Verdict::Settled:
        Finish(true);
        break;
    case PageSettling::Verdict::Capped:
        Finish(false);
        break;
    case PageSettling::Verdict::Wait:
        m_poll.start(kPollMs);
        break;
    }
}

void SettleWatch::Finish(bool settled)
{
    TSettleReport report;
    report.Settled = settled && m_options.Settle;
    report.SettleMs = int(m_clock.elapsed());
    report.Consent = m_consent;
    Cancel();
    Q_EMIT Finished(report);
}
