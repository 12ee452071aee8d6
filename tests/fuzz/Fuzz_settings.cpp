// config.ini: whatever the file held before, what the window saves is what it loads next.
#include "FuzzCheck.h"
#include "capture/SettingsFile.h"
#include "common/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// One line of text, as a line edit holds it; an INI value keeps no blanks round it.
QString Line(FuzzedDataProvider& in)
{
    const std::string bytes = in.ConsumeRandomLengthString(200);
    QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    text.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    while (text.startsWith(QLatin1Char(' ')) || text.startsWith(QLatin1Char('\t')))
        text.remove(0, 1);
    while (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('\t')))
        text.chop(1);
    return text;
}

// Several lines, each kept only when `take` does, as the Options window keeps them.
template <typename Take> QStringList Lines(FuzzedDataProvider& in, Take take)
{
    QStringList kept;
    const std::string bytes = in.ConsumeRandomLengthString(400);
    for (QString line : QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (!line.contains(QLatin1Char('\r')) && take(line)) kept << line;
    }
    return kept;
}

void Write(const QByteArray& path, const std::string& bytes)
{
    QFile file(QString::fromUtf8(path));
    FUZZ_REQUIRE(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the scratch config.ini opens");
    file.write(bytes.data(), qint64(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    FuzzedDataProvider in(data, size);
    const QString folder = dir.path();
    const QByteArray path = SettingsFilePath(folder);
    const std::string before = in.ConsumeRandomLengthString(4096);
    Write(path, before);

    // The file as it was, untouched, comes back byte for byte.
    TIniFile ini;
    QString error;
    if (ini.Load(path, &error))
        FUZZ_REQUIRE(ini.ToBytes() == QByteArray::fromStdString(before), "an INI file is kept as read");

    QString message;
    TCaptureChoices set;
    set.WaitFor = Line(in);
    set.WaitForSelector = Line(in);
    const QString scale = Line(in);
    if (!CaptureField::Scale({}, scale, &set.Scale, &message)) set.Scale = 1;
    set.HideSelectors = Lines(in, [&message](const QString& line) {
        QStringList ignored;
        return CaptureField::HideSelector({}, line, &ignored, &message);
    });
    set.StyleSheetFile = Line(in);
    set.ScriptFile = Line(in);
    QByteArray agent;
    set.UserAgent = Line(in);
    if (!CaptureField::UserAgent({}, set.UserAgent, &agent, &message)) set.UserAgent.clear();
    set.Headers = Lines(in, [&message](const QString& line) {
        QList<QPair<QByteArray, QByteArray>> ignored;
        return CaptureField::Header({}, line, &ignored, &message);
    });
    set.CookiesFile = Line(in);
    set.User = Line(in).remove(QLatin1Char(':'));
    set.Password = Line(in);
    set.Proxy = Line(in);
    QByteArray server;
    QString user;
    QString password;
    if (!CaptureField::Proxy({}, set.Proxy, &server, &user, &password, &message)) set.Proxy.clear();
    set.WaitMs = in.ConsumeIntegralInRange(0, kMaxWaitMs);
    set.FullPage = in.ConsumeBool();
    set.MaxHeight = in.ConsumeIntegralInRange(1, kMaxFullHeight);
    set.ColorScheme =
        QStringList{QString(), QStringLiteral("light"), QStringLiteral("dark")}.at(in.ConsumeIntegralInRange(0, 2));
    set.ReducedMotion = in.ConsumeBool();
    set.Quality = in.ConsumeIntegralInRange(1, 100);
    set.IgnoreCertificateErrors = in.ConsumeBool();

    TCaptureSettings settings;
    settings.Folder = Line(in);
    settings.BrowserX = in.ConsumeIntegral<int>();
    settings.BrowserY = in.ConsumeIntegral<int>();
    settings.ThumbX = in.ConsumeIntegral<int>();
    settings.ThumbY = in.ConsumeIntegral<int>();
    settings.KeepAspectRatio = in.ConsumeBool();
    settings.Skip = in.ConsumeBool();
    settings.LinkType = in.ConsumeIntegralInRange(0, 2);
    settings.PageTimeout = in.ConsumeIntegralInRange(0, kMaxPageTimeout);
    settings.PagesAtOnce = in.ConsumeIntegralInRange(1, kMaxPagesAtOnce);

    // Restored on every save, a session's password is never written.
    TCaptureChoices expected = set;
    expected.Password.clear();
    expected.Proxy = ProxyWithoutPassword(set.Proxy);
    FUZZ_REQUIRE(SaveCaptureChoices(folder, set, &error), "config.ini is written");
    FUZZ_REQUIRE(SaveSettingsFile(folder, settings, &error), "config.ini is written");
    const TCaptureChoices got = LoadCaptureChoices(folder);
    FUZZ_REQUIRE(got.WaitMs == expected.WaitMs && got.FullPage == expected.FullPage &&
                     got.MaxHeight == expected.MaxHeight && got.ReducedMotion == expected.ReducedMotion &&
                     got.Quality == expected.Quality && got.IgnoreCertificateErrors == expected.IgnoreCertificateErrors,
                 "the options' numbers and switches read back as saved");
    FUZZ_REQUIRE(got.WaitFor == expected.WaitFor && got.WaitForSelector == expected.WaitForSelector,
                 "the conditions read back as saved");
    FUZZ_REQUIRE(got.Scale == expected.Scale, "the scale reads back as saved");
    FUZZ_REQUIRE(got.ColorScheme == expected.ColorScheme, "the colour scheme reads back as saved");
    FUZZ_REQUIRE(got.HideSelectors == expected.HideSelectors, "the hidden elements read back as saved");
    FUZZ_REQUIRE(got.Headers == expected.Headers, "the headers read back as saved");
    FUZZ_REQUIRE(got.UserAgent == expected.UserAgent, "the user agent reads back as saved");
    FUZZ_REQUIRE(got.StyleSheetFile == expected.StyleSheetFile && got.ScriptFile == expected.ScriptFile &&
                     got.CookiesFile == expected.CookiesFile,
                 "the files read back as saved");
    FUZZ_REQUIRE(got.User == expected.User && got.Password.isEmpty(), "the user reads back as saved, without password");
    FUZZ_REQUIRE(got.Proxy == expected.Proxy, "the proxy reads back as saved, without password");

    const TCaptureSettings loaded = LoadSettingsFile(folder);
    FUZZ_REQUIRE(loaded.Folder == settings.Folder && loaded.BrowserX == settings.BrowserX &&
                     loaded.BrowserY == settings.BrowserY && loaded.ThumbX == settings.ThumbX &&
                     loaded.ThumbY == settings.ThumbY && loaded.KeepAspectRatio == settings.KeepAspectRatio &&
                     loaded.Skip == settings.Skip && loaded.LinkType == settings.LinkType &&
                     loaded.PageTimeout == settings.PageTimeout && loaded.PagesAtOnce == settings.PagesAtOnce,
                 "the settings panel reads back as saved");
    return 0;
}
