#include "win32ui/local_address_dlg.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "res/maker_links.h"
#include "win32ui/resource_ids.h"
#include "win32ui/wide_text.h"

namespace {

constexpr int kHostNameSize = 128;

} // namespace

CLocalAddressDlg::CLocalAddressDlg() : CDialog(IDD_LOCAL_ADDRESS)
{
}

bool CLocalAddressDlg::Lookup(std::wstring& address)
{
    address.clear();
    char name[kHostNameSize] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return false;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    wchar_t text[INET_ADDRSTRLEN] = {};
    const auto* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool bText = InetNtopW(AF_INET, &first->sin_addr, text, INET_ADDRSTRLEN) != nullptr;
    freeaddrinfo(found);
    if (bText)
        address = text;
    return bText;
}

std::wstring CLocalAddressDlg::ForDisplay()
{
    std::wstring address;
    return Lookup(address) ? address : kLoopback;
}

void CLocalAddressDlg::OnInitDialog()
{
    SetTexts(Text::AddressCaption, {{IDOK, Text::ButtonOk},
                                    {IDC_LABEL_LOCAL, Text::AddressLocal},
                                    {IDC_LABEL_PUBLIC, Text::AddressPublic},
                                    {IDC_ADDRESS_LINK, Text::AddressLookupLink}});
    SetDlgItemTextW(Handle(), IDC_ADDRESS_EDIT, ForDisplay().c_str());
    m_LookupLink.Attach(Item(IDC_ADDRESS_LINK));
    m_LookupLink.SetUrl(CWideText::FromUtf8(MakerLinks::kPublicAddress));
}
