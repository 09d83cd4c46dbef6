// The helper library of the base's image decoding and smooth scaling, on
// QtGui (see messages/ImageDecoder.h).
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include "../messages/ImageDecoder.h"

namespace {

using plat::gdi::image::Allocate;

bool CopyOut(const QImage& image, Allocate allocate, void* context, uint32_t opaque) {
    uint32_t* out = allocate(context, image.width(), image.height());
    if (!out) return false;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) out[size_t(y) * size_t(image.width()) + size_t(x)] = row[x] | opaque;
    }
    return true;
}

bool Decode(const uint8_t* data, size_t size, int maxSide, int64_t maxPixels, Allocate allocate, void* context) {
    if (!data || size == 0 || size > size_t(1) << 30) return false;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format().toLower();
    if (format != "bmp" && format != "png" && format != "jpeg" && format != "jpg") return false;
    // The size from the header, before any pixel is decoded.
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.width() <= 0 || declared.height() <= 0 || declared.width() > maxSide ||
        declared.height() > maxSide || int64_t(declared.width()) * declared.height() > maxPixels)
        return false;
    reader.setAllocationLimit(int(std::min<int64_t>(maxPixels * 4 / (1024 * 1024) + 1, 1024)));
    QImage image = reader.read();
    if (image.isNull() || image.size() != declared) return false;
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
        QPainter p(&flat);
        p.drawImage(0, 0, image);
    }
    return CopyOut(flat, allocate, context, 0xff000000u);
}

bool DecodeAsStored(const uint8_t* data, size_t size, int maxSide, Allocate allocate, void* context) {
    if (!data || size == 0 || size > size_t(1) << 30 || maxSide <= 0 || maxSide > 16384) return false;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    // Megabytes of decoded picture: a side of maxSide at 32 bits a pixel.
    reader.setAllocationLimit(int((int64_t(maxSide) * maxSide * 4 + (1 << 20) - 1) >> 20));
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.width() > maxSide || declared.height() > maxSide) return false;
    QImage image;
    if (!reader.read(&image)) return false;
    return CopyOut(image.convertToFormat(QImage::Format_RGB32), allocate, context, 0);
}

bool Scale(const uint32_t* pixels, int width, int height, int stride, int toWidth, int toHeight, Allocate allocate,
           void* context) {
    if (!pixels || width <= 0 || height <= 0 || stride < width || toWidth <= 0 || toHeight <= 0) return false;
    const QImage source(reinterpret_cast<const uchar*>(pixels), width, height, qsizetype(stride) * 4,
                        QImage::Format_RGB32);
    const QImage scaled = source.scaled(toWidth, toHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB32);
    return !scaled.isNull() && CopyOut(scaled, allocate, context, 0);
}

constexpr plat::gdi::image::Functions kFunctions{&Decode, &DecodeAsStored, &Scale};

}  // namespace

extern "C" __attribute__((visibility("default"))) const plat::gdi::image::Functions* orvade_image_functions() {
    return &kFunctions;
}
