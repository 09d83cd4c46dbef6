#include "platform/QtCanvas.h"

#include <QColor>
#include <utility>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace plat::draw {
namespace {

QColor BasicColour(int index) {
    static const QRgb kColours[8] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xFFFFFF};
    return QColor(kColours[index & 7]);
}

// The thread loading the font configuration, joined by the first font
// selected, or at the program's end.
class FontPreparation {
public:
    ~FontPreparation() { Wait(); }
    void Start() {
        const std::lock_guard lock(m_mutex);
        if (m_started) return;
        m_started = true;
        try {
            m_thread = std::thread([] { FcInit(); });
        } catch (const std::system_error&) {
            // No thread: Qt loads the configuration when it first needs it.
        }
    }
    void Wait() {
        const std::lock_guard lock(m_mutex);
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::thread m_thread;
    bool m_started = false;
};

FontPreparation& Preparation() {
    static FontPreparation preparation;
    return preparation;
}

}  // namespace

void PrepareFonts() { Preparation().Start(); }

IFontMeasure* OffscreenFontMeasure() {
    static IFontMeasure* const measure = []() -> IFontMeasure* {
        try {
            if (!QGuiApplication::instance()) {
                // Nothing of Qt's own chatter reaches the process's standard
                // error, where a headless program reports to its user.
                qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
                    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
                });
                // Offscreen whatever the environment names: nothing is shown.
                static int argc = 3;
                static char name[] = "orvade", option[] = "-platform", platform[] = "offscreen";
                static char* argv[] = {name, option, platform, nullptr};
                new QGuiApplication(argc, argv);
            }
            return new CQtCanvas;
        } catch (...) {
            return nullptr;
        }
    }();
    return measure;
}

struct CQtCanvas::Impl {
    QImage image;
    std::optional<QFont> font;  // made only with the GUI application
};

CQtCanvas::CQtCanvas() : m_impl(std::make_unique<Impl>()) {}
CQtCanvas::~CQtCanvas() = default;

bool CQtCanvas::Resize(int width, int height) {
    if (width <= 0 || height <= 0) {
        m_impl->image = QImage();
        return false;
    }
    // A picture of the same size is kept: the control's window is sized
    // several times over while it is made, and a new picture's memory costs
    // more to map in than to fill.
    if (m_impl->image.width() != width || m_impl->image.height() != height)
        m_impl->image = QImage(width, height, QImage::Format_RGB32);
    if (m_impl->image.isNull()) return false;
    m_impl->image.fill(Qt::white);
    return true;
}

int CQtCanvas::Width() const { return m_impl->image.width(); }
int CQtCanvas::Height() const { return m_impl->image.height(); }

int CQtCanvas::DotsPerInch() const {
    const int dpm = m_impl->image.isNull() ? 0 : m_impl->image.dotsPerMeterX();
    return dpm > 0 ? static_cast<int>(dpm * 0.0254 + 0.5) : 96;
}

bool CQtCanvas::SelectFont(const std::u16string& face, int pixelHeight, int pixelWidth, FontMetrics* metrics) {
    if (!QGuiApplication::instance() || pixelHeight <= 0 || !metrics) return false;
    // Two loads of the configuration at once would each parse it.
    Preparation().Wait();
    QFont font = face.empty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                              : QFont(QString::fromStdU16String(face));
    font.setPixelSize(pixelHeight);
    if (pixelWidth > 0) {
        // The width is fitted from the face's normal width, the one a stretch
        // applies to; a face already that wide is not loaded a second time
        // for a stretch of 100.
        font.setStretch(QFont::Unstretched);
        const int natural = QFontMetrics(font).averageCharWidth();
        if (natural > 0) font.setStretch(std::clamp(pixelWidth * 100 / natural, 1, 4000));
    }
    const QFontMetrics fm(font);
    metrics->widthW = fm.horizontalAdvance(QChar(u'W'));
    metrics->widthM = fm.horizontalAdvance(QChar(u'M'));
    metrics->widthI = fm.horizontalAdvance(QChar(u'I'));
    metrics->height = fm.height();
    m_impl->font.emplace(font);
    return true;
}

namespace {

bool Drawable(const QImage& image, const CellView& view) {
    return !image.isNull() && view.characters && view.attributes && view.cellWidth > 0 && view.cellHeight > 0;
}

void PaintRun(QPainter& painter, const CellView& view, int row, int column, int end) {
    for (; column < end; ++column) {
        const size_t at = static_cast<size_t>(row) * static_cast<size_t>(view.columns) + static_cast<size_t>(column);
        const int attribute = view.attributes[at];
        // A double-width character covers its own cell and the next.
        const bool wide = (attribute & kAttributeDoubleWidth) && column + 1 < view.columns;
        const QRect cell(column * view.cellWidth, row * view.cellHeight, view.cellWidth * (wide ? 2 : 1),
                         view.cellHeight);
        int text = attribute & 0x0F;
        int back = (attribute >> 4) & 0x0F;
        if (attribute & kAttributeReverse) std::swap(text, back);
        painter.fillRect(cell, BasicColour(back));
        // A space is its background: laying one out costs as much as a letter,
        // and most of a screen is spaces.
        const char16_t c = view.characters[at];
        if (c != u' ') {
            painter.setPen(BasicColour(text));
            painter.drawText(cell, Qt::AlignCenter | Qt::TextDontClip, QString(QChar(c)));
        }
        if (wide) ++column;
    }
}

}  // namespace

void CQtCanvas::Paint(const CellView& view) {
    QImage& image = m_impl->image;
    if (image.isNull()) return;
    image.fill(Qt::white);
    if (!Drawable(image, view)) return;
    QPainter painter(&image);
    if (m_impl->font) painter.setFont(*m_impl->font);
    for (int row = 0; row < view.rows; ++row) PaintRun(painter, view, row, 0, view.columns);
    if (view.caretVisible && view.caretRow >= 0 && view.caretRow < view.rows && view.caretColumn >= 0 &&
        view.caretColumn < view.columns) {
        painter.fillRect(QRect(view.caretColumn * view.cellWidth, (view.caretRow + 1) * view.cellHeight - 2,
                               view.cellWidth, 2),
                         Qt::black);
    }
}

void CQtCanvas::PaintCells(const CellView& view, int row, int column, int count) {
    QImage& image = m_impl->image;
    if (!Drawable(image, view) || row < 0 || row >= view.rows || column < 0 || column >= view.columns || count <= 0)
        return;
    QPainter painter(&image);
    if (m_impl->font) painter.setFont(*m_impl->font);
    PaintRun(painter, view, row, column, column + std::min(count, view.columns - column));
}

const QImage* CQtCanvas::Image() const { return m_impl->image.isNull() ? nullptr : &m_impl->image; }

plat::gdi::PixelView CQtCanvas::Pixels() const {
    const QImage& image = m_impl->image;
    if (image.isNull()) return {};
    // Resize makes RGB32 pictures, whose rows are whole 32-bit pixels.
    return {reinterpret_cast<const uint32_t*>(image.constBits()), image.width(), image.height(),
            static_cast<int>(image.bytesPerLine() / 4)};
}

bool CQtCanvas::CopyTo(HDC target) const { return plat::gdi::DrawPixels(target, 0, 0, Pixels()) != FALSE; }

}  // namespace plat::draw
