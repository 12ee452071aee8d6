// The window's run against thumbrix-batch on the same list: the real window, composed as
// the program composes it, driven through its own widgets as a user would: the list is
// imported, Pages at once set, Select All and Start pressed, until the last row has ended.
//
//     bench_window_run LIST_FILE PAGES_AT_ONCE
//
// Prints a line per row as it ends ("number ID status"), then the run's time from Start to
// the last row's end, and how the rows ended.

#include "capture/FMain.h"
#include "platform/CurlHttpClient.h"
#include "platform/DesktopShell.h"
#include "platform/QtUserDialogs.h"
#include "platform/WebEngineBrowser.h"
#include "platform/WebHtmlView.h"
#include "urllist/UrlListFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// No network: the update check at start-up answers at once.
struct TNoHttp : THttpClient
{
    bool PostForm(const QByteArray&, const TMultipartForm&, QByteArray*, QString* error) override
    {
        *error = QStringLiteral("offline");
        return false;
    }
    bool GetToDevice(const QByteArray&, QIODevice*, QString* error) override
    {
        *error = QStringLiteral("offline");
        return false;
    }
    void Disconnect() override {}
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TWebHtmlView::RegisterScheme();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_window_run LIST_FILE PAGES_AT_ONCE\n");
        return 2;
    }
    QByteArray text;
    QString error;
    if (!ReadListFile(QFile::encodeName(QString::fromLocal8Bit(argv[1])), &text, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }

    QTemporaryDir program;
    QTemporaryDir out;
    TQtUserDialogs dialogs(nullptr);
    TDesktopShell shell;
    TCurlHttpClient http;
    TWebHtmlView welcome;
    WebEngineBrowser capture(WebEngineBrowser::Role::Capture);
    WebEngineBrowser browsing(WebEngineBrowser::Role::Interactive);
    TMainParts parts;
    parts.ProgramFolder = program.path();
    parts.Dialogs = &dialogs;
    parts.Shell = &shell;
    parts.WelcomeView = &welcome;
    TNoHttp offline;
    parts.Http = qEnvironmentVariableIsSet("BENCH_NOHTTP") ? static_cast<THttpClient*>(&offline) : &http;
    parts.NewHtmlView = [] { return std::make_unique<TWebHtmlView>(); };
    parts.CaptureBrowser = &capture;
    parts.BrowsingBrowser = &browsing;
    parts.BrowsingView = browsing.Widget();
    parts.NewCaptureBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    TfrmMain window(parts);
    window.show();
    // A real event loop throughout, as the program runs one: a loop that sleeps between
    // rounds of events slows the engine's many round trips between its processes.
    QEventLoop loop;
    // The first "about:blank" of the capture view, as a user waits for the window.
    if (capture.ReadyState() != WebBrowser::Complete) {
        const QMetaObject::Connection first =
            QObject::connect(&capture, &WebBrowser::DocumentComplete, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(first);
    }

    window.Jobs().Import(SplitListLines(text), ListFormat::OneUrlPerLine, 0);
    window.findChild<QLineEdit*>(QStringLiteral("edtFolder"))->setText(out.path());
    window.findChild<QSpinBox*>(QStringLiteral("spePagesAtOnce"))->setValue(QString::fromLocal8Bit(argv[2]).toInt());
    window.findChild<QPushButton*>(QStringLiteral("btnSelectAll"))->click();

    const auto ended = [&window] {
        for (const TUrlJob& job : window.Jobs().Model()->Jobs()) {
            if (job.Status == JobStatus::Pending || job.Status == JobStatus::Downloading) return false;
        }
        return true;
    };
    QElapsedTimer clock;
    clock.start();
    // When each row ended, for a look at how the lanes share the work.
    QList<qint64> endedAt;
    QObject::connect(window.Jobs().Model(), &QAbstractItemModel::dataChanged, &app, [&](const QModelIndex& from) {
        const TUrlJob& job = window.Jobs().Model()->At(from.row());
        if (job.Status == JobStatus::Success || job.Status == JobStatus::Error) {
            endedAt << clock.elapsed();
            // As thumbrix-batch reports a row, so that bench/mem-sample.py counts them.
            std::printf("%s %s %s\n", job.Number.constData(), job.Id.constData(), job.Status.constData());
            std::fflush(stdout);
        }
        if (ended()) loop.quit();
    });
    window.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    if (!ended()) loop.exec();
    const qint64 ms = clock.elapsed();
    std::printf("window, %d pages, Pages at once %s: %.2f s (%s, %s)\n", int(window.Jobs().Count()), argv[2],
                double(ms) / 1000.0, qPrintable(window.findChild<QLabel*>(QStringLiteral("stpSuccess"))->text()),
                qPrintable(window.findChild<QLabel*>(QStringLiteral("stpError"))->text()));
    if (qEnvironmentVariableIsSet("BENCH_ROWS")) {
        for (const qint64 at : std::as_const(endedAt))
            std::printf(" %lld", static_cast<long long>(at));
        std::printf("\n");
    }
    // BENCH_SHOT=FILE.png: a picture of the window at the end, the first row's thumbnail in view.
    const QString shot = qEnvironmentVariable("BENCH_SHOT");
    if (!shot.isEmpty()) {
        auto* list = window.findChild<QTableView*>(QStringLiteral("lvwItems"));
        list->setCurrentIndex(list->model()->index(0, 0));
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        window.grab().save(shot);
    }
    window.close();
    return 0;
}
