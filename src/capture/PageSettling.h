#pragma once

#include <QStringList>
#include <QtGlobal>

#include <optional>

// One look at what a page is still waiting for, as the probe in the page counts it.
struct TPageActivity
{
    int Requests = 0;         // requests in flight, long-lived ones left out, and scripts and style sheets loading
    int Fonts = 0;            // web fonts loading
    int Images = 0;           // images in view not yet loaded and decoded
    int Animations = 0;       // finite animations and transitions running
    int AnimationLeftMs = 0;  // until the last of them ends
    int Timers = 0;           // short timers pending
    int QuietMs = -1;         // since the last awaited thing ended; -1 when nothing has since the load event
    int Observers = 0;        // intersection observers whose first report, due with the next frame, has not come
    int Starting = 0;         // the two frames and the idle moment right after the load event are still to come
    bool ConsentBusy = false; // a consent banner is still being dealt with
};

// What the host asks the probe for and reads back: these fields, in this order, as whole
// numbers joined by commas. The page cannot make the answer any longer or of another shape.
namespace ProbeAnswer {
// The probe's names of the fields, in the order of the answer.
QStringList FieldNames();
// The numbers of a well-formed answer; none for anything else, which counts as no answer.
std::optional<TPageActivity> Read(const QString& answer);
} // namespace ProbeAnswer

// Decides, look by look, when a page has settled: nothing it was waiting for is still to
// come, and it has had a short quiet moment to draw what came last. Movement that never
// ends (an infinite animation, a clock, an interval) is not waited for; the probe does not
// count it.
class PageSettling
{
public:
    // A request open this long is a stream or a long poll, not an answer on its way.
    static constexpr int kLongLivedMs = 2000;
    // Timers up to this delay are the page's own next steps; longer ones are for later.
    static constexpr int kShortTimerMs = 1500;
    // Time for the page's script to draw what its last answer brought.
    static constexpr int kQuietMs = 300;

    enum class Verdict {
        Wait,
        Settled,
        Capped, // the longest wait is over, or would be before it settles: capture it as it is
    };

    explicit PageSettling(int maxMs) : m_maxMs(maxMs) {}

    // `elapsedMs`: since the load event.
    Verdict Judge(const TPageActivity& activity, qint64 elapsedMs) const;
    int MaxMs() const { return m_maxMs; }

private:
    int m_maxMs;
};
