// Drives and reads the running program's window from another process, as a
// user's tools would: finds it by its caption, reads the caption, the
// status pane, the log rows and the buttons' states, clicks buttons, and
// works the settings dialog. The list and the status bar answer into the
// program's own memory, so their texts are read across the processes.
// window_probe COMMAND [ARGUMENTS]; prints UTF-8; exit status 1 on failure.
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kDialogClass = L"#32770";
constexpr const wchar_t* kMainCaption = L"Tessel FTP Server";
constexpr const wchar_t* kTrayClass = L"CSystemTray";
constexpr UINT kTrayMessage = WM_USER + 111;
constexpr WPARAM kTrayId = 142;
constexpr int kLogList = 1006;
constexpr int kStatusBar = 59393;
constexpr size_t kTextRoom = 4096;

void Print(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                        nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

// Asked of the window itself: GetWindowText would not ask another
// process's controls, and an edit box keeps its text to itself.
std::wstring WindowText(HWND hWnd)
{
    wchar_t text[kTextRoom] = {};
    SendMessageW(hWnd, WM_GETTEXT, kTextRoom, reinterpret_cast<LPARAM>(text));
    return text;
}

struct Search {
    const wchar_t* caption;
    bool bPrefix;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hWnd, LPARAM context)
{
    auto& search = *reinterpret_cast<Search*>(context);
    wchar_t className[32] = {};
    GetClassNameW(hWnd, className, 32);
    const std::wstring caption = WindowText(hWnd);
    const bool bMatch = search.bPrefix ? caption.rfind(search.caption, 0) == 0 : caption == search.caption;
    if (wcscmp(className, kDialogClass) == 0 && bMatch) {
        search.found = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(const wchar_t* caption, bool bPrefix)
{
    Search search = {caption, bPrefix, nullptr};
    EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND MainWindow()
{
    return FindDialog(kMainCaption, true);
}

// Memory in the window's process for a request and its answer.
class CRemoteBuffer {
public:
    explicit CRemoteBuffer(HWND hWnd)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(hWnd, &pid);
        m_hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_hProcess != nullptr)
            m_pRemote = static_cast<char*>(VirtualAllocEx(m_hProcess, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
    }
    ~CRemoteBuffer()
    {
        if (m_pRemote != nullptr)
            VirtualFreeEx(m_hProcess, m_pRemote, 0, MEM_RELEASE);
        if (m_hProcess != nullptr)
            CloseHandle(m_hProcess);
    }
    bool Ok() const { return m_pRemote != nullptr; }
    char* At(size_t offset) const { return m_pRemote + offset; }
    void Write(size_t offset, const void* data, size_t size) const
    {
        WriteProcessMemory(m_hProcess, At(offset), data, size, nullptr);
    }
    std::wstring ReadText(size_t offset) const
    {
        std::vector<wchar_t> text(kTextRoom + 1, L'\0');
        ReadProcessMemory(m_hProcess, At(offset), text.data(), kTextRoom * sizeof(wchar_t), nullptr);
        return text.data();
    }

    static constexpr size_t kSize = 64 * 1024;

private:
    HANDLE m_hProcess = nullptr;
    char* m_pRemote = nullptr;
};

std::wstring ListText(HWND hList, const CRemoteBuffer& buffer, int row, int column)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = static_cast<int>(kTextRoom);
    item.pszText = reinterpret_cast<wchar_t*>(buffer.At(sizeof item));
    buffer.Write(0, &item, sizeof item);
    SendMessageW(hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.At(0)));
    return buffer.ReadText(sizeof item);
}

int Fail(const char* why)
{
    std::fprintf(stderr, "window_probe: %s\n", why);
    return 1;
}

int WaitWindow(int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (MainWindow() != nullptr)
            return 0;
        Sleep(100);
    }
    return Fail("no main window");
}

int PrintLog(HWND hMain)
{
    HWND hList = GetDlgItem(hMain, kLogList);
    const CRemoteBuffer buffer(hList);
    if (!buffer.Ok())
        return Fail("cannot reach the program's memory");
    const int rows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row)
        Print(ListText(hList, buffer, row, 0) + L"\t" + ListText(hList, buffer, row, 1));
    return 0;
}

int PrintStatus(HWND hMain)
{
    HWND hBar = GetDlgItem(hMain, kStatusBar);
    const CRemoteBuffer buffer(hBar);
    if (hBar == nullptr || !buffer.Ok())
        return Fail("no status bar");
    const std::vector<wchar_t> empty(kTextRoom, L'\0');
    for (WPARAM pane = 0; pane < 2; ++pane) {
        // An empty pane may answer without writing anything.
        buffer.Write(0, empty.data(), empty.size() * sizeof(wchar_t));
        SendMessageW(hBar, SB_GETTEXTW, pane, reinterpret_cast<LPARAM>(buffer.At(0)));
        Print(buffer.ReadText(0));
    }
    return 0;
}

int PrintItems(HWND hDialog)
{
    for (HWND hItem = GetWindow(hDialog, GW_CHILD); hItem != nullptr; hItem = GetWindow(hItem, GW_HWNDNEXT)) {
        const LRESULT checked = SendMessageW(hItem, BM_GETCHECK, 0, 0);
        Print(std::to_wstring(GetDlgCtrlID(hItem)) + L"\t" + std::to_wstring(IsWindowEnabled(hItem) ? 1 : 0) + L"\t"
              + std::to_wstring(checked) + L"\t" + WindowText(hItem));
    }
    return 0;
}

int Run(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Fail("no command");
    const std::wstring command = argv[1];
    if (command == L"wait-window")
        return WaitWindow(argc > 2 ? _wtoi(argv[2]) : 10);
    if (command == L"tray") {
        HWND hTray = FindWindowW(kTrayClass, nullptr);
        if (hTray == nullptr)
            return Fail("no tray window");
        PostMessageW(hTray, kTrayMessage, kTrayId, argc > 2 ? _wtoi(argv[2]) : WM_LBUTTONDBLCLK);
        return 0;
    }
    if (command == L"dialog" || command == L"dialog-click" || command == L"dialog-set" || command == L"dialog-check") {
        if (argc < 3)
            return Fail("no caption");
        HWND hDialog = FindDialog(argv[2], false);
        if (hDialog == nullptr)
            return Fail("no such dialog");
        if (command == L"dialog")
            return PrintItems(hDialog);
        if (argc < 4)
            return Fail("no control");
        HWND hItem = GetDlgItem(hDialog, _wtoi(argv[3]));
        if (command == L"dialog-click")
            PostMessageW(hItem, BM_CLICK, 0, 0);
        else if (command == L"dialog-set" && argc > 4)
            SendMessageW(hItem, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        else if (command == L"dialog-check" && argc > 4)
            SendMessageW(hItem, BM_SETCHECK, _wtoi(argv[4]) != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        return 0;
    }

    HWND hMain = MainWindow();
    if (hMain == nullptr)
        return Fail("no main window");
    if (command == L"caption")
        Print(WindowText(hMain));
    else if (command == L"visible")
        Print(IsWindowVisible(hMain) ? L"1" : L"0");
    else if (command == L"log")
        return PrintLog(hMain);
    else if (command == L"status")
        return PrintStatus(hMain);
    else if (command == L"items")
        return PrintItems(hMain);
    else if (command == L"click" && argc > 2)
        PostMessageW(GetDlgItem(hMain, _wtoi(argv[2])), BM_CLICK, 0, 0);
    else if (command == L"command" && argc > 2)
        PostMessageW(hMain, WM_COMMAND, static_cast<WPARAM>(_wtoi(argv[2])), 0);
    else if (command == L"close")
        PostMessageW(hMain, WM_CLOSE, 0, 0);
    else if (command == L"minimize")
        PostMessageW(hMain, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (command == L"key" && argc > 2)
        PostMessageW(hMain, WM_KEYDOWN, static_cast<WPARAM>(_wtoi(argv[2])), 0);
    else
        return Fail("unknown command");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Lines end in LF alone, as the shell's tools expect.
    _setmode(_fileno(stdout), _O_BINARY);
    const int status = Run(argc, argv);
    std::fflush(stdout);
    return status;
}
