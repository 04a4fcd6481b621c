#pragma once

#include <QByteArray>

// What a fuzzer checks of every input: a broken property names itself and
// what broke it, then aborts, so the fuzzer keeps the input that did it.
class CFuzzRequire {
public:
    static void That(bool bCondition, const char* what, const QByteArray& detail = QByteArray());
};

inline void Require(bool bCondition, const char* what, const QByteArray& detail = QByteArray())
{
    CFuzzRequire::That(bCondition, what, detail);
}
