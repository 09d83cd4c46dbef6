#include "Surfaces.h"

#include <QPainter>
#include <algorithm>

#include "platform/Window.h"

namespace plat::qt::detail {

using namespace plat::window;

std::shared_ptr<Surface> Surfaces::Get(HWND hwnd) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    const QSize size(std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1));
    std::shared_ptr<Surface> s;
    QImage spare;
    {
        std::lock_guard lock(m_mutex);
        auto& slot = m_map[hwnd];
        if (!slot) {
            slot = std::make_shared<Surface>();
            spare = takeSpare(size);
        }
        s = slot;
    }
    std::lock_guard lock(s->mutex);
    if (s->image.size() != size) {
        QImage fresh = spare.size() == size ? std::move(spare) : QImage(size, QImage::Format_ARGB32_Premultiplied);
        fresh.fill(GetAncestor(hwnd, GA_PARENT) ? Qt::transparent : Qt::white);
        if (!s->image.isNull()) {
            QPainter p(&fresh);
            p.drawImage(0, 0, s->image);
        }
        s->image = std::move(fresh);
    }
    return s;
}

std::shared_ptr<Surface> Surfaces::Find(HWND hwnd) {
    std::lock_guard lock(m_mutex);
    auto it = m_map.find(hwnd);
    return it == m_map.end() ? nullptr : it->second;
}

void Surfaces::Remove(HWND hwnd) {
    std::shared_ptr<Surface> gone;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_map.find(hwnd);
        if (it == m_map.end()) return;
        gone = std::move(it->second);
        m_map.erase(it);
    }
    // Its buffer serves the next window of its size: a buffer keeps the
    // paint engine Qt builds for it at its first painter. One a context
    // still paints is shared, and stays with that context.
    QImage image;
    {
        std::lock_guard lock(gone->mutex);
        if (!gone->image.isDetached()) return;
        image = std::move(gone->image);
    }
    std::lock_guard lock(m_mutex);
    m_spareBytes += image.sizeInBytes();
    m_spares.push_back(std::move(image));
    while (m_spareBytes > kSpareBytes) {
        m_spareBytes -= m_spares.front().sizeInBytes();
        m_spares.erase(m_spares.begin());
    }
}

void Surfaces::Clear() {
    std::lock_guard lock(m_mutex);
    m_map.clear();
    m_spares.clear();
    m_spareBytes = 0;
}

QImage Surfaces::takeSpare(const QSize& size) {
    for (auto it = m_spares.rbegin(); it != m_spares.rend(); ++it) {
        if (it->size() != size) continue;
        QImage image = std::move(*it);
        m_spareBytes -= image.sizeInBytes();
        m_spares.erase(std::next(it).base());
        return image;
    }
    return QImage();
}

Surfaces& surfaces() {
    static Surfaces* s = new Surfaces;
    return *s;
}

}  // namespace plat::qt::detail
