// --header, --user-agent and the Options window's Headers and User agent.
#include "FuzzCheck.h"
#include "capture/CaptureChoices.h"
#include "capture/CaptureOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(Fuzz::Bytes(data, size));
    QByteArray name;
    QByteArray value;
    if (ParseHeaderLine(text, &name, &value)) {
        // Anything else would be taken, dropped, or end the header early on the wire.
        FUZZ_REQUIRE(!Fuzz::HasControl(text, false), "an accepted header line holds no control character but tab");
        FUZZ_REQUIRE(!name.isEmpty() && !name.contains(':') && !Fuzz::HasControl(name), "a header's name is a token");
        FUZZ_REQUIRE(!Fuzz::HasControl(value, false), "a header's value holds no control character but tab");
        QByteArray againName;
        QByteArray againValue;
        const QString again = QString::fromLatin1(name) + QStringLiteral(": ") + QString::fromUtf8(value);
        FUZZ_REQUIRE(ParseHeaderLine(again, &againName, &againValue) && againName == name && againValue == value,
                     "a header written back as Name: value reads the same");
    }
    QList<QPair<QByteArray, QByteArray>> headers;
    QString message;
    if (CaptureField::Header(QStringLiteral("--header"), text, &headers, &message))
        FUZZ_REQUIRE(headers.size() == 1 && !Fuzz::HasControl(headers.first().second, false),
                     "--header takes no control character but tab");
    QByteArray agent;
    if (CaptureField::UserAgent(QStringLiteral("--user-agent"), text, &agent, &message)) {
        FUZZ_REQUIRE(!Fuzz::HasControl(agent, false), "a user agent holds no control character but tab");
        FUZZ_REQUIRE(agent == text.toUtf8(), "a user agent is sent as given");
    }
    return 0;
}
