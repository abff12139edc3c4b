// Host routines registered through the typed adapters, called from bytecode
// with every kind of parameter; what the host received is read back on the
// host side, what it wrote on the script side.

#include "script/runtime/native_bridge.h"
#include "tests/script/runtime/call_test_support.h"
#include "tests/script/runtime/value_test_support.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace calltest;
using ps::BaseType;

namespace {

std::int64_t scaledCurrency(const TPSValueRef& v)
{
    return LoadAs<std::int64_t>(v.data);
}

void run(Call& call)
{
    ASSERT_TRUE(call.Run()) << call.error();
}

} // namespace

TEST(NativeBridge, IntegersOfEveryWidth)
{
    Call call("INTS",
              {val(Byte, std::int64_t(200)), val(ShortInt, std::int64_t(-100)), val(Word, std::int64_t(60000)),
               val(SmallInt, std::int64_t(-30000)), val(LongWord, std::int64_t(4000000000)),
               val(LongInt, std::int64_t(-2000000000)), val(Int64, std::int64_t(1) << 40),
               ref(LongInt, std::int64_t(5))},
              base(Int64));
    std::tuple<std::uint8_t, std::int8_t, std::uint16_t, std::int16_t, std::uint32_t, std::int32_t, std::int64_t> seen;
    RegisterNativeFunction(call.exec,
                           "function Ints(a: Byte; b: ShortInt; c: Word; d: SmallInt; e: LongWord; f: LongInt; "
                           "g: Int64; var h: Integer): Int64;",
                           [&](std::uint8_t a, std::int8_t b, std::uint16_t c, std::int16_t d, std::uint32_t e,
                               std::int32_t f, std::int64_t g, std::int32_t& h) {
                               seen = {a, b, c, d, e, f, g};
                               h *= 3;
                               return std::int64_t(a) + b + c + d + e + f + g;
                           });
    run(call);
    EXPECT_EQ(seen, std::make_tuple(std::uint8_t(200), std::int8_t(-100), std::uint16_t(60000), std::int16_t(-30000),
                                    std::uint32_t(4000000000), std::int32_t(-2000000000), std::int64_t(1) << 40));
    EXPECT_TRUE(holds(call.result(), std::int64_t(1101511657876)));
    EXPECT_TRUE(holds(call.arg(7), std::int64_t(15)));
}

TEST(NativeBridge, RealsAndCurrency)
{
    Call call("REALS",
              {val(Single, 1.5L), val(Double, 0.1L), val(Extended, 1.0L / 3), val(Currency, 12.3456L),
               ref(Extended, 2.5L), ref(Currency, std::monostate{})},
              base(Double));
    std::tuple<float, double, long double, std::int64_t> seen;
    RegisterNativeFunction(
        call.exec,
        "function Reals(a: Single; b: Double; c: Extended; d: Currency; var e: Extended; "
        "out f: Currency): Double;",
        [&](float a, double b, long double c, TPSNativeCurrency d, long double& e, TPSNativeCurrency& f) {
            seen = {a, b, c, d.scaled};
            e *= 2;
            f.scaled = d.scaled + 1;
            return b * 3;
        },
        1);
    run(call);
    EXPECT_EQ(seen, std::make_tuple(1.5f, 0.1, 1.0L / 3, std::int64_t(123456)));
    EXPECT_TRUE(holds(call.arg(4), 5.0L));
    EXPECT_EQ(scaledCurrency(call.arg(5)), 123457);
    EXPECT_EQ(LoadAs<double>(call.result().data), 0.1 * 3);
}

TEST(NativeBridge, TextsAndCharacters)
{
    Call call("TEXTS",
              {val(Ansi, std::string("ab")), val(Wide, std::u16string(u"wä")), val(Unicode, std::u16string(u"uЯ")),
               val(Char, std::int64_t('c')), val(WideChar, std::int64_t(u'Ω')), ref(Ansi, std::string("f")),
               ref(Unicode, std::u16string(u"g")), val(PChar, std::string("p\0q", 3)), ref(Char, std::int64_t('x'))},
              base(Wide));
    std::tuple<std::string, std::u16string, std::u16string, char, char16_t, std::string> seen;
    RegisterNativeFunction(
        call.exec,
        "function Texts(const a: String; b: WideString; c: UnicodeString; d: Char; e: WideChar; "
        "var f: AnsiString; var g: UnicodeString; p: PChar; var h: Char): WideString;",
        [&](const std::string& a, std::u16string b, const std::u16string& c, char d, char16_t e, std::string& f,
            std::u16string& g, std::string p, char& h) {
            seen = {a, b, c, d, e, p};
            f += a;
            g = c + b;
            h = 'y';
            return std::u16string(1, e) + b;
        },
        2);
    run(call);
    EXPECT_EQ(seen, std::make_tuple(std::string("ab"), std::u16string(u"wä"), std::u16string(u"uЯ"), 'c', u'Ω',
                                    std::string("p")));
    EXPECT_TRUE(holds(call.arg(5), std::string("fab")));
    EXPECT_TRUE(holds(call.arg(6), std::u16string(u"uЯwä")));
    EXPECT_TRUE(holds(call.arg(8), std::int64_t('y')));
    EXPECT_TRUE(holds(call.result(), std::u16string(u"Ωwä")));
}

TEST(NativeBridge, BooleansAndVariants)
{
    const Variant array = VariantFromArray({VariantFromInt(1), VariantFromString("x")});
    Call call("FLAGS",
              {val(Byte, std::int64_t(1)), ref(Byte, std::int64_t(1)), val(Var, array), ref(Var, VariantFromInt(3)),
               val(LongInt, std::int64_t(8))},
              base(Var));
    std::tuple<bool, Variant, Variant> seen;
    RegisterNativeFunction(
        call.exec,
        "function Flags(a: Boolean; var b: Boolean; v: Variant; var w: Variant; i: Variant): "
        "Variant;",
        [&](bool a, bool& b, const Variant& v, Variant& w, Variant i) {
            seen = {a, v, i};
            b = !a;
            w = VariantFromString("changed");
            return VariantFromReal(2.5);
        },
        3);
    run(call);
    EXPECT_TRUE(std::get<0>(seen));
    EXPECT_TRUE(sameVariant(std::get<1>(seen), array));
    EXPECT_EQ(std::get<2>(seen), VariantFromInt(8));
    EXPECT_TRUE(holds(call.arg(1), std::int64_t(0)));
    EXPECT_TRUE(holds(call.arg(3), VariantFromString("changed")));
    EXPECT_TRUE(holds(call.result(), VariantFromReal(2.5)));
}

TEST(NativeBridge, RecordsSetsAndArrays)
{
    const TypeMaker pair = [](ImageBuilder& b) { return b.record({b.type(LongInt), b.type(Ansi)}); };
    const TypeMaker bits = [](ImageBuilder& b) { return b.set(12); };
    auto fillPair = [](std::int32_t n, const char* s) {
        return [=](const TPSValueRef& v) {
            const TPSNativeRecord record{v};
            bool ok = true;
            SetValueFromInt(record.Field(0).data, record.Field(0).type, ok, n);
            SetValueFromAnsiString(record.Field(1).data, record.Field(1).type, ok, s);
        };
    };
    auto fillBits = [](std::vector<std::uint32_t> on) {
        return [=](const TPSValueRef& v) {
            for (std::uint32_t bit : on)
                TPSNativeSet{v}.Include(bit);
        };
    };
    Call call("COMPOSITE", {{pair, {}, false, fillPair(7, "seven")},
                            {pair, {}, true, fillPair(0, "")},
                            {bits, {}, false, fillBits({0, 11})},
                            {bits, {}, true, fillBits({3})},
                            {dynOf(LongInt), Items{1, 2, 3}},
                            {dynOf(LongInt), Items{4}, true},
                            {staticOf(LongInt, 3, 5), Items{7, 8, 9}}});
    struct Seen
    {
        std::int32_t number = 0;
        std::string text;
        std::vector<bool> bits;
        std::vector<std::int64_t> items, staticItems;
    } seen;
    RegisterNativeFunction(
        call.exec,
        "procedure Composite(r: TPair; var rv: TPair; s: TBits; var sv: TBits; a: TList; var d: TList; t: TTriple);",
        [&](TPSNativeRecord r, TPSNativeRecord& rv, TPSNativeSet s, TPSNativeSet& sv, TPSNativeArray a,
            TPSNativeArray& d, const TPSNativeArray& t) {
            ASSERT_EQ(r.FieldCount(), 2u);
            seen.number = GetValueAsInt(r.Field(0).data, r.Field(0).type);
            seen.text = GetValueAsAnsiString(r.Field(1).data, r.Field(1).type);
            bool ok = true;
            // A value parameter is the call's own copy.
            SetValueFromInt(r.Field(0).data, r.Field(0).type, ok, -1);
            SetValueFromInt(rv.Field(0).data, rv.Field(0).type, ok, seen.number * 2);
            SetValueFromAnsiString(rv.Field(1).data, rv.Field(1).type, ok, seen.text + "!");
            for (std::uint32_t bit = 0; bit < s.BitCount(); ++bit)
                seen.bits.push_back(s.Contains(bit));
            sv.Exclude(3);
            sv.Include(5);
            sv.Include(400); // past the set: ignored
            for (std::uint32_t i = 0; i < a.Count(); ++i)
                seen.items.push_back(GetValueAsInt64(a.Item(i).data, a.Item(i).type));
            for (std::uint32_t i = 0; i < t.Count(); ++i)
                seen.staticItems.push_back(GetValueAsInt64(t.Item(i).data, t.Item(i).type));
            ASSERT_TRUE(d.Resize(3));
            SetValueFromInt(d.Item(2).data, d.Item(2).type, ok, 44);
            EXPECT_FALSE(t.Resize(1));
            EXPECT_EQ(a.Item(3).data, nullptr);
        });
    run(call);
    EXPECT_EQ(seen.number, 7);
    EXPECT_EQ(seen.text, "seven");
    std::vector<bool> expectedBits(12, false);
    expectedBits[0] = expectedBits[11] = true;
    EXPECT_EQ(seen.bits, expectedBits);
    EXPECT_EQ(seen.items, (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(seen.staticItems, (std::vector<std::int64_t>{7, 8, 9}));
    const TPSNativeRecord r{call.arg(0)}, rv{call.arg(1)};
    EXPECT_TRUE(holds(r.Field(0), std::int64_t(7)));
    EXPECT_TRUE(holds(rv.Field(0), std::int64_t(14)));
    EXPECT_TRUE(holds(rv.Field(1), std::string("seven!")));
    const TPSNativeSet sv{call.arg(3)};
    for (std::uint32_t bit = 0; bit < 12; ++bit)
        EXPECT_EQ(sv.Contains(bit), bit == 5) << bit;
    EXPECT_TRUE(holds(call.arg(5), Items{4, 0, 44}));
}

TEST(NativeBridge, OpenArrays)
{
    // An array of const holds pointers to its items' values.
    static std::int32_t number = 12;
    static std::string text = "text";
    auto fillConst = [](const TPSValueRef& v) {
        DynArraySetLength(v.data, v.type, 2);
        auto* items = static_cast<TPSPointerValue*>(DynArrayElements(v.data));
        items[0] = {&number, valuetest::types().of(LongInt), false, {}};
        items[1] = {&text, valuetest::types().of(Ansi), false, {}};
    };
    Call call("SUM",
              {{dynOf(LongInt), Items{1, 2, 3}},
               {dynOf(LongInt), Items{5, 6}, true},
               {staticOf(LongInt, 2, 1), Items{10, 20}},
               {dynOf(Var), std::monostate{}},
               {dynOf(BaseType::Pointer), {}, false, fillConst}},
              base(LongInt));
    std::vector<Variant> seenConst;
    RegisterNativeFunction(
        call.exec,
        "function Sum(const a: array of Integer; var b: array of Integer; c: array of Integer; "
        "v: array of Variant; const k: array of const): Integer;",
        [&](const std::vector<std::int32_t>& a, std::vector<std::int32_t>& b, std::vector<std::int32_t> c,
            const std::vector<Variant>& v, std::vector<Variant> k) {
            b[0] = 99;
            b.push_back(100); // an open array keeps its length
            seenConst = std::move(k);
            return std::accumulate(a.begin(), a.end(), 0) + std::accumulate(c.begin(), c.end(), 0) +
                   static_cast<std::int32_t>(v.size());
        },
        4);
    run(call);
    EXPECT_TRUE(holds(call.result(), std::int64_t(36)));
    EXPECT_TRUE(holds(call.arg(1), Items{99, 6}));
    EXPECT_EQ(seenConst, (std::vector<Variant>{VariantFromInt(12), VariantFromString("text")}));
}

TEST(NativeBridge, ProceduralValuesObjectsAndMethods)
{
    const TypeMaker procType = [](ImageBuilder& b) { return b.procType(std::string("\0", 1)); };
    const TypeMaker classType = [](ImageBuilder& b) { return b.classType("TTHING"); };
    int thing = 0, other = 0;
    Call call("REFS", {{procType,
                        {},
                        false,
                        [](const TPSValueRef& v) {
                            StoreAs(v.data, TPSProcValue{3, nullptr, nullptr});
                        }},
                       {procType, {}, true},
                       {classType, {}, false, [&](const TPSValueRef& v) { StoreAs<void*>(v.data, &thing); }},
                       {classType, {}, true}});
    std::uint32_t seenProc = 0;
    void* seenObject = nullptr;
    RegisterNativeFunction(call.exec, "procedure Refs(p: TProc; var q: TProc; o: TThing; var ov: TThing);",
                           [&](TPSNativeProcValue p, TPSNativeProcValue& q, TPSNativeObject o, TPSNativeObject& ov) {
                               seenProc = p.value.procNo;
                               seenObject = o.object;
                               q = p;
                               ov.object = &other;
                           });
    run(call);
    EXPECT_EQ(seenProc, 3u);
    EXPECT_EQ(seenObject, &thing);
    EXPECT_EQ(LoadAs<TPSProcValue>(call.arg(1).data).procNo, 3u);
    EXPECT_EQ(LoadAs<void*>(call.arg(3).data), &other);

    // A method with three parameters receives its object and all three.
    struct Counter
    {
        std::int32_t total = 0;
        std::string notes;
        std::int32_t Add(std::int32_t n, const std::string& why, std::int32_t times)
        {
            notes += why;
            return total += n * times;
        }
    } counter;
    Call method("ADD", {val(LongInt, std::int64_t(5)), val(Ansi, std::string("five")), val(LongInt, std::int64_t(2))},
                base(LongInt));
    counter.total = 10;
    RegisterNativeMethod(method.exec, &counter, "function Add(n: Integer; const Why: String; Times: Integer): Integer;",
                         &Counter::Add, 0);
    run(method);
    EXPECT_EQ(counter.total, 20);
    EXPECT_EQ(counter.notes, "five");
    EXPECT_TRUE(holds(method.result(), std::int64_t(20)));
}

// A runtime error the host reports reaches the script; an image that
// declares the routine with other parameter modes than it was registered
// with cannot call it.
TEST(NativeBridge, FailuresReachTheScript)
{
    Call raising("BAD", {val(LongInt, std::int64_t(1))});
    RegisterNativeFunction(raising.exec, "procedure Bad(i: Integer);",
                           [](std::int32_t) { throw EPSRuntimeError(erCustomError, "host says no"); });
    EXPECT_FALSE(raising.Run());
    EXPECT_EQ(raising.exec.ExceptionCode(), erCustomError);
    EXPECT_EQ(raising.exec.ExceptionText(), "host says no");

    ImageBuilder b;
    StandardTypes t(b);
    const std::string varDecl("\0\1", 2);
    const std::uint32_t global = b.var(t.longint), routine = b.external("ONE", &varDecl);
    b.main(b.proc(Code().pushRef(V(global)).call(routine).pop().ret()));
    TPSExec exec;
    RegisterNativeFunction(exec, "procedure One(i: Integer);", [](std::int32_t) {});
    ASSERT_TRUE(exec.LoadBytecode(b.image()));
    EXPECT_FALSE(exec.ExecuteCode());
    EXPECT_EQ(exec.ExceptionCode(), erCouldNotCallProc);
}

TEST(NativeBridge, ADeclarationThatDoesNotFitIsRefusedAtRegistration)
{
    struct Row
    {
        std::function<void(TPSExec&)> registration;
        std::string message;
    };
    const std::vector<Row> rows = {
        {[](TPSExec& e) {
             RegisterNativeFunction(e, "function F(a: Integer): Integer;", [](std::string) { return 0; });
         },
         "Cannot register F: parameter 1 (a) is declared Integer, a std::string cannot take it"},
        {[](TPSExec& e) {
             RegisterNativeFunction(e, "procedure P(x: Byte; var a: Integer);", [](std::uint8_t, std::int32_t) {});
         },
         "Cannot register P: parameter 2 (a) is declared var or out, the routine takes it by value"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(const a: String);", [](std::string&) {}); },
         "Cannot register P: parameter 1 (a) is passed by value, the routine takes a non-const reference"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a, b: Integer);", [](std::int32_t) {}); },
         "Cannot register P: the declaration has 2 parameters, the routine takes 1"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "function F: Integer;", [] {}); },
         "Cannot register F: the declaration is a function, the routine returns nothing"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P;", [] { return 1; }); },
         "Cannot register P: the declaration is a procedure, the routine returns a value"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "function F: Double;", [] { return std::string(); }); },
         "Cannot register F: the result is declared Double, a std::string cannot take it"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a: array of Integer);", [](std::int32_t) {}); },
         "Cannot register P: parameter 1 (a) is declared array of Integer, a std::int32_t cannot take it"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a: Integer);", [](std::vector<std::int32_t>) {}); },
         "Cannot register P: parameter 1 (a) is declared Integer, a std::vector cannot take it"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a: TPoint);", [](double) {}); },
         "Cannot register P: parameter 1 (a) is declared TPoint, a double cannot take it"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a: Int64);", [](TPSNativeRecord) {}); },
         "Cannot register P: parameter 1 (a) is declared Int64, a TPSNativeRecord cannot take it"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a: Word);", [](std::int16_t) {}); },
         "Cannot register P: parameter 1 (a) is declared Word, a std::int16_t cannot take it"},
        {[](TPSExec& e) {
             RegisterNativeFunction(
                 e, "procedure P(a: Integer);", [](std::int32_t) {}, 5);
         },
         "Cannot register P: the calling convention 5 is none of 0 to 4"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedur P;", [] {}); },
         "Cannot register \"procedur P;\": it starts with neither function nor procedure"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a Integer);", [](std::int32_t) {}); },
         "Cannot register \"procedure P(a Integer);\": parameter a has no type"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P(a: Integer;", [](std::int32_t) {}); },
         "Cannot register \"procedure P(a: Integer;\": a parameter has no name"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "function F(a: Integer);", [](std::int32_t) { return 1; }); },
         "Cannot register \"function F(a: Integer);\": the function has no result type"},
        {[](TPSExec& e) { RegisterNativeFunction(e, "procedure P; begin", [] {}); },
         "Cannot register \"procedure P; begin\": it goes on after its end"},
    };
    for (const Row& row : rows) {
        TPSExec exec;
        try {
            row.registration(exec);
            ADD_FAILURE() << "accepted, expected: " << row.message;
        } catch (const EPSNativeRegistration& e) {
            EXPECT_EQ(e.what(), row.message);
        }
        // Nothing was registered: an image that imports the routine does not load.
        ImageBuilder b;
        b.external(row.message.find("register F") != std::string::npos ? "F" : "P");
        EXPECT_FALSE(exec.LoadBytecode(b.image())) << row.message;
    }
}
