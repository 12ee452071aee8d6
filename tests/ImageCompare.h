#pragma once

#include <QImage>

#include <cmath>

// The PSNR of two pictures of one size over their RGB channels; 0 when the sizes differ,
// 99 when they are the same.
inline double Psnr(const QImage& a, const QImage& b)
{
    if (a.isNull() || a.size() != b.size()) return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += double(d) * d;
        }
    }
    const double mse = squares / (double(a.width()) * a.height() * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}
