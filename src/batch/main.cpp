// thumbrix-batch: captures a URL list file to thumbnails without a window.

#include "batch/BatchConsole.h"
#include "batch/BatchOptions.h"
#include "batch/GalleryPage.h"
#include "batch/ResultsFile.h"
#include "capture/BatchRunner.h"
#include "common/ByteFile.h"
#include "common/StopSignals.h"
#include "platform/ConsentScripts.h"
#include "platform/EngineSwitches.h"
#include "platform/StartupChatter.h"
#include "platform/WebEngineBrowser.h"
#include "urllist/UrlListFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

enum ExitCode {
    AllCaptured = 0,
    SomeFailed = 1,
    BadUsage = 2,
};

// The shell's convention for a process ended by a signal.
int StoppedBy(int signalNumber)
{
    return 128 + signalNumber;
}

// A batch needs no screen. Chromium cannot sandbox itself as root, and has no GPU off screen.
void PrepareHeadlessEngine()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

void PrintLine(std::FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toUtf8().constData());
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);

    TBatchOptions options;
    QString message;
    switch (ParseBatchOptions(arguments, &options, &message)) {
    case ParseResult::Help:
    case ParseResult::Version:
        std::fputs(message.toUtf8().constData(), stdout);
        return AllCaptured;
    case ParseResult::Invalid:
        PrintLine(stderr, QStringLiteral("thumbrix-batch: ") + message);
        PrintLine(stderr, QStringLiteral("Try 'thumbrix-batch --help' for more information."));
        return BadUsage;
    case ParseResult::Run:
        break;
    }

    QByteArray text;
    const bool listRead = options.ListFile == QLatin1String("-")
                              ? ReadListStream(STDIN_FILENO, "standard input", &text, &message)
                              : ReadListFile(QFile::encodeName(options.ListFile), &text, &message);
    if (!listRead) {
        PrintLine(stderr, QStringLiteral("thumbrix-batch: ") + message);
        return BadUsage;
    }
    QList<TUrlJob> jobs;
    for (const TUrlJob& job : MakeJobs(SplitListLines(text), options.Format, options.IdKind, 0)) {
        if (InShard(job.Number.toLongLong(), options.ShardIndex, options.ShardCount)) jobs << job;
    }

    ResultsFile results;
    if (!options.ResultsFile.isEmpty() && !results.Open(options.ResultsFile, &message)) {
        PrintLine(stderr, QStringLiteral("thumbrix-batch: ") + message);
        return BadUsage;
    }

    PrepareHeadlessEngine();
    PrepareEngineSwitches(options.Engine);
    StartupChatter::Quiet();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("thumbrix-batch"));

    const TCaptureOptions capture = options.Capture;
    if (capture.HideConsent && !ConsentScripts::RulesEngineFound())
        PrintLine(stderr,
                  QStringLiteral("thumbrix-batch: %1 is missing: consent banners are left to the built-in check alone")
                      .arg(QDir::toNativeSeparators(ConsentScripts::RulesEngineFile())));
    // Each row gives its browser the sizes and the options.
    const auto makeBrowser = [] { return std::make_unique<WebEngineBrowser>(WebEngineBrowser::Role::Capture); };
    TBatchSettings settings = options.Settings;
    settings.Options = capture;

    // Standard output may carry the results; the report then goes to standard error.
    BatchConsole console(options.ResultsFile == QLatin1String("-") ? stderr : stdout, stderr, isatty(STDERR_FILENO));
    BatchRunner runner(makeBrowser, options.Jobs);
    int finished = 0;
    bool recordLost = false;
    QObject::connect(&runner, &BatchRunner::RowFinished, &app, [&](int index, const QString& reason) {
        console.RowFinished(runner.Jobs().at(index), reason, ++finished);
        if (results.IsOpen() && !recordLost &&
            !results.Write(runner.Jobs().at(index), runner.Results().at(index), &message)) {
            // Without its record a row would be captured again on resumption: say so once, and fail.
            recordLost = true;
            PrintLine(stderr, QStringLiteral("thumbrix-batch: ") + message);
        }
    });
    QObject::connect(&runner, &BatchRunner::Finished, &app, [&] {
        console.End(runner.Jobs());
        app.quit();
    });

    int stopSignal = 0;
    const bool watching = WatchStopSignals(&app, [&](int signalNumber) {
        stopSignal = signalNumber;
        ByteFile::RemoveUnfinishedFiles();
        console.Stopped(QStringLiteral("thumbrix-batch: stopped by %1")
                            .arg(signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
        app.exit(StoppedBy(signalNumber));
    });
    if (!watching) PrintLine(stderr, QStringLiteral("thumbrix-batch: cannot watch for SIGINT and SIGTERM"));

    console.Begin(int(jobs.size()));
    runner.Start(jobs, settings);
    app.exec();

    bool galleryLost = false;
    if (!options.GalleryFile.isEmpty()) {
        QList<TGalleryRow> rows;
        for (int i = 0; i < runner.Jobs().size(); ++i)
            rows.append({runner.Jobs().at(i), runner.Results().at(i)});
        const TGalleryFiles files{options.Settings.Folder, options.Settings.Extension};
        galleryLost = !GalleryPage::Write(QFile::encodeName(options.GalleryFile), rows, files, &message);
        if (galleryLost) PrintLine(stderr, QStringLiteral("thumbrix-batch: ") + message);
    }
    if (stopSignal != 0) return StoppedBy(stopSignal);

    if (recordLost || galleryLost) return SomeFailed;
    for (const TUrlJob& job : runner.Jobs()) {
        if (job.Status == JobStatus::Error) return SomeFailed;
    }
    return AllCaptured;
}
