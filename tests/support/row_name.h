#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

// Names a parameterised test's row after the row's own name, in the letters,
// digits and underscores that test names may hold, so that a failure says
// which row failed and a row can be run alone.
struct RowName {
    template <typename Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const
    {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        }
        return name;
    }
};
