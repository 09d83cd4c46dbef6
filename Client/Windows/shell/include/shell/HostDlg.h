// The host dialog (template 134 of the resource library): add, edit and
// delete a configured host of the hosts file. Modal over the main window.
#pragma once

#include <memory>

#include "shell/HostList.h"
#include "shell/ShellUtil.h"

class CHostDlg : public CDialogBase {
public:
    static constexpr UINT kTemplate = 134;
    enum : int { kHost = 1016, kPort = 1017, kDescription = 1018, kCombo = 1020, kAddNew = 1028, kDelete = 1029 };

    CHostDlg();
    // The description of the host to edit.
    void SetDescription(const char16_t* text) { m_record.SetDescription(text ? text : u""); }
    // Appends a new default host to the file and edits it.
    void CreateNewHost();
    // Runs the dialog modally over parent.
    INT_PTR Run(HWND parent) { return DoModal(parent, kTemplate, this, GetShellResources()); }

    INT_PTR OnMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) override;

    const CHostEntry& GetRecord() const { return m_record; }
    int32_t GetOID() const { return m_oid; }

private:
    void Store(HWND dialog);

    CHostEntry m_record;
    int32_t m_oid = -1;
    std::unique_ptr<CHostListFile> m_hosts;
};
