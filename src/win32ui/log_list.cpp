#include "win32ui/log_list.h"

#include <algorithm>

#include <commctrl.h>

#include "platform/event_loop.h"
#include "win32ui/wide_text.h"

namespace {

enum Column { ColumnThread, ColumnMessage };

constexpr int kPictureLeftPercent = 50;
constexpr int kPictureTopPercent = 45;

} // namespace

CLogList::~CLogList()
{
    if (m_nFlushTimerId != 0)
        CEventLoop::Current().CancelTimer(m_nFlushTimerId);
}

void CLogList::Attach(HWND hList, HBITMAP hPicture)
{
    m_hList = hList;
    const Text headers[] = {Text::ColumnThread, Text::ColumnMessage};
    for (int column = 0; column < 2; ++column) {
        std::wstring header = CWideText::Of(headers[column]);
        LVCOLUMNW description = {};
        description.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        description.fmt = LVCFMT_LEFT;
        description.pszText = header.data();
        description.iSubItem = column;
        SendMessageW(m_hList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&description));
    }
    AutoSizeColumns();
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
// least kMinimumColumnWidth.
void CLogList::AutoSizeColumns() const
{
    SendMessageW(m_hList, WM_SETREDRAW, FALSE, 0);
    for (int column = 0; column < 2; ++column) {
        SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE);
        const int content = static_cast<int>(SendMessageW(m_hList, LVM_GETCOLUMNWIDTH, column, 0));
        SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE_USEHEADER);
        const int header = static_cast<int>(SendMessageW(m_hList, LVM_GETCOLUMNWIDTH, column, 0));
        SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                     std::max({content, header, kMinimumColumnWidth}));
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
