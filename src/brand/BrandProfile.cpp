#include "brand/BrandProfile.h"

#include "common/UUtils.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

namespace {

const QByteArray kLastNewsIdOpen = QByteArrayLiteral("<%%LastNewsId%%>");
const QByteArray kLastNewsIdClose = QByteArrayLiteral("<%%/LastNewsId%%>");
constexpr int kMaxListEntries = 16;

QString ProfilePath(const QString& programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("dbsettings.dat"));
}

void SetError(QString* error, const QString& text)
{
    if (error) *error = text;
}

// Only ASCII letters fold: the profile's other bytes must keep their offsets and values.
QByteArray AsciiUpper(const QByteArray& text)
{
    QByteArray upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return upper;
}

QList<QByteArray> SplitProfileLines(const QByteArray& plain)
{
    const int nul = plain.indexOf('\0');
    const QByteArray text = nul < 0 ? plain : plain.left(nul);
    QList<QByteArray> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text.at(i);
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(text.mid(start, i - start));
        i += (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size()) lines.append(text.mid(start));
    return lines;
}

QByteArray JoinLines(const QList<QByteArray>& lines)
{
    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + "\r\n";
    return text;
}

QList<QByteArray> ExtractList(const QByteArray& name, QByteArray& cursor)
{
    QList<QByteArray> entries;
    for (int n = 1; n <= kMaxListEntries; ++n) {
        const QByteArray number = QByteArray::number(n);
        const QByteArray value = ExtractTag("<%%" + name + number + "%%>", "<%%/" + name + number + "%%>", cursor);
        if (value.isEmpty()) break;
        entries.append(value);
    }
    return entries;
}

// An entry without a '^' (or with nothing after it) has no address; we take it as empty
// rather than drop the entry, so start-up carries on with what the reseller wrote.
void SplitEntry(const QByteArray& entry, QByteArray* first, QByteArray* second)
{
    QList<QByteArray> pieces;
    SplitByChar('^', entry, pieces);
    *first = pieces.value(0);
    *second = pieces.value(1);
}

int Pick(const TRandomIndex& random, int count)
{
    const int index = random(count);
    Q_ASSERT(index >= 0 && index < count);
    return index;
}

bool ComputeNewsAvailable(const TBrandProfile& p)
{
    const auto has = [](const QByteArray& publId, const QByteArray& baseUrl) {
        return !publId.isEmpty() && !baseUrl.isEmpty();
    };
    // Free has no news of its own, yet the Master tier's settings switch the button on.
    if (p.BranderType == "Master" || p.BranderType == "Free") return has(p.MasterPublID, p.MasterNewsBaseURL);
    if (p.BranderType == "Platinum") return has(p.PlatinumPublID, p.PlatinumNewsBaseURL);
    if (p.BranderType == "Gold") return has(p.GoldPublID, p.GoldNewsBaseURL);
    return false;
}

// Decrypted in memory rather than through a plain "dbsettings.sim" beside the program:
// the plain text never reaches the disk and a read-only program folder still works.
// For reading, whether the file authenticates is not asked: a damaged file reads as what
// it decrypts to. `authentic` tells the one writer whether it may replace the file.
bool ReadProfilePlain(const QString& path, QByteArray* plain, QString* error, bool* authentic = nullptr)
{
    bool ok = false;
    QString reason;
    const bool opened = DecryptFileToBytes(path, plain, &ok, &reason);
    if (authentic) *authentic = opened && ok;
    if (opened) return true;
    SetError(error, reason);
    return false;
}

} // namespace

TRandomIndex ClockSeededRandom()
{
    // One generator seeded once: successive draws are already independent of each other.
    auto engine = std::make_shared<std::mt19937>(
        static_cast<std::mt19937::result_type>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    return [engine](int count) {
        std::uniform_int_distribution<int> distribution(0, count - 1);
        return distribution(*engine);
    };
}

QByteArray ExtractTag(const QByteArray& open, const QByteArray& close, QByteArray& cursor)
{
    const qsizetype openAt = AsciiUpper(cursor).indexOf(AsciiUpper(open));
    if (openAt < 0) return QByteArray();
    cursor = cursor.mid(openAt + open.size());
    const qsizetype closeAt = AsciiUpper(cursor).indexOf(AsciiUpper(close));
    if (closeAt < 0) return QByteArray();
    const QByteArray value = cursor.left(closeAt);
    cursor = cursor.mid(closeAt);
    return value;
}

QByteArray JoinProfileLines(const QByteArray& plain)
{
    return JoinLines(SplitProfileLines(plain));
}

TBrandProfile ParseProfileFields(const QByteArray& plain, TProfileLists* lists)
{
    QByteArray cursor = JoinProfileLines(plain);
    const auto tag = [&cursor](const char* name) {
        const QByteArray n(name);
        return ExtractTag("<%%" + n + "%%>", "<%%/" + n + "%%>", cursor);
    };

    TBrandProfile p;
    p.ApplicationName = tag("ApplicationName");
    p.BranderCode = tag("BranderCode");
    p.BranderType = tag("BranderType");
    p.AffiliateURL = tag("AffiliateURL");
    p.AffiliateTYPE = tag("AffiliateTYPE");
    p.AffiliateID = tag("AffiliateID");
    p.AffiliateURL.replace(QByteArrayLiteral("%%AFFILIATEID%%"), p.AffiliateID);
    p.MasterNewsBaseURL = tag("MasterNewsBaseURL");
    p.PlatinumNewsBaseURL = tag("PlatinumNewsBaseURL");
    p.GoldNewsBaseURL = tag("GoldNewsBaseURL");
    p.MasterPublID = tag("MasterPublID");
    p.PlatinumPublID = tag("PlatinumPublID");
    p.GoldPublID = tag("GoldPublID");
    p.NewsAvailable = ComputeNewsAvailable(p);
    p.MakeMoneyButton = tag("MakeMoneyButton");
    if (p.MakeMoneyButton.isEmpty()) p.MakeMoneyButton = QByteArrayLiteral("Make Money");
    p.AppHelpURL = tag("AppHelpURL");
    p.CopyrightYears = tag("CopyrightYears");
    p.CopyrightCompany = tag("CopyrightCompany");
    p.AboutText = tag("AboutText");

    TProfileLists found;
    found.Welcome = ExtractList(QByteArrayLiteral("Welcome"), cursor);
    found.Banner = ExtractList(QByteArrayLiteral("Banner"), cursor);
    found.Link = ExtractList(QByteArrayLiteral("Link"), cursor);
    if (lists) *lists = found;
    return p;
}

TBrandProfile ParseBrandProfile(const QByteArray& plain, const TRandomIndex& random)
{
    TProfileLists lists;
    TBrandProfile p = ParseProfileFields(plain, &lists);

    if (!lists.Welcome.isEmpty()) p.WelcomeHtml = lists.Welcome.at(Pick(random, lists.Welcome.size()));

    if (!lists.Banner.isEmpty()) {
        const int i = Pick(random, lists.Banner.size());
        SplitEntry(lists.Banner.at(i), &p.BannerImageName, &p.BannerUrl);
        p.BannerIndex = i + 1;
    }

    QList<QByteArray>& links = lists.Link;
    if (!links.isEmpty()) {
        const int first = Pick(random, links.size());
        SplitEntry(links.takeAt(first), &p.Link1Caption, &p.Link1Url);
        if (!links.isEmpty()) SplitEntry(links.at(Pick(random, links.size())), &p.Link2Caption, &p.Link2Url);
    }
    return p;
}

bool LoadBrandProfile(const QString& programFolder, const TRandomIndex& random, TBrandProfile* profile, QString* error)
{
    SetError(error, QString());
    const QString path = ProfilePath(programFolder);
    if (!QFileInfo::exists(path)) return false;
    QByteArray plain;
    if (!ReadProfilePlain(path, &plain, error)) return false;
    *profile = ParseBrandProfile(plain, random);
    profile->Present = true;
    return true;
}

bool IsNewsId(const QByteArray& text)
{
    constexpr qsizetype kMaxNewsIdDigits = 18;
    if (text.isEmpty() || text.size() > kMaxNewsIdDigits) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool AcceptNewsId(const QByteArray& value, QString* error)
{
    if (IsNewsId(value)) return true;
    SetError(error, QStringLiteral("News id not stored: a news id is 1 to 18 decimal digits"));
    return false;
}

QByteArray ReadLastNewsId(const QString& programFolder, QString* error)
{
    SetError(error, QString());
    const QString path = ProfilePath(programFolder);
    if (!QFileInfo::exists(path)) return QByteArray();
    QByteArray plain;
    if (!ReadProfilePlain(path, &plain, error)) return QByteArray();
    QByteArray cursor = JoinProfileLines(plain);
    return ExtractTag(kLastNewsIdOpen, kLastNewsIdClose, cursor);
}

bool StoreLastNewsId(const QString& programFolder, const QByteArray& value, QString* error)
{
    SetError(error, QString());
    // The value comes from the news server: anything but digits could close the tag and
    // plant fields of its own in the reseller's profile.
    if (!AcceptNewsId(value, error)) return false;
    const QString path = ProfilePath(programFolder);
    // Without a profile there is nowhere to keep it, and no reseller news to track.
    if (!QFileInfo::exists(path)) return true;

    // A profile we cannot read as the reseller wrote it is never rewritten: the new file
    // would be authentic and hold only what we managed to decrypt.
    QByteArray plain;
    bool authentic = false;
    if (!ReadProfilePlain(path, &plain, error, &authentic)) return false;
    if (!authentic) {
        SetError(error, QStringLiteral("%1: the profile does not read back as authentic (another password, damaged "
                                       "or cut short); the news id was not stored and the file was left as it was")
                            .arg(path));
        return false;
    }
    QList<QByteArray> lines = SplitProfileLines(plain);
    const QByteArray line = kLastNewsIdOpen + value + kLastNewsIdClose;
    auto it = std::find_if(lines.begin(), lines.end(), [](const QByteArray& l) { return l.contains(kLastNewsIdOpen); });
    if (it != lines.end())
        *it = line;
    else
        lines.append(line);
    QString reason;
    if (EncryptBytesToFile(JoinLines(lines), path, &reason)) return true;
    SetError(error, reason);
    return false;
}
