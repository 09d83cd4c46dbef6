// The control's dialogs for the core: the error box and the menu box, the
// resource library's dialogs 30002 and 30001, modeless, laid out on the control window's character grid.
// Its procedure answers the core when the box closes; RFERROR has returned
// long before.
#pragma once

#include "core/hooks/CoreHooks.h"
#include "platform/Library.h"

class CControlDialogs final : public ICoreDialogs {
public:
    // resources: the library holding the templates; parent: the boxes' owner
    // window (0: the boxes stand alone).
    CControlDialogs(HMODULE resources, HWND parent) : m_resources(resources), m_parent(parent) {}

    HWND OpenErrorBox(const ErrorBoxRequest& request, const DialogGrid& grid, IDialogAnswers& answers) override;
    void CloseErrorBox(HWND box) override;
    HWND OpenMenuBox(const MenuBoxRequest& request, const DialogGrid& grid, IDialogAnswers& answers) override;
    void CloseMenuBox(HWND box) override;
    void ShowMessage(std::u16string_view text) override { ShowMessage(text, 0); }
    void ShowError(std::u16string_view text) override;
    // A message box of that style (buttons, icon), owned by the parent;
    // returns when the user dismissed it.
    void ShowMessage(std::u16string_view text, UINT style);
    void SignatureScreenOpened() override;

    // Where each error box, menu box and signature screen is also told as
    // one line of UTF-8 (what it says, and whether an answer can come
    // without a user), for a host that shows no screen. Null: nowhere.
    using Report = void (*)(void* context, const char* text);
    void SetReport(Report report, void* context) {
        m_report = report;
        m_reportContext = context;
    }

private:
    void Tell(const std::u16string& text) const;

    HMODULE m_resources;
    HWND m_parent;
    Report m_report = nullptr;
    void* m_reportContext = nullptr;
};
