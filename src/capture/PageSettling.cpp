#include "capture/PageSettling.h"

namespace {

struct Field
{
    const char* name;
    int TPageActivity::*member;
    int least;
};

const Field kFields[] = {
    {"requests", &TPageActivity::Requests, 0},     {"fonts", &TPageActivity::Fonts, 0},
    {"images", &TPageActivity::Images, 0},         {"observers", &TPageActivity::Observers, 0},
    {"animations", &TPageActivity::Animations, 0}, {"animationLeftMs", &TPageActivity::AnimationLeftMs, 0},
    {"timers", &TPageActivity::Timers, 0},         {"quietMs", &TPageActivity::QuietMs, -1},
    {"starting", &TPageActivity::Starting, 0},
};
constexpr int kFieldCount = int(sizeof kFields / sizeof kFields[0]);

} // namespace

QStringList ProbeAnswer::FieldNames()
{
    QStringList names;
    for (const Field& field : kFields)
        names << QLatin1String(field.name);
    return names;
}

std::optional<TPageActivity> ProbeAnswer::Read(const QString& answer)
{
    // Each number has at most ten digits and a sign, and a comma after it.
    if (answer.size() > kFieldCount * 12) return std::nullopt;
    const QStringList numbers = answer.split(QLatin1Char(','));
    if (numbers.size() != kFieldCount) return std::nullopt;
    TPageActivity activity;
    for (int i = 0; i < kFieldCount; ++i) {
        bool ok = false;
        const int value = numbers.at(i).toInt(&ok);
        if (!ok || value < kFields[i].least) return std::nullopt;
        activity.*kFields[i].member = value;
    }
    return activity;
}

PageSettling::Verdict PageSettling::Judge(const TPageActivity& a, qint64 elapsedMs) const
{
    if (elapsedMs >= m_maxMs) return Verdict::Capped;
    if (a.Requests > 0 || a.Fonts > 0 || a.Images > 0 || a.Timers > 0 || a.Observers > 0 || a.Starting > 0 ||
        a.ConsentBusy)
        return Verdict::Wait;
    if (a.Animations > 0) {
        // One that would end only after the cap is not worth waiting for; the page is taken
        // as it is, not settled.
        if (elapsedMs + a.AnimationLeftMs >= m_maxMs) return Verdict::Capped;
        return Verdict::Wait;
    }
    if (a.QuietMs >= 0 && a.QuietMs < kQuietMs) return Verdict::Wait;
    return Verdict::Settled;
}
