#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

// The log: a report-view list of (thread id, message) rows that are only
// ever appended. The list holds no rows of its own (it asks for the text of
// the rows it shows), and new rows reach it at most twenty times a second in
// one count change, so that a flood of rows from many sessions never holds
// the window's thread, which also accepts the connections.
class CLogList {
public:
    static constexpr int kFlushIntervalMs = 50;
    static constexpr int kMinimumColumnWidth = 10;

    CLogList() = default;
    ~CLogList();
    CLogList(const CLogList&) = delete;
    CLogList& operator=(const CLogList&) = delete;

    // Columns, whole-row selection and the picture behind the rows.
    void Attach(HWND hList, HBITMAP hPicture);
    void Append(uint32_t threadId, std::string_view message);
    // Shows the rows appended since the last time.
    void Flush();
    void AutoSizeColumns() const;
    // The list's request for a row's text; true when it was one.
    bool OnNotify(const NMHDR& header);

    HWND Handle() const { return m_hList; }
    int RowCount() const { return static_cast<int>(m_Rows.size()); }
    int VisibleRows() const { return m_nVisibleRows; }
    std::wstring RowText(int row, int column) const;

private:
    struct Row {
        uint32_t threadId;
        std::string message;   // Big5, as the server wrote it
    };

    HWND m_hList = nullptr;
    std::vector<Row> m_Rows;
    int m_nVisibleRows = 0;
    int m_nFlushTimerId = 0;
};
