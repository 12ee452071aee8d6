// What the reseller's profile shows in the main window.

#include "capture/FMain.h"

#include "brand/BannerPicture.h"
#include "brand/FAbout.h"
#include "common/ByteFile.h"
#include "common/HtmlView.h"
#include "common/Shell.h"
#include "common/UserDialogs.h"
#include "platform/LinkLabel.h"
#include "platform/SkinFile.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QPushButton>
#include <QToolButton>

void TfrmMain::CentreBanner()
{
    // Integer halves, so a picture wider than the panel is clipped on both sides.
    for (QLabel* view : {imgBanner, gifBanner})
        view->move(panBanner->width() / 2 - view->width() / 2, panBanner->height() / 2 - view->height() / 2);
}

void TfrmMain::ShowWelcome()
{
    m_welcomeView.SetHtml(m_profile.WelcomeHtml);
}

void TfrmMain::LoadBrandProfile()
{
    QString error;
    if (!::LoadBrandProfile(m_programFolder, m_random, &m_profile, &error)) {
        if (!error.isEmpty()) m_dialogs.ReportError(error);
        return;
    }
    setWindowTitle(DisplayText(m_profile.ApplicationName) + QStringLiteral(" v") + QString::fromLatin1(AppVersion));
    btnNews->setVisible(m_profile.NewsAvailable);
    btnMakeMoney->setText(DisplayText(m_profile.MakeMoneyButton));
    ApplyBanner();
    panLinks->setVisible(!m_profile.Link1Caption.isEmpty());
    lblLink1URL->SetLink(DisplayText(m_profile.Link1Caption), m_profile.Link1Url);
    lblLink2URL->SetLink(DisplayText(m_profile.Link2Caption), m_profile.Link2Url);

    const QDir folder(m_programFolder);
    if (QFile::exists(folder.filePath(QStringLiteral("mainskin.dat")))) {
        // An unreadable or empty skin leaves the built-in look, as no skin would.
        if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance()))
            ApplySkinFile(folder.filePath(QStringLiteral("mainskin.dat")), application, &error);
    }
    if (QFile::exists(folder.filePath(QStringLiteral("main.ico")))) {
        const QIcon icon(folder.filePath(QStringLiteral("main.ico")));
        if (!icon.isNull()) {
            QApplication::setWindowIcon(icon);
            setWindowIcon(icon);
        }
    }
}

void TfrmMain::ApplyBanner()
{
    if (!m_profile.BannerUrl.isEmpty()) {
        imgBanner->setCursor(Qt::PointingHandCursor);
        gifBanner->setCursor(Qt::PointingHandCursor);
    }
    TBannerPicture picture;
    QString error;
    switch (LoadBannerPicture(m_programFolder, m_profile.BannerIndex, m_profile.BannerImageName, &picture, &error)) {
    case TBannerResult::None:
        panBanner->hide();
        return;
    case TBannerResult::Failed:
        // The rest of the profile still applies; the reseller learns why the banner is missing.
        panBanner->hide();
        m_dialogs.ReportError(error);
        return;
    case TBannerResult::Loaded:
        break;
    }
    if (picture.Animated) {
        imgBanner->hide();
        gifBanner->show();
        m_bannerGif = picture.GifData;
        auto* buffer = new QBuffer(&m_bannerGif, this);
        buffer->open(QIODevice::ReadOnly);
        m_bannerMovie = new QMovie(buffer, QByteArrayLiteral("gif"), this);
        m_bannerMovie->setCacheMode(QMovie::CacheAll);
        gifBanner->setMovie(m_bannerMovie);
        gifBanner->resize(picture.Size);
        m_bannerMovie->start();
        panBanner->setFixedHeight(gifBanner->height() + 10);
    } else {
        gifBanner->hide();
        imgBanner->show();
        imgBanner->setPixmap(QPixmap::fromImage(picture.Still));
        imgBanner->resize(picture.Size);
        panBanner->setFixedHeight(imgBanner->height() + 10);
    }
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == imgBanner)
            imgBannerClick();
        else if (watched == gifBanner)
            gifBannerClick();
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::imgBannerClick()
{
    if (!m_profile.BannerUrl.isEmpty()) m_shell.OpenUrlInBrowser(m_profile.BannerUrl);
}

void TfrmMain::gifBannerClick()
{
    imgBannerClick();
}

void TfrmMain::btnMakeMoneyClick()
{
    m_shell.OpenUrlInBrowser(m_profile.AffiliateURL);
}

void TfrmMain::btnHelpClick()
{
    m_shell.OpenUrlInBrowser(m_profile.AppHelpURL);
}

void TfrmMain::btnAboutClick()
{
    TfrmAbout window(m_profile, this);
    window.exec();
}
