#include "capture/PageSettling.h"

PageSettling::Verdict PageSettling::Judge(const TPageActivity& a, qint64 elapsedMs) const
{
    if (elapsedMs >= m_maxMs) return Verdict::Capped;
    if (a.Requests > 0 || a.Fonts > 0 || a.Images > 0 || a.Timers > 0 || a.Observers > 0 || a.ConsentBusy) return Verdict::Wait;
    if (a.Animations > 0) {
        // One that would end only after the cap is not worth waiting for; the page is taken
        // as it is, not settled.
        if (elapsedMs + a.AnimationLeftMs >= m_maxMs) return Verdict::Capped;
        return Verdict::Wait;
    }
    if (a.QuietMs >= 0 && a.QuietMs < kQuietMs) return Verdict::Wait;
    return Verdict::Settled;
}
