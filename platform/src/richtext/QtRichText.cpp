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

#include <vector>

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

// Qt's HTML parsing and layout cost more than the page's size for some
// shapes: nesting costs with its depth, each table inside a table doubles
// the layout's work, and a list's items cost with their number. A page past
// these bounds is not shown, so no page holds the screen for long.
constexpr int kMaxNesting = 256;
constexpr int kMaxTableNesting = 4;
constexpr int kMaxListItems = 4096;

bool IsVoid(QStringView name) {
    static const char16_t* const kVoid[] = {u"br", u"img", u"hr", u"meta", u"input", u"link", u"col", u"area",
                                            u"base", u"wbr", u"param", u"source", u"embed", u"track"};
    for (const char16_t* v : kVoid)
        if (name.compare(QStringView(v), Qt::CaseInsensitive) == 0) return true;
    return false;
}

// Elements that end where the next of their kind begins: they never nest by
// being left open.
bool EndsItself(QStringView name) {
    static const char16_t* const kSelf[] = {u"p",  u"li", u"dt",    u"dd",    u"tr",    u"td",      u"th",
                                            u"option", u"thead", u"tbody", u"tfoot", u"colgroup"};
    for (const char16_t* v : kSelf)
        if (name.compare(QStringView(v), Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool IsNameChar(QChar c) { return c.isLetterOrNumber() && c.unicode() < 0x80; }

// Whether the page stays within the bounds above, reading its tags as a
// browser nests them: a closing tag ends its element and those opened
// inside it, and one with nothing open to end is ignored.
bool WithinBounds(QStringView html) {
    std::vector<QStringView> open;
    int tables = 0, items = 0;
    const qsizetype n = html.size();
    for (qsizetype i = html.indexOf(u'<'); i >= 0 && i < n; i = html.indexOf(u'<', i)) {
        qsizetype j = i + 1;
        const bool closing = j < n && html[j] == u'/';
        if (closing) ++j;
        const qsizetype start = j;
        while (j < n && IsNameChar(html[j])) ++j;
        const QStringView name = html.sliced(start, j - start);
        qsizetype end = html.indexOf(u'>', j);
        if (end < 0) end = n;
        const bool selfClosed = end > j && html[end - 1] == u'/';
        i = end + 1;
        if (name.isEmpty() || IsVoid(name) || (selfClosed && !closing)) continue;
        if (name.compare(u"li", Qt::CaseInsensitive) == 0 && !closing && ++items > kMaxListItems) return false;
        if (EndsItself(name)) continue;
        const bool table = name.compare(u"table", Qt::CaseInsensitive) == 0;
        if (!closing) {
            if (int(open.size()) >= kMaxNesting || (table && ++tables > kMaxTableNesting)) return false;
            open.push_back(name);
            continue;
        }
        for (size_t k = open.size(); k-- > 0;) {
            if (open[k].compare(name, Qt::CaseInsensitive) != 0) continue;
            for (size_t m = k; m < open.size(); ++m) tables -= open[m].compare(u"table", Qt::CaseInsensitive) == 0;
            open.resize(k);
            break;
        }
    }
    return true;
}

QColor Colour(uint32_t rgb) { return QColor::fromRgb((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

void* Create(const char16_t* html, size_t length, LoadPicture load, void* context) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || length > (size_t(1) << 24)) return nullptr;
    const QString text = QString::fromUtf16(html, qsizetype(length));
    if (!WithinBounds(text)) return nullptr;
    auto* page = new Page(load, context);
    page->setDocumentMargin(2);
    page->setHtml(text);
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
