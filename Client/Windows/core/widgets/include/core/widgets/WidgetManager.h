// The session's widgets: the list in creation order, the widget stream of
// WIDGETACTION that creates and changes them, lookups by id and name, the
// tab order, the routing of the control window's messages, and the way their
// events take to the core. One manager belongs to the core; everything runs
// on the user-interface thread and the manager holds no lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/hooks/CoreHooks.h"
#include "core/hooks/CoreMessages.h"
#include "common/Packet.h"
#include "common/PacketBuffer.h"
#include "common/PacketFramer.h"
#include "core/widgets/Widget.h"
#include "core/widgets/WidgetHost.h"
#include "core/widgets/WidgetWindows.h"

// WIDGETACTION actions.
enum WidgetAction : int32_t {
    WID_ACTION_ADD = 1,
    WID_ACTION_REMOVE = 2,
    WID_ACTION_HIDE = 3,
    WID_ACTION_SHOW = 4,
    WID_ACTION_SETLABEL = 5,
    WID_ACTION_ENABLE = 6,
    WID_ACTION_DISABLE = 7,
    WID_ACTION_SETFOCUS = 8,
    WID_ACTION_GETLABEL = 9,
};

class CWidgetManager;

// Receives one widget event record; the writer stays the caller's.
using WidgetEventCallback = void (*)(void* context, CWidgetManager* manager, const CPacketBuffer& writer);

class CWidgetManager : public ICoreWidgets, public IWidgetHost {
public:
    // Answer of a lookup that found nothing.
    static constexpr int32_t kNotFound = -4;
    // Ids the client picks itself when the host gives none: never 0, which
    // is what a name reads as when taken for a number.
    static constexpr uint32_t kFirstOwnId = 0x80000000u;
    // More widgets than any screen holds: a new one past this is refused,
    // so a host's stream of records cannot take the device's memory.
    static constexpr size_t kMaxWidgets = 1000;
    // The bytes one widget's texts and data may hold, and all widgets
    // together (a label shared by several counts once): a definition or
    // label past either is refused with -1, as the widget past kMaxWidgets
    // is. All records fit a screen file's widget part (kMaxScreenWidgetBytes).
    static constexpr size_t kMaxWidgetBytes = 1u << 20;
    static constexpr size_t kMaxAllWidgetBytes = 8u << 20;
    // What all widgets' records take at most: texts at 3 bytes a unit in
    // UTF-8, and the numbers and separators of each record.
    static constexpr size_t kMaxScreenWidgetBytes = kMaxAllWidgetBytes / 2 * 3 + kMaxWidgets * 512;

    CWidgetManager();
    ~CWidgetManager() override;

    CWidgetManager(const CWidgetManager&) = delete;
    CWidgetManager& operator=(const CWidgetManager&) = delete;

    // The widget stream: one action per 0xFE-separated record up to the end
    // of the command. With a writer, the reply 'w' 0xFD answer 0xFE answer...
    // Returns the bytes left in the packet (0 after a whole packet).
    int32_t ProcessWidgetStream(CPacket& packet, CPacketBuffer* writer) override;
    // A new widget from the definition record at the cursor; its id, or -1
    // when memory runs out or kMaxWidgets are there and none has its id.
    int64_t AddWidget(CPacket& packet);
    // 1 when a widget was removed, 0 when none has the id.
    int RemoveWidget(uint32_t id);
    void RemoveAll() override;
    CWidget* FindById(uint32_t id);
    CWidget* FindByName(std::u16string_view name);
    void ShowAll(bool on);
    void EnableAll(bool on);
    // Every widget's record followed by 0xFE; records go in whole or not at
    // all, so a full writer holds only whole records. False when one did not fit.
    bool WriteAll(CPacketBuffer& writer) override;
    // Replaces the widgets by one widget per 0xFE-separated record.
    void LoadAll(CPacket& packet) override;
    LRESULT RouteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;
    void MoveFocus(CWidget* current, bool backward) override;
    bool ActivateFocused(bool keepFocus) override;
    void SetInputDevices(bool on) override;
    void SendEvent(const CPacketBuffer& writer) override;

    // Set once by the core.
    void SetOwnerWindow(HWND window) { m_owner = window; }
    HWND GetOwnerWindow() const override { return m_owner; }
    void SetCallback(WidgetEventCallback callback, void* context) { m_callback = callback, m_context = context; }
    void SetFramer(const CPacketFramer* framer) { m_framer = framer; }
    const CPacketFramer* GetFramer() const { return m_framer; }
    bool CanSendEvents() const override { return m_framer != nullptr; }
    std::unique_ptr<CPacketBuffer> NewEventWriter(int32_t capacity) override {
        return m_framer ? m_framer->NewWriter(capacity) : nullptr;
    }
    std::unique_ptr<CPacket> NewPacket(const uint8_t* bytes, int32_t length) override;
    // How widget files are named (the core's logical folders); without one
    // a widget names no file.
    using FileResolver = std::u16string (*)(void* context, const WidgetFileRef& file);
    void SetFileResolver(FileResolver resolver, void* context) { m_resolver = resolver, m_resolverContext = context; }
    std::u16string FilePath(const WidgetFileRef& file) override;
    std::shared_ptr<const WidgetItemList> FindItemList(const std::u16string& path) override;
    void KeepItemList(const std::u16string& path, std::shared_ptr<const WidgetItemList> list) override;
    // The window layer; null: widgets get no windows.
    void SetWindowLayer(IWidgetWindows* windows);
    IWidgetWindows& Windows() override { return *m_windows; }

    // Set with the core's cell metrics.
    void SetCellMetrics(int cellWidth, int cellHeight) override;
    void SetDefaultFont(std::u16string_view face, int32_t size) override;
    int GetCellWidth() const override { return m_cellWidth; }
    int GetCellHeight() const override { return m_cellHeight; }
    const std::u16string& GetDefaultFace() const override { return m_defaultFace; }
    int32_t GetDefaultSize() const override { return m_defaultSize; }

    // Set by a widget window that receives the focus.
    void SetFocusedWidget(CWidget* widget) override { m_focused = widget; }
    CWidget* GetFocusedWidget() { return m_focused; }
    bool IsFocusedWidget(const CWidget* widget) const override { return widget && widget == m_focused; }

    int Count() const { return static_cast<int>(m_widgets.size()); }
    CWidget* At(int index) { return m_widgets[static_cast<size_t>(index)].get(); }
    const CWidget* At(int index) const { return m_widgets[static_cast<size_t>(index)].get(); }
    // An id no live widget has, for a definition without one (AddWidget takes it).
    uint32_t NextOwnId();

protected:
    // A new, empty widget; null when memory runs out.
    virtual std::unique_ptr<CWidget> NewWidget();

private:
    // HIDE, SHOW, SETLABEL, ENABLE, DISABLE and SETFOCUS of one widget.
    void OneWidgetAction(int32_t action, CWidget& widget, CPacket& record);
    // The scope-0 actions, with their answers.
    void AllWidgetsAction(int32_t action, const CPacket& record, CPacketBuffer* writer);
    void RemoveAt(size_t index);
    // The bytes all widgets hold but one (null: all).
    size_t HeldBytes(const CWidget* except = nullptr) const;
    // Whether all widgets but one (null: all) and that many bytes more stay
    // within kMaxAllWidgetBytes.
    bool AllFit(const CWidget* except, size_t more) const;
    // Whether the widget may take the label change within the bounds.
    bool LabelFits(const CWidget& widget, const CWidget::LabelChange& change) const;

    // Opens a stream (or a load) during which item lists are kept; the
    // outermost one's end forgets them.
    struct StreamScope {
        explicit StreamScope(CWidgetManager& m) : manager(m) { ++manager.m_streamDepth; }
        ~StreamScope() {
            if (--manager.m_streamDepth == 0) manager.m_itemLists.clear();
        }
        CWidgetManager& manager;
    };

    std::vector<std::unique_ptr<CWidget>> m_widgets;
    int m_streamDepth = 0;
    std::map<std::u16string, std::shared_ptr<const WidgetItemList>> m_itemLists;
    HWND m_owner = 0;
    WidgetEventCallback m_callback = nullptr;
    void* m_context = nullptr;
    const CPacketFramer* m_framer = nullptr;
    FileResolver m_resolver = nullptr;
    void* m_resolverContext = nullptr;
    IWidgetWindows* m_windows;
    int m_cellWidth = 11;
    int m_cellHeight = 18;
    std::u16string m_defaultFace;
    int32_t m_defaultSize = 0;
    CWidget* m_focused = nullptr;
    uint32_t m_nextOwnId = kFirstOwnId;
};
