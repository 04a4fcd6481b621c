#include "win32ui/link_label.h"

#include <shellapi.h>

#include "res/maker_links.h"
#include "win32ui/dialog.h"
#include "win32ui/wide_text.h"

CLinkLabel::CLinkLabel()
    : m_strUrl(CWideText::FromUtf8(MakerLinks::kWebSite))
    , m_hLinkCursor(LoadCursorW(nullptr, IDC_HAND))
{
}

CLinkLabel::~CLinkLabel()
{
    if (m_hUnderlineFont != nullptr)
        DeleteObject(m_hUnderlineFont);
}

void CLinkLabel::OnAttached()
{
    auto hFont = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    LOGFONTW description = {};
    if (hFont == nullptr || GetObjectW(hFont, sizeof description, &description) == 0)
        return;
    description.lfUnderline = TRUE;
    m_hUnderlineFont = CreateFontIndirectW(&description);
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(m_hUnderlineFont), TRUE);
}

bool CLinkLabel::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case CDialog::kReflectBase + WM_CTLCOLORSTATIC: {
        auto hdc = reinterpret_cast<HDC>(wParam);
        SetTextColor(hdc, kTextColor);
        SetBkMode(hdc, TRANSPARENT);
        result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return true;
    }
    // A static ignores the mouse by itself; the whole rectangle is the link.
    case WM_NCHITTEST:
        result = HTCLIENT;
        return true;
    case WM_SETCURSOR:
        if (m_hLinkCursor == nullptr)
            return false;
        SetCursor(m_hLinkCursor);
        result = TRUE;
        return true;
    case WM_LBUTTONDOWN:
        Open();
        result = Default(message, wParam, lParam);
        return true;
    default:
        return false;
    }
}

// What the shell makes of the address is not examined: one it cannot open
// fails silently.
void CLinkLabel::Open()
{
    std::wstring url = m_strUrl;
    if (url.empty()) {
        const int length = GetWindowTextLengthW(Handle());
        url.resize(static_cast<size_t>(length) + 1);
        url.resize(static_cast<size_t>(GetWindowTextW(Handle(), url.data(), length + 1)));
    }
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
