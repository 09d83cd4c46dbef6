// The null canvas and the Qt canvas (QImage and QPainter, QtGui only).
#include "core/session/SessionCanvas.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <optional>

namespace {

class CNullCanvas final : public ISessionCanvas {
public:
    bool Resize(int width, int height) override {
        m_width = std::max(width, 0);
        m_height = std::max(height, 0);
        return true;
    }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    bool SelectFont(const std::u16string&, int, int, FontMetrics*) override { return false; }
    void FillWhite() override {}
    void DrawCell(int, int, int, int, char16_t, bool) override {}

private:
    int m_width = 0;
    int m_height = 0;
};

class CQtCanvas final : public ISessionCanvas {
public:
    bool Resize(int width, int height) override {
        if (width <= 0 || height <= 0) {
            m_image = QImage();
            return false;
        }
        m_image = QImage(width, height, QImage::Format_RGB32);
        if (m_image.isNull()) return false;
        m_image.fill(Qt::white);
        return true;
    }
    int Width() const override { return m_image.width(); }
    int Height() const override { return m_image.height(); }
    int DotsPerInch() const override {
        const int dpm = m_image.isNull() ? 0 : m_image.dotsPerMeterX();
        return dpm > 0 ? static_cast<int>(dpm * 0.0254 + 0.5) : 96;
    }

    bool SelectFont(const std::u16string& face, int pixelHeight, int pixelWidth, FontMetrics* metrics) override {
        // Fonts need the GUI application; without one the core keeps its cell size.
        if (!QGuiApplication::instance() || pixelHeight <= 0 || !metrics) return false;
        QFont font = face.empty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                  : QFont(QString::fromStdU16String(face));
        font.setPixelSize(pixelHeight);
        if (pixelWidth > 0) {
            const int natural = QFontMetrics(font).averageCharWidth();
            if (natural > 0) font.setStretch(std::clamp(pixelWidth * 100 / natural, 1, 4000));
        }
        const QFontMetrics fm(font);
        metrics->widthW = fm.horizontalAdvance(QChar(u'W'));
        metrics->widthM = fm.horizontalAdvance(QChar(u'M'));
        metrics->widthI = fm.horizontalAdvance(QChar(u'I'));
        metrics->height = fm.height();
        m_font.emplace(font);
        return true;
    }

    void FillWhite() override {
        if (!m_image.isNull()) m_image.fill(Qt::white);
    }

    void DrawCell(int x, int y, int width, int height, char16_t c, bool reverse) override {
        if (m_image.isNull() || width <= 0 || height <= 0) return;
        QPainter painter(&m_image);
        const QRect cell(x, y, width, height);
        painter.fillRect(cell, reverse ? Qt::black : Qt::white);
        painter.setPen(reverse ? Qt::white : Qt::black);
        if (m_font) painter.setFont(*m_font);
        painter.drawText(cell, Qt::AlignCenter | Qt::TextDontClip, QString(QChar(c)));
    }

    const QImage* Image() const override { return m_image.isNull() ? nullptr : &m_image; }

private:
    QImage m_image;
    std::optional<QFont> m_font;  // made only with the GUI application
};

}  // namespace

std::unique_ptr<ISessionCanvas> CreateNullCanvas() { return std::make_unique<CNullCanvas>(); }
std::unique_ptr<ISessionCanvas> CreateQtCanvas() { return std::make_unique<CQtCanvas>(); }
