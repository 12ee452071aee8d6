#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

class QIODevice;
class TBitmap32;

// The quality of JPEG and WebP thumbnails unless the user sets another (1 to 100).
constexpr int kDefaultQuality = 90;

// Each writer encodes the whole bitmap to `device`; on failure it returns false with a
// reason in `error` and may have written part of the data. An empty bitmap gives a BMP of
// headers only; JPEG, GIF, PNG and WebP have no way to hold it and fail. `quality` (1 to
// 100) is for the lossy JPEG and WebP; the others are exact and do without it.
bool WriteBmp(const TBitmap32& bitmap, QIODevice* device, QString* error, int quality = kDefaultQuality);
bool WriteJpeg(const TBitmap32& bitmap, QIODevice* device, QString* error, int quality = kDefaultQuality);
bool WriteGif(const TBitmap32& bitmap, QIODevice* device, QString* error, int quality = kDefaultQuality);
// Lossless 8-bit RGB, no alpha.
bool WritePng(const TBitmap32& bitmap, QIODevice* device, QString* error, int quality = kDefaultQuality);
// Lossy, no alpha; at most 16383 pixels a side.
bool WriteWebp(const TBitmap32& bitmap, QIODevice* device, QString* error, int quality = kDefaultQuality);

using ThumbnailWriter = bool (*)(const TBitmap32&, QIODevice*, QString*, int quality);

// The writer for a file name's extension (".bmp", ".jpg", ".gif", ".png", ".webp", compared
// exactly), or nullptr for any other name.
ThumbnailWriter WriterForPath(const QByteArray& path);

// Index into the 216-colour web palette for one pixel, levels rounded as (c + 3) / 51.
int WebPaletteIndex(uint32_t pixel);
