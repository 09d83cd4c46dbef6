// The host list as the main window shows it: the list view 175 with its
// three columns and six icons, filled from the hosts file or from the
// discovered hosts. Each item's data is a heap CHostEntry the view frees
// when the item is deleted (its parent hands it LVN_DELETEITEM).
// User-interface thread only.
#pragma once

#include <vector>

#include "platform/ListView.h"
#include "platform/Window.h"
#include "shell/HostList.h"

class CHostListView {
public:
    static constexpr int kId = 175;
    // Image indices of the items.
    static constexpr int kImageAddNew = 0;
    static constexpr int kImageConfigured = 2;
    static constexpr int kImageDiscoveredKnown = 3;
    static constexpr int kImageDiscovered = 4;

    enum class Source { Programs, Discovered };

    CHostListView() = default;
    ~CHostListView();
    CHostListView(const CHostListView&) = delete;
    CHostListView& operator=(const CHostListView&) = delete;

    // The list under parent, at rect's top, its width and height; 0 when it
    // cannot be made.
    HWND Create(HWND parent, const RECT& rect);
    HWND Window() const { return m_list; }
    bool IsShown() const;

    Source GetSource() const { return m_source; }
    void SetSource(Source source) { m_source = source; }
    // While a search by name runs, the list is left as it is.
    bool IsSearching() const { return m_searching; }
    void SetSearching(bool searching) { m_searching = searching; }

    // Refilling: drawing stops, the items go; the items are added; drawing
    // resumes and the list is drawn again.
    void BeginRefill();
    // "Add New" first when allowed, then the hosts file's records.
    void AddPrograms(bool addNew);
    // The discovered hosts, with their address and port.
    void AddDiscovered(const std::vector<CHostEntry>& hosts);
    void EndRefill();
    void Clear();

    struct Selection {
        int index = -1;  // -1: none
        int image = -1;
        CHostEntry* record = nullptr;  // the item's, until the list changes
    };
    Selection Selected() const;

    // The four views of the View menu, 0 (large icons) to 3 (details).
    void SetView(int view);
    // LVN_DELETEITEM of the list: the item's record is freed. false for
    // any other notification.
    bool OnDeleteItem(const NMHDR* header);

private:
    HWND m_list = 0;
    HIMAGELIST m_large = 0, m_small = 0;
    Source m_source = Source::Programs;
    bool m_searching = false;
};
