// A small document/view layer: a document knows its path, its modified flag
// and its views, and tells them what changed with a hint.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace settingseditor {

class CView {
public:
    virtual ~CView() = default;
    virtual void OnUpdate(int hint) = 0;
};

class CDocument {
public:
    virtual ~CDocument() = default;

    void AddView(CView* view) { views_.push_back(view); }
    void RemoveView(CView* view) { std::erase(views_, view); }
    void UpdateAllViews(int hint) {
        for (CView* view : views_)
            view->OnUpdate(hint);
    }

    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified = true) {
        modified_ = modified;
        Changed();
    }
    const std::string& GetPathName() const { return path_; }
    void SetPathName(const std::string& path) {
        path_ = path;
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

    std::vector<CView*> views_;
    std::string path_;
    bool modified_ = false;
};

}  // namespace settingseditor
