#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The program's own version, shown in the caption and the About window.
inline const QByteArray AppVersion = QByteArrayLiteral("2.0");

// The reseller's profile, filled once at start-up. Texts are the profile's bytes.
struct TBrandProfile
{
    bool Present = false; // "dbsettings.dat" was found and read
    QByteArray ApplicationName;
    QByteArray BranderCode;
    QByteArray BranderType;
    QByteArray AffiliateURL;
    QByteArray AffiliateTYPE;
    QByteArray AffiliateID;
    QByteArray MasterNewsBaseURL;
    QByteArray PlatinumNewsBaseURL;
    QByteArray GoldNewsBaseURL;
    QByteArray MasterPublID;
    QByteArray PlatinumPublID;
    QByteArray GoldPublID;
    QByteArray MakeMoneyButton;
    QByteArray AppHelpURL;
    QByteArray CopyrightYears;
    QByteArray CopyrightCompany;
    QByteArray AboutText;
    QByteArray WelcomeHtml;
    QByteArray BannerImageName;
    QByteArray BannerUrl;
    int BannerIndex = 0;
    QByteArray Link1Caption;
    QByteArray Link1Url;
    QByteArray Link2Caption;
    QByteArray Link2Url;
    bool NewsAvailable = false;
};

// A uniform index in [0, count); production seeds from the clock, tests fix the choice.
using TRandomIndex = std::function<int(int count)>;
TRandomIndex ClockSeededRandom();

// The value between `open` and `close` in `cursor`, tags found without regard to ASCII
// case; a value found moves the cursor to its closing tag.
QByteArray ExtractTag(const QByteArray& open, const QByteArray& close, QByteArray& cursor);

// The profile's lines (CR, LF or CR LF; a NUL ends the text) joined with CR LF after each.
QByteArray JoinProfileLines(const QByteArray& plain);

// The numbered entries found, each list 0 to 16 long and ending at the first empty value.
struct TProfileLists
{
    QList<QByteArray> Welcome;
    QList<QByteArray> Banner;
    QList<QByteArray> Link;
};

// Every field, in the order the profile is read, without the random choices.
TBrandProfile ParseProfileFields(const QByteArray& plain, TProfileLists* lists);

// Every field, in the order the profile is read, and the random choices.
TBrandProfile ParseBrandProfile(const QByteArray& plain, const TRandomIndex& random);

// Reads "dbsettings.dat" in `programFolder`. False with no error when there is none;
// false with an error when it cannot be read.
bool LoadBrandProfile(const QString& programFolder, const TRandomIndex& random, TBrandProfile* profile, QString* error);

// A news id as the profile keeps it: 1 to 18 ASCII decimal digits. Such a text fits a
// signed 64-bit number and can carry no tag, line break, sign or space into the profile.
bool IsNewsId(const QByteArray& text);
// IsNewsId, with the reason a value is not stored when it is not.
bool AcceptNewsId(const QByteArray& value, QString* error);

// The LastNewsId value stored in the profile, empty when there is none.
QByteArray ReadLastNewsId(const QString& programFolder, QString* error);
// Records `value` in the profile, replacing its LastNewsId line or adding one. True with
// nothing stored when there is no profile. False with the reason, the file untouched, when
// `value` is not a news id or the profile does not read back as authentic (another
// password, a failed authentication code, a short file, a read error).
bool StoreLastNewsId(const QString& programFolder, const QByteArray& value, QString* error);
