#include "platform/ConditionWatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

constexpr int kPollMs = 100;

} // namespace

ConditionWatch::ConditionWatch(QObject* parent) : QObject(parent)
{
    m_poll.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &ConditionWatch::Poll);
}

QString ConditionWatch::SelectorVisible(const QString& selector)
{
    const QByteArray quoted = QJsonDocument(QJsonArray{selector}).toJson(QJsonDocument::Compact);
    return QStringLiteral("(()=>{const e=document.querySelector(%1[0]);if(!e)return false;"
                          "const r=e.getBoundingClientRect(),s=getComputedStyle(e);"
                          "return r.width>0&&r.height>0&&s.visibility!=='hidden'&&Number(s.opacity)>0})()")
        .arg(QString::fromUtf8(quoted));
}

void ConditionWatch::Start(QWebEnginePage* page, const QString& expression)
{
    Cancel();
    m_page = page;
    m_expression = expression;
    m_active = true;
    Poll();
}

void ConditionWatch::Cancel()
{
    m_active = false;
    m_asked = false;
    ++m_token;
    m_poll.stop();
}

void ConditionWatch::Poll()
{
    if (!m_active || !m_page) return;
    m_poll.start(kPollMs);
    // A renderer busy with a long script answers late; one question at a time.
    if (m_asked) return;
    m_asked = true;
    // An expression that throws is not met yet; the page may not have what it names.
    const QString question = QStringLiteral("(()=>{try{return !!(%1)}catch(e){return false}})()").arg(m_expression);
    QPointer<ConditionWatch> self(this);
    const quint64 token = m_token;
    m_page->runJavaScript(question, QWebEngineScript::MainWorld, [self, token](const QVariant& answer) {
        if (!self || self->m_token != token) return;
        self->m_asked = false;
        if (!answer.toBool()) return;
        self->Cancel();
        Q_EMIT self->Met();
    });
}
