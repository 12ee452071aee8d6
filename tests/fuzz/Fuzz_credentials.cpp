// --auth and the Options window's User: "USER:PASSWORD".
#include "FuzzCheck.h"
#include "capture/CaptureOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = Fuzz::Bytes(data, size);
    QString user;
    QString password;
    if (!ParseCredentials(text, &user, &password)) return 0;
    FUZZ_REQUIRE(!user.isEmpty() && !user.contains(QLatin1Char(':')), "a user is not empty and holds no colon");
    for (const QString& part : {user, password})
        FUZZ_REQUIRE(!part.contains(QChar(0)) && !part.contains(QLatin1Char('\r')) && !part.contains(QLatin1Char('\n')),
                     "credentials hold no NUL or line break");
    FUZZ_REQUIRE(QString::fromUtf8(text) == user + QLatin1Char(':') + password, "credentials are taken whole");
    return 0;
}
