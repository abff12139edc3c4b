// Compiled programs that leave parts of try blocks early while an error is
// on its way out.

#include "tests/script/compiler/run_harness.h"

#include <gtest/gtest.h>

namespace {

// A finally part runs because of an error; break, continue or exit out of
// it leaves the try block, and the error ends with it: no except part
// around it sees the error and the run ends without one.
TEST(CompiledUnwinding, BreakContinueOrExitOutOfAFinallyPartEndsTheError)
{
    expectRun({"leaving a finally part",
               "var b, c, e, m, caught, zero, i: LongInt;\n"
               "procedure P;\n"
               "begin\n"
               "  try e := e * 10 + 1; e := e div zero finally e := e * 10 + 2; exit end;\n"
               "  e := 99\n"
               "end;\n"
               "begin\n"
               "  zero := 0; caught := 0;\n"
               "  try\n"
               "    for i := 1 to 3 do\n"
               "      try b := b * 10 + 1; b := b div zero finally b := b * 10 + 2; break end;\n"
               "    b := b * 10 + 3;\n"
               "    for i := 1 to 2 do\n"
               "      try c := c * 10 + 1; c := c div zero; c := 99 finally c := c * 10 + 2; continue end;\n"
               "    c := c * 10 + 3;\n"
               "    P;\n"
               "    e := e * 10 + 3;\n"
               "  except\n"
               "    caught := 1\n"
               "  end;\n"
               "  try m := 1; m := m div zero finally m := m * 10 + 2; exit end;\n"
               "  m := 99\n"
               "end.",
               {{"B", 123}, {"C", 12123}, {"E", 123}, {"M", 12}, {"CAUGHT", 0}}});
}

} // namespace
