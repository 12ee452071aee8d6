#include "online/NewsService.h"

#include "brand/BrandProfile.h"
#include "common/UUtils.h"
#include "common/UserDialogs.h"
#include "online/HttpClient.h"
#include "online/MultipartForm.h"

#include <limits>

namespace {

const QByteArray kListScript = QByteArrayLiteral("getlastnews.php");
const QByteArray kDetailsScript = QByteArrayLiteral("getnewsdetails.php");
const QByteArray kSuccess = QByteArrayLiteral("OK");
const QByteArray kEndMarker = QByteArrayLiteral("\xAF"
                                                "OK");
constexpr char kRecordSeparator = '\xAF';
// A reply past this is no news list a reseller writes; it fails like a lost connection.
constexpr qint64 kMaxNewsReplyBytes = qint64(8) << 20;

QByteArray TrimControls(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && quint8(text.at(begin)) <= 32)
        ++begin;
    while (end > begin && quint8(text.at(end - 1)) <= 32)
        --end;
    return text.mid(begin, end - begin);
}


} // namespace

QByteArray NewsServiceUrl(const QByteArray& base, const QByteArray& script)
{
    if (base.endsWith('/')) return base + script;
    return base + '/' + script;
}

QByteArray NewsBaseUrlForTier(const TBrandProfile& profile, const QByteArray& tierCode)
{
    if (tierCode == "BM") return profile.MasterNewsBaseURL;
    if (tierCode == "BP") return profile.PlatinumNewsBaseURL;
    if (tierCode == "BG") return profile.GoldNewsBaseURL;
    return QByteArray();
}

bool SelectNewsTier(const TBrandProfile& profile, TNewsTier* tier)
{
    const struct
    {
        const char* type;
        const QByteArray& publId;
        const char* code;
    } tiers[] = {
        {"Master", profile.MasterPublID, "BM"},
        {"Platinum", profile.PlatinumPublID, "BP"},
        {"Gold", profile.GoldPublID, "BG"},
    };
    for (const auto& entry : tiers) {
        if (profile.BranderType == entry.type && !entry.publId.isEmpty()) {
            *tier = {entry.publId, QByteArray(entry.code)};
            return true;
        }
    }
    return false;
}

qint32 NewsIdToInt(const QByteArray& text)
{
    int value = 0;
    return ParseInteger(text, &value) ? value : 0;
}

bool NewsCodeIsNewer(const QByteArray& code, const QByteArray& stored)
{
    if (!IsNewsId(code)) return false;
    const qint64 storedValue = IsNewsId(stored) ? stored.toLongLong() : NewsIdToInt(stored);
    return code.toLongLong() > storedValue;
}

TNewsService::TNewsService(THttpClient& http, UserDialogs& dialogs, const TBrandProfile& profile)
    : m_http(http), m_dialogs(dialogs), m_profile(profile)
{
}

QByteArray TNewsService::Request(const QByteArray& script, const QByteArray& publId, const QByteArray& prodCode,
                                 const QByteArray& tierCode, const QByteArray& fourthName,
                                 const QByteArray& fourthValue, const QByteArray& newsTarget)
{
    TMultipartForm form;
    form.AddField(QByteArrayLiteral("memusername"), publId);
    form.AddField(QByteArrayLiteral("prodcode"), prodCode);
    form.AddField(QByteArrayLiteral("prodtype"), tierCode);
    form.AddField(fourthName, fourthValue);
    form.AddField(QByteArrayLiteral("newstarget"), newsTarget);
    form.AddField(QByteArrayLiteral("something"), QByteArray());

    const QByteArray url = NewsServiceUrl(NewsBaseUrlForTier(m_profile, tierCode), script);
    QByteArray reply;
    QString error;
    m_http.SetMaxReplySize(kMaxNewsReplyBytes);
    if (!m_http.PostForm(url, form, &reply, &error)) return QByteArray();
    return TrimControls(reply);
}

bool TNewsService::FetchNewsList(const QByteArray& publId, const QByteArray& prodCode, const QByteArray& tierCode,
                                 const QByteArray& newsTarget, QList<QByteArray>& list)
{
    const QByteArray reply = Request(kListScript, publId, prodCode, tierCode, QByteArrayLiteral("conttype"),
                                     QByteArrayLiteral("all"), newsTarget);
    if (!reply.contains(kSuccess)) {
        ReportNewsFailure(reply, false);
        return false;
    }
    QList<QByteArray> pieces;
    SplitByChar(kRecordSeparator, reply, pieces);
    for (const QByteArray& piece : pieces) {
        if (!piece.isEmpty() && piece != kSuccess) list.append(piece);
    }
    return true;
}

bool TNewsService::FetchLastNewsCode(const QByteArray& publId, const QByteArray& prodCode, const QByteArray& tierCode,
                                     const QByteArray& newsTarget, bool silent, QByteArray* code, QByteArray* text)
{
    code->clear();
    text->clear();
    const QByteArray reply = Request(kListScript, publId, prodCode, tierCode, QByteArrayLiteral("conttype"),
                                     QByteArrayLiteral("lastcode"), newsTarget);
    if (!reply.contains(kSuccess)) {
        if (!silent) ReportNewsFailure(reply, false);
        return false;
    }
    QByteArray rest = reply;
    rest.replace(kEndMarker, QByteArray());
    if (rest == kSuccess) return true;
    // A lone field with no "^" is still a success: it becomes the code, with no alert text.
    QList<QByteArray> pieces;
    SplitByChar('^', rest, pieces);
    if (pieces.size() > 0) *code = pieces.at(0);
    if (pieces.size() > 1) *text = pieces.at(1);
    return true;
}

bool TNewsService::FetchNewsDetails(const QByteArray& publId, const QByteArray& prodCode, const QByteArray& newsId,
                                    const QByteArray& newsTarget, const QByteArray& tierCode, QByteArray* html)
{
    html->clear();
    const QByteArray reply =
        Request(kDetailsScript, publId, prodCode, tierCode, QByteArrayLiteral("newsid"), newsId, newsTarget);
    if (!reply.contains(kSuccess)) {
        ReportNewsFailure(reply, true);
        return false;
    }
    QByteArray rest = reply;
    rest.replace(kEndMarker, QByteArray());
    *html = DecodeHexEscapes(rest);
    return true;
}

void TNewsService::ReportNewsFailure(const QByteArray& reply, bool details)
{
    const char* message = nullptr;
    if (reply.isEmpty())
        message = "There is a trouble accessing the news site. Contact your provider.";
    else if (reply == "CONNECTIONFAIL")
        message = "There is a trouble in the settings file on the news site.";
    else if (reply == "INVALIDUSER")
        message = "There is a trouble with the Publisher Id. Contact your provider.";
    else if (reply == "INVALIDPRODUCT")
        message = "There is a trouble with the product validation. Contact your provider.";
    else if (details && reply == "INVALIDNEWS")
        message = "There is a trouble with this news. Contact your provider.";
    if (message) m_dialogs.ShowSkinMessage(QString::fromLatin1(message), TMsgDlgType::Warning, mbOK, 0);
}
