#pragma once
// Readable names for the cases of parameterised tests, so that a failing
// case can be run again by name (--gtest_filter=Clips/Seeking.*/mpeg2_ts_MPEG_2).

#include <gtest/gtest.h>

#include <string>
#include <string_view>

// Letters and digits stay and every other byte becomes "_", as test names
// allow nothing else: "mpeg2.ts" gives "mpeg2_ts".
inline std::string TestNameOf(std::string_view text)
{
    std::string name(text);
    for (char& c : name) {
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit)
            c = '_';
    }
    return name.empty() ? std::string("empty") : name;
}

// Names each case after the clip it reads (a member `clip`).
struct NamedByClip
{
    template <class Case> std::string operator()(const testing::TestParamInfo<Case>& info) const
    {
        return TestNameOf(info.param.clip);
    }
};
