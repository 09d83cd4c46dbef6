// A small document/view layer: a document knows its path, its modified flag
// and its views, and tells them what changed with a hint.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace deskcommon {

class CView {
public:
    virtual ~CView() = default;
    virtual void OnUpdate(int hint) = 0;
};

class CDocument {
public:
    virtual ~CDocument() = default;

    void AddView(CView* view) { m_views.push_back(view); }
    void RemoveView(CView* view) { std::erase(m_views, view); }
    void UpdateAllViews(int hint) {
        for (CView* view : m_views)
            view->OnUpdate(hint);
    }

    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true) {
        m_modified = modified;
        Changed();
    }
    const std::string& GetPathName() const { return m_path; }
    void SetPathName(const std::string& path) {
        m_path = path;
        Changed();
    }
    // The file's name, or the default name of a new document.
    std::string GetTitle() const;

    // Called when the path or the modified flag changes (the frame's title).
    std::function<void()> onChanged;

protected:
    virtual const char* DefaultTitle() const = 0;

private:
    void Changed() {
        if (onChanged)
            onChanged();
    }

    std::vector<CView*> m_views;
    std::string m_path;
    bool m_modified = false;
};

}  // namespace deskcommon
