#pragma once
// A small assembler for bytecode images, so the runtime can be tested
// without the compiler: type, procedure and variable tables, and procedure
// bodies written instruction by instruction with labels for jumps and try
// blocks.

#include "script/common/bytecode_image.h"
#include "script/common/instruction_set.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testimage {

std::string u8(std::uint8_t v);
std::string u16(std::uint16_t v);
std::string u32(std::uint32_t v);
std::string s32(std::int32_t v);
std::string u64(std::uint64_t v);
// A length-prefixed 8-bit text.
std::string text(const std::string& s);
// A length-prefixed UTF-16 text.
std::string wtext(const std::u16string& s);

// Operands: the kind byte and its fields.
std::string V(std::uint32_t var);
std::string C(std::uint32_t type, const std::string& value);
std::string E(std::uint32_t var, std::uint32_t index);
std::string EV(std::uint32_t var, std::uint32_t indexVar);

constexpr std::uint32_t local(std::uint32_t n)
{
    return pscode::localVar(n);
}
constexpr std::uint32_t param(std::uint32_t n)
{
    return pscode::paramVar(n);
}

class Code
{
public:
    Code& raw(const std::string& bytes);
    Code& op(pscode::Op op);
    Code& label(const std::string& name);

    Code& assign(const std::string& dest, const std::string& src);
    Code& calc(pscode::CalcOp op, const std::string& dest, const std::string& src);
    Code& compare(pscode::CompareOp op, const std::string& dest, const std::string& left, const std::string& right);
    Code& pushType(std::uint32_t type);
    Code& pop();
    Code& push(const std::string& src);
    Code& pushRef(const std::string& var);
    Code& call(std::uint32_t proc);
    Code& callVar(const std::string& operand);
    Code& ret();
    Code& unary(pscode::Op op, const std::string& operand);
    Code& setPointer(const std::string& dest, const std::string& src, bool ownedCopy = false);
    Code& setFlag(const std::string& operand, bool invert);

    // Jumps to a label: Jump, JumpFlag, PopJump, PopPopJump.
    Code& jump(pscode::Op op, const std::string& target);
    // JumpIfTrue or JumpIfFalse on an operand.
    Code& jumpIf(pscode::Op op, const std::string& operand, const std::string& target);
    // A try block; an empty label leaves the part absent.
    Code& tryOpen(const std::string& finallyPart, const std::string& exceptPart, const std::string& secondFinally,
                  const std::string& end);
    Code& tryEnd(pscode::TryPart part);

    // The bytes, with every jump resolved.
    std::string bytes() const;

private:
    struct Fixup
    {
        std::size_t field;  // where the offset goes
        std::size_t origin; // the offset is counted from here
        std::string target; // empty: the field stays absent
    };
    std::string code_;
    std::map<std::string, std::size_t> labels_;
    std::vector<Fixup> fixups_;
};

class ImageBuilder
{
public:
    // Types; each returns the type number. The attribute table defaults to
    // an empty one.
    std::uint32_t type(ps::BaseType base, const std::string& exportName = {});
    std::uint32_t record(const std::vector<std::uint32_t>& fields);
    std::uint32_t dynArray(std::uint32_t element);
    std::uint32_t staticArray(std::uint32_t element, std::uint32_t count, std::int32_t lowBound);
    std::uint32_t set(std::uint32_t bits);
    std::uint32_t procType(const std::string& signature);
    std::uint32_t classType(const std::string& name);
    // A type record exactly as given (code byte included, attributes not).
    std::uint32_t rawType(const std::string& bytes);
    // Replaces the attribute table after the last type.
    ImageBuilder& typeAttributes(const std::string& table);

    // Procedures; each returns the procedure number.
    std::uint32_t external(const std::string& name, const std::string* decl = nullptr);
    std::uint32_t proc(const Code& body, const std::string& exportName = {}, const std::string& exportDecl = {});
    std::uint32_t rawProc(const std::string& bytes);
    // Sets bit 2 on the last procedure and appends the table.
    ImageBuilder& procAttributes(const std::string& table);

    std::uint32_t var(std::uint32_t type, const std::string& exportName = {});
    std::uint32_t rawVar(const std::string& bytes);

    ImageBuilder& main(std::uint32_t proc);
    ImageBuilder& build(std::uint32_t build);
    ImageBuilder& magic(std::uint32_t magic);
    // Forces the header's counts (for images that claim more than they hold).
    ImageBuilder& counts(std::uint32_t types, std::uint32_t procs, std::uint32_t vars);

    std::string image() const;

private:
    struct Proc
    {
        std::string record; // the whole record of an external or raw one
        bool internal = false;
        std::string code;
        std::string exportName, exportDecl;
        std::string attributes;
    };
    std::vector<std::string> types_;
    std::vector<std::string> typeAttributes_;
    std::vector<Proc> procs_;
    std::vector<std::string> vars_;
    std::uint32_t main_ = ps::image::NoMainProc;
    std::uint32_t build_ = ps::image::Build;
    std::uint32_t magic_ = ps::image::Magic;
    bool forcedCounts_ = false;
    std::uint32_t typeCount_ = 0, procCount_ = 0, varCount_ = 0;
};

// An image with the types most tests use, in this order.
struct StandardTypes
{
    std::uint32_t byteT, longint, longword, int64, string, pointer, wstring, proc;
    explicit StandardTypes(ImageBuilder& b);
};

} // namespace testimage
