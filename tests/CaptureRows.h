#pragma once

#include "urllist/UrlJob.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

// A pending row of a batch.
inline TUrlJob PendingJob(const QByteArray& id, const QByteArray& url)
{
    TUrlJob job;
    job.Id = id;
    job.Url = url;
    job.Status = JobStatus::Pending;
    return job;
}

// Every pixel of the picture is `colour`, give or take `tolerance` per channel.
inline bool IsSolid(const QImage& image, QRgb colour, int tolerance = 0)
{
    if (image.isNull()) return false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAbs(qRed(p) - qRed(colour)) > tolerance || qAbs(qGreen(p) - qGreen(colour)) > tolerance ||
                qAbs(qBlue(p) - qBlue(colour)) > tolerance)
                return false;
        }
    }
    return true;
}

// A PNG file of one colour.
inline QByteArray SolidPng(QRgb colour, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
