#include "tests/script/runtime/image_builder.h"

#include <stdexcept>

namespace testimage {

using pscode::Op;

std::string u8(std::uint8_t v)
{
    return std::string(1, static_cast<char>(v));
}

std::string u16(std::uint16_t v)
{
    return u8(v & 0xFF) + u8(v >> 8);
}

std::string u32(std::uint32_t v)
{
    std::string s;
    pscode::putU32(s, v);
    return s;
}

std::string s32(std::int32_t v)
{
    return u32(static_cast<std::uint32_t>(v));
}

std::string u64(std::uint64_t v)
{
    return u32(static_cast<std::uint32_t>(v)) + u32(static_cast<std::uint32_t>(v >> 32));
}

std::string text(const std::string& s)
{
    return u32(static_cast<std::uint32_t>(s.size())) + s;
}

std::string wtext(const std::u16string& s)
{
    std::string out = u32(static_cast<std::uint32_t>(s.size()));
    for (char16_t c : s)
        out += u16(c);
    return out;
}

std::string V(std::uint32_t var)
{
    std::string s;
    pscode::putVarOperand(s, var);
    return s;
}

std::string C(std::uint32_t type, const std::string& value)
{
    std::string s;
    pscode::putConstOperandHead(s, type);
    return s + value;
}

std::string E(std::uint32_t var, std::uint32_t index)
{
    std::string s;
    pscode::putElementOperand(s, var, index);
    return s;
}

std::string EV(std::uint32_t var, std::uint32_t indexVar)
{
    std::string s;
    pscode::putElementVarOperand(s, var, indexVar);
    return s;
}

// --- Code

Code& Code::raw(const std::string& bytes)
{
    code_ += bytes;
    return *this;
}

Code& Code::op(Op op)
{
    pscode::putOp(code_, op);
    return *this;
}

Code& Code::label(const std::string& name)
{
    labels_[name] = code_.size();
    return *this;
}

Code& Code::assign(const std::string& dest, const std::string& src)
{
    return op(Op::Assign).raw(dest).raw(src);
}

Code& Code::calc(pscode::CalcOp calc, const std::string& dest, const std::string& src)
{
    pscode::putCalcHead(code_, calc);
    return raw(dest).raw(src);
}

Code& Code::compare(pscode::CompareOp cmp, const std::string& dest, const std::string& left, const std::string& right)
{
    pscode::putCompareHead(code_, cmp);
    return raw(dest).raw(left).raw(right);
}

Code& Code::pushType(std::uint32_t type)
{
    pscode::putPushType(code_, type);
    return *this;
}

Code& Code::pop()
{
    return op(Op::Pop);
}

Code& Code::push(const std::string& src)
{
    return op(Op::Push).raw(src);
}

Code& Code::pushRef(const std::string& var)
{
    return op(Op::PushRef).raw(var);
}

Code& Code::call(std::uint32_t proc)
{
    pscode::putCall(code_, proc);
    return *this;
}

Code& Code::callVar(const std::string& operand)
{
    return op(Op::CallVar).raw(operand);
}

Code& Code::ret()
{
    return op(Op::Return);
}

Code& Code::unary(Op unaryOp, const std::string& operand)
{
    return op(unaryOp).raw(operand);
}

Code& Code::setPointer(const std::string& dest, const std::string& src, bool ownedCopy)
{
    return op(ownedCopy ? Op::SetPointerCopy : Op::SetPointer).raw(dest).raw(src);
}

Code& Code::setFlag(const std::string& operand, bool invert)
{
    return op(Op::SetFlag).raw(operand).raw(u8(invert ? 1 : 0));
}

Code& Code::jump(Op jumpOp, const std::string& target)
{
    const std::size_t after = pscode::putForwardJump(code_, jumpOp);
    fixups_.push_back({after - 4, after, target});
    return *this;
}

Code& Code::jumpIf(Op jumpOp, const std::string& operand, const std::string& target)
{
    op(jumpOp);
    const std::size_t field = code_.size();
    code_ += u32(0);
    code_ += operand;
    fixups_.push_back({field, code_.size(), target});
    return *this;
}

Code& Code::tryOpen(const std::string& finallyPart, const std::string& exceptPart, const std::string& secondFinally,
                    const std::string& end)
{
    const std::size_t at = pscode::putTryOpen(code_);
    const std::size_t origin = at + pscode::kTryOpenSize;
    const std::string parts[] = {finallyPart, exceptPart, secondFinally, end};
    for (std::size_t i = 0; i < 4; ++i)
        fixups_.push_back({at + 1 + 4 * i, origin, parts[i]});
    return *this;
}

Code& Code::tryEnd(pscode::TryPart part)
{
    pscode::putTryEnd(code_, part);
    return *this;
}

std::string Code::bytes() const
{
    std::string out = code_;
    for (const Fixup& fixup : fixups_) {
        if (fixup.target.empty())
            continue;
        const auto it = labels_.find(fixup.target);
        if (it == labels_.end())
            throw std::logic_error("unknown label " + fixup.target);
        pscode::patchS32(out, fixup.field, pscode::jumpOffset(it->second, fixup.origin));
    }
    return out;
}

// --- ImageBuilder

std::uint32_t ImageBuilder::rawType(const std::string& bytes)
{
    types_.push_back(bytes);
    typeAttributes_.push_back(u32(0));
    return static_cast<std::uint32_t>(types_.size() - 1);
}

std::uint32_t ImageBuilder::type(ps::BaseType base, const std::string& exportName)
{
    if (exportName.empty())
        return rawType(u8(ps::code(base)));
    return rawType(u8(ps::code(base) | ps::image::TypeExported) + text(exportName));
}

std::uint32_t ImageBuilder::record(const std::vector<std::uint32_t>& fields)
{
    std::string bytes = u8(ps::code(ps::BaseType::Record)) + u32(static_cast<std::uint32_t>(fields.size()));
    for (std::uint32_t field : fields)
        bytes += u32(field);
    return rawType(bytes);
}

std::uint32_t ImageBuilder::dynArray(std::uint32_t element)
{
    return rawType(u8(ps::code(ps::BaseType::DynArray)) + u32(element));
}

std::uint32_t ImageBuilder::staticArray(std::uint32_t element, std::uint32_t count, std::int32_t lowBound)
{
    return rawType(u8(ps::code(ps::BaseType::StaticArray)) + u32(element) + u32(count) + s32(lowBound));
}

std::uint32_t ImageBuilder::set(std::uint32_t bits)
{
    return rawType(u8(ps::code(ps::BaseType::Set)) + u32(bits));
}

std::uint32_t ImageBuilder::procType(const std::string& signature)
{
    return rawType(u8(ps::code(ps::BaseType::Procedural)) + text(signature));
}

std::uint32_t ImageBuilder::classType(const std::string& name)
{
    return rawType(u8(ps::code(ps::BaseType::Class)) + text(name));
}

ImageBuilder& ImageBuilder::typeAttributes(const std::string& table)
{
    typeAttributes_.back() = table;
    return *this;
}

std::uint32_t ImageBuilder::external(const std::string& name, const std::string* decl)
{
    Proc proc;
    std::uint8_t flags = ps::image::ProcExternal | (decl ? ps::image::ProcDeclared : 0);
    proc.record = u8(flags) + u8(static_cast<std::uint8_t>(name.size())) + name;
    if (decl)
        proc.record += text(*decl);
    procs_.push_back(proc);
    return static_cast<std::uint32_t>(procs_.size() - 1);
}

std::uint32_t ImageBuilder::proc(const Code& body, const std::string& exportName, const std::string& exportDecl)
{
    Proc proc;
    proc.internal = true;
    proc.code = body.bytes();
    proc.exportName = exportName;
    proc.exportDecl = exportDecl;
    procs_.push_back(proc);
    return static_cast<std::uint32_t>(procs_.size() - 1);
}

std::uint32_t ImageBuilder::rawProc(const std::string& bytes)
{
    Proc proc;
    proc.record = bytes;
    procs_.push_back(proc);
    return static_cast<std::uint32_t>(procs_.size() - 1);
}

ImageBuilder& ImageBuilder::procAttributes(const std::string& table)
{
    Proc& proc = procs_.back();
    if (proc.internal)
        proc.attributes = table;
    else {
        proc.record[0] = static_cast<char>(proc.record[0] | ps::image::ProcAttributes);
        proc.record += table;
    }
    return *this;
}

std::uint32_t ImageBuilder::var(std::uint32_t type, const std::string& exportName)
{
    if (exportName.empty())
        return rawVar(u32(type) + u8(0));
    return rawVar(u32(type) + u8(ps::image::VarExported) + text(exportName));
}

std::uint32_t ImageBuilder::rawVar(const std::string& bytes)
{
    vars_.push_back(bytes);
    return static_cast<std::uint32_t>(vars_.size() - 1);
}

ImageBuilder& ImageBuilder::main(std::uint32_t proc)
{
    main_ = proc;
    return *this;
}

ImageBuilder& ImageBuilder::build(std::uint32_t build)
{
    build_ = build;
    return *this;
}

ImageBuilder& ImageBuilder::magic(std::uint32_t magic)
{
    magic_ = magic;
    return *this;
}

ImageBuilder& ImageBuilder::counts(std::uint32_t types, std::uint32_t procs, std::uint32_t vars)
{
    forcedCounts_ = true;
    typeCount_ = types;
    procCount_ = procs;
    varCount_ = vars;
    return *this;
}

std::string ImageBuilder::image() const
{
    std::string out = u32(magic_) + u32(build_);
    out += u32(forcedCounts_ ? typeCount_ : static_cast<std::uint32_t>(types_.size()));
    out += u32(forcedCounts_ ? procCount_ : static_cast<std::uint32_t>(procs_.size()));
    out += u32(forcedCounts_ ? varCount_ : static_cast<std::uint32_t>(vars_.size()));
    out += u32(main_) + u32(0);
    for (std::size_t i = 0; i < types_.size(); ++i) {
        out += types_[i];
        if (build_ >= ps::image::FirstBuildWithTypeAttributes)
            out += typeAttributes_[i];
    }
    std::vector<std::size_t> offsetFields;
    for (const Proc& proc : procs_) {
        if (!proc.internal) {
            out += proc.record;
            continue;
        }
        std::uint8_t flags = proc.exportName.empty() ? 0 : ps::image::ProcDeclared;
        if (!proc.attributes.empty())
            flags |= ps::image::ProcAttributes;
        out += u8(flags);
        offsetFields.push_back(out.size());
        out += u32(0) + u32(static_cast<std::uint32_t>(proc.code.size()));
        if (!proc.exportName.empty())
            out += text(proc.exportName) + text(proc.exportDecl);
        out += proc.attributes;
    }
    for (const std::string& var : vars_)
        out += var;
    std::size_t next = 0;
    for (const Proc& proc : procs_) {
        if (!proc.internal)
            continue;
        pscode::patchU32(out, offsetFields[next++], static_cast<std::uint32_t>(out.size()));
        out += proc.code;
    }
    return out;
}

StandardTypes::StandardTypes(ImageBuilder& b)
    : byteT(b.type(ps::BaseType::Byte)), longint(b.type(ps::BaseType::LongInt)),
      longword(b.type(ps::BaseType::LongWord)), int64(b.type(ps::BaseType::Int64)),
      string(b.type(ps::BaseType::AnsiString)), pointer(b.type(ps::BaseType::Pointer)),
      wstring(b.type(ps::BaseType::UnicodeString)), proc(b.procType(std::string("\0", 1)))
{
}

} // namespace testimage
