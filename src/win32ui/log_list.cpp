#include "win32ui/log_list.h"

#include <algorithm>

#include <commctrl.h>

#include "platform/event_loop.h"
#include "win32ui/wide_text.h"

namespace {

enum Column { ColumnThread, ColumnMessage };
const Text kHeaders[] = {Text::ColumnThread, Text::ColumnMessage};

constexpr int kPictureLeftPercent = 50;
constexpr int kPictureTopPercent = 45;
// A header's text and the margins the header draws on both sides of it.
constexpr int kHeaderPadding = 16;

} // namespace

CLogList::~CLogList()
{
    if (m_nFlushTimerId != 0)
        CEventLoop::Current().CancelTimer(m_nFlushTimerId);
}

void CLogList::Attach(HWND hList, HBITMAP hPicture)
{
    m_hList = hList;
    for (int column = 0; column < 2; ++column) {
        std::wstring header = CWideText::Of(kHeaders[column]);
        LVCOLUMNW description = {};
        description.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        description.fmt = LVCFMT_LEFT;
        description.pszText = header.data();
        description.iSubItem = column;
        SendMessageW(m_hList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&description));
    }
    const DWORD extended = static_cast<DWORD>(SendMessageW(m_hList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended | LVS_EX_FULLROWSELECT);

    // A picture that cannot be loaded leaves the list without one.
    if (hPicture != nullptr) {
        LVBKIMAGEW picture = {};
        picture.ulFlags = LVBKIF_SOURCE_HBITMAP | LVBKIF_STYLE_NORMAL;
        picture.hbm = hPicture;
        picture.xOffsetPercent = kPictureLeftPercent;
        picture.yOffsetPercent = kPictureTopPercent;
        SendMessageW(m_hList, LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&picture));
    }
    SendMessageW(m_hList, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(CLR_NONE));
}

// Each column as wide as the wider of its content and its header, and at
// least kMinimumColumnWidth; the last one also fills what is left, less room
// for the vertical scroll bar that a growing log soon needs, so that the
// columns never call for a horizontal one of their own.
void CLogList::AutoSizeColumns() const
{
    SendMessageW(m_hList, WM_SETREDRAW, FALSE, 0);
    RECT client = {};
    GetClientRect(m_hList, &client);
    const int free = client.right - GetSystemMetrics(SM_CXVSCROLL);
    int used = 0;
    for (int column = 0; column < 2; ++column) {
        SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE);
        const int content = static_cast<int>(SendMessageW(m_hList, LVM_GETCOLUMNWIDTH, column, 0));
        const std::wstring header = CWideText::Of(kHeaders[column]);
        const int headerWidth = static_cast<int>(SendMessageW(m_hList, LVM_GETSTRINGWIDTHW, 0,
                                                              reinterpret_cast<LPARAM>(header.c_str())))
                                + kHeaderPadding;
        int width = std::max({content, headerWidth, kMinimumColumnWidth});
        if (column == 1)
            width = std::max(width, free - used);
        SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), width);
        used += width;
    }
    SendMessageW(m_hList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hList, nullptr, TRUE);
}

void CLogList::Append(uint32_t threadId, std::string_view message)
{
    m_Rows.push_back({threadId, std::string(message)});
    if (m_nFlushTimerId == 0)
        m_nFlushTimerId = CEventLoop::Current().StartTimer(kFlushIntervalMs, [this] {
            m_nFlushTimerId = 0;
            Flush();
        });
}

// The rows already shown keep their place: no scrolling, no repainting of
// what the user sees.
void CLogList::Flush()
{
    if (m_nVisibleRows == RowCount())
        return;
    m_nVisibleRows = RowCount();
    SendMessageW(m_hList, LVM_SETITEMCOUNT, static_cast<WPARAM>(m_nVisibleRows),
                 LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

std::wstring CLogList::RowText(int row, int column) const
{
    if (row < 0 || row >= RowCount())
        return {};
    const Row& entry = m_Rows[static_cast<size_t>(row)];
    return column == ColumnThread ? std::to_wstring(entry.threadId) : CWideText::FromBig5(entry.message);
}

bool CLogList::OnNotify(const NMHDR& header)
{
    if (header.hwndFrom != m_hList || header.code != LVN_GETDISPINFOW)
        return false;
    auto& request = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
    if ((request.item.mask & LVIF_TEXT) != 0 && request.item.cchTextMax > 0) {
        const std::wstring text = RowText(request.item.iItem, request.item.iSubItem);
        lstrcpynW(request.item.pszText, text.c_str(), request.item.cchTextMax);
    }
    return true;
}
