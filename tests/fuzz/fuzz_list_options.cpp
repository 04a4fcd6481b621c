// Option stripping of LIST and NLST: whatever the client sends, the result is
// made of the argument's own bytes in order, has no white space at its ends,
// and a lone option word leaves nothing.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_require.h"
#include "session/directory_listing.h"

namespace {

bool IsSubsequence(const std::string& part, const std::string& whole)
{
    size_t j = 0;
    for (size_t i = 0; i < whole.size() && j < part.size(); ++i)
        j += whole[i] == part[j] ? 1 : 0;
    return j == part.size();
}

bool IsWhite(char c)
{
    return c != '\0' && std::strchr(" \t\r\n\v\f", c) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string original(reinterpret_cast<const char*>(data), size);
    std::string argument = original;
    CDirectoryListing::StripListOptions(argument);
    Require(IsSubsequence(argument, original), "the result is made of the argument's bytes");
    Require(argument.empty() || (!IsWhite(argument.front()) && !IsWhite(argument.back())), "trimmed at both ends");
    if (original.starts_with('-') && original.find(' ') == std::string::npos)
        Require(argument.empty(), "a lone option word is removed whole");
    return 0;
}
