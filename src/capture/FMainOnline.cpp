// The reseller's online services on the main window: the start-up news check, the News
// and Update buttons.

#include "capture/FMain.h"

#include "brand/NewsIdStore.h"
#include "common/ByteFile.h"
#include "common/HtmlView.h"
#include "common/UserDialogs.h"
#include "online/FNews.h"
#include "online/NewsService.h"
#include "platform/BalloonHint.h"

#include <QToolButton>

void TfrmMain::Timer1Timer()
{
    Timer1.stop();
    TNewsTier tier;
    QByteArray code;
    QByteArray text;
    if (SelectNewsTier(m_profile, &tier) &&
        m_news->FetchLastNewsCode(tier.PublId, m_profile.BranderCode, tier.TierCode, NewsTarget, true, &code, &text)) {
        // A profile that cannot be read counts as no item read yet.
        QString error;
        const QByteArray stored = LoadLastNewsId(m_programFolder, m_userFolders, &error);
        if (NewsCodeIsNewer(code, stored))
            ShowMessageBalloon(QStringLiteral("You've Got A Message!\r\n") + DisplayText(text));
    }
    m_update->CheckForUpdate(true);
}

void TfrmMain::ShowMessageBalloon(const QString& text)
{
    const QPoint centre(btnNews->width() / 2, btnNews->height() / 2);
    TBalloonHint::Show(text, btnNews->mapToGlobal(centre));
}

void TfrmMain::btnNewsClick()
{
    NewsList.clear();
    TNewsTier tier;
    const bool fetched = SelectNewsTier(m_profile, &tier) &&
                         m_news->FetchNewsList(tier.PublId, m_profile.BranderCode, tier.TierCode, NewsTarget, NewsList);
    if (!fetched || NewsList.isEmpty()) {
        m_dialogs.ShowSkinMessage(QStringLiteral("There's no news for this application!"), TMsgDlgType::Information,
                                  mbOK, 0);
        return;
    }
    const std::unique_ptr<THtmlView> page = m_newHtmlView();
    TfrmNews window(
        NewsList,
        [this, tier](const QByteArray& newsId, QByteArray* html) {
            return m_news->FetchNewsDetails(tier.PublId, m_profile.BranderCode, newsId, NewsTarget, tier.TierCode,
                                            html);
        },
        [this](const QByteArray& newsId) {
            // A profile that cannot be rewritten keeps its stored id; the window goes on.
            QString error;
            SaveLastNewsId(m_programFolder, m_userFolders, newsId, &error);
        },
        *page, this);
    window.exec();
}

void TfrmMain::btnUpdateClick()
{
    m_update->CheckForUpdate(false);
}
