#include "test_link.h"

bool CTestLink::Available()
{
    return true;
}

bool CTestLink::Make(const std::filesystem::path& target, const std::filesystem::path& link)
{
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return !error;
}
