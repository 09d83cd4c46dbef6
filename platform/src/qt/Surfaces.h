// The windows' back buffers: drawn from each window's thread, shown from
// the GUI thread.
#pragma once

#include <QImage>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/Window.h"

namespace plat::qt::detail {

// A window's back buffer. Drawn from the window's thread, shown from the GUI
// thread; the mutex guards the image and is held only inside our own code.
struct Surface {
    std::mutex mutex;
    QImage image;
};

class Surfaces {
public:
    // The buffer of hwnd at its current client size. New area is white in a
    // top-level window and clear in a child, so that what a child does not
    // paint shows what lies below it, as on Windows (a group box's inside).
    std::shared_ptr<Surface> Get(HWND hwnd);
    std::shared_ptr<Surface> Find(HWND hwnd);
    void Remove(HWND hwnd);
    void Clear();

private:
    static constexpr qsizetype kSpareBytes = 4 << 20;
    // A spare buffer of that size, or none; m_mutex held.
    QImage takeSpare(const QSize& size);

    std::mutex m_mutex;
    std::vector<QImage> m_spares;  // oldest first
    qsizetype m_spareBytes = 0;
    std::unordered_map<HWND, std::shared_ptr<Surface>> m_map;
};

Surfaces& surfaces();

}  // namespace plat::qt::detail
