// Whole programs on runtime errors: the texts of every error code, raising
// and re-raising, what the exception routines tell inside and after an
// except part, finally parts on every way out, and errors that end a run.

#include "tests/script/component/program_cases.h"

namespace {

INSTANTIATE_TEST_SUITE_P(
    Exceptions, Programs,
    ::testing::Values(
        ProgramCase{"every error code has its text",
                    "var i: Integer;\n"
                    "begin\n"
                    "  for i := 0 to 25 do Log(IntToStr(i) + ' ' + ExceptionToString(TIFException(i), 'P'));\n"
                    "  Log(ExceptionToString(erCannotImport, 'first'#13#10'second'));\n"
                    "  Log(ExceptionToString(erCouldNotCallProc, '') + '|');\n"
                    "  Log(ExceptionToString(TIFException(129), 'x'));\n"
                    "end.",
                    {"0 No Error",
                     "1 Cannot Import P",
                     "2 Invalid Type",
                     "3 Internal error",
                     "4 Invalid Header",
                     "5 Invalid Opcode",
                     "6 Invalid Opcode Parameter",
                     "7 no Main Proc",
                     "8 Out of Global Vars range",
                     "9 Out of Proc Range",
                     "10 Out Of Range",
                     "11 Out Of Stack Range",
                     "12 Type Mismatch",
                     "13 Unexpected End Of File",
                     "14 Version error",
                     "15 divide by Zero",
                     "16 Math error",
                     "17 Could not call proc (P)",
                     "18 Out of Record Fields Range",
                     "19 Out Of Memory",
                     "20 Exception: P",
                     "21 Null Pointer Exception",
                     "22 Null variant error",
                     "23 Interface not supported",
                     "24 P",
                     "25 Unknown error",
                     "Cannot Import first",
                     "Could not call proc|",
                     "Cannot Import x"}},
        ProgramCase{"the error names are the runtime's codes in order",
                    "begin\n"
                    "  Log(IntToStr(Ord(ErNoError)) + ' ' + IntToStr(Ord(erCannotImport)) + ' ' + "
                    "IntToStr(Ord(ErTypeMismatch)) +\n"
                    "      ' ' + IntToStr(Ord(ErDivideByZero)) + ' ' + IntToStr(Ord(erException)) + ' ' +\n"
                    "      IntToStr(Ord(erCustomError)));\n"
                    "end.",
                    {"0 1 12 15 20 24"}},
        ProgramCase{"raised errors caught with their code and text",
                    "procedure Check(x: Integer);\n"
                    "begin if x < 0 then RaiseException(erCustomError, 'negative: ' + IntToStr(x)); end;\n"
                    "begin\n"
                    "  try Check(-4); Log('not here'); except\n"
                    "    Log(IntToStr(Ord(ExceptionType)) + ' ' + ExceptionParam + ' ' + "
                    "ExceptionToString(ExceptionType, ExceptionParam));\n"
                    "  end;\n"
                    "  Log('after ' + IntToStr(Ord(ExceptionType)));\n"
                    "  try RaiseException(erMathError, 'm'); except Log(ExceptionToString(ExceptionType, "
                    "ExceptionParam)); end;\n"
                    "  try RaiseException(erException, 'e'); except Log(ExceptionToString(ExceptionType, "
                    "ExceptionParam)); end;\n"
                    "  try RaiseException(ErOutOfRange, ''); except Log(ExceptionToString(ExceptionType, "
                    "ExceptionParam)); end;\n"
                    "end.",
                    {"24 negative: -4 negative: -4", "after 0", "Math error", "Exception: e", "Out Of Range"}},
        ProgramCase{
            "finally parts run on the way out",
            "procedure Boom; begin RaiseException(erCustomError, 'boom'); end;\n"
            "procedure Guarded; begin try Boom; finally Log('inner finally'); end; Log('not here'); end;\n"
            "var i: Integer;\n"
            "begin\n"
            "  try Guarded; except Log('caught ' + ExceptionParam); end;\n"
            "  try try Boom finally Log('finally first') end; except Log('then except: ' + ExceptionParam); end;\n"
            "  for i := 1 to 3 do\n"
            "    try\n"
            "      if i = 2 then continue;\n"
            "      if i = 3 then break;\n"
            "      Log('body ' + IntToStr(i));\n"
            "    finally\n"
            "      Log('finally ' + IntToStr(i));\n"
            "    end;\n"
            "end.",
            {"inner finally", "caught boom", "finally first", "then except: boom", "body 1", "finally 1", "finally 2",
             "finally 3"}},
        ProgramCase{
            "try with both parts in either order",
            "begin\n"
            "  try Log('t1'); except Log('never'); finally Log('f1'); end;\n"
            "  try Log('t2'); finally Log('f2'); except Log('never'); end;\n"
            "  try RaiseException(erCustomError, 'x'); finally Log('f3'); except Log('e3 ' + ExceptionParam); end;\n"
            "  try RaiseException(erCustomError, 'y'); except Log('e4 ' + ExceptionParam); finally Log('f4'); end;\n"
            "end.",
            {"t1", "f1", "t2", "f2", "f3", "e3 x", "e4 y", "f4"}},
        ProgramCase{"an error re-raised from its except part",
                    "procedure Fail(const s: String); begin RaiseException(erCustomError, s); end;\n"
                    "begin\n"
                    "  try\n"
                    "    try Fail('first') except Log('inner ' + ExceptionParam); RaiseLastException; end;\n"
                    "  except Log('outer ' + ExceptionParam); end;\n"
                    "  try\n"
                    "    try Fail('a') except Fail('b'); end;\n"
                    "  except Log('replaced by ' + ExceptionParam); end;\n"
                    "  RaiseLastException;\n"
                    "  Log('nothing to raise');\n"
                    "end.",
                    {"inner first", "outer first", "replaced by b", "nothing to raise"}},
        ProgramCase{"a host conversion error ends the run with its message",
                    "var d: Double;\n"
                    "begin\n"
                    "  Log('x');\n"
                    "  d := StrToFloat('abc');\n"
                    "end.",
                    {"x"},
                    "Exception: Invalid float"},
        ProgramCase{"an error raised with a code of the runtime",
                    "begin RaiseException(ErDivideByZero, 'ignored'); end.",
                    {},
                    "divide by Zero"}),
    CaseParamName<ProgramCase>);

} // namespace
