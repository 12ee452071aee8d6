#include "capture/PageSettling.h"

PageSettling::Verdict PageSettling::Judge(const TPageActivity& a, qint64 elapsedMs) const
{
    if (elapsedMs >= m_maxMs) return Verdict::Capped;
    // An animation that would end only after the cap is not worth waiting for.
    const bool animating = a.Animations > 0 && elapsedMs + a.AnimationLeftMs < m_maxMs;
    if (a.Requests > 0 || a.Fonts > 0 || a.Images > 0 || a.Timers > 0 || animating || a.ConsentBusy)
        return Verdict::Wait;
    if (a.QuietMs >= 0 && a.QuietMs < kQuietMs) return Verdict::Wait;
    return Verdict::Settled;
}
