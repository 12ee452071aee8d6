// thumbrix-profile: encrypts, decrypts and shows a reseller's brand profile.

#include "profiletool/ProfileTool.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("thumbrix-profile"));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);

    QByteArray out;
    QByteArray err;
    const int status = RunProfileTool(arguments, &out, &err);
    std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
    std::fwrite(err.constData(), 1, static_cast<std::size_t>(err.size()), stderr);
    return status;
}
