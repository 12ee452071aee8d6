#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// The chosen banner's picture, read from "banner<N>.dat" in the program folder and decoded
// by the extension of the profile's image name: animated when the lower-cased name holds
// ".gif", else a still picture (bmp, ico, jpg, jpeg).
struct TBannerPicture
{
    bool Animated = false;
    QByteArray GifData; // for the animated view
    QImage Still;
    QSize Size;
};

enum class TBannerResult {
    None, // no image name, or no banner file: the banner panel is hidden
    Loaded,
    Failed, // the file is there but cannot be decoded; `error` says why
};

QString BannerFilePath(const QString& programFolder, int bannerIndex);
TBannerResult LoadBannerPicture(const QString& programFolder, int bannerIndex, const QByteArray& imageName,
                                TBannerPicture* picture, QString* error);
