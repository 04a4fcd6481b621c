#pragma once

#include <string_view>

// What a fuzzer checks of every input: a broken property names itself and
// what broke it, then aborts, so the fuzzer keeps the input that did it.
class CFuzzRequire {
public:
    static void That(bool bCondition, const char* what, std::string_view detail = {});
};

inline void Require(bool bCondition, const char* what, std::string_view detail = {})
{
    CFuzzRequire::That(bCondition, what, detail);
}
