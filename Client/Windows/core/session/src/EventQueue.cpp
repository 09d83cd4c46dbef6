#include "core/session/EventQueue.h"

#include <utility>

EventType TypeOf(const QueuedEvent& event) {
    static constexpr EventType kTypes[] = {EVENT_KEY, EVENT_CHARACTERS, EVENT_DEVICE_DATA, EVENT_WIDGET};
    static_assert(std::size(kTypes) == std::variant_size_v<QueuedEvent>);
    return kTypes[event.index()];
}

bool CEventQueue::Push(QueuedEvent event) {
    if (Full()) return false;
    m_events.push_back(std::move(event));
    return true;
}

std::optional<QueuedEvent> CEventQueue::Pop() {
    if (m_events.empty()) return std::nullopt;
    QueuedEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}
