// The rich-text helper on QtGui (see RichTextLayout.h): a QTextDocument whose
// resources come only from the caller's picture loader.
#include <QBuffer>
#include <QByteArray>
#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QString>
#include <QTextDocument>
#include <QUrl>
#include <QVariant>

#include "RichTextLayout.h"

namespace {

using plat::richtext::helper::LoadPicture;
using plat::richtext::helper::Picture;

constexpr int kMaxSide = 4096;
constexpr int kMaxPictures = 32;

// A document that never fetches: pictures through the loader, nothing else.
class Page final : public QTextDocument {
public:
    Page(LoadPicture load, void* context) : m_load(load), m_context(context) {}

protected:
    QVariant loadResource(int type, const QUrl& name) override {
        if (type != QTextDocument::ImageResource || !m_load) return QVariant();
        // Asked again for every layout and paint: each source is loaded once.
        const QString source = name.toString();
        if (const auto seen = m_loaded.constFind(source); seen != m_loaded.constEnd()) return *seen;
        if (m_loaded.size() >= kMaxPictures) return QVariant();
        QVariant& picture = m_loaded[source];
        picture = Load(source);
        return picture;
    }

private:
    QVariant Load(const QString& source) {
        Picture picture;
        if (!m_load(m_context, reinterpret_cast<const char16_t*>(source.utf16()), size_t(source.size()), &picture) ||
            !picture.pixels || picture.width <= 0 || picture.height <= 0)
            return QVariant();
        const QImage image(reinterpret_cast<const uchar*>(picture.pixels), picture.width, picture.height,
                           qsizetype(picture.width) * 4, QImage::Format_RGB32);
        // As encoded bytes: the layout reads them as an image and the painting as a pixmap.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "BMP")) return QVariant();
        return QVariant(bytes);
    }

    LoadPicture m_load;
    void* m_context;
    QHash<QString, QVariant> m_loaded;
};

QColor Colour(uint32_t rgb) { return QColor::fromRgb((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

void* Create(const char16_t* html, size_t length, LoadPicture load, void* context) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || length > (size_t(1) << 24)) return nullptr;
    auto* page = new Page(load, context);
    page->setDocumentMargin(2);
    page->setHtml(QString::fromUtf16(html, qsizetype(length)));
    return page;
}

bool Render(void* handle, int width, int height, int scrollY, uint32_t textRgb, uint32_t backgroundRgb, uint32_t* pixels,
            int* pageHeight) {
    auto* page = static_cast<Page*>(handle);
    if (!page || !pixels || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    if (page->textWidth() != width) page->setTextWidth(width);
    const int whole = int(std::min<qreal>(page->size().height(), 1 << 30));
    if (pageHeight) *pageHeight = whole;
    QImage image(reinterpret_cast<uchar*>(pixels), width, height, qsizetype(width) * 4, QImage::Format_RGB32);
    image.fill(Colour(backgroundRgb));
    QPainter painter(&image);
    painter.translate(0, -scrollY);
    // The caller's text colour where the page sets none.
    QAbstractTextDocumentLayout::PaintContext paint;
    paint.palette.setColor(QPalette::Text, Colour(textRgb));
    paint.clip = QRectF(0, scrollY, width, height);
    painter.setClipRect(paint.clip);
    page->documentLayout()->draw(&painter, paint);
    painter.end();
    return true;
}

void Destroy(void* page) { delete static_cast<Page*>(page); }

constexpr plat::richtext::helper::Functions kFunctions{&Create, &Render, &Destroy};

}  // namespace

extern "C" __attribute__((visibility("default"))) const plat::richtext::helper::Functions* orvade_richtext_functions() {
    return &kFunctions;
}
