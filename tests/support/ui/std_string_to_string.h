#pragma once

#include <string>

#include <QByteArray>
#include <QTest>

// A failed comparison of the core's byte strings shows their bytes, escaped as
// the test library shows a QByteArray; without this it shows neither value.
// Include it before the first comparison of std::string values.
template <>
inline char* QTest::toString(const std::string& bytes)
{
    return QTest::toString(QByteArray::fromStdString(bytes));
}
