#include "platform/SettleWatch.h"

#include "platform/ConsentScripts.h"

#include <QFile>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

constexpr int kPollMs = 50;
// While the page has only the frames right after its load event to go, which take a few
// tens of milliseconds, it is asked again sooner.
constexpr int kStartingPollMs = 10;
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

// Asked in the page's own world, where the page may have changed every function the
// question could call: it uses operators only, and sends back whole numbers in a short
// string, whatever the probe answered.
QString ProbeQuestion()
{
    QStringList keys;
    for (const QString& name : ProbeAnswer::FieldNames())
        keys << QLatin1Char('\'') + name + QLatin1Char('\'');
    return QStringLiteral("(()=>{const p=window.__thumbrixSettle;if(typeof p!=='function')return null;"
                          "let o='';try{const r=p(),k=[%1];for(let i=0;i<k.length;++i){const v=r[k[i]];"
                          "o+=(i?',':'')+(typeof v==='number'&&v>=-1&&v<=1e9?v|0:'x')}}catch(e){o='x'}return o})()")
        .arg(keys.join(QLatin1Char(',')));
}

// A consent state is one short word.
constexpr int kConsentMaxLength = 32;

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
    const QString question = QStringLiteral("(()=>{let c='';try{c=%1}catch(e){}"
                                            "if(typeof c!=='string'||c.length>%2)c='';let s='x';try{s=%3}catch(e){}"
                                            "return {s,c}})()")
                                 .arg(consent, QString::number(kConsentMaxLength), ProbeQuestion());
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

    const QVariant probe = map.value(QStringLiteral("s"));
    // A page without the probe (an image, a page of the engine's own) has nothing to wait for.
    std::optional<TPageActivity> read = probe.isNull() ? TPageActivity() : ProbeAnswer::Read(probe.toString());
    if (!read) {
        // The page turned the probe's answer into something else: no answer, and the
        // longest wait ends it.
        if (m_clock.elapsed() >= m_settling.MaxMs())
            Finish(false);
        else
            m_poll.start(kPollMs);
        return;
    }
    TPageActivity activity = *read;
    activity.ConsentBusy = consent == QLatin1String("busy");

    switch (m_settling.Judge(activity, m_clock.elapsed())) {
    case PageSettling::Verdict::Settled:
        Finish(true);
        break;
    case PageSettling::Verdict::Capped:
        Finish(false);
        break;
    case PageSettling::Verdict::Wait:
        m_poll.start(activity.Starting > 0 ? kStartingPollMs : kPollMs);
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
