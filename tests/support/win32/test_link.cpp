#include "test_link.h"

bool CTestLink::Available()
{
    return false;
}

bool CTestLink::Make(const std::filesystem::path&, const std::filesystem::path&)
{
    return false;
}
