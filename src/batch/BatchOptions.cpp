#include "batch/BatchOptions.h"

#include "capture/CaptureChoices.h"
#include "capture/CaptureSettings.h"
#include "common/ByteFile.h"
#include "common/Version.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

namespace {

constexpr int kMaxSide = 8192;
constexpr int kMaxRetries = 10;
constexpr int kMaxJobs = 32;
constexpr int kMaxShards = 1000000;
constexpr int kMaxSettleMs = 120000;
const QStringList kImageFormats = {QStringLiteral("jpg"), QStringLiteral("gif"), QStringLiteral("bmp"),
                                   QStringLiteral("png"), QStringLiteral("webp")};

const QString kDescription =
    QStringLiteral("Captures the pages of a URL list file as thumbnail images. Rows are started in list order, up to\n"
                   "--jobs at once, each in a capture view of its own.\n"
                   "\n"
                   "Each row's file is FOLDER/ID.EXT. The ID comes from the list (pipe and comma formats) or is\n"
                   "made from the URL (one-URL-per-line format): its MD5 digest in hexadecimal (--id md5) or\n"
                   "the URL with \"http://\" and \"www.\" removed, lower-case, \".\" as \"_\" and \"/\" as \"I\"\n"
                   "(--id url). A row whose ID holds \"/\" is an error and writes nothing.\n"
                   "\n"
                   "Prints one line per row as it finishes (number, ID, status, and the reason of an error), a\n"
                   "progress bar on a terminal, and the counts at the end.\n"
                   "Exit status: 0 when no row failed, 1 when some row failed, 2 for bad usage or input,\n"
                   "130 when stopped by SIGINT, 143 when stopped by SIGTERM.");

// "WxH" with both sides positive.
bool ParseSize(const QString& text, int* width, int* height)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,9})[xX](\\d{1,9})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return false;
    *width = m.captured(1).toInt();
    *height = m.captured(2).toInt();
    return *width > 0 && *height > 0;
}

// "I/N" with 1 <= I <= N.
bool ParseShard(const QString& text, int* index, int* count)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,7})/(\\d{1,7})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return false;
    *index = m.captured(1).toInt();
    *count = m.captured(2).toInt();
    return *count >= 1 && *count <= kMaxShards && *index >= 1 && *index <= *count;
}

ParseResult Invalid(QString* message, const QString& text)
{
    *message = text;
    return ParseResult::Invalid;
}

} // namespace

ParseResult ParseBatchOptions(const QStringList& arguments, TBatchOptions* options, QString* message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Folder that receives the thumbnails (must exist)."),
                                 QStringLiteral("FOLDER"));
    const QCommandLineOption format(QStringLiteral("list-format"),
                                    QStringLiteral("Layout of LIST_FILE: url (one URL per line), pipe (ID|URL) or "
                                                   "comma (ID,URL). Default: url."),
                                    QStringLiteral("FORMAT"), QStringLiteral("url"));
    const QCommandLineOption browser(QStringLiteral("browser"),
                                     QStringLiteral("Size of the capture browser's viewport. Default: 800x600."),
                                     QStringLiteral("WxH"), QStringLiteral("800x600"));
    const QCommandLineOption thumb(QStringLiteral("thumb"),
                                   QStringLiteral("Size of each thumbnail. Default: 200x150. Unless --no-keep-aspect "
                                                  "is given, the height follows the width in the browser's "
                                                  "proportions (truncated) and the given height is not used."),
                                   QStringLiteral("WxH"), QStringLiteral("200x150"));
    const QCommandLineOption noKeepAspect(QStringLiteral("no-keep-aspect"),
                                          QStringLiteral("Use the thumbnail height as given."));
    const QCommandLineOption image(QStringLiteral("image"),
                                   QStringLiteral("Thumbnail format: jpg (quality 90), gif (web palette), bmp "
                                                  "(32 bits), png (lossless) or webp (quality 90). Default: jpg."),
                                   QStringLiteral("FORMAT"), QStringLiteral("jpg"));
    const QCommandLineOption id(
        QStringLiteral("id"), QStringLiteral("How IDs are made for one-URL-per-line lists: md5 or url. Default: md5."),
        QStringLiteral("KIND"), QStringLiteral("md5"));
    const QCommandLineOption noSkip(QStringLiteral("no-skip"),
                                    QStringLiteral("Capture rows whose thumbnail file already exists (by default they "
                                                   "are Skipped)."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Seconds a page may take to load (to its load event, and to "
                                                    "what --wait-for waits for) before its row is an Error; settling "
                                                    "and --wait come on top. Default: 30."),
                                     QStringLiteral("SECONDS"), QStringLiteral("30"));
    const QCommandLineOption retries(
        QStringLiteral("retries"),
        QStringLiteral("Further attempts, each on a fresh renderer, for a row that timed out, lost its connection, "
                       "or whose page stopped answering or could not be shown to have painted. HTTP and "
                       "certificate errors are not tried again. 0 to %1; default: 1.")
            .arg(kMaxRetries),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption jobs(QStringLiteral("jobs"),
                                  QStringLiteral("Pages captured at once, each in a view of its own (1 to %1). "
                                                 "Each view costs memory; see the README. Default: 4.")
                                      .arg(kMaxJobs),
                                  QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption shard(
        QStringLiteral("shard"),
        QStringLiteral("Capture only this worker's share of the list: the rows numbered n with (n - 1) mod N = I - 1. "
                       "Numbers count over the whole list, so N workers given 1/N to N/N share it out."),
        QStringLiteral("I/N"));
    const QCommandLineOption results(QStringLiteral("results"),
                                     QStringLiteral("Append one JSON object per finished row to FILE (JSON Lines), "
                                                    "each written as its row ends. With -, they go to standard "
                                                    "output and the report to standard error."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption gallery(QStringLiteral("gallery"),
                                     QStringLiteral("At the end, write a static HTML page showing every row's "
                                                    "thumbnail, failures first."),
                                     QStringLiteral("FILE.html"));
    const QCommandLineOption settleMax(
        QStringLiteral("settle-max"),
        QStringLiteral("After the load event, wait up to MS milliseconds for the page to settle: no request in "
                       "flight but long-lived ones, web fonts and the images in view loaded, no finite animation "
                       "running, no short timer pending, and a short quiet moment. A page not settled by then is "
                       "captured as it is (0 to %1; default: 5000).")
            .arg(kMaxSettleMs),
        QStringLiteral("MS"), QStringLiteral("5000"));
    const QCommandLineOption noSettle(QStringLiteral("no-settle"),
                                      QStringLiteral("Capture as soon as the page has loaded and painted; a consent "
                                                     "banner on screen then is still hidden."));
    const QCommandLineOption keepConsent(QStringLiteral("keep-consent"),
                                         QStringLiteral("Leave consent banners as the page shows them (by default "
                                                        "they are hidden, opting out where they allow)."));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("A further fixed wait before the capture, after the page has loaded "
                                                 "and settled (0 to %1).")
                                      .arg(kMaxWaitMs),
                                  QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption waitFor(QStringLiteral("wait-for"),
                                     QStringLiteral("Before the capture, wait until this JavaScript expression is "
                                                    "truthy in the page; not within --timeout, the row is an Error."),
                                     QStringLiteral("EXPR"));
    const QCommandLineOption waitForSelector(
        QStringLiteral("wait-for-selector"),
        QStringLiteral("Before the capture, wait until an element matching this CSS selector exists and is visible; "
                       "not within --timeout, the row is an Error."),
        QStringLiteral("CSS"));
    const QCommandLineOption fullPage(QStringLiteral("full-page"),
                                      QStringLiteral("Capture the whole height of the page, up to --max-height, not "
                                                     "only the viewport; the thumbnail is --thumb wide in the page's "
                                                     "proportions."));
    const QCommandLineOption maxHeight(QStringLiteral("max-height"),
                                       QStringLiteral("The tallest page --full-page captures, in CSS pixels (1 to %1). "
                                                      "Default: %1.")
                                           .arg(kMaxFullHeight),
                                       QStringLiteral("PX"), QString::number(kMaxFullHeight));
    const QCommandLineOption hide(QStringLiteral("hide"),
                                  QStringLiteral("Elements matching this CSS selector are not displayed (repeatable). "
                                                 "A text that is not a selector list is refused."),
                                  QStringLiteral("CSS"));
    const QCommandLineOption css(QStringLiteral("css"), QStringLiteral("A style sheet added to every page."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption js(QStringLiteral("js"),
                                QStringLiteral("A script run in every page after load, before the capture."),
                                QStringLiteral("FILE"));
    const QCommandLineOption quality(QStringLiteral("quality"),
                                     QStringLiteral("Quality of jpg and webp thumbnails, 1 to 100. Default: 90."),
                                     QStringLiteral("N"), QStringLiteral("90"));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("Device scale factor, 1 to 4 (fractions allowed): the page is laid "
                                                  "out in the browser's CSS pixels and painted N times as dense, and "
                                                  "the thumbnail is reduced from that. Default: 1."),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption colorScheme(QStringLiteral("color-scheme"),
                                         QStringLiteral("The page's prefers-color-scheme: light or dark."),
                                         QStringLiteral("SCHEME"));
    const QCommandLineOption reducedMotion(QStringLiteral("reduced-motion"),
                                           QStringLiteral("The page's prefers-reduced-motion is reduce."));
    const QCommandLineOption userAgent(QStringLiteral("user-agent"),
                                       QStringLiteral("The User-Agent header, and what navigator.userAgent says."),
                                       QStringLiteral("TEXT"));
    const QCommandLineOption header(QStringLiteral("header"),
                                    QStringLiteral("A header sent with every request of the page, as \"Name: value\" "
                                                   "(repeatable). An Authorization or Cookie header goes only to the "
                                                   "origin of the row's address, not along a redirect of the page or "
                                                   "a frame elsewhere (the engine keeps it on a redirect of one of "
                                                   "that origin's images or scripts)."),
                                    QStringLiteral("HEADER"));
    const QCommandLineOption cookies(QStringLiteral("cookies"),
                                     QStringLiteral("Cookies from a Netscape cookies.txt file (as curl, wget and "
                                                    "browser export tools write it); each goes only where its domain, "
                                                    "path and Secure flag allow."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption auth(QStringLiteral("auth"),
                                  QStringLiteral("HTTP Basic or Digest credentials, answered when the origin (scheme, "
                                                 "host and port) of the row's address asks; any other origin, a "
                                                 "frame's or a redirect's, is refused, as every request for "
                                                 "credentials is without them."),
                                  QStringLiteral("USER:PASSWORD"));
    const QCommandLineOption authFile(QStringLiteral("auth-file"),
                                      QStringLiteral("As --auth, from the first line of FILE, so the password stays "
                                                     "out of the process list."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption proxy(QStringLiteral("proxy"),
                                   QStringLiteral("Go through this proxy: http:// or https://, with an optional "
                                                  "user:password@, or socks5:// without one (the engine cannot offer "
                                                  "a SOCKS5 proxy credentials)."),
                                   QStringLiteral("URL"));
    const QCommandLineOption ignoreCertificateErrors(
        QStringLiteral("ignore-certificate-errors"),
        QStringLiteral("Capture pages whose TLS certificate fails (by default they are an Error)."));
    parser.addOptions({help,
                       version,
                       out,
                       format,
                       browser,
                       thumb,
                       noKeepAspect,
                       image,
                       id,
                       noSkip,
                       timeout,
                       retries,
                       jobs,
                       shard,
                       results,
                       gallery,
                       settleMax,
                       noSettle,
                       keepConsent,
                       wait,
                       waitFor,
                       waitForSelector,
                       fullPage,
                       maxHeight,
                       hide,
                       css,
                       js,
                       quality,
                       scale,
                       colorScheme,
                       reducedMotion,
                       userAgent,
                       header,
                       cookies,
                       auth,
                       authFile,
                       proxy,
                       ignoreCertificateErrors});
    parser.addPositionalArgument(QStringLiteral("LIST_FILE"),
                                 QStringLiteral("The URL list file to capture; - reads it from standard input."));

    if (!parser.parse(arguments)) return Invalid(message, parser.errorText());
    if (parser.isSet(help)) {
        *message = HelpText(parser, QStringLiteral("thumbrix-batch"));
        return ParseResult::Help;
    }
    if (parser.isSet(version)) {
        *message = VersionLine(QStringLiteral("thumbrix-batch"));
        return ParseResult::Version;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return Invalid(message, positional.isEmpty() ? QStringLiteral("No LIST_FILE given.")
                                                     : QStringLiteral("Only one LIST_FILE may be given."));
    options->ListFile = positional.first();
    const QByteArray listPath = QFile::encodeName(options->ListFile);
    // A folder is there, just not a list: reading it says so.
    if (options->ListFile != QLatin1String("-") && !ByteFile::FileExists(listPath) &&
        !ByteFile::DirectoryExists(listPath))
        return Invalid(message, QStringLiteral("The list file \"%1\" does not exist.").arg(options->ListFile));

    if (!parser.isSet(out)) return Invalid(message, QStringLiteral("--out FOLDER is required."));
    TBatchSettings& settings = options->Settings;
    settings.Folder = parser.value(out);
    if (!ByteFile::DirectoryExists(QFile::encodeName(settings.Folder)))
        return Invalid(message, QStringLiteral("The output folder \"%1\" does not exist.").arg(settings.Folder));

    const QString formatName = parser.value(format);
    if (formatName == QLatin1String("url"))
        options->Format = ListFormat::OneUrlPerLine;
    else if (formatName == QLatin1String("pipe"))
        options->Format = ListFormat::Pipe;
    else if (formatName == QLatin1String("comma"))
        options->Format = ListFormat::Comma;
    else
        return Invalid(message,
                       QStringLiteral("--list-format must be url, pipe or comma, not \"%1\".").arg(formatName));

    TCaptureSizes& sizes = settings.Sizes;
    if (!ParseSize(parser.value(browser), &sizes.BrowserX, &sizes.BrowserY))
        return Invalid(
            message,
            QStringLiteral("--browser must be two positive numbers as WxH, not \"%1\".").arg(parser.value(browser)));
    if (!ParseSize(parser.value(thumb), &sizes.ThumbX, &sizes.ThumbY))
        return Invalid(
            message,
            QStringLiteral("--thumb must be two positive numbers as WxH, not \"%1\".").arg(parser.value(thumb)));
    if (qMax(sizes.BrowserX, sizes.BrowserY) > kMaxSide || qMax(sizes.ThumbX, sizes.ThumbY) > kMaxSide)
        return Invalid(message, QStringLiteral("Sizes may be at most %1 pixels a side.").arg(kMaxSide));
    if (!parser.isSet(noKeepAspect)) {
        const std::optional<int> height = AspectThumbHeight(sizes.ThumbX, sizes.BrowserX, sizes.BrowserY);
        if (!height || *height <= 0 || *height > kMaxSide)
            return Invalid(message, QStringLiteral("A thumbnail %1 pixels wide in the browser's proportions would be "
                                                   "%2 pixels high.")
                                        .arg(sizes.ThumbX)
                                        .arg(height.value_or(0)));
        sizes.ThumbY = *height;
    }

    settings.Extension = parser.value(image);
    if (!kImageFormats.contains(settings.Extension))
        return Invalid(
            message, QStringLiteral("--image must be jpg, gif, bmp, png or webp, not \"%1\".").arg(settings.Extension));

    const QString idName = parser.value(id);
    if (idName == QLatin1String("md5"))
        options->IdKind = 0;
    else if (idName == QLatin1String("url"))
        options->IdKind = 1;
    else
        return Invalid(message, QStringLiteral("--id must be md5 or url, not \"%1\".").arg(idName));

    settings.Skip = !parser.isSet(noSkip);

    bool ok = false;
    const double seconds = parser.value(timeout).toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 24 * 3600)
        return Invalid(
            message,
            QStringLiteral("--timeout must be a positive number of seconds, not \"%1\".").arg(parser.value(timeout)));
    settings.TimeoutMs = qMax(1, int(seconds * 1000));

    const QString retriesText = parser.value(retries);
    settings.Retries = retriesText.toInt(&ok);
    if (!ok || settings.Retries < 0 || settings.Retries > kMaxRetries || retriesText.trimmed() != retriesText)
        return Invalid(message, QStringLiteral("--retries must be a whole number from 0 to %1, not \"%2\".")
                                    .arg(kMaxRetries)
                                    .arg(retriesText));

    const QString jobsText = parser.value(jobs);
    options->Jobs = jobsText.toInt(&ok);
    if (!ok || options->Jobs < 1 || options->Jobs > kMaxJobs || jobsText.trimmed() != jobsText)
        return Invalid(
            message,
            QStringLiteral("--jobs must be a whole number from 1 to %1, not \"%2\".").arg(kMaxJobs).arg(jobsText));

    if (parser.isSet(shard) && !ParseShard(parser.value(shard), &options->ShardIndex, &options->ShardCount))
        return Invalid(message, QStringLiteral("--shard must be I/N with 1 <= I <= N <= %1, not \"%2\".")
                                    .arg(kMaxShards)
                                    .arg(parser.value(shard)));
    const QString settleText = parser.value(settleMax);
    options->Capture.SettleMaxMs = settleText.toInt(&ok);
    if (!ok || options->Capture.SettleMaxMs < 0 || options->Capture.SettleMaxMs > kMaxSettleMs ||
        settleText.trimmed() != settleText)
        return Invalid(message, QStringLiteral("--settle-max must be a whole number of milliseconds from 0 to %1, "
                                               "not \"%2\".")
                                    .arg(kMaxSettleMs)
                                    .arg(settleText));
    options->Capture.Settle = !parser.isSet(noSettle) && options->Capture.SettleMaxMs > 0;
    options->Capture.HideConsent = !parser.isSet(keepConsent);

    TCaptureOptions& capture = options->Capture;
    if (!CaptureField::WaitMs(QStringLiteral("--wait"), parser.value(wait), &capture.WaitMs, message))
        return ParseResult::Invalid;
    if (parser.isSet(waitFor) &&
        !CaptureField::Condition(QStringLiteral("--wait-for"), parser.value(waitFor),
                                 QStringLiteral("a JavaScript expression"), &capture.WaitFor, message))
        return ParseResult::Invalid;
    if (parser.isSet(waitForSelector) &&
        !CaptureField::WaitSelector(QStringLiteral("--wait-for-selector"), parser.value(waitForSelector),
                                    &capture.WaitForSelector, message))
        return ParseResult::Invalid;
    capture.FullPage = parser.isSet(fullPage);
    settings.Sizes.FullPage = capture.FullPage;
    if (!CaptureField::MaxHeight(QStringLiteral("--max-height"), parser.value(maxHeight), &capture.MaxHeight, message))
        return ParseResult::Invalid;
    for (const QString& selector : parser.values(hide)) {
        if (!CaptureField::HideSelector(QStringLiteral("--hide"), selector, &capture.HideSelectors, message))
            return ParseResult::Invalid;
    }
    if (parser.isSet(css) &&
        !CaptureField::AddedFile(QStringLiteral("--css"), parser.value(css), &capture.StyleSheet, message))
        return ParseResult::Invalid;
    if (parser.isSet(js) &&
        !CaptureField::AddedFile(QStringLiteral("--js"), parser.value(js), &capture.Script, message))
        return ParseResult::Invalid;
    if (!CaptureField::Quality(QStringLiteral("--quality"), parser.value(quality), &settings.Quality, message))
        return ParseResult::Invalid;
    TEngineOptions& engine = options->Engine;
    if (!CaptureField::Scale(QStringLiteral("--scale"), parser.value(scale), &engine.Scale, message))
        return ParseResult::Invalid;
    settings.Sizes.Scale = engine.Scale;
    if (parser.isSet(colorScheme) &&
        !CaptureField::ColorScheme(QStringLiteral("--color-scheme"), parser.value(colorScheme), &engine.ColorScheme,
                                   message))
        return ParseResult::Invalid;
    engine.ReducedMotion = parser.isSet(reducedMotion);
    if (parser.isSet(userAgent) &&
        !CaptureField::UserAgent(QStringLiteral("--user-agent"), parser.value(userAgent), &capture.UserAgent, message))
        return ParseResult::Invalid;
    for (const QString& line : parser.values(header)) {
        if (!CaptureField::Header(QStringLiteral("--header"), line, &capture.Headers, message))
            return ParseResult::Invalid;
    }
    if (parser.isSet(cookies) &&
        !CaptureField::CookiesFile(QStringLiteral("--cookies"), parser.value(cookies), &capture.Cookies, message))
        return ParseResult::Invalid;
    if (parser.isSet(auth) && parser.isSet(authFile))
        return Invalid(message, QStringLiteral("--auth and --auth-file cannot both be given."));
    if (parser.isSet(auth) || parser.isSet(authFile)) {
        QByteArray text = parser.value(auth).toUtf8();
        if (parser.isSet(authFile)) {
            if (!CaptureField::AddedFile(QStringLiteral("--auth-file"), parser.value(authFile), &text, message))
                return ParseResult::Invalid;
            text = text.left(text.indexOf('\n') < 0 ? text.size() : text.indexOf('\n'));
            if (text.endsWith('\r')) text.chop(1);
        }
        if (!ParseCredentials(text, &capture.User, &capture.Password))
            // The password is not repeated back: it may be on a screen others see.
            return Invalid(message, parser.isSet(auth) ? QStringLiteral("--auth must be USER:PASSWORD, with a colon.")
                                                       : QStringLiteral("--auth-file \"%1\" must hold USER:PASSWORD, "
                                                                        "with a colon.")
                                                             .arg(parser.value(authFile)));
        capture.HasCredentials = true;
    }
    if (parser.isSet(proxy) && !CaptureField::Proxy(QStringLiteral("--proxy"), parser.value(proxy), &engine.ProxyServer,
                                                    &capture.ProxyUser, &capture.ProxyPassword, message))
        return ParseResult::Invalid;
    capture.IgnoreCertificateErrors = parser.isSet(ignoreCertificateErrors);

    options->ResultsFile = parser.value(results);
    if (parser.isSet(results) && options->ResultsFile.isEmpty())
        return Invalid(message, QStringLiteral("--results needs a file name, or - for standard output."));
    options->GalleryFile = parser.value(gallery);
    if (parser.isSet(gallery) && (options->GalleryFile.isEmpty() || options->GalleryFile == QLatin1String("-")))
        return Invalid(message, QStringLiteral("--gallery needs a file name."));
    return ParseResult::Run;
}

bool InShard(qint64 number, int index, int count)
{
    return number >= 1 && (number - 1) % count == index - 1;
}
