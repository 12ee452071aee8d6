#include "capture/ThumbnailWriters.h"

#include "capture/ManipulateBitmaps.h"

#include <QIODevice>
#include <QtEndian>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <gif_lib.h>
#include <jerror.h>
#include <jpeglib.h>
}
#include <png.h>
#include <webp/encode.h>

// TBitmap32 rows go to libjpeg, libpng and libwebp as they are, read as the bytes blue,
// green, red, unused.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "BGRX input needs a little-endian host");

namespace {

bool Fail(QString* error, const QString& text)
{
    if (error) *error = text;
    return false;
}

bool WriteAll(QIODevice* device, const char* data, qint64 length)
{
    return device->write(data, length) == length;
}

constexpr uint32_t kBmpFileHeaderBytes = 14;
constexpr uint32_t kBmpInfoHeaderBytes = 40;
constexpr uint32_t kBmpHeaderBytes = kBmpFileHeaderBytes + kBmpInfoHeaderBytes;

constexpr std::size_t kJpegBufferBytes = 4096;

struct TJpegDestination : jpeg_destination_mgr
{
    QIODevice* device = nullptr;
    bool deviceFailed = false;
    JOCTET buffer[kJpegBufferBytes];
};

struct TJpegErrors : jpeg_error_mgr
{
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void InitDestination(j_compress_ptr cinfo)
{
    auto* dest = static_cast<TJpegDestination*>(cinfo->dest);
    dest->next_output_byte = dest->buffer;
    dest->free_in_buffer = kJpegBufferBytes;
}

void FlushDestination(j_compress_ptr cinfo, std::size_t length)
{
    auto* dest = static_cast<TJpegDestination*>(cinfo->dest);
    if (length > 0 && !WriteAll(dest->device, reinterpret_cast<const char*>(dest->buffer), qint64(length))) {
        dest->deviceFailed = true;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    FlushDestination(cinfo, kJpegBufferBytes);
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    FlushDestination(cinfo, kJpegBufferBytes - cinfo->dest->free_in_buffer);
}

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    auto* errors = static_cast<TJpegErrors*>(cinfo->err);
    (*errors->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void JpegIgnoreMessage(j_common_ptr) {}

// error_exit jumps back into this function, so nothing in it may have a destructor.
bool CompressJpeg(const TBitmap32& bitmap, int quality, jpeg_compress_struct* cinfo, TJpegErrors* errors,
                  TJpegDestination* dest)
{
    if (setjmp(errors->jump)) {
        jpeg_destroy_compress(cinfo);
        return false;
    }

    jpeg_create_compress(cinfo);
    cinfo->dest = dest;
    cinfo->image_width = JDIMENSION(bitmap.Width());
    cinfo->image_height = JDIMENSION(bitmap.Height());
    cinfo->input_components = 4;
    cinfo->in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);

    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        auto* pixels = const_cast<uint32_t*>(bitmap.Row(int(cinfo->next_scanline)));
        JSAMPROW row = reinterpret_cast<JSAMPROW>(pixels);
        if (jpeg_write_scanlines(cinfo, &row, 1) != 1) {
            std::snprintf(errors->message, sizeof errors->message, "the encoder took no scanline");
            jpeg_destroy_compress(cinfo);
            return false;
        }
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    return true;
}

struct TGifOutput
{
    QIODevice* device = nullptr;
    bool failed = false;
};

int WriteGifBytes(GifFileType* gif, const GifByteType* data, int length)
{
    auto* output = static_cast<TGifOutput*>(gif->UserData);
    if (output->failed) return -1;
    if (!WriteAll(output->device, reinterpret_cast<const char*>(data), length)) {
        output->failed = true;
        return -1;
    }
    return length;
}

struct TGifCloser
{
    void operator()(GifFileType* gif) const
    {
        int ignored = 0;
        EGifCloseFile(gif, &ignored);
    }
};

struct TGifMapDeleter
{
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

constexpr int kWebLevels = 6;
constexpr int kWebColours = kWebLevels * kWebLevels * kWebLevels;
constexpr int kGifColours = 256;

bool GifFail(QString* error, const TGifOutput& output, int code)
{
    if (output.failed)
        return Fail(error, QStringLiteral("Cannot write the GIF data: %1").arg(output.device->errorString()));
    const char* reason = GifErrorString(code);
    return Fail(error, QStringLiteral("GIF encoder: %1")
                           .arg(reason ? QString::fromUtf8(reason) : QStringLiteral("error %1").arg(code)));
}

struct TPngOutput
{
    QIODevice* device = nullptr;
    bool deviceFailed = false;
    char message[200];
};

[[noreturn]] void PngErrorExit(png_structp png, png_const_charp message)
{
    auto* output = static_cast<TPngOutput*>(png_get_error_ptr(png));
    std::snprintf(output->message, sizeof output->message, "%s", message);
    png_longjmp(png, 1);
}

void PngIgnoreWarning(png_structp, png_const_charp) {}

void WritePngBytes(png_structp png, png_bytep data, size_t length)
{
    auto* output = static_cast<TPngOutput*>(png_get_io_ptr(png));
    if (!WriteAll(output->device, reinterpret_cast<const char*>(data), qint64(length))) {
        output->deviceFailed = true;
        png_error(png, "write failed");
    }
}

// Without a flush function libpng would fflush() our device as if it were a FILE*.
void FlushPng(png_structp) {}

// PngErrorExit jumps back into this function, so nothing in it may have a destructor.
bool CompressPng(const TBitmap32& bitmap, TPngOutput* output)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, output, PngErrorExit, PngIgnoreWarning);
    if (!png) {
        std::snprintf(output->message, sizeof output->message, "cannot start the encoder");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(output->message, sizeof output->message, "cannot start the encoder");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }

    png_set_write_fn(png, output, WritePngBytes, FlushPng);
    png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Both take the colour type png_write_info has just set.
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < bitmap.Height(); ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(bitmap.Row(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

struct TWebpOutput
{
    QIODevice* device = nullptr;
    bool failed = false;
};

int WriteWebpBytes(const uint8_t* data, size_t length, const WebPPicture* picture)
{
    auto* output = static_cast<TWebpOutput*>(picture->custom_ptr);
    if (!WriteAll(output->device, reinterpret_cast<const char*>(data), qint64(length))) {
        output->failed = true;
        return 0;
    }
    return 1;
}

struct TWebpPictureFree
{
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

QString WebpEncoderError(WebPEncodingError code)
{
    switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return QStringLiteral("out of memory");
    case VP8_ENC_ERROR_BAD_DIMENSION:
        return QStringLiteral("the size cannot be encoded");
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return QStringLiteral("the image data is too large");
    default:
        return QStringLiteral("error %1").arg(int(code));
    }
}

struct TWriterEntry
{
    const char* extension;
    ThumbnailWriter writer;
};

constexpr TWriterEntry kWriters[] = {
    {".bmp", WriteBmp}, {".jpg", WriteJpeg}, {".gif", WriteGif}, {".png", WritePng}, {".webp", WriteWebp},
};

} // namespace

bool WriteBmp(const TBitmap32& bitmap, QIODevice* device, QString* error, int /*quality*/)
{
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const uint64_t imageBytes = 4 * uint64_t(width) * uint64_t(height);
    if (kBmpHeaderBytes + imageBytes > UINT32_MAX)
        return Fail(error, QStringLiteral("The image is too large for a bitmap file"));

    uchar header[kBmpHeaderBytes] = {};
    header[0] = 'B';
    header[1] = 'M';
    qToLittleEndian<quint32>(quint32(kBmpHeaderBytes + imageBytes), header + 2);
    qToLittleEndian<quint32>(kBmpHeaderBytes, header + 10);
    qToLittleEndian<quint32>(kBmpInfoHeaderBytes, header + 14);
    qToLittleEndian<qint32>(width, header + 18);
    qToLittleEndian<qint32>(height, header + 22); // positive: the last row comes first
    qToLittleEndian<quint16>(1, header + 26);     // planes
    qToLittleEndian<quint16>(32, header + 28);    // bits per pixel
    qToLittleEndian<quint32>(0, header + 30);     // BI_RGB
    qToLittleEndian<quint32>(quint32(imageBytes), header + 34);
    if (!WriteAll(device, reinterpret_cast<const char*>(header), kBmpHeaderBytes))
        return Fail(error, QStringLiteral("Cannot write the bitmap file: %1").arg(device->errorString()));

    std::vector<uchar> line(4 * std::size_t(width));
    for (int y = height - 1; y >= 0; --y) {
        const uint32_t* row = bitmap.Row(y);
        for (int x = 0; x < width; ++x)
            qToLittleEndian<quint32>(row[x] & 0x00FFFFFF, line.data() + 4 * std::size_t(x));
        if (!WriteAll(device, reinterpret_cast<const char*>(line.data()), qint64(line.size())))
            return Fail(error, QStringLiteral("Cannot write the bitmap file: %1").arg(device->errorString()));
    }
    return true;
}

bool WriteJpeg(const TBitmap32& bitmap, QIODevice* device, QString* error, int quality)
{
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    TJpegErrors errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = JpegErrorExit;
    errors.output_message = JpegIgnoreMessage;
    errors.message[0] = '\0';

    TJpegDestination dest;
    dest.init_destination = InitDestination;
    dest.empty_output_buffer = EmptyOutputBuffer;
    dest.term_destination = TermDestination;
    dest.device = device;

    if (CompressJpeg(bitmap, quality, &cinfo, &errors, &dest)) return true;
    if (dest.deviceFailed)
        return Fail(error, QStringLiteral("Cannot write the JPEG data: %1").arg(device->errorString()));
    return Fail(error, QStringLiteral("JPEG encoder: %1").arg(QString::fromLocal8Bit(errors.message)));
}

bool WriteGif(const TBitmap32& bitmap, QIODevice* device, QString* error, int /*quality*/)
{
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    // giflib would write an image without any data, and silently cut sizes to 16 bits.
    if (bitmap.IsEmpty()) return Fail(error, QStringLiteral("A GIF image needs at least one pixel"));
    if (width > 0xFFFF || height > 0xFFFF) return Fail(error, QStringLiteral("The image is too large for GIF"));

    TGifOutput output;
    output.device = device;
    int code = 0;
    std::unique_ptr<GifFileType, TGifCloser> gif(EGifOpen(&output, WriteGifBytes, &code));
    if (!gif) return GifFail(error, output, code);
    EGifSetGifVersion(gif.get(), false);

    if (EGifPutScreenDesc(gif.get(), width, height, 8, 0, nullptr) == GIF_ERROR)
        return GifFail(error, output, gif->Error);

    GifColorType colours[kGifColours] = {};
    for (int i = 0; i < kWebColours; ++i) {
        colours[i].Red = GifByteType(51 * (i / 36));
        colours[i].Green = GifByteType(51 * (i / 6 % 6));
        colours[i].Blue = GifByteType(51 * (i % 6));
    }
    std::unique_ptr<ColorMapObject, TGifMapDeleter> map(GifMakeMapObject(kGifColours, colours));
    if (!map) return GifFail(error, output, E_GIF_ERR_NOT_ENOUGH_MEM);
    if (EGifPutImageDesc(gif.get(), 0, 0, width, height, false, map.get()) == GIF_ERROR)
        return GifFail(error, output, gif->Error);

    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = bitmap.Row(y);
        for (int x = 0; x < width; ++x)
            line[x] = GifPixelType(WebPaletteIndex(row[x]));
        if (EGifPutLine(gif.get(), line.data(), width) == GIF_ERROR) return GifFail(error, output, gif->Error);
    }

    // EGifCloseFile does not check its write of the trailer; output.failed does.
    if (EGifCloseFile(gif.release(), &code) == GIF_ERROR || output.failed) return GifFail(error, output, code);
    return true;
}

bool WritePng(const TBitmap32& bitmap, QIODevice* device, QString* error, int /*quality*/)
{
    // libpng refuses it too, but its reason would only say "Invalid IHDR data".
    if (bitmap.IsEmpty()) return Fail(error, QStringLiteral("A PNG image needs at least one pixel"));

    TPngOutput output;
    output.device = device;
    output.message[0] = '\0';
    if (CompressPng(bitmap, &output)) return true;
    if (output.deviceFailed)
        return Fail(error, QStringLiteral("Cannot write the PNG data: %1").arg(device->errorString()));
    return Fail(error, QStringLiteral("PNG encoder: %1").arg(QString::fromLocal8Bit(output.message)));
}

bool WriteWebp(const TBitmap32& bitmap, QIODevice* device, QString* error, int quality)
{
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    if (bitmap.IsEmpty()) return Fail(error, QStringLiteral("A WebP image needs at least one pixel"));
    if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
        return Fail(error, QStringLiteral("A WebP image is at most %1 pixels a side").arg(WEBP_MAX_DIMENSION));

    WebPConfig config;
    if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, float(quality)) || !WebPValidateConfig(&config))
        return Fail(error, QStringLiteral("WebP encoder: the library does not take our settings"));

    WebPPicture picture;
    std::memset(&picture, 0, sizeof picture);
    if (!WebPPictureInit(&picture))
        return Fail(error, QStringLiteral("WebP encoder: the library does not take our settings"));
    std::unique_ptr<WebPPicture, TWebpPictureFree> owner(&picture);
    picture.width = width;
    picture.height = height;
    // BGRX, not BGRA: the fourth byte carries no colour, and as alpha it would make the
    // downscaler's pixels transparent.
    if (!WebPPictureImportBGRX(&picture, reinterpret_cast<const uint8_t*>(bitmap.Row(0)), 4 * width))
        return Fail(error, QStringLiteral("WebP encoder: %1").arg(WebpEncoderError(picture.error_code)));

    TWebpOutput output;
    output.device = device;
    picture.writer = WriteWebpBytes;
    picture.custom_ptr = &output;
    if (WebPEncode(&config, &picture)) return true;
    if (output.failed) return Fail(error, QStringLiteral("Cannot write the WebP data: %1").arg(device->errorString()));
    return Fail(error, QStringLiteral("WebP encoder: %1").arg(WebpEncoderError(picture.error_code)));
}

ThumbnailWriter WriterForPath(const QByteArray& path)
{
    // A separator after the last dot leaves a text that matches none of the extensions,
    // so the file name need not be split off first.
    const qsizetype dot = path.lastIndexOf('.');
    if (dot < 0) return nullptr;
    const QByteArray extension = path.mid(dot);
    for (const TWriterEntry& entry : kWriters) {
        if (extension == entry.extension) return entry.writer;
    }
    return nullptr;
}

int WebPaletteIndex(uint32_t pixel)
{
    const int red = int((pixel >> 16) & 0xFF);
    const int green = int((pixel >> 8) & 0xFF);
    const int blue = int(pixel & 0xFF);
    return 36 * ((red + 3) / 51) + 6 * ((green + 3) / 51) + (blue + 3) / 51;
}
