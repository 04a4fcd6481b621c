#pragma once

#include <string>

#include "win32ui/control.h"

// A static text that looks and works like a hyperlink: blue, underlined in
// its dialog's font, a hand over the whole control, and a click opens its
// address with the shell (a web page in the browser, a mail address in the
// mail program).
class CLinkLabel : public CControl {
public:
    static constexpr COLORREF kTextColor = RGB(0, 0, 255);

    CLinkLabel();
    ~CLinkLabel() override;

    // An empty address opens the control's own text.
    void SetUrl(const std::wstring& url) { m_strUrl = url; }
    const std::wstring& Url() const { return m_strUrl; }

protected:
    void OnAttached() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void Open();

    std::wstring m_strUrl;
    HCURSOR m_hLinkCursor;
    HFONT m_hUnderlineFont = nullptr;
};
