// The declarations every compile starts with: the standard types, the
// built-in routines and constants, and the base interfaces.

#include "script/compiler/compiler.h"

#include "script/common/utils.h"

using ps::BaseType;

void TPSPascalCompiler::DefineStandardTypes()
{
    AddType("Byte", BaseType::Byte);
    booleanType_ = AddTypeS("Boolean", "(False, True)");
    for (const auto& [name, high] :
         {std::pair<const char*, std::uint32_t>{"LongBool", 2147483647}, {"WordBool", 65535}, {"ByteBool", 255}})
        static_cast<TPSEnumType*>(AddType(name, BaseType::Enumeration))->HighValue = high;
    AddType("Char", BaseType::Char);
    AddType("WideChar", BaseType::WideChar);
    AddType("WideString", BaseType::WideString);
    AddType("UnicodeString", BaseType::UnicodeString);
    AddType("AnsiString", BaseType::AnsiString);
    AddType("String", BaseType::AnsiString);
    AddType("NativeString", BaseType::AnsiString);
    anyStringType_ = AddType("AnyString", BaseType::AnsiString);
    AddType("ShortInt", BaseType::ShortInt);
    AddType("Word", BaseType::Word);
    AddType("SmallInt", BaseType::SmallInt);
    AddType("LongInt", BaseType::LongInt);
    AddType("___Pointer", BaseType::Pointer);
    AddType("LongWord", BaseType::LongWord);
    AddTypeCopyN("Integer", "LONGINT");
    AddTypeCopyN("Cardinal", "LONGWORD");
    AddType("tbtString", BaseType::AnsiString);
    AddType("Int64", BaseType::Int64);
    AddType("Single", BaseType::Single);
    AddType("Double", BaseType::Double);
    AddType("Extended", BaseType::Extended);
    AddType("Currency", BaseType::Currency);
    AddType("PChar", BaseType::PChar);
    AddType("Variant", BaseType::Variant);
    AddType("!NotificationVariant", BaseType::NotificationVariant);
    // The standard types take the first output numbers, the last declared
    // first.
    for (std::size_t i = types_.size(); i-- > 0;)
        UseType(types_[i].get());

    auto* variantArray = static_cast<TPSArrayType*>(AddType("TVariantArray", BaseType::DynArray));
    variantArray->ArrayTypeNo = FindType("VARIANT");

    AddFunction("function Assigned(I: Longint): Boolean;")->SetName("!ASSIGNED");
    AddFunction("procedure _T(Name: tbtString; v: Variant);")->SetName("!NOTIFICATIONVARIANTSET");
    AddFunction("function _T(Name: tbtString): Variant;")->SetName("!NOTIFICATIONVARIANTGET");
}

void TPSPascalCompiler::DefineStandardProcedures()
{
    using M = TPSParameterMode;
    TPSType* longInt = FindType("LONGINT");
    for (const char* header : {
             "function IntToStr(i: Int64): String;",
             "function StrToInt(s: String): Longint;",
             "function StrToIntDef(s: String; def: Longint): Longint;",
             "function Copy(s: AnyString; iFrom, iCount: Longint): AnyString;",
             "function Pos(SubStr, S: AnyString): Longint;",
             "procedure Delete(var s: AnyString; ifrom, icount: Longint);",
             "procedure Insert(s: AnyString; var s2: AnyString; iPos: Longint);",
         })
        AddFunction(header);
    AddParamsInCode(AddFunction("function GetArrayLength: integer;"), {{"arr", M::InOut, nullptr}});
    AddParamsInCode(AddFunction("procedure SetArrayLength;"), {{"arr", M::InOut, nullptr}, {"count", M::In, longInt}});
    for (const char* header : {
             "Function StrGet(var S : String; I : Integer) : Char;",
             "Function StrGet2(S : String; I : Integer) : Char;",
             "procedure StrSet(c : Char; I : Integer; var s : String);",
             "Function WStrGet(var S : AnyString; I : Integer) : WideChar;",
             "procedure WStrSet(c : AnyString; I : Integer; var s : AnyString);",
         })
        AddFunction(header);
    AddNativeFunction("Function VarArrayGet(var S : Variant; I : Integer) : Variant;");
    AddNativeFunction("procedure VarArraySet(c : Variant; I : Integer; var s : Variant);");
    for (const char* header : {
             "Function AnsiUppercase(s : String) : String;",
             "Function AnsiLowercase(s : String) : String;",
             "Function Uppercase(s : AnyString) : AnyString;",
             "Function Lowercase(s : AnyString) : AnyString;",
             "Function Trim(s : AnyString) : AnyString;",
         })
        AddFunction(header);
    AddParamsInCode(AddFunction("function Length: Integer;"), {{" ", M::In, nullptr}});
    AddParamsInCode(AddFunction("procedure SetLength;"), {{" ", M::InOut, nullptr}, {"NewLength", M::In, longInt}});
    AddParamsInCode(AddFunction("function Low: Int64;"), {{"x", M::In, nullptr}});
    AddParamsInCode(AddFunction("function High: Int64;"), {{"x", M::In, nullptr}});
    AddParamsInCode(AddFunction("procedure Dec;"), {{"x", M::InOut, nullptr}});
    AddParamsInCode(AddFunction("procedure Inc;"), {{"x", M::InOut, nullptr}});
    for (const char* header : {
             "Function Sin(e : Extended) : Extended;",
             "Function Cos(e : Extended) : Extended;",
             "Function Sqrt(e : Extended) : Extended;",
             "Function Round(e : Extended) : Longint;",
             "Function Trunc(e : Extended) : Longint;",
             "Function Int(e : Extended) : Extended;",
             "Function Pi : Extended;",
             "Function Abs(e : Extended) : Extended;",
             "function StrToFloat(s: String): Extended;",
             "Function FloatToStr(e : Extended) : String;",
             "Function Padl(s : AnyString;I : longInt) : AnyString;",
             "Function Padr(s : AnyString;I : longInt) : AnyString;",
             "Function Padz(s : AnyString;I : longInt) : AnyString;",
             "Function Replicate(c : char;I : longInt) : String;",
             "Function StringOfChar(c : char;I : longInt) : String;",
         })
        AddFunction(header);

    DefineVariantSupport();
    DefineExceptionSupport();
    DefineBaseInterfaces();
}

void TPSPascalCompiler::DefineVariantSupport()
{
    AddTypeCopyN("TVarType", "Word");
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, int>>{
             {"varEmpty", 0},  {"varNull", 1},     {"varSmallInt", 2},    {"varInteger", 3},  {"varSingle", 4},
             {"varDouble", 5}, {"varCurrency", 6}, {"varDate", 7},        {"varOleStr", 8},   {"varDispatch", 9},
             {"varError", 10}, {"varBoolean", 11}, {"varVariant", 12},    {"varUnknown", 13}, {"varShortInt", 16},
             {"varByte", 17},  {"varWord", 18},    {"varLongWord", 19},   {"varInt64", 20},   {"varStrArg", 72},
             {"varAny", 257},  {"varString", 256}, {"varTypeMask", 4095}, {"varArray", 8192}, {"varByRef", 16384},
         })
        AddConstantN(name, "Word")->SetInt(value);
    for (const char* header : {
             "function Unassigned: Variant;",
             "function VarIsEmpty(const V: Variant): Boolean;",
             "function Null: Variant;",
             "function VarIsNull(const V: Variant): Boolean;",
             "function VarType(const V: Variant): TVarType;",
         })
        AddNativeFunction(header);
}

void TPSPascalCompiler::DefineExceptionSupport()
{
    AddTypeS("TIFException",
             "(ErNoError, erCannotImport, erInvalidType, ErInternalError, erInvalidHeader, erInvalidOpcode, "
             "erInvalidOpcodeParameter, erNoMainProc, erOutOfGlobalVarsRange, erOutOfProcRange, ErOutOfRange, "
             "erOutOfStackRange, ErTypeMismatch, erUnexpectedEof, erVersionError, ErDivideByZero, ErMathError, "
             "erCouldNotCallProc, erOutofRecordRange, erOutOfMemory, erException, erNullPointerException, "
             "erNullVariantError, erInterfaceNotSupported, erCustomError)");
    for (const char* header : {
             "procedure RaiseLastException;",
             "procedure RaiseException(Ex: TIFException; Param: String);",
             "function ExceptionType: TIFException;",
             "function ExceptionParam: String;",
             "function ExceptionProc: Cardinal;",
             "function ExceptionPos: Cardinal;",
             "function ExceptionToString(er: TIFException; Param: String): String;",
             "function StrToInt64(s: String): int64;",
             "function Int64ToStr(i: Int64): String;",
         })
        AddFunction(header);
    AddParamsInCode(AddFunction("function SizeOf: Longint;"), {{"Data", TPSParameterMode::In, nullptr}});
}

void TPSPascalCompiler::DefineBaseInterfaces()
{
    // The placeholder methods only number the interfaces' methods.
    constexpr GUID unknownGuid = "{00000000-0000-0000-C000-000000000046}"_guid;
    constexpr auto stdcall = TPSCallingConvention::Stdcall;
    for (const char* name : {"IUnknown", "IInterface"}) {
        TPSInterface* intf = AddInterface(nullptr, unknownGuid, name);
        for (const char* method :
             {"function QueryInterface: LongInt", "function _AddRef: LongInt", "function _Release: LongInt"})
            intf->RegisterMethod(method, stdcall);
    }
    TPSInterface* dispatch =
        AddInterface(FindInterface("IUnknown"), "{00020400-0000-0000-C000-000000000046}"_guid, "IDispatch");
    for (const char* method : {"function GetTypeInfoCount: LongInt", "function GetTypeInfo: LongInt",
                               "function GetIDsOfNames: LongInt", "function Invoke: LongInt"})
        dispatch->RegisterMethod(method, stdcall);
    dispatch->AType->ExportName = true;
    AddNativeFunction("function IDispatchInvoke(Self: IDispatch; PropertySet: Boolean; const Name: String; "
                      "Par: array of variant): variant;");
}
