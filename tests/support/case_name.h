#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

// A parameterised case's name made from its row's own words, so that ctest and --gtest_filter name
// the same case in every build: letters and digits stay, every other run of characters becomes
// one '_' (the only other character a case name may hold).
inline std::string caseName(std::string_view words) {
    std::string name;
    for (char c : words) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name += c;
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name;
}

// The name generator for tables whose rows carry a `name`.
struct RowName {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return caseName(info.param.name);
    }
};
