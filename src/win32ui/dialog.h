#pragma once

#include <initializer_list>

#include <windows.h>

#include "platform/text_table.h"

// A modal dialog on one of the program's templates, whose texts come from
// the text table. Subclasses see its initialisation, its commands and any
// other message. The colour and drawing requests a control sends its
// dialog go back to the control (kReflectBase + the message), so that a
// control that paints itself keeps its painting to itself.
class CDialog {
public:
    static constexpr UINT kReflectBase = 0x2000;

    struct ItemText {
        int id;
        Text text;
    };

    explicit CDialog(int templateId);
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until it ends; its result, or -1 when it could not open.
    INT_PTR DoModal(HWND hOwner);
    HWND Handle() const { return m_hWnd; }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

protected:
    virtual void OnInitDialog() {}
    // A command of a control or a menu; false passes it on.
    virtual bool OnCommand(int id);
    // Any other message; false gives it the default handling.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }

    void End(INT_PTR result) { EndDialog(m_hWnd, result); }
    void SetTexts(Text caption, std::initializer_list<ItemText> items) const;
    void SetItemText(int id, Text text) const;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int m_nTemplateId;
    HWND m_hWnd = nullptr;
};
