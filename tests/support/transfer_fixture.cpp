#include "transfer_fixture.h"

CTransferFixture::CTransferFixture() : m_pHarness(std::make_unique<CSessionHarness>())
{
    Host().SetHomeDirectory(CNativePath::SettingText(m_Root.Root()));
    Host().SetRight(Right::Download, 1);
    Host().SetRight(Right::Upload, 1);
}

std::unique_ptr<CFtpTestClient> CTransferFixture::NewClient()
{
    return CFtpTestClient::LoggedIn(m_pHarness->Port());
}

TransferResult CTransferFixture::Download(CFtpTestClient& client, const std::string& command)
{
    TransferResult result;
    CUniqueSocket data = client.OpenPassive();
    if (!data.Valid())
        return result;
    result.preliminary = client.Command(command);
    result.data = client.ReadAll(data.Get());
    data.Reset();
    result.final = client.ReadLine();
    return result;
}

TransferResult CTransferFixture::Upload(CFtpTestClient& client, const std::string& command, const std::string& bytes)
{
    TransferResult result;
    CUniqueSocket data = client.OpenPassive();
    if (!data.Valid())
        return result;
    result.preliminary = client.Command(command);
    client.WriteAll(data.Get(), bytes);
    data.Reset();
    result.final = client.ReadLine();
    return result;
}
