#pragma once
// Messages about script text: errors, hints and warnings with the place they
// concern. A compile collects them; the host shows each as one line.

#include <cstdint>
#include <string>

class TPSPascalParser;

enum class TPSCompilerErrorCode : std::uint8_t {
    UnknownIdentifier = 0,
    IdentifierExpected = 1,
    CommentError = 2,
    StringError = 3,
    CharError = 4,
    SyntaxError = 5,
    UnexpectedEndOfFile = 6,
    SemicolonExpected = 7,
    BeginExpected = 8,
    PeriodExpected = 9,
    DuplicateIdentifier = 10,
    ColonExpected = 11,
    UnknownType = 12,
    CloseRoundExpected = 13,
    TypeMismatch = 14,
    InternalError = 15,
    AssignmentExpected = 16,
    ThenExpected = 17,
    DoExpected = 18,
    NoResult = 19,
    OpenRoundExpected = 20,
    CommaExpected = 21,
    ToExpected = 22,
    IsExpected = 23,
    OfExpected = 24,
    CloseBlockExpected = 25,
    VariableExpected = 26,
    StringExpected = 27,
    EndExpected = 28,
    LabelNotSet = 29,
    NotInLoop = 30,
    InvalidJump = 31,
    OpenBlockExpected = 32,
    WriteOnlyProperty = 33,
    ReadOnlyProperty = 34,
    ClassTypeExpected = 35,
    CustomError = 36,
    DivideByZero = 37,
    MathError = 38,
    UnsatisfiedForward = 39,
    ForwardParameterMismatch = 40,
    InvalidNumberOfParameters = 41,
};

enum class TPSCompilerHintCode : std::uint8_t {
    VariableNotUsed = 0,
    FunctionNotUsed = 1,
    CustomHint = 2,
};

enum class TPSCompilerWarningCode : std::uint8_t {
    CalculationAlwaysEvaluatesTo = 0,
    IsNotNeeded = 1,
    AbstractClassConstruction = 2,
    CustomWarning = 3,
};

class TPSPascalCompilerMessage
{
public:
    virtual ~TPSPascalCompilerMessage() = default;

    // "Error", "Hint" or "Warning".
    virtual std::string ErrorType() const = 0;
    // The message proper, with the parameter put in: its first 100 bytes and
    // "..." when it is longer (the first 1000 of a parameter that is the
    // whole message).
    virtual std::string ShortMessage() const = 0;
    // "[Kind] module(row:col): message".
    std::string MessageToString() const;

    // Places the message at the parser's current token.
    void SetParserPos(const TPSPascalParser& parser);
    // Places the message explicitly, for a declaration seen earlier.
    void SetCustomPos(std::uint32_t position, std::uint32_t row, std::uint32_t col);

    std::uint32_t Row = 0;
    std::uint32_t Col = 0;
    std::string ModuleName; // empty for the main script text
    std::string Param;
    std::uint32_t Pos = 0;
};

class TPSPascalCompilerError : public TPSPascalCompilerMessage
{
public:
    explicit TPSPascalCompilerError(TPSCompilerErrorCode code, std::string param = {}) : Error(code)
    {
        Param = std::move(param);
    }
    std::string ErrorType() const override { return "Error"; }
    std::string ShortMessage() const override;
    TPSCompilerErrorCode Error;
};

class TPSPascalCompilerHint : public TPSPascalCompilerMessage
{
public:
    explicit TPSPascalCompilerHint(TPSCompilerHintCode code, std::string param = {}) : Hint(code)
    {
        Param = std::move(param);
    }
    std::string ErrorType() const override { return "Hint"; }
    std::string ShortMessage() const override;
    TPSCompilerHintCode Hint;
};

class TPSPascalCompilerWarning : public TPSPascalCompilerMessage
{
public:
    explicit TPSPascalCompilerWarning(TPSCompilerWarningCode code, std::string param = {}) : Warning(code)
    {
        Param = std::move(param);
    }
    std::string ErrorType() const override { return "Warning"; }
    std::string ShortMessage() const override;
    TPSCompilerWarningCode Warning;
};
