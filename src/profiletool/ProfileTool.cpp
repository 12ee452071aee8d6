#include "profiletool/ProfileTool.h"

#include "common/Version.h"

#include "brand/BrandProfile.h"
#include "common/UUtils.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSaveFile>

namespace {

const QString kDescription =
    QStringLiteral("Makes and checks the brand profile \"dbsettings.dat\" that Thumbrix reads from its own folder.\n"
                   "\n"
                   "Commands:\n"
                   "  encrypt PLAIN OUT     Encrypts the profile text in PLAIN into OUT with the profile password.\n"
                   "                        Each run draws a new salt, so the bytes differ every time. OUT is\n"
                   "                        replaced as a whole or not at all.\n"
                   "  decrypt PROFILE OUT   Decrypts PROFILE into OUT. A file made with another password, or\n"
                   "                        damaged, is refused and OUT is not written.\n"
                   "  show PROFILE          Prints the fields as Thumbrix reads them, one \"Name: value\" per line in\n"
                   "                        reading order, then the Welcome, Banner and Link entries found with\n"
                   "                        their numbers, then the stored LastNewsId. Inside a value a carriage\n"
                   "                        return shows as \\r, a line feed as \\n, other control bytes as \\xNN\n"
                   "                        and a backslash as \\\\.\n"
                   "\n"
                   "Profile text: each value stands between <%%Name%%> and <%%/Name%%>, verbatim, line breaks\n"
                   "included; names may be written in any letter case. Thumbrix looks for the tags in the order\n"
                   "`show` prints them, each after the previous value found, so a tag written before an earlier\n"
                   "field's value is not seen (NewsAvailable is worked out from the tier and its IDs; LastNewsId\n"
                   "may stand anywhere). List entries are <%%Welcome1%%> ... <%%Welcome16%%>, then Banner1..16\n"
                   "(picture name^click address), then Link1..16 (caption^address); a list ends at its first\n"
                   "missing or empty entry. In AffiliateURL every %%AFFILIATEID%% becomes the AffiliateID.\n"
                   "\n"
                   "Exit status: 0 success, 1 failed (cannot read or write, not authentic), 2 bad usage.");

void AppendLine(QByteArray* out, const char* name, const QByteArray& value)
{
    static const char hex[] = "0123456789ABCDEF";
    out->append(name);
    out->append(": ");
    // One field per line: the bytes that would break the line (or be invisible) are escaped.
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\')
            out->append("\\\\");
        else if (c == '\r')
            out->append("\\r");
        else if (c == '\n')
            out->append("\\n");
        else if (u < 0x20 || u == 0x7f)
            out->append("\\x").append(hex[u >> 4]).append(hex[u & 0xf]);
        else
            out->append(c);
    }
    out->append('\n');
}

void AppendEntries(QByteArray* out, const char* name, const QList<QByteArray>& entries)
{
    for (int i = 0; i < entries.size(); ++i)
        AppendLine(out, (QByteArray(name) + QByteArray::number(i + 1)).constData(), entries.at(i));
}

QByteArray Message(const QString& text)
{
    return QByteArrayLiteral("thumbrix-profile: ") + text.toUtf8() + '\n';
}

int Fail(QByteArray* err, const QString& text)
{
    err->append(Message(text));
    return ProfileToolFailed;
}

int Encrypt(const QString& plainPath, const QString& outPath, QByteArray* err)
{
    QFile source(plainPath);
    if (!source.open(QIODevice::ReadOnly))
        return Fail(err, QStringLiteral("cannot read \"%1\": %2").arg(plainPath, source.errorString()));
    const QByteArray plain = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return Fail(err, QStringLiteral("cannot read \"%1\": %2").arg(plainPath, source.errorString()));
    QString error;
    if (!EncryptBytesToFile(plain, outPath, &error)) return Fail(err, error);
    return ProfileToolOk;
}

// Unlike the program, which reads whatever a damaged profile decrypts to, the tool refuses
// it: a reseller checking a file wants to hear that it is wrong.
int DecryptAuthentic(const QString& profilePath, QByteArray* plain, QByteArray* err)
{
    bool authentic = false;
    QString error;
    if (!DecryptFileToBytes(profilePath, plain, &authentic, &error)) return Fail(err, error);
    if (!authentic)
        return Fail(err, QStringLiteral("\"%1\" is not an authentic profile: it was made with another password "
                                        "or is damaged")
                             .arg(profilePath));
    return ProfileToolOk;
}

int Decrypt(const QString& profilePath, const QString& outPath, QByteArray* err)
{
    QByteArray plain;
    const int status = DecryptAuthentic(profilePath, &plain, err);
    if (status != ProfileToolOk) return Fail(err, QStringLiteral("nothing written to \"%1\"").arg(outPath));
    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(plain) != plain.size() || !out.commit())
        return Fail(err, QStringLiteral("cannot write \"%1\": %2").arg(outPath, out.errorString()));
    return ProfileToolOk;
}

int Show(const QString& profilePath, QByteArray* out, QByteArray* err)
{
    QByteArray plain;
    const int status = DecryptAuthentic(profilePath, &plain, err);
    if (status == ProfileToolOk) out->append(DescribeProfile(plain));
    return status;
}

int BadUsage(QByteArray* err, const QString& text)
{
    err->append(Message(text));
    err->append(Message(QStringLiteral("try 'thumbrix-profile --help' for more information.")));
    return ProfileToolBadUsage;
}

} // namespace

QByteArray DescribeProfile(const QByteArray& plain)
{
    TProfileLists lists;
    const TBrandProfile p = ParseProfileFields(plain, &lists);
    QByteArray out;
    AppendLine(&out, "ApplicationName", p.ApplicationName);
    AppendLine(&out, "BranderCode", p.BranderCode);
    AppendLine(&out, "BranderType", p.BranderType);
    AppendLine(&out, "AffiliateURL", p.AffiliateURL);
    AppendLine(&out, "AffiliateTYPE", p.AffiliateTYPE);
    AppendLine(&out, "AffiliateID", p.AffiliateID);
    AppendLine(&out, "MasterNewsBaseURL", p.MasterNewsBaseURL);
    AppendLine(&out, "PlatinumNewsBaseURL", p.PlatinumNewsBaseURL);
    AppendLine(&out, "GoldNewsBaseURL", p.GoldNewsBaseURL);
    AppendLine(&out, "MasterPublID", p.MasterPublID);
    AppendLine(&out, "PlatinumPublID", p.PlatinumPublID);
    AppendLine(&out, "GoldPublID", p.GoldPublID);
    AppendLine(&out, "NewsAvailable", p.NewsAvailable ? QByteArrayLiteral("yes") : QByteArrayLiteral("no"));
    AppendLine(&out, "MakeMoneyButton", p.MakeMoneyButton);
    AppendLine(&out, "AppHelpURL", p.AppHelpURL);
    AppendLine(&out, "CopyrightYears", p.CopyrightYears);
    AppendLine(&out, "CopyrightCompany", p.CopyrightCompany);
    AppendLine(&out, "AboutText", p.AboutText);
    AppendEntries(&out, "Welcome", lists.Welcome);
    AppendEntries(&out, "Banner", lists.Banner);
    AppendEntries(&out, "Link", lists.Link);
    QByteArray cursor = JoinProfileLines(plain);
    AppendLine(&out, "LastNewsId",
               ExtractTag(QByteArrayLiteral("<%%LastNewsId%%>"), QByteArrayLiteral("<%%/LastNewsId%%>"), cursor));
    return out;
}

int RunProfileTool(const QStringList& arguments, QByteArray* out, QByteArray* err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser.addOption(help);
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("encrypt, decrypt or show."),
                                 QStringLiteral("encrypt PLAIN OUT | decrypt PROFILE OUT | show PROFILE"));

    if (!parser.parse(arguments)) return BadUsage(err, parser.errorText());
    if (parser.isSet(help)) {
        out->append(HelpText(parser, QStringLiteral("thumbrix-profile")).toUtf8());
        return ProfileToolOk;
    }
    if (parser.isSet(version)) {
        out->append(VersionLine(QStringLiteral("thumbrix-profile")).toUtf8());
        return ProfileToolOk;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) return BadUsage(err, QStringLiteral("no command given."));
    const QString command = args.first();
    const auto expect = [&](int count, const QString& usage) {
        if (args.size() == count + 1) return true;
        BadUsage(err, QStringLiteral("usage: thumbrix-profile %1").arg(usage));
        return false;
    };
    if (command == QLatin1String("encrypt")) {
        if (!expect(2, QStringLiteral("encrypt PLAIN OUT"))) return ProfileToolBadUsage;
        return Encrypt(args.at(1), args.at(2), err);
    }
    if (command == QLatin1String("decrypt")) {
        if (!expect(2, QStringLiteral("decrypt PROFILE OUT"))) return ProfileToolBadUsage;
        return Decrypt(args.at(1), args.at(2), err);
    }
    if (command == QLatin1String("show")) {
        if (!expect(1, QStringLiteral("show PROFILE"))) return ProfileToolBadUsage;
        return Show(args.at(1), out, err);
    }
    return BadUsage(err, QStringLiteral("unknown command \"%1\".").arg(command));
}
