// The built-in routines, called from bytecode the way the compiler lays out
// a call: each row puts its arguments into globals, calls the routine and
// reads the result and the var arguments back.

#include "script/runtime/exec.h"
#include "script/runtime/values.h"
#include "tests/script/runtime/call_test_support.h"
#include "tests/script/runtime/image_builder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>

using namespace calltest;
using namespace testimage;
using ps::BaseType;
using pscode::Op;
using pscode::TryPart;

namespace {

std::int64_t n(std::int64_t v)
{
    return v;
}
std::string a(const char* s)
{
    return s;
}
std::u16string w(const char16_t* s)
{
    return s;
}
long double r(long double v)
{
    return v;
}

const std::optional<TypeMaker> none;
std::optional<TypeMaker> gives(BaseType b)
{
    return base(b);
}

} // namespace

TEST(Builtins, TextRoutinesOnEachStringKind)
{
    const std::string outOfRange(pstext::OutOfStringRange);
    std::vector<Row> rows = {
        {"INTTOSTR", {val(Int64, n(INT64_MAX))}, gives(Ansi), a("9223372036854775807")},
        {"INTTOSTR", {val(Int64, n(INT64_MIN))}, gives(Ansi), a("-9223372036854775808")},
        {"INT64TOSTR", {val(Int64, n(-42))}, gives(Ansi), a("-42")},
        {"INTTOSTR", {val(LongInt, n(INT32_MIN))}, gives(Ansi), a("-2147483648")},
        {"INTTOSTR", {val(LongWord, n(4294967295))}, gives(Ansi), a("4294967295")},
        {"STRTOINT", {val(Ansi, a("-17"))}, gives(LongInt), n(-17)},
        {"STRTOINT", {val(Ansi, a("12x"))}, gives(LongInt), n(-1)},
        {"STRTOINTDEF", {val(Ansi, a("x")), val(LongInt, n(7))}, gives(LongInt), n(7)},
        {"STRTOINTDEF", {val(Ansi, a("33")), val(LongInt, n(7))}, gives(LongInt), n(33)},
        {"STRTOINT64", {val(Ansi, a("-9223372036854775808"))}, gives(Int64), n(INT64_MIN)},
        {"STRTOINT64", {val(Ansi, a("1.5"))}, gives(Int64), {}, {}, erException, "'1.5' is not a valid integer value"},
        {"POS", {val(Ansi, a("lo")), val(Ansi, a("hello lo"))}, gives(LongInt), n(4)},
        {"POS", {val(Ansi, a("z")), val(Ansi, a("hello"))}, gives(LongInt), n(0)},
        {"POS", {val(Ansi, a("")), val(Ansi, a("hello"))}, gives(LongInt), n(0)},
        {"POS", {val(Unicode, w(u"ß")), val(Unicode, w(u"aßb"))}, gives(LongInt), n(2)},
        {"POS", {val(Wide, w(u"b")), val(Wide, w(u"abc"))}, gives(LongInt), n(2)},
        {"COPY", {val(Ansi, a("abcdef")), val(LongInt, n(2)), val(LongInt, n(3))}, gives(Ansi), a("bcd")},
        {"COPY", {val(Ansi, a("abcdef")), val(LongInt, n(0)), val(LongInt, n(2))}, gives(Ansi), a("ab")},
        {"COPY", {val(Ansi, a("abc")), val(LongInt, n(3)), val(LongInt, n(99))}, gives(Ansi), a("c")},
        {"COPY", {val(Ansi, a("abc")), val(LongInt, n(4)), val(LongInt, n(1))}, gives(Ansi), a("")},
        {"COPY", {val(Ansi, a("abc")), val(LongInt, n(1)), val(LongInt, n(-1))}, gives(Ansi), a("")},
        {"COPY", {val(Unicode, w(u"äöü")), val(LongInt, n(2)), val(LongInt, n(1))}, gives(Unicode), w(u"ö")},
        {"COPY", {val(Wide, w(u"äöü")), val(LongInt, n(3)), val(LongInt, n(5))}, gives(Wide), w(u"ü")},
        {"DELETE", {ref(Ansi, a("abcdef")), val(LongInt, n(2)), val(LongInt, n(3))}, none, {}, {{0, a("aef")}}},
        {"DELETE", {ref(Ansi, a("abc")), val(LongInt, n(0)), val(LongInt, n(3))}, none, {}, {{0, a("abc")}}},
        {"DELETE", {ref(Ansi, a("abc")), val(LongInt, n(3)), val(LongInt, n(9))}, none, {}, {{0, a("ab")}}},
        {"DELETE", {ref(Unicode, w(u"äöü")), val(LongInt, n(1)), val(LongInt, n(1))}, none, {}, {{0, w(u"öü")}}},
        {"DELETE", {ref(Wide, w(u"xy")), val(LongInt, n(2)), val(LongInt, n(1))}, none, {}, {{0, w(u"x")}}},
        {"INSERT", {val(Ansi, a("XY")), ref(Ansi, a("abc")), val(LongInt, n(2))}, none, {}, {{1, a("aXYbc")}}},
        {"INSERT", {val(Ansi, a("X")), ref(Ansi, a("abc")), val(LongInt, n(0))}, none, {}, {{1, a("Xabc")}}},
        {"INSERT", {val(Ansi, a("X")), ref(Ansi, a("abc")), val(LongInt, n(9))}, none, {}, {{1, a("abcX")}}},
        {"INSERT", {val(Unicode, w(u"ß")), ref(Unicode, w(u"ab")), val(LongInt, n(3))}, none, {}, {{1, w(u"abß")}}},
        {"INSERT", {val(Wide, w(u"ß")), ref(Wide, w(u"ab")), val(LongInt, n(1))}, none, {}, {{1, w(u"ßab")}}},
        {"UPPERCASE", {val(Ansi, a("abz\xC3\xA4!"))}, gives(Ansi), a("ABZ\xC3\xA4!")},
        {"LOWERCASE", {val(Ansi, a("ABZ\xC3\x84!"))}, gives(Ansi), a("abz\xC3\x84!")},
        {"UPPERCASE", {val(Unicode, w(u"aäßяš"))}, gives(Unicode), w(u"AÄßЯŠ")},
        {"LOWERCASE", {val(Wide, w(u"AÄЯŠΩ"))}, gives(Wide), w(u"aäяšω")},
        {"ANSIUPPERCASE", {val(Ansi, a("ab\xC3\xA4"))}, gives(Ansi), a("AB\xC3\x84")},
        {"ANSILOWERCASE", {val(Ansi, a("AB\xC3\x84"))}, gives(Ansi), a("ab\xC3\xA4")},
        {"TRIM", {val(Ansi, a(" \t a b \r\n"))}, gives(Ansi), a("a b")},
        {"TRIM", {val(Ansi, a("   "))}, gives(Ansi), a("")},
        {"TRIM", {val(Unicode, w(u"  ä "))}, gives(Unicode), w(u"ä")},
        {"TRIM", {val(Wide, w(u"\tä\n"))}, gives(Wide), w(u"ä")},
        {"REPLICATE", {val(Char, n('z')), val(LongInt, n(3))}, gives(Ansi), a("zzz")},
        {"STRINGOFCHAR", {val(Char, n('z')), val(LongInt, n(-2))}, gives(Ansi), a("")},
        {"REPLICATE", {val(Char, n('z')), val(LongInt, n(INT32_MAX))}, gives(Ansi), {}, {}, erOutOfMemory},
        {"PADL", {val(Unicode, w(u"")), val(LongInt, n(INT32_MAX))}, gives(Unicode), {}, {}, erOutOfMemory},
        {"INSERT", {val(Ansi, a("X")), ref(Ansi, a("abc")), val(LongInt, n(9))}, none, {}, {{1, a("abcX")}}},
        {"STRGET", {ref(Ansi, a("abc")), val(LongInt, n(3))}, gives(Char), n('c')},
        {"STRGET", {ref(Ansi, a("abc")), val(LongInt, n(0))}, gives(Char), {}, {}, erCustomError, outOfRange},
        {"STRGET", {ref(Ansi, a("abc")), val(LongInt, n(4))}, gives(Char), {}, {}, erCustomError, outOfRange},
        {"STRGET", {ref(Ansi, a("")), val(LongInt, n(1))}, gives(Char), {}, {}, erCustomError, outOfRange},
        {"STRGET2", {val(Ansi, a("abc")), val(LongInt, n(1))}, gives(Char), n('a')},
        {"STRGET2", {val(Ansi, a("abc")), val(LongInt, n(4))}, gives(Char), {}, {}, erCustomError, outOfRange},
        {"WSTRGET", {ref(Unicode, w(u"aЯ")), val(LongInt, n(2))}, gives(WideChar), n(u'Я')},
        {"WSTRGET", {ref(Wide, w(u"")), val(LongInt, n(1))}, gives(WideChar), {}, {}, erCustomError, outOfRange},
        {"STRSET", {val(Char, n('X')), val(LongInt, n(2)), ref(Ansi, a("abc"))}, none, {}, {{2, a("aXc")}}},
        {"STRSET",
         {val(Char, n('X')), val(LongInt, n(4)), ref(Ansi, a("abc"))},
         none,
         {},
         {},
         erCustomError,
         outOfRange},
        {"WSTRSET", {val(Unicode, w(u"Я")), val(LongInt, n(1)), ref(Unicode, w(u"ab"))}, none, {}, {{2, w(u"Яb")}}},
        {"WSTRSET",
         {val(Unicode, w(u"Я")), val(LongInt, n(0)), ref(Wide, w(u"ab"))},
         none,
         {},
         {},
         erCustomError,
         outOfRange},
    };
    // The padding routines on each string kind: PADL of three characters to
    // 5 puts two blanks first, PADZ two zeros, PADR of three to 2 leaves the
    // text as it is.
    for (BaseType kind : {Ansi, Wide, Unicode}) {
        const auto text = [&](const char* s) -> Payload {
            if (kind == Ansi)
                return std::string(s);
            return std::u16string(s, s + std::strlen(s));
        };
        rows.push_back({"PADL", {val(kind, text("abc")), val(LongInt, n(5))}, gives(kind), text("  abc")});
        rows.push_back({"PADR", {val(kind, text("abc")), val(LongInt, n(5))}, gives(kind), text("abc  ")});
        rows.push_back({"PADZ", {val(kind, text("7")), val(LongInt, n(3))}, gives(kind), text("007")});
        rows.push_back({"PADR", {val(kind, text("abc")), val(LongInt, n(2))}, gives(kind), text("abc")});
        rows.push_back({"PADL", {val(kind, text("abc")), val(LongInt, n(3))}, gives(kind), text("abc")});
        rows.push_back({"PADZ", {val(kind, text("")), val(LongInt, n(-4))}, gives(kind), text("")});
    }
    runRows(rows);
}

TEST(Builtins, NumbersAndTheirConversions)
{
    const long double pi = 3.141592653589793238462643383279502884L;
    runRows({
        {"SIN", {val(Extended, r(0))}, gives(Extended), r(0)},
        {"SIN", {val(Extended, r(pi / 2))}, gives(Extended), r(1)},
        {"COS", {val(Extended, r(0))}, gives(Extended), r(1)},
        {"SQRT", {val(Extended, r(2.25))}, gives(Extended), r(1.5)},
        {"SQRT", {val(Extended, r(-1))}, gives(Extended), {}, {}, ErMathError, "Invalid floating point operation"},
        {"ROUND", {val(Extended, r(2.5))}, gives(LongInt), n(2)},
        {"ROUND", {val(Extended, r(3.5))}, gives(LongInt), n(4)},
        {"ROUND", {val(Extended, r(-2.6))}, gives(LongInt), n(-3)},
        {"ROUND", {val(Double, r(1e10))}, gives(LongInt), {}, {}, ErMathError, "Invalid floating point operation"},
        {"TRUNC", {val(Extended, r(-2.7))}, gives(LongInt), n(-2)},
        {"TRUNC", {val(Extended, r(2147483647.9L))}, gives(LongInt), n(2147483647)},
        {"INT", {val(Extended, r(-2.7))}, gives(Extended), r(-2)},
        {"PI", {}, gives(Extended), r(pi)},
        {"PI", {}, gives(Double), r(static_cast<double>(pi))},
        {"ABS", {val(Extended, r(-3.25))}, gives(Extended), r(3.25)},
        {"ABS", {val(LongInt, n(-3))}, gives(Extended), r(3)},
        {"STRTOFLOAT", {val(Ansi, a("-1.25"))}, gives(Extended), r(-1.25)},
        {"STRTOFLOAT", {val(Ansi, a("1.5x"))}, gives(Extended), {}, {}, erException, "Invalid float"},
        {"FLOATTOSTR", {val(Extended, r(1.5))}, gives(Ansi), a("1.500000000000")},
        {"FLOATTOSTR", {val(Currency, r(-2.5))}, gives(Ansi), a("-2.500000000000")},
    });
}

TEST(Builtins, OrdinalsLengthsAndArrays)
{
    static const TypeMaker classType = [](ImageBuilder& b) { return b.classType("TTHING"); };
    const Items none3 = {};
    runRows({
        {"HIGH", {val(Byte, n(0))}, gives(Int64), n(255)},
        {"LOW", {val(ShortInt, n(0))}, gives(Int64), n(-128)},
        {"HIGH", {val(ShortInt, n(0))}, gives(Int64), n(127)},
        {"HIGH", {val(Word, n(0))}, gives(Int64), n(65535)},
        {"LOW", {val(SmallInt, n(0))}, gives(Int64), n(-32768)},
        {"HIGH", {val(SmallInt, n(0))}, gives(Int64), n(32767)},
        {"LOW", {val(LongWord, n(0))}, gives(Int64), n(0)},
        {"HIGH", {val(LongWord, n(0))}, gives(Int64), n(4294967295)},
        {"LOW", {val(LongInt, n(0))}, gives(Int64), n(INT32_MIN)},
        {"HIGH", {val(LongInt, n(0))}, gives(Int64), n(INT32_MAX)},
        {"LOW", {val(Int64, n(0))}, gives(Int64), n(INT64_MIN)},
        {"HIGH", {val(Int64, n(0))}, gives(Int64), n(INT64_MAX)},
        {"HIGH", {val(Char, n(0))}, gives(Int64), n(255)},
        {"HIGH", {val(WideChar, n(0))}, gives(Int64), n(65535)},
        {"LOW", {val(Ansi, a("abc"))}, gives(Int64), n(1)},
        {"HIGH", {val(Ansi, a("abc"))}, gives(Int64), n(3)},
        {"HIGH", {val(Unicode, w(u"ab"))}, gives(Int64), n(2)},
        {"LOW", {val(Wide, w(u"ab"))}, gives(Int64), n(1)},
        {"LOW", {val(Byte, n(9))}, gives(Int64), n(0)},
        {"LOW", {val(Word, n(9))}, gives(Int64), n(0)},
        {"LOW", {{dynOf(LongInt), Items{4, 5, 6}}}, gives(Int64), n(0)},
        {"HIGH", {{dynOf(LongInt), Items{4, 5, 6}}}, gives(Int64), n(2)},
        {"HIGH", {{dynOf(LongInt), none3}}, gives(Int64), n(-1)},
        {"LOW", {{staticOf(LongInt, 3, 5), Items{1, 2, 3}}}, gives(Int64), n(5)},
        {"HIGH", {{staticOf(LongInt, 3, 5), Items{1, 2, 3}}}, gives(Int64), n(7)},
        {"HIGH", {val(Extended, r(1))}, gives(Int64), {}, {}, erCouldNotCallProc},

        {"INC", {ref(Byte, n(255))}, none, {}, {{0, n(0)}}},
        {"INC", {ref(ShortInt, n(-1))}, none, {}, {{0, n(0)}}},
        {"DEC", {ref(Word, n(0))}, none, {}, {{0, n(65535)}}},
        {"INC", {ref(SmallInt, n(32767))}, none, {}, {{0, n(-32768)}}},
        {"DEC", {ref(LongWord, n(0))}, none, {}, {{0, n(4294967295)}}},
        {"INC", {ref(LongInt, n(41))}, none, {}, {{0, n(42)}}},
        {"INC", {ref(Int64, n(INT64_MAX))}, none, {}, {{0, n(INT64_MIN)}}},
        {"DEC", {ref(Int64, n(1) << 40)}, none, {}, {{0, n((n(1) << 40) - 1)}}},
        {"INC", {ref(Char, n('a'))}, none, {}, {{0, n('b')}}},
        {"DEC", {ref(WideChar, n(0))}, none, {}, {{0, n(0xFFFF)}}},
        {"INC", {ref(Ansi, a("a"))}, none, {}, {}, erCouldNotCallProc},

        {"LENGTH", {val(Ansi, a("abc"))}, gives(LongInt), n(3)},
        {"LENGTH", {val(PChar, a("ab"))}, gives(LongInt), n(2)},
        {"LENGTH", {val(PChar, std::string("a\0b", 3))}, gives(LongInt), n(1)},
        {"HIGH", {val(PChar, std::string("ab\0c", 4))}, gives(Int64), n(2)},
        {"!ASSIGNED", {val(PChar, std::string("\0c", 2))}, gives(Byte), n(1)},
        {"LENGTH", {val(Wide, w(u"äö"))}, gives(LongInt), n(2)},
        {"LENGTH", {val(Unicode, w(u""))}, gives(LongInt), n(0)},
        {"LENGTH", {val(Char, n('x'))}, gives(LongInt), n(1)},
        {"LENGTH", {val(WideChar, n('x'))}, gives(LongInt), n(1)},
        {"LENGTH", {{dynOf(LongInt), Items{1, 2, 3, 4}}}, gives(LongInt), n(4)},
        {"LENGTH", {{staticOf(LongInt, 3, 1), Items{1, 2, 3}}}, gives(LongInt), n(3)},
        {"LENGTH", {val(Var, VariantFromString("abcde"))}, gives(LongInt), n(5)},
        {"LENGTH", {val(Var, VariantFromInt(-123))}, gives(LongInt), n(4)},
        {"LENGTH", {val(Var, VariantFromWide(u"äöü"))}, gives(LongInt), n(3)},
        {"LENGTH", {val(Extended, r(1))}, gives(LongInt), {}, {}, erCouldNotCallProc},

        {"SETLENGTH", {ref(Ansi, a("abc")), val(LongInt, n(2))}, none, {}, {{0, a("ab")}}},
        {"SETLENGTH", {ref(Ansi, a("ab")), val(LongInt, n(3))}, none, {}, {{0, std::string("ab\0", 3)}}},
        {"SETLENGTH", {ref(Unicode, w(u"abc")), val(LongInt, n(0))}, none, {}, {{0, w(u"")}}},
        {"SETLENGTH", {ref(Wide, w(u"abc")), val(LongInt, n(-5))}, none, {}, {{0, w(u"")}}},
        {"SETLENGTH", {{dynOf(LongInt), Items{1, 2}, true}, val(LongInt, n(4))}, none, {}, {{0, Items{1, 2, 0, 0}}}},
        {"SETLENGTH", {{dynOf(LongInt), Items{1, 2}, true}, val(LongInt, n(0))}, none, {}, {{0, none3}}},
        {"SETLENGTH", {ref(LongInt, n(1)), val(LongInt, n(0))}, none, {}, {}, erCouldNotCallProc},
        {"SETLENGTH", {ref(Unicode, w(u"")), val(LongInt, n(INT32_MAX))}, none, {}, {}, erOutOfMemory},
        {"SETLENGTH", {{dynOf(Int64), Items{}, true}, val(LongInt, n(INT32_MAX))}, none, {}, {}, erOutOfMemory},

        {"GETARRAYLENGTH", {{dynOf(LongInt), none3, true}}, gives(LongInt), n(0)},
        {"GETARRAYLENGTH", {{dynOf(Ansi), Items{}, true}}, gives(LongInt), n(0)},
        {"GETARRAYLENGTH", {{dynOf(LongInt), Items{7, 8, 9}, true}}, gives(LongInt), n(3)},
        {"GETARRAYLENGTH", {{staticOf(LongInt, 2, 0), Items{7, 8}, true}}, gives(LongInt), n(2)},
        {"GETARRAYLENGTH", {ref(Ansi, a("abc"))}, gives(LongInt), {}, {}, erCouldNotCallProc},
        {"SETARRAYLENGTH", {{dynOf(LongInt), Items{5}, true}, val(LongInt, n(3))}, none, {}, {{0, Items{5, 0, 0}}}},
        {"SETARRAYLENGTH", {{dynOf(LongInt), Items{5}, true}, val(LongInt, n(0))}, none, {}, {{0, none3}}},
        {"SETARRAYLENGTH", {ref(Ansi, a("abc")), val(LongInt, n(3))}, none, {}, {}, erCouldNotCallProc},

        {"!ASSIGNED", {val(LongInt, n(0))}, gives(Byte), n(0)},
        {"!ASSIGNED", {val(LongWord, n(9))}, gives(Byte), n(1)},
        {"!ASSIGNED", {val(Ansi, a(""))}, gives(Byte), n(0)},
        {"!ASSIGNED", {val(Ansi, a("x"))}, gives(Byte), n(1)},
        {"!ASSIGNED", {val(Unicode, w(u""))}, gives(Byte), n(0)},
        {"!ASSIGNED", {val(Wide, w(u"x"))}, gives(Byte), n(1)},
        {"!ASSIGNED", {{dynOf(LongInt), none3}}, gives(Byte), n(0)},
        {"!ASSIGNED", {{dynOf(LongInt), Items{1}}}, gives(Byte), n(1)},
        {"!ASSIGNED", {{classType, {}}}, gives(Byte), n(0)},
        {"!ASSIGNED",
         {{classType,
           {},
           false,
           [](const TPSValueRef& v) {
               static int object = 0;
               StoreAs<void*>(v.data, &object);
           }}},
         gives(Byte),
         n(1)},
        {"!ASSIGNED", {val(Extended, r(1))}, gives(Byte), {}, {}, erCouldNotCallProc},

        {"SIZEOF", {val(LongInt, n(0))}, gives(LongInt), n(4)},
        {"SIZEOF", {val(Int64, n(0))}, gives(LongInt), n(8)},
        {"SIZEOF", {{staticOf(Word, 5, 0), Items{1, 2, 3, 4, 5}}}, gives(LongInt), n(10)},
    });
}

TEST(Builtins, VariantRoutines)
{
    const Variant array = VariantFromArray({VariantFromInt(1), VariantFromString("two")}, 3);
    runRows({
        {"NULL", {}, gives(Var), vNull},
        {"UNASSIGNED", {}, gives(Var), Variant{}},
        {"VARISNULL", {val(Var, vNull)}, gives(Byte), n(1)},
        {"VARISNULL", {val(Var, Variant{})}, gives(Byte), n(0)},
        {"VARISEMPTY", {val(Var, Variant{})}, gives(Byte), n(1)},
        {"VARISEMPTY", {val(Var, VariantFromInt(0))}, gives(Byte), n(0)},
        {"VARTYPE", {val(Var, VariantFromString("x"))}, gives(Word), n(varcode::String)},
        {"VARTYPE", {val(Var, VariantFromReal(1.5))}, gives(Word), n(varcode::Double)},
        {"VARARRAYGET", {{base(Var), array, true}, val(LongInt, n(4))}, gives(Var), VariantFromString("two")},
        {"VARARRAYGET", {{base(Var), array, true}, val(LongInt, n(2))}, gives(Var), {}, {}, ErOutOfRange},
        {"VARARRAYGET", {{base(Var), VariantFromInt(1), true}, val(LongInt, n(0))}, gives(Var), {}, {}, ErTypeMismatch},
        {"VARARRAYSET",
         {val(Var, VariantFromInt(9)), val(LongInt, n(3)), {base(Var), array, true}},
         none,
         {},
         {{2, VariantFromArray({VariantFromInt(9), VariantFromString("two")}, 3)}}},
    });
    // The array the row changed was a copy: the original keeps its items.
    EXPECT_EQ(VariantArrayOf(array)->items[0], VariantFromInt(1));
}

// The notification variables go to the host's callbacks by name; without
// them reading leaves the result alone and writing does nothing.
TEST(Builtins, NotificationVariablesReachTheHost)
{
    static std::map<std::string, Variant> store;
    store = {{"speed", VariantFromInt(3)}};
    Call write("!NOTIFICATIONVARIANTSET", {val(Ansi, a("colour")), val(Var, VariantFromString("red"))});
    write.exec.OnSetNotificationVariant = [](TPSExec*, const std::string& name, const Variant& v) { store[name] = v; };
    ASSERT_TRUE(write.Run()) << write.error();
    EXPECT_EQ(store["colour"], VariantFromString("red"));

    Call read("!NOTIFICATIONVARIANTGET", {val(Ansi, a("speed"))}, base(Var));
    read.exec.OnGetNotificationVariant = [](TPSExec*, const std::string& name) { return store[name]; };
    ASSERT_TRUE(read.Run()) << read.error();
    EXPECT_TRUE(holds(read.result(), VariantFromInt(3)));

    runRows({
        {"!NOTIFICATIONVARIANTGET", {val(Ansi, a("speed"))}, base(Var), Variant{}},
        {"!NOTIFICATIONVARIANTSET", {val(Ansi, a("speed")), val(Var, VariantFromInt(1))}},
    });
}

// StrSet changes only the variable it is given, never a text copied from it.
TEST(Builtins, CharacterWritesChangeOnlyTheirOwnVariable)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t charT = b.type(Char);
    const std::uint32_t original = b.var(t.string), copy = b.var(t.string), c = b.var(charT);
    const std::uint32_t strSet = b.external("STRSET"), wStrSet = b.external("WSTRSET");
    const std::uint32_t wOriginal = b.var(t.wstring), wCopy = b.var(t.wstring);
    Code code;
    code.assign(V(original), C(t.string, text("abc")))
        .assign(V(copy), V(original))
        .assign(V(c), C(charT, u8('Z')))
        .pushRef(V(copy))
        .push(C(t.longint, s32(1)))
        .push(V(c))
        .call(strSet)
        .pop()
        .pop()
        .pop()
        .assign(V(wOriginal), C(t.wstring, wtext(u"äbc")))
        .assign(V(wCopy), V(wOriginal))
        .pushRef(V(wCopy))
        .push(C(t.longint, s32(3)))
        .push(C(t.wstring, wtext(u"Я")))
        .call(wStrSet)
        .pop()
        .pop()
        .pop()
        .ret();
    b.main(b.proc(code));
    TPSExec exec;
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    ASSERT_TRUE(exec.ExecuteCode()) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
    EXPECT_TRUE(holds(exec.GetGlobalVar(original), a("abc")));
    EXPECT_TRUE(holds(exec.GetGlobalVar(copy), a("Zbc")));
    EXPECT_TRUE(holds(exec.GetGlobalVar(wOriginal), w(u"äbc")));
    EXPECT_TRUE(holds(exec.GetGlobalVar(wCopy), w(u"äbЯ")));
}

// The exception routines inside an except part read the error it handles;
// outside any try block they read the executer's last error.
TEST(Builtins, ExceptionRoutinesReadAndRaiseTheHandledError)
{
    ImageBuilder b;
    StandardTypes t(b);
    const std::uint32_t type = b.var(t.longint), param = b.var(t.string), procNo = b.var(t.longword),
                        message = b.var(t.string);
    const std::uint32_t raise = b.external("RAISEEXCEPTION"), exType = b.external("EXCEPTIONTYPE"),
                        exParam = b.external("EXCEPTIONPARAM"), exProc = b.external("EXCEPTIONPROC"),
                        toString = b.external("EXCEPTIONTOSTRING"), reraise = b.external("RAISELASTEXCEPTION");
    auto body = [&](bool raiseAgain) {
        Code c;
        c.call(reraise) // outside any try block: nothing
            .tryOpen("", "ex", "", "end")
            .push(C(t.string, text("zero")))
            .push(C(t.longint, s32(ErDivideByZero)))
            .call(raise)
            .pop()
            .pop()
            .tryEnd(TryPart::Try)
            .label("ex")
            .pushRef(V(type))
            .call(exType)
            .pop()
            .pushRef(V(param))
            .call(exParam)
            .pop()
            .pushRef(V(procNo))
            .call(exProc)
            .pop()
            .push(V(param))
            .push(V(type))
            .pushRef(V(message))
            .call(toString)
            .pop()
            .pop()
            .pop();
        if (raiseAgain)
            c.call(reraise);
        c.tryEnd(TryPart::Except).label("end").ret();
        return c;
    };
    for (const bool raiseAgain : {false, true}) {
        ImageBuilder copy = b;
        const std::uint32_t main = copy.proc(body(raiseAgain));
        copy.main(main);
        TPSExec exec;
        ASSERT_TRUE(exec.LoadBytecode(copy.image()));
        const bool ok = exec.ExecuteCode();
        EXPECT_TRUE(holds(exec.GetGlobalVar(type), n(ErDivideByZero)));
        EXPECT_TRUE(holds(exec.GetGlobalVar(param), a("zero")));
        EXPECT_TRUE(holds(exec.GetGlobalVar(procNo), n(main)));
        EXPECT_TRUE(holds(exec.GetGlobalVar(message), ErrorCodeToText(ErDivideByZero, "zero")));
        if (raiseAgain) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(exec.ExceptionCode(), ErDivideByZero);
            EXPECT_EQ(exec.ExceptionText(), "zero");
        } else {
            EXPECT_TRUE(ok) << ErrorCodeToText(exec.ExceptionCode(), exec.ExceptionText());
        }
    }
    runRows({
        {"RAISEEXCEPTION", {val(LongInt, n(erCustomError)), val(Ansi, a("mine"))}, none, {}, {}, erCustomError, "mine"},
        {"RAISEEXCEPTION", {val(LongInt, n(ErNoError)), val(Ansi, a("nothing"))}, none},
        {"EXCEPTIONTYPE", {}, gives(LongInt), n(ErNoError)},
        {"EXCEPTIONTOSTRING", {val(LongInt, n(erCustomError)), val(Ansi, a("x"))}, gives(Ansi), a("x")},
    });
}

// Every routine the compiler declares for every program is there to bind
// to, so an image that imports them all loads.
TEST(Builtins, EveryStandardRoutineBinds)
{
    ImageBuilder b;
    StandardTypes t(b);
    for (const char* name : {"!ASSIGNED",
                             "INTTOSTR",
                             "STRTOINT",
                             "STRTOINTDEF",
                             "COPY",
                             "POS",
                             "DELETE",
                             "INSERT",
                             "GETARRAYLENGTH",
                             "SETARRAYLENGTH",
                             "STRGET",
                             "STRGET2",
                             "STRSET",
                             "WSTRGET",
                             "WSTRSET",
                             "VARARRAYGET",
                             "VARARRAYSET",
                             "ANSIUPPERCASE",
                             "ANSILOWERCASE",
                             "UPPERCASE",
                             "LOWERCASE",
                             "TRIM",
                             "LENGTH",
                             "SETLENGTH",
                             "LOW",
                             "HIGH",
                             "DEC",
                             "INC",
                             "SIN",
                             "COS",
                             "SQRT",
                             "ROUND",
                             "TRUNC",
                             "INT",
                             "PI",
                             "ABS",
                             "STRTOFLOAT",
                             "FLOATTOSTR",
                             "PADL",
                             "PADR",
                             "PADZ",
                             "REPLICATE",
                             "STRINGOFCHAR",
                             "UNASSIGNED",
                             "VARISEMPTY",
                             "NULL",
                             "VARISNULL",
                             "VARTYPE",
                             "RAISELASTEXCEPTION",
                             "RAISEEXCEPTION",
                             "EXCEPTIONTYPE",
                             "EXCEPTIONPARAM",
                             "EXCEPTIONPROC",
                             "EXCEPTIONPOS",
                             "EXCEPTIONTOSTRING",
                             "STRTOINT64",
                             "INT64TOSTR",
                             "SIZEOF",
                             "IDISPATCHINVOKE"})
        b.external(name);
    b.main(b.proc(Code().ret()));
    TPSExec exec;
    EXPECT_TRUE(exec.LoadBytecode(b.image())) << exec.ExceptionText();
    // Resetting the host's routines keeps the built-in ones.
    exec.ResetNativeProcs();
    EXPECT_TRUE(exec.LoadBytecode(b.image())) << exec.ExceptionText();
}
