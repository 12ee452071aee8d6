#pragma once

#include "capture/WebBrowser.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWebEnginePage;
class QWebEngineView;

// Proves that a view shows a frame painted after the fence was started: a grab taken
// before may still show an earlier frame. A marker is drawn over the page and the view is
// grabbed until the marker appears and is gone again. Where the page keeps the marker out
// of sight, two frames painted after it went are waited for instead. A renderer that stops
// answering, or a page that cannot be shown to have painted, fails the fence.
class PaintFence : public QObject
{
    Q_OBJECT

public:
    // Time to paint, counted from the renderer's first answer.
    static constexpr int kTimeoutMs = 2000;
    // Time for that answer: a renderer busy with a long task after the load is not hung.
    static constexpr int kAnswerTimeoutMs = 5000;

    explicit PaintFence(QObject* parent = nullptr);

    void Start(QWebEnginePage* page, QWebEngineView* view);
    void Cancel();
    bool IsActive() const { return m_state != State::Idle; }

Q_SIGNALS:
    void Painted();
    void Failed(WebBrowser::Failure failure, const QString& reason);

private:
    void Await(const QString& script);
    void RunScript(const QString& script);
    void Poll();
    bool MarkerShown();
    void MarkerOutOfSight();
    void StartFrameCheck();
    bool RendererAnswers() const;
    void FailLate();
    void Finish();

    enum class State {
        Idle,
        WaitShown,  // the marker is on its way to the screen
        WaitGone,   // the marker was seen and is being taken away
        WaitFrames, // the marker cannot be seen: frames painted after it are awaited
    } m_state = State::Idle;
    QPointer<QWebEnginePage> m_page;
    QPointer<QWebEngineView> m_view;
    quint64 m_token = 0;
    bool m_answered = false;    // the renderer answered the last script
    bool m_firstAnswer = false; // the step's first script is still unanswered
    qint64 m_lastAnswerAt = 0;
    bool m_framesSeen = false;
    QTimer m_poll;
    qint64 m_deadline = 0;
};
