// The control window's view of the session screen: a back buffer of the
// window's size (the Qt canvas) into which the core's screen model is
// painted, copied into the window when it paints (CClientCore::Paint). The
// canvas also measures the session font for the core's cell metrics.
#pragma once

#include "core/hooks/CoreHooks.h"
#include "core/session/ScreenModel.h"
#include "platform/QtCanvas.h"

// A view with the font measure of its back buffer: what the control takes
// from the view helper library.
class IScreenView : public ICoreView {
public:
    virtual plat::draw::IFontMeasure& Fonts() = 0;
};

class CScreenView final : public IScreenView {
public:
    // The window is repainted when the model changes; the model is read, never changed.
    CScreenView(HWND window, const CScreenModel& model) : m_window(window), m_model(model) {}

    // The canvas, its picture brought up to date with the model first.
    plat::draw::CQtCanvas& Canvas() {
        Update();
        return m_canvas;
    }
    plat::draw::IFontMeasure& Fonts() override { return m_canvas; }

    // The model is painted when the picture is next used, not at each change:
    // a session's start changes the screen several times before it is shown.
    void ScreenChanged() override;
    void TakeFocus() override;
    bool CreateBackBuffer(int width, int height) override {
        m_stale = true;
        return m_canvas.Resize(width, height);
    }
    bool HasBackBuffer() override { return m_canvas.Image() != nullptr; }
    void DrawCells(const plat::draw::CellView& cells, int row, int column, int count) override {
        Update();
        m_canvas.PaintCells(cells, row, column, count);
    }
    void CopyBackBuffer(HDC target) override {
        Update();
        m_canvas.CopyTo(target);
    }

private:
    // Paints the whole model into the picture when it changed since.
    void Update();

    HWND m_window;
    const CScreenModel& m_model;
    plat::draw::CQtCanvas m_canvas;
    bool m_stale = true;
};

// The view helper library (QtGui), loaded by the control when its window is
// made, so that a process showing no screen never loads the GUI libraries.
constexpr char kScreenViewHelper[] = "liborvade_screen_view.so";
using CreateScreenViewFn = IScreenView* (*)(HWND window, const CScreenModel* model);
extern "C" IScreenView* orvade_create_screen_view(HWND window, const CScreenModel* model);
// The font measure of a process that shows no screen, for the session's
// cells: one for the process, never freed, with an offscreen GUI
// application made for it when the process has none; null when none can be
// made.
using FontMeasureFn = plat::draw::IFontMeasure* (*)();
extern "C" plat::draw::IFontMeasure* orvade_font_measure();
