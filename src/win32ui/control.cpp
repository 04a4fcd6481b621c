#include "win32ui/control.h"

#include <commctrl.h>

CControl::~CControl()
{
    Detach();
}

void CControl::Attach(HWND hWnd)
{
    Detach();
    if (hWnd != nullptr && SetWindowSubclass(hWnd, &CControl::SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this))) {
        m_hWnd = hWnd;
        OnAttached();
    }
}

void CControl::Detach()
{
    if (m_hWnd != nullptr)
        RemoveWindowSubclass(m_hWnd, &CControl::SubclassProc, 0);
    m_hWnd = nullptr;
}

LRESULT CControl::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefSubclassProc(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CControl::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self)
{
    auto* control = reinterpret_cast<CControl*>(self);
    if (message == WM_NCDESTROY) {
        control->Detach();
        return DefSubclassProc(hWnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (control->OnMessage(message, wParam, lParam, result))
        return result;
    return DefSubclassProc(hWnd, message, wParam, lParam);
}
