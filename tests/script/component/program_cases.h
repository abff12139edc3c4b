#pragma once
// Whole programs compiled and run through the component as a host runs
// them: each logs what it computes through the host's Log routine, and the
// lines (and, when the run ends in an error, that error's text) must come
// out as the language defines them. A file of cases per area instantiates
// the suites below.

#include "tests/script/component/script_host.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

struct ProgramCase
{
    ProgramCase(const char* name, std::string program, std::vector<std::string> lines, std::string runError = {},
                std::string pending = {})
        : name(name), program(std::move(program)), lines(std::move(lines)), runError(std::move(runError)),
          pending(std::move(pending))
    {
    }
    const char* name;
    std::string program;
    std::vector<std::string> lines;
    std::string runError; // the runtime error text when the run fails
    // What the compiler cannot do yet that the program needs; until it can,
    // a failing compile skips the case instead of failing it.
    std::string pending;
};

inline void PrintTo(const ProgramCase& test, std::ostream* out)
{
    *out << test.name;
}

class Programs : public ::testing::TestWithParam<ProgramCase>
{
};

// A program that does not compile, with every message the compiler gives
// for it, one line each, in the order given.
struct MessageCase
{
    const char* name;
    std::string program;
    std::vector<std::string> messages;
};

inline void PrintTo(const MessageCase& test, std::ostream* out)
{
    *out << test.name;
}

class CompilerMessages : public ::testing::TestWithParam<MessageCase>
{
};

// The case's name with every character a test name cannot hold made "_".
std::string CaseName(const char* name);

template <typename Case> std::string CaseParamName(const ::testing::TestParamInfo<Case>& info)
{
    return CaseName(info.param.name);
}
