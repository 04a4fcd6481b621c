#pragma once

#include <string>

#include "win32ui/dialog.h"
#include "win32ui/link_label.h"

// Shows this computer's IPv4 address, which the user passes on to clients,
// and a link to a page that tells the address the internet sees.
class CLocalAddressDlg : public CDialog {
public:
    static constexpr const wchar_t* kLoopback = L"127.0.0.1";

    CLocalAddressDlg();

    // The first IPv4 address that resolving this computer's name yields, or
    // false (and an empty text) when there is none.
    static bool Lookup(std::wstring& address);
    // What the dialog shows: the address, or loopback when there is none.
    static std::wstring ForDisplay();

protected:
    void OnInitDialog() override;

private:
    CLinkLabel m_LookupLink;
};
