// Input that arrives while the host waits for nothing: kept in order, at
// most kCapacity events, until a GETEVENT, an input field or MODESELECT
// replays it. Each event owns its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// Event types, as the host and the widgets number them; also the kind of a
// text of input (keys, characters or device data).
enum EventType : int32_t {
    EVENT_KEY = 1,
    EVENT_CHARACTERS = 2,
    EVENT_DEVICE_DATA = 4,
    EVENT_WIDGET = 7,
};

struct KeyEvent {
    uint32_t virtualKey = 0;
};

struct TextEvent {
    EventType kind = EVENT_CHARACTERS;
    std::u16string text;
};

// Scanner, magnetic-stripe or RFID data as the control handed it over.
struct DeviceDataEvent {
    int32_t reserved0 = 0;
    int32_t reserved1 = 0;
    int32_t kind = 0;  // given by the extension; sent back as the last value of reply '5'
    std::u16string text;
};

struct WidgetEvent {
    std::vector<uint8_t> bytes;
};

using QueuedEvent = std::variant<KeyEvent, TextEvent, DeviceDataEvent, WidgetEvent>;

EventType TypeOf(const QueuedEvent& event);

class CEventQueue {
public:
    static constexpr size_t kCapacity = 100;

    // False (the event dropped) when the queue is full.
    bool Push(QueuedEvent event);
    // The oldest event, taken out; nothing when the queue is empty.
    std::optional<QueuedEvent> Pop();
    void Clear() { m_events.clear(); }
    size_t Size() const { return m_events.size(); }
    bool Empty() const { return m_events.empty(); }
    bool Full() const { return m_events.size() >= kCapacity; }

private:
    std::deque<QueuedEvent> m_events;
};
