// Where the time of one page goes on the real engine: load, paint fence, and the capture
// after it (draw, resample, encode, write). With --load-only, just loads the pages in a
// plain view, for comparison with a whole thumbrix-batch run. With --fence-ways, prices the
// other ways of knowing a frame is fresh on the same pages: a bare script round trip, two
// animation frames, and blanking the view (a load of about:blank) between pages. With
// --no-settle and --keep-consent, the capture view skips the wait to settle or the consent
// scripts, so that their cost on the same pages shows.

#include "capture/PageCapture.h"
#include "common/ByteFile.h"
#include "platform/WebEngineBrowser.h"
#include "urllist/UrlListFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <functional>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void PrepareHeadlessEngine()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void Report(const char* what, std::vector<double> ms)
{
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms)
        sum += m;
    std::printf("%-34s median %7.2f ms  mean %7.2f ms  min %7.2f ms  max %7.2f ms\n", what, ms[ms.size() / 2],
                sum / double(ms.size()), ms.front(), ms.back());
}

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    PrepareHeadlessEngine();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool loadOnly = args.contains(QStringLiteral("--load-only"));
    const bool fenceWays = args.contains(QStringLiteral("--fence-ways"));
    TCaptureOptions options;
    options.Settle = !args.contains(QStringLiteral("--no-settle"));
    options.HideConsent = !args.contains(QStringLiteral("--keep-consent"));
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_page_pipeline [--load-only|--fence-ways|--no-settle|--keep-consent] "
                             "LIST_FILE\n");
        return 2;
    }
    QByteArray text;
    QString error;
    if (!ByteFile::ReadAll(QFile::encodeName(args.last()), &text, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    const QList<QByteArray> urls = SplitListLines(text);

    if (loadOnly) {
        QWebEngineView view;
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.resize(800, 600);
        view.show();
        int next = 0;
        QObject::connect(view.page(), &QWebEnginePage::loadFinished, &app, [&] {
            if (next == urls.size())
                app.quit();
            else
                view.load(QUrl::fromEncoded(urls[next++]));
        });
        view.load(QUrl::fromEncoded(urls[next++]));
        app.exec();
        std::printf("load only, %d pages, start-up included: %.2f s\n", int(urls.size()),
                    double(sinceStart.elapsed()) / 1000.0);
        return 0;
    }

    if (fenceWays) {
        QWebEngineView view;
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.resize(800, 600);
        view.show();
        QWebEnginePage* page = view.page();
        std::vector<double> roundTrip, frames, blank;
        QElapsedTimer clock;
        int next = 0;
        std::function<void()> step; // the stage after the current load
        QObject::connect(page, &QWebEnginePage::loadFinished, &app, [&] {
            if (step) step();
        });
        std::function<void()> loadNext = [&] {
            if (next == urls.size()) {
                app.quit();
                return;
            }
            step = [&] {
                clock.start();
                page->runJavaScript(QStringLiteral("1"), QWebEngineScript::ApplicationWorld, [&](const QVariant&) {
                    roundTrip.push_back(double(clock.nsecsElapsed()) / 1e6);
                    clock.start();
                    const QString token = QString::number(next);
                    page->runJavaScript(QStringLiteral("requestAnimationFrame(()=>requestAnimationFrame(()=>"
                                                       "{window.__f=%1}));1")
                                            .arg(token),
                                        QWebEngineScript::ApplicationWorld);
                    auto poll = std::make_shared<std::function<void()>>();
                    *poll = [&, poll, token] {
                        page->runJavaScript(QStringLiteral("window.__f||0"), QWebEngineScript::ApplicationWorld,
                                            [&, poll, token](const QVariant& v) {
                                                if (v.toString() != token) {
                                                    QTimer::singleShot(2, &app, *poll);
                                                    return;
                                                }
                                                frames.push_back(double(clock.nsecsElapsed()) / 1e6);
                                                step = [&] {
                                                    blank.push_back(double(clock.nsecsElapsed()) / 1e6);
                                                    step = nullptr;
                                                    QMetaObject::invokeMethod(&app, loadNext, Qt::QueuedConnection);
                                                };
                                                clock.start();
                                                page->load(QUrl(QStringLiteral("about:blank")));
                                            });
                    };
                    (*poll)();
                });
            };
            page->load(QUrl::fromEncoded(urls[next++]));
        };
        loadNext();
        app.exec();
        std::printf("other fences, %d pages, after loadFinished:\n", int(urls.size()));
        Report("script round trip", roundTrip);
        Report("two animation frames (polled)", frames);
        Report("blanking: a load of about:blank", blank);
        return 0;
    }

    QTemporaryDir out;
    WebEngineBrowser browser(WebEngineBrowser::Role::Capture, options);
    auto* view = qobject_cast<QWebEngineView*>(browser.Widget());
    std::vector<double> load, fence, draw, capture;
    QElapsedTimer pageClock;
    qint64 loadedAt = 0;
    int index = 0;
    double firstComplete = 0;
    QObject::connect(view->page(), &QWebEnginePage::loadFinished, &app, [&] { loadedAt = pageClock.nsecsElapsed(); });
    QObject::connect(&browser, &WebBrowser::DocumentComplete, &app, [&] {
        const qint64 completeAt = pageClock.nsecsElapsed();
        if (index == 1) firstComplete = double(sinceStart.elapsed());
        load.push_back(double(loadedAt) / 1e6);
        fence.push_back(double(completeAt - loadedAt) / 1e6);
        QElapsedTimer captureClock;
        captureClock.start();
        QString captureError;
        const QByteArray path = QFile::encodeName(out.path()) + "/page" + QByteArray::number(index) + ".jpg";
        if (!CapturePageToFile(browser, TCaptureSizes{}, path, &captureError))
            std::fprintf(stderr, "%s\n", qPrintable(captureError));
        capture.push_back(double(captureClock.nsecsElapsed()) / 1e6);
        captureClock.start();
        browser.Draw();
        draw.push_back(double(captureClock.nsecsElapsed()) / 1e6);
        if (index == urls.size()) {
            app.quit();
            return;
        }
        QMetaObject::invokeMethod(
            &app,
            [&] {
                pageClock.start();
                browser.Navigate(urls[index++]);
            },
            Qt::QueuedConnection);
    });
    pageClock.start();
    browser.Navigate(urls[index++]);
    app.exec();

    std::printf("%d pages at 800x600 -> 200x150 jpg, %s, %s\n", int(urls.size()),
                options.Settle ? "settling" : "no settling", options.HideConsent ? "consent hidden" : "consent kept");
    std::printf("start-up to first page complete: %.0f ms\n", firstComplete);
    Report("load (navigate to loadFinished)", load);
    Report(options.Settle || options.HideConsent ? "settle + paint fence (to complete)" : "paint fence (to complete)",
           fence);
    Report("capture (draw+resample+encode+write)", capture);
    Report("another grab of the same view", draw);
    return 0;
}
