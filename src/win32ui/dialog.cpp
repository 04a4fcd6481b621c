#include "win32ui/dialog.h"

#include "win32ui/dialog_template.h"
#include "win32ui/wide_text.h"

CDialog::CDialog(int templateId) : m_nTemplateId(templateId)
{
}

INT_PTR CDialog::DoModal(HWND hOwner)
{
    const CDialogTemplate dialogTemplate(m_nTemplateId);
    if (dialogTemplate.Data() == nullptr)
        return -1;
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialogTemplate.Data(), hOwner,
                                                   &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        dialog->m_hWnd = hWnd;
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    return dialog != nullptr ? dialog->Dispatch(message, wParam, lParam) : FALSE;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result = FALSE;
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM: {
        HWND hControl = message == WM_DRAWITEM ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem
                                               : reinterpret_cast<HWND>(lParam);
        const LRESULT reflected = SendMessageW(hControl, kReflectBase + message, wParam, lParam);
        if (reflected != 0)
            return reflected;
        break;
    }
    default:
        break;
    }
    if (OnMessage(message, wParam, lParam, result)) {
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    return FALSE;
}

bool CDialog::OnCommand(int id)
{
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
    else
        return false;
    return true;
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&)
{
    return false;
}

void CDialog::SetTexts(Text caption, std::initializer_list<ItemText> items) const
{
    SetWindowTextW(m_hWnd, CWideText::Of(caption).c_str());
    for (const ItemText& item : items)
        SetItemText(item.id, item.text);
}

void CDialog::SetItemText(int id, Text text) const
{
    SetDlgItemTextW(m_hWnd, id, CWideText::Of(text).c_str());
}
