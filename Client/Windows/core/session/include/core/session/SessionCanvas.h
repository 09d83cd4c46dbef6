// The session screen's back buffer: an off-screen picture of the control
// window's size and the session font, behind a small drawing interface so
// that protocol code and its tests never need fonts. The Qt canvas draws into
// a QImage with QPainter (QtGui only); the null canvas draws nothing and
// measures no font, so the core keeps its default cell size.
#pragma once

#include <memory>
#include <string>

class QImage;

// Advances of the letters the cell size is taken from, and the line height.
struct FontMetrics {
    int widthW = 0;
    int widthM = 0;
    int widthI = 0;
    int height = 0;
};

class ISessionCanvas {
public:
    virtual ~ISessionCanvas() = default;

    // (Re)creates the picture of that size, filled white. False when it
    // cannot be made (the canvas is then empty).
    virtual bool Resize(int width, int height) = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int DotsPerInch() const { return 96; }

    // Selects the session font: the face (empty for the default face), the
    // pixel height, and the pixel width of a character (0: the face's own).
    // False when no font is available; metrics are then left as they are.
    virtual bool SelectFont(const std::u16string& face, int pixelHeight, int pixelWidth, FontMetrics* metrics) = 0;

    virtual void FillWhite() = 0;
    // One cell: the rectangle filled white (black when reverse), the
    // character drawn centred in black (white when reverse).
    virtual void DrawCell(int x, int y, int width, int height, char16_t c, bool reverse) = 0;

    // The picture for painting the window; null when there is none.
    virtual const QImage* Image() const { return nullptr; }
};

std::unique_ptr<ISessionCanvas> CreateNullCanvas();
std::unique_ptr<ISessionCanvas> CreateQtCanvas();
