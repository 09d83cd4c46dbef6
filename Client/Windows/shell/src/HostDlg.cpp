#include "shell/HostDlg.h"

#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "platform/WinConst.h"

CHostDlg::CHostDlg() : m_hosts(std::make_unique<CHostListFile>()) {}

void CHostDlg::CreateNewHost() {
    m_record.SetDescription(LoadResourceText(57, 100));
    m_record.SetHost(u"");
    m_record.SetPort(CHostEntry::kDefaultPort);
    m_oid = m_hosts->Add(m_record.GetHost(), m_record.GetDescription(), m_record.GetPort());
    m_record.SetOID(m_oid);
}

void CHostDlg::Store(HWND dialog) {
    char16_t text[128];
    GetDlgItemText(dialog, kHost, text, 128);
    m_record.SetHost(text);
    GetDlgItemText(dialog, kDescription, text, 128);
    m_record.SetDescription(text);
    BOOL translated = FALSE;
    const UINT port = GetDlgItemInt(dialog, kPort, &translated, FALSE);
    m_record.SetPort(translated ? int32_t(port) : 0);
    if (m_oid != -1) m_hosts->Update(m_oid, m_record.GetHost(), m_record.GetDescription(), m_record.GetPort());
}

INT_PTR CHostDlg::OnMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        PostMessage(dialog, WM_SHELL_DIALOG_FILL, 0, 0);
        return TRUE;
    case WM_SHELL_DIALOG_FILL: {
        CHostEntry found;
        if (m_hosts->FindByDescription(m_record.GetDescription(), found)) {
            m_record = found;
            m_oid = found.GetOID();
        } else {
            m_oid = m_record.GetOID();
        }
        SendDlgItemMessage(dialog, kCombo, CB_RESETCONTENT, 0, 0);
        SendDlgItemMessage(dialog, kCombo, CB_SETCURSEL, 0, 0);
        // The edits take what the record holds.
        for (int id : {kHost, kDescription})
            SendDlgItemMessage(dialog, id, EM_LIMITTEXT, CHostEntry::kMaxText, 0);
        SetDlgItemText(dialog, kHost, m_record.GetHost());
        SetDlgItemText(dialog, kDescription, m_record.GetDescription());
        SetDlgItemInt(dialog, kPort, UINT(m_record.GetPort()), FALSE);
        CenterWindow(dialog, GetParent(dialog));
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case kAddNew:
            Store(dialog);
            EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case kDelete:
            if (AskYesNo(dialog, 38, 39) == IDYES) {
                if (m_oid != -1) m_hosts->Delete(m_oid);
                m_record.SetDescription(u"");
                m_oid = -1;
                PostMessage(dialog, WM_COMMAND, IDOK, 0);
            }
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
