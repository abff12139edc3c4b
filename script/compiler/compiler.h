#pragma once
// The compiler object: the symbol tables of one compile, the messages, the
// host's registration interface and callbacks, the declaration readers and
// the constant folder.
//
// Errors in script text are messages, never exceptions. Only the
// registration interface raises (EPSCompilerException), and it is usable only
// while a compile runs, that is from inside the OnUses callback.

#include "script/common/instruction_set.h"
#include "script/compiler/class_import.h"
#include "script/compiler/compiler_messages.h"
#include "script/compiler/name_index.h"
#include "script/compiler/pascal_parser.h"
#include "script/compiler/symbols.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TPSCodeContext;

class EPSCompilerException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Operator codes shared by the folder and the expression compiler.
using TPSBinOperatorType = pscode::CalcOp;

// How a fold ended; anything but Ok becomes an error message.
enum class TPSFoldStatus : std::uint8_t { Ok, TypeMismatch, DivByZero, MathError };

enum class TPSVariableType : std::uint8_t { Global = 0, Param = 1, Local = 2 };

enum class TPSMethodKind : std::uint8_t { Procedure, Function, Constructor };

// The block that declarations are read into: the main block (globals) or a
// script procedure (locals).
struct TPSBlockInfo
{
    TPSInternalProcedure* Proc = nullptr;
    std::int32_t ProcNo = -1;
    bool Global = true;
};

class TPSPascalCompiler
{
    friend class TPSExpressionCompiler;

public:
    // Callbacks: plain function pointers whose first argument is the compiler.
    using TPSOnUses = bool (*)(TPSPascalCompiler* sender, const std::string& unitName);
    using TPSOnExportCheck = bool (*)(TPSPascalCompiler* sender, TPSInternalProcedure* proc,
                                      const std::string& declaration);
    using TPSOnExternalProc = std::unique_ptr<TPSRegProc> (*)(TPSPascalCompiler* sender, TPSParametersDecl* decl,
                                                              const std::string& name, const std::string& external);
    using TPSOnUseVariable = void (*)(TPSPascalCompiler* sender, TPSVariableType kind, std::int32_t varNo,
                                      std::int32_t procNo, std::uint32_t position, const std::string& member);
    using TPSOnNotify = bool (*)(TPSPascalCompiler* sender);
    using TPSOnWriteLine = bool (*)(TPSPascalCompiler* sender, std::uint32_t position);
    using TPSOnTranslateLineInfo = void (*)(TPSPascalCompiler* sender, std::uint32_t& position, std::uint32_t& row,
                                            std::uint32_t& col, std::string& fileName);

    TPSPascalCompiler();
    ~TPSPascalCompiler();
    TPSPascalCompiler(const TPSPascalCompiler&) = delete;
    TPSPascalCompiler& operator=(const TPSPascalCompiler&) = delete;

    // ---- Life cycle and results -------------------------------------------
    // Runs a compile of the declaration sections: standard declarations,
    // OnUses, the program header, uses clauses, label, var, const and type
    // sections and routine declarations, then the end-of-compile checks.
    bool Compile(std::string text);
    // Reads the text of a unit that a uses clause names into the compile
    // under way (so only from inside OnUses): its declarations join the
    // script's. Its messages and line records name the module. False after
    // an error, which is among the messages.
    bool CompileUnit(std::string text, std::string_view moduleName);
    // Frees every message.
    void Clear();
    bool GetOutput(std::string& data) const;
    bool GetDebugOutput(std::string& data) const;
    std::size_t GetMessageCount() const { return messages_.size(); }
    const TPSPascalCompilerMessage* GetMessage(std::size_t index) const;
    // A message the host may move, as the preprocessor does to the source
    // file it came from.
    TPSPascalCompilerMessage* GetMessage(std::size_t index);

    // ---- Messages, placed at the parser's current token --------------------
    TPSPascalCompilerError* MakeError(std::string_view module, TPSCompilerErrorCode code, std::string_view param);
    TPSPascalCompilerHint* MakeHint(std::string_view module, TPSCompilerHintCode code, std::string_view param);
    TPSPascalCompilerWarning* MakeWarning(std::string_view module, TPSCompilerWarningCode code, std::string_view param);

    // ---- Registration interface (only while a compile runs) ---------------
    TPSType* AddType(std::string_view name, ps::BaseType base);
    TPSType* AddTypeS(std::string_view name, std::string_view declaration);
    TPSType* AddTypeCopy(std::string_view name, TPSType* type);
    TPSType* AddTypeCopyN(std::string_view name, std::string_view typeName);
    TPSConstant* AddConstant(std::string_view name, TPSType* type);
    TPSConstant* AddConstantN(std::string_view name, std::string_view typeName);
    TPSRegProc* AddFunction(std::string_view header);
    TPSRegProc* AddNativeFunction(std::string_view declaration);
    TPSInterface* AddInterface(TPSInterface* parent, const GUID& guid, std::string_view name);
    TPSInterface* FindInterface(std::string_view name);
    TPSCompileTimeClass* AddClass(TPSCompileTimeClass* parent, std::string_view name);
    TPSCompileTimeClass* FindClass(std::string_view name) const;
    TPSAttributeType* AddAttributeType(std::string_view name);
    TPSAttributeType* FindAttributeType(std::string_view name) const;

    // Outside a compile FindType finds nothing; FindProc and FindBaseType
    // raise as the registrations do.
    TPSType* FindType(std::string_view name) const;
    // The procedure number; a host routine enters the procedure list on its
    // first lookup. -1 when unknown.
    std::int32_t FindProc(std::string_view name);
    // Asked for every literal and many temporaries: a type found before and
    // in use is answered inline (types added since come after it).
    TPSType* FindBaseType(ps::BaseType base)
    {
        TPSType* found = baseTypes_[static_cast<std::uint8_t>(base)];
        if (compiling_ && found && found->Used)
            return found;
        return FindBaseTypeAnew(base);
    }

    // Reads a routine header: "procedure", "function" or (with an owner
    // class) "constructor", the name, the parameter groups and the result.
    // On a registration text it only answers False; on the compiler's own
    // parser it reports errors.
    bool ParseMethod(std::string_view owner, std::string_view header, std::string& name, TPSParametersDecl& decl,
                     TPSMethodKind& kind);
    bool ParseMethod(std::string_view owner, TPSPascalParser& parser, std::string& name, TPSParametersDecl& decl,
                     TPSMethodKind& kind);

    // ---- Declarations -----------------------------------------------------
    // One type denoter at the parser's token. With a name the type is named;
    // an alias with a name becomes a link, which is returned.
    TPSType* ReadType(std::string_view name, TPSPascalParser& parser);
    // Type names are global, also when declared inside a routine.
    bool ProcessTypes();
    bool ProcessVars(TPSBlockInfo& block);
    bool ProcessConsts(TPSBlockInfo& block);
    bool ProcessLabels(TPSBlockInfo& block);
    bool ProcessFunction();
    // An attribute list in square brackets.
    bool ReadAttributes(TPSAttributes& dest);
    // A constant expression at the compiler's parser, folded.
    bool ReadConstant(TPSValueRecord& dest);

    // ---- Types and values -------------------------------------------------
    // Marks a type used and gives it its output number, components first.
    // Nearly every type asked about is in use already: that answer is inline.
    TPSType* UseType(TPSType* type)
    {
        type = ResolveLink(type);
        return !type || type->Used ? type : UseNewType(type);
    }
    // Folds left <op> right into left; False after an error message.
    bool PreCalc(TPSBinOperatorType op, TPSValueRecord& left, const TPSValueRecord& right);
    bool IsCompatibleType(TPSType* target, TPSType* source, bool loose);
    bool IsBooleanType(const TPSType* type) const;
    void SetBooleanResult(TPSValueRecord& value, bool result);
    void SetStringResult(TPSValueRecord& value, std::string text);
    void SetWideStringResult(TPSValueRecord& value, std::u16string text, ps::BaseType base);

    // ---- Image and debug data (image_writer.cpp) ----------------------------
    // Writes the bytecode image and appends the name lists to the debug data;
    // the last step of a clean compile. False (and no image) when
    // OnBeforeOutput vetoes or a used type has no image form.
    bool MakeOutput();
    // A typed value as attribute values and constant operands are written:
    // the type's output number, then the value bytes. The type must be used.
    void WriteConstValue(std::string& dest, const TPSValueRecord& value) const;
    void WriteDebugData(std::string_view bytes) { debugOutput_.append(bytes); }
    // A line record for the statement at the parser's token, at the current
    // end of the procedure's code.
    void WriteDebugLine(std::int32_t procNo);
    // The parameter and local names of a script procedure whose body is done.
    void WriteDebugProcNames(std::int32_t procNo);
    // Appends a host routine made for a member import, with its external
    // procedure; the procedure number.
    std::int32_t AddImportProc(std::unique_ptr<TPSRegProc> proc);

    // ---- State the later stages and the host use ---------------------------
    TPSPascalParser& Parser() { return *parser_; }
    TPSType* AnyStringType() const { return anyStringType_; }
    TPSType* BooleanType() const { return booleanType_; }
    bool IsCompiling() const { return compiling_; }
    TPSInternalProcedure* MainProc() const { return mainProc_; }
    // While a body is compiled (in OnWriteLine, say): how many with targets
    // hold a stack slot where the code is being written, above the
    // procedure's locals; 0 outside a body.
    std::size_t WithTargetsHeld() const;

    const std::vector<std::unique_ptr<TPSType>>& Types() const { return types_; }
    const std::vector<std::unique_ptr<TPSRegProc>>& RegProcs() const { return regProcs_; }
    const std::vector<std::unique_ptr<TPSProcedure>>& Procs() const { return procs_; }
    const std::vector<std::unique_ptr<TPSVar>>& Vars() const { return vars_; }
    const std::vector<std::unique_ptr<TPSConstant>>& Constants() const { return constants_; }
    const std::vector<std::unique_ptr<TPSInterface>>& Interfaces() const { return interfaces_; }
    const std::vector<std::unique_ptr<TPSCompileTimeClass>>& Classes() const { return classes_; }
    std::int32_t TypeCount() const { return typeCounter_; }

    std::string UnitName;
    void* ID = nullptr;
    bool AllowNoBegin = false;
    bool AllowNoEnd = false;
    bool AllowUnit = false;
    bool BooleanShortCircuit = false;

    TPSOnUses OnUses = nullptr;
    TPSOnExportCheck OnExportCheck = nullptr;
    TPSOnExternalProc OnExternalProc = nullptr;
    TPSOnUseVariable OnUseVariable = nullptr;
    TPSOnNotify OnBeforeOutput = nullptr;
    TPSOnNotify OnBeforeCleanup = nullptr;
    TPSOnWriteLine OnWriteLine = nullptr;
    TPSOnTranslateLineInfo OnTranslateLineInfo = nullptr;

    // True when the stack of the compiling thread is nearly used up: the
    // last guard of the recursive readers and writers under their counted
    // bounds, for threads with small stacks and builds with large frames.
    bool StackNearlyFull() const { return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < stackFloor_; }

private:
    struct ConstNode;
    using FoldStatus = TPSFoldStatus;
    // What a header reader accepts beyond names and type names.
    struct HeaderRules
    {
        bool openArrays = true;          // "array of T" and "array of const"
        bool untyped = true;             // a parameter group without ": type"
        bool constructorAllowed = false; // class members
        bool wholeText = false;          // the header is the whole text, an optional ";" after it
        // Called at the routine's name and at each parameter's name; False
        // ends the header (the check reports its own error).
        std::function<bool(std::string_view upperName)> checkName;
        std::function<bool(const TPSParameterDecl&)> checkParam;
    };

    void CheckCompiling() const;
    void StartCompileTables();
    void FreeCompileTables();
    void DefineStandardTypes();
    void DefineStandardProcedures();
    void DefineVariantSupport();
    void DefineExceptionSupport();
    void DefineBaseInterfaces();
    bool ProcessSections();
    bool ReadProgramHeader(bool unit);
    bool ReadUses();
    bool ExpectFinalPeriod();
    bool FinishCompile();

    TPSType* AppendType(std::unique_ptr<TPSType> type);
    // UseType of a resolved type not yet in use.
    TPSType* UseNewType(TPSType* type);
    // FindBaseType with the types added since the last look filed first.
    TPSType* FindBaseTypeAnew(ps::BaseType base);
    // The first set type declared over the element type, or nil.
    TPSSetType* FindSetOf(const TPSType* element) const;
    // Name lookups in the per-compile lists, through their name indexes. In
    // every list the last declaration of a name wins, host and script alike.
    std::ptrdiff_t TypeSlot(std::string_view upperName) const;
    TPSType* FindTypeFrom(std::string_view upperName) const;
    // The newest procedure of that name, or with forwardOnly the script
    // procedure still waiting for its body; -1 when there is none.
    std::int32_t FindProcNo(std::string_view upperName, bool forwardOnly);
    TPSConstant* FindConstant(std::string_view upperName);
    // The same, for a name whose hash the caller has already made.
    std::int32_t FindProcNo(std::string_view upperName, std::uint32_t hash, bool forwardOnly);
    TPSConstant* FindConstant(std::string_view upperName, std::uint32_t hash);
    bool IsGlobalVar(std::string_view upperName, std::uint32_t hash);
    bool IsLocalVar(const TPSInternalProcedure& proc, std::string_view upperName, std::uint32_t hash);
    // Removes the constants from first on that drop says go, keeping the
    // order of the others.
    void DropConstants(std::size_t first, const std::function<bool(std::size_t)>& drop);
    struct ParamSpec
    {
        std::string_view name;
        TPSParameterMode mode;
        TPSType* type; // nil for an untyped parameter
    };
    // Adds parameters that a header text cannot express (untyped ones).
    void AddParamsInCode(TPSRegProc* proc, std::initializer_list<ParamSpec> params);
    TPSType* OpenArrayOf(TPSType* element);

    template <typename Message, typename Code>
    Message* AddMessage(std::string_view module, Code code, std::string_view param);
    bool Reports(const TPSPascalParser& parser) const { return &parser == parser_.get(); }
    void ErrorAt(const TPSPascalParser& parser, TPSCompilerErrorCode code, std::string_view param = {});
    bool Expect(TPSPascalParser& parser, TPSPasToken token, TPSCompilerErrorCode code);
    bool ReadMethodHeader(TPSPascalParser& parser, const HeaderRules& rules, std::string* name, TPSParametersDecl& decl,
                          TPSMethodKind& kind);
    TPSType* ReadParamType(TPSPascalParser& parser, const HeaderRules& rules);
    bool ReadParamGroups(TPSPascalParser& parser, const HeaderRules& rules, TPSParametersDecl& decl);
    TPSType* ReadTypeLevel(std::string_view name, TPSPascalParser& parser, int depth);
    TPSType* ReadSetType(TPSPascalParser& parser);
    TPSType* ReadEnumType(std::string_view name, TPSPascalParser& parser);
    TPSType* ReadArrayType(TPSPascalParser& parser, int depth);
    TPSType* ReadRecordType(TPSPascalParser& parser, int depth);
    TPSType* ReadInterfaceType(std::string_view name, TPSPascalParser& parser);

    // An upper-cased name and its hash, for the short lists of names that a
    // new one must differ from.
    struct HashedName
    {
        std::string Name;
        std::uint32_t NameHash = 0;
    };

    struct SourcePlace
    {
        std::int32_t pos;
        std::uint32_t row, col;
    };
    // The lists a var section fills for each group of names.
    struct VarGroupLists
    {
        std::vector<HashedName> group;
        TPSNameIndex groupIndex;
        std::vector<std::string> names;
        std::vector<SourcePlace> places;
    };
    static SourcePlace PlaceOf(const TPSPascalParser& parser)
    {
        return {static_cast<std::int32_t>(parser.Position()), parser.Row(), parser.GetCol()};
    }
    template <typename Symbol> static void SetPlace(Symbol& symbol, const SourcePlace& at)
    {
        symbol.DeclarePos = at.pos;
        symbol.DeclareRow = at.row;
        symbol.DeclareCol = at.col;
    }

    bool IsDuplicate(std::string_view upperName, const TPSBlockInfo& block);
    // The parser's token must be an identifier that names nothing yet in the
    // block, nor anything taken says is taken; otherwise error 1 or 10.
    bool CheckNewName(const TPSBlockInfo& block,
                      const std::function<bool(std::string_view upperName, std::uint32_t hash)>& taken = {});
    // After the section's keyword: names separated by commas up to a
    // semicolon. take looks at each name at the parser's token and reports
    // its own errors.
    bool ReadNameList(const std::function<bool()>& take);
    void AddVariable(TPSBlockInfo& block, std::string_view name, TPSType* type, const SourcePlace& at);
    void NotifyVariable(TPSVariableType kind, std::int32_t varNo, std::int32_t procNo, std::uint32_t position,
                        const std::string& member = {});
    // Compiles a body from its "begin" to the matching "end" into the
    // block's procedure.
    bool CompileBody(const TPSBlockInfo& block);
    bool ApplyProcAttributes(TPSProcedure* proc);

    // A script routine's header as read, and the forward declaration it
    // completes, if any.
    struct RoutineHeader
    {
        std::string writtenName;
        TPSParametersDecl decl;
        SourcePlace at{};
        TPSInternalProcedure* forward = nullptr;
        std::int32_t forwardNo = -1;
    };
    bool ReadRoutineHeader(RoutineHeader& header);
    bool DeclareExternal(RoutineHeader& header, TPSAttributes attributes);
    bool ReadRoutineBody(TPSBlockInfo local);
    void HintUnused(const TPSInternalProcedure& proc);

    bool ReadConstValue(TPSPascalParser& parser, TPSValueRecord& dest);
    // Binding levels of constant expressions, loosest first: relational,
    // additive, multiplicative.
    std::unique_ptr<ConstNode> ReadConstLevel(TPSPascalParser& parser, int depth, int level);
    std::unique_ptr<ConstNode> ReadConstFactor(TPSPascalParser& parser, int depth);
    bool EvalConst(TPSPascalParser& parser, ConstNode& node, TPSValueRecord& dest);
    bool ReadNumberLiteral(TPSPascalParser& parser, TPSValueRecord& dest);
    bool ReadStringLiteral(TPSPascalParser& parser, TPSValueRecord& dest);

    FoldStatus Fold(TPSBinOperatorType op, TPSValueRecord& left, const TPSValueRecord& right);
    FoldStatus FoldComparison(TPSBinOperatorType op, TPSValueRecord& left, const TPSValueRecord& right);
    FoldStatus FoldText(TPSValueRecord& left, const TPSValueRecord& right);
    FoldStatus Negate(TPSValueRecord& value);
    FoldStatus Not(TPSValueRecord& value);
    void ReportFold(const TPSPascalParser& parser, FoldStatus status);

    // The code size of the last routine body compiled.
    std::size_t lastBodySize_ = 0;
    // The slot list of the body being written, kept with its room from one
    // routine to the next.
    std::vector<TPSType*> bodySlots_;
    // Kept from one var section to the next, with their room.
    VarGroupLists varGroupLists_;
    std::unique_ptr<TPSPascalParser> parser_;
    bool parserError_ = false;
    std::vector<std::unique_ptr<TPSPascalCompilerMessage>> messages_;
    // The last message made after a scan error, kept only for its maker.
    std::unique_ptr<TPSPascalCompilerMessage> unlisted_;
    std::string output_;
    std::string debugOutput_;
    bool hasOutput_ = false;

    bool compiling_ = false;
    bool isUnit_ = false;
    // The unit being read for a uses clause, empty for the script itself.
    std::string module_;
    int unitDepth_ = 0;
    // The lowest address the compile's recursion may reach: the compiling
    // thread's stack end plus a reserve; 0 when that stack is unknown.
    std::uintptr_t stackFloor_ = 0;
    std::vector<std::unique_ptr<TPSRegProc>> regProcs_;
    std::vector<std::unique_ptr<TPSConstant>> constants_;
    std::vector<std::unique_ptr<TPSProcedure>> procs_;
    std::vector<std::unique_ptr<TPSType>> types_;
    std::vector<std::unique_ptr<TPSVar>> vars_;
    std::vector<std::unique_ptr<TPSCompileTimeClass>> classes_;
    std::vector<std::unique_ptr<TPSInterface>> interfaces_;
    std::vector<std::unique_ptr<TPSAttributeType>> attributeTypes_;
    std::vector<HashedName> unitNames_;
    mutable TPSNameIndex typeIndex_;
    TPSNameIndex procIndex_;
    TPSNameIndex regProcIndex_;
    TPSNameIndex varIndex_;
    TPSNameIndex constantIndex_;
    TPSNameIndex unitIndex_;
    std::unordered_map<const TPSType*, TPSSetType*> setTypes_;
    // The first plain type of each base code, found as types are added.
    std::array<TPSType*, 256> baseTypes_{};
    std::size_t baseTypesSeen_ = 0;
    std::int32_t typeCounter_ = 0;
    TPSInternalProcedure* mainProc_ = nullptr;
    const TPSCodeContext* body_ = nullptr;
    TPSType* anyStringType_ = nullptr;
    TPSType* booleanType_ = nullptr;
};
