#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct TBrandProfile;
class THttpClient;
class UserDialogs;

// What every news request sends as "newstarget".
inline const QByteArray NewsTarget = QByteArrayLiteral("UA");

// `base` + "/" + `script`, without doubling a trailing "/" of the base.
QByteArray NewsServiceUrl(const QByteArray& base, const QByteArray& script);

// The profile's news base URL for "BM", "BP" or "BG"; empty for anything else.
QByteArray NewsBaseUrlForTier(const TBrandProfile& profile, const QByteArray& tierCode);

struct TNewsTier
{
    QByteArray PublId;
    QByteArray TierCode;
};

// The tier the profile's BranderType names, when its publisher ID is set. False means the
// windows make no news request at all.
bool SelectNewsTier(const TBrandProfile& profile, TNewsTier* tier);

// A news id as a signed 32-bit number: leading spaces, optional sign, then decimal digits
// or "$"/"0x"/"0X" and hexadecimal ones. Anything else, or a value out of range, is 0.
qint32 NewsIdToInt(const QByteArray& text);

// Whether the last-news code the service sent names an item newer than the stored id. A
// code that is not a news id (1 to 18 decimal digits) is no news. A stored news id counts
// at its full value; anything else stored counts as NewsIdToInt reads it.
bool NewsCodeIsNewer(const QByteArray& code, const QByteArray& stored);

// The three requests to the reseller's news scripts. Failures are shown as warnings.
class TNewsService
{
public:
    TNewsService(THttpClient& http, UserDialogs& dialogs, const TBrandProfile& profile);

    // Appends the records of the reply to `list`; never clears it.
    bool FetchNewsList(const QByteArray& publId, const QByteArray& prodCode, const QByteArray& tierCode,
                       const QByteArray& newsTarget, QList<QByteArray>& list);
    bool FetchLastNewsCode(const QByteArray& publId, const QByteArray& prodCode, const QByteArray& tierCode,
                           const QByteArray& newsTarget, bool silent, QByteArray* code, QByteArray* text);
    bool FetchNewsDetails(const QByteArray& publId, const QByteArray& prodCode, const QByteArray& newsId,
                          const QByteArray& newsTarget, const QByteArray& tierCode, QByteArray* html);

    // Shows the message for a failed, trimmed reply; nothing for a reply it does not know.
    void ReportNewsFailure(const QByteArray& reply, bool details);

private:
    // POSTs the six fields; the trimmed body, or empty when the transfer failed.
    QByteArray Request(const QByteArray& script, const QByteArray& publId, const QByteArray& prodCode,
                       const QByteArray& tierCode, const QByteArray& fourthName, const QByteArray& fourthValue,
                       const QByteArray& newsTarget);

    THttpClient& m_http;
    UserDialogs& m_dialogs;
    const TBrandProfile& m_profile;
};
