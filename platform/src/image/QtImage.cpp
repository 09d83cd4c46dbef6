// The helper library of the base's image decoding, on QtGui (see
// messages/ImageDecoder.h).
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include "../messages/ImageDecoder.h"

namespace {

bool Decode(const uint8_t* data, size_t size, int maxSide, int64_t maxPixels, plat::gdi::image::Allocate allocate,
            void* context) {
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
    uint32_t* out = allocate(context, flat.width(), flat.height());
    if (!out) return false;
    for (int y = 0; y < flat.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(flat.constScanLine(y));
        for (int x = 0; x < flat.width(); ++x) out[size_t(y) * size_t(flat.width()) + size_t(x)] = row[x] | 0xff000000u;
    }
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) plat::gdi::image::Decode orvade_image_decoder() { return &Decode; }
