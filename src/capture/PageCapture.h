#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

class WebBrowser;

// Sizes read from the settings panel at the moment of the capture.
struct TCaptureSizes
{
    int BrowserX = 800;
    int BrowserY = 600;
    int ThumbX = 200;
    int ThumbY = 150;
    // Device pixels per CSS pixel: the page bitmap is this much denser than the browser.
    double Scale = 1;
    // The page bitmap is the browser's whole view, however tall, and the thumbnail ThumbX
    // wide in its proportions.
    bool FullPage = false;
};

// Paints the browser's current view into a BrowserX x BrowserY bitmap (times Scale), area-averages it to
// ThumbX x ThumbY and writes it in the format the path's extension names (".jpg", ".gif",
// ".bmp", ".png", ".webp"), replacing any file of that name.
//
// Returns true when it is done, also when it wrote nothing: no document to draw, or an
// extension it does not know. Returns false with a reason in `error` when a size cannot
// be used or the file cannot be written; no partial file is left.
// `quality` (1 to 100) is that of a JPEG or WebP file.
// `written`, when given, receives the thumbnail's size.
bool CapturePageToFile(WebBrowser& browser, const TCaptureSizes& sizes, const QByteArray& path, QString* error,
                       int quality = 90, QSize* written = nullptr);
