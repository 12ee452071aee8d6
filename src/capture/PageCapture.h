#pragma once

#include <QByteArray>
#include <QString>

class WebBrowser;

// Sizes read from the settings panel at the moment of the capture.
struct TCaptureSizes
{
    int BrowserX = 800;
    int BrowserY = 600;
    int ThumbX = 200;
    int ThumbY = 150;
};

// Paints the browser's current view into a BrowserX x BrowserY bitmap, area-averages it to
// ThumbX x ThumbY and writes it in the format the path's extension names (".jpg", ".gif",
// ".bmp", ".png", ".webp"), replacing any file of that name.
//
// Returns true when it is done, also when it wrote nothing: no document to draw, or an
// extension it does not know. Returns false with a reason in `error` when a size cannot
// be used or the file cannot be written; no partial file is left.
// `quality` (1 to 100) is that of a JPEG or WebP file.
bool CapturePageToFile(WebBrowser& browser, const TCaptureSizes& sizes, const QByteArray& path, QString* error,
                       int quality = 90);
