#pragma once
// Runtime error codes, their texts, and the exception classes that host code
// raises inside a runtime operation.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

enum TPSError : std::uint8_t {
    ErNoError,
    erCannotImport,
    erInvalidType,
    ErInternalError,
    erInvalidHeader,
    erInvalidOpcode,
    erInvalidOpcodeParameter,
    erNoMainProc,
    erOutOfGlobalVarsRange,
    erOutOfProcRange,
    ErOutOfRange,
    erOutOfStackRange,
    ErTypeMismatch,
    erUnexpectedEof,
    erVersionError,
    ErDivideByZero,
    ErMathError,
    erCouldNotCallProc,
    erOutofRecordRange,
    erOutOfMemory,
    erException,
    erNullPointerException,
    erNullVariantError,
    erInterfaceNotSupported,
    erCustomError,
};

// The message for an error code (taken modulo 128) and its parameter text.
std::string ErrorCodeToText(unsigned code, std::string_view parameter);

// Fixed texts of the runtime, used as the parameter of erCustomError or as
// the message of an exception a value operation raises.
namespace pstext {
inline constexpr std::string_view TypeMismatch = "Type Mismatch";
inline constexpr std::string_view InvalidArray = "Invalid array";
inline constexpr std::string_view OutOfStringRange = "Out of string range";
inline constexpr std::string_view CannotCastInterface = "Cannot cast an interface";
inline constexpr std::string_view CannotCastObject = "Cannot cast an object";
inline constexpr std::string_view CapacityBelowLength = "Capacity < Length";
inline constexpr std::string_view NilInterface = "Nil interface";
inline constexpr std::string_view UnknownMethod = "Unknown method";
} // namespace pstext

// An error raised by script code itself (through the exception built-ins)
// and carried through host code; it keeps where it happened.
class EPSException : public std::runtime_error
{
public:
    EPSException(const std::string& message, std::uint32_t procNo, std::uint32_t procPos)
        : std::runtime_error(message), procNo_(procNo), procPos_(procPos)
    {
    }
    std::uint32_t procNo() const { return procNo_; }
    std::uint32_t procPos() const { return procPos_; }

private:
    std::uint32_t procNo_;
    std::uint32_t procPos_;
};

// Integer division or remainder by zero.
class EDivByZero : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Floating-point faults; division by zero has its own class.
class EMathError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class EZeroDivide : public EMathError
{
public:
    using EMathError::EMathError;
};
