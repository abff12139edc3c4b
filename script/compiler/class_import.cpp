#include "script/compiler/class_import.h"

#include "script/common/member_import.h"
#include "script/common/utils.h"
#include "script/compiler/compiler.h"

using ps::BaseType;

namespace {

template <typename Symbol> bool sameName(const Symbol& symbol, std::uint32_t hash, std::string_view upper)
{
    return symbol.NameHash == hash && symbol.Name == upper;
}

std::int32_t addImport(TPSPascalCompiler& compiler, TPSParametersDecl decl, std::string text)
{
    auto proc = std::make_unique<TPSRegProc>();
    proc->Decl = std::move(decl);
    proc->ImportDecl = std::move(text);
    return compiler.AddImportProc(std::move(proc));
}

// The cast routine takes the reference and the target's type number and
// gives the cast reference; the release routine takes the variable to clear.
std::int32_t castSupport(TPSPascalCompiler& compiler, TPSType* self, std::int32_t& cache)
{
    if (cache < 0) {
        TPSParametersDecl decl;
        decl.AddParam("Org", TPSParameterMode::In, self);
        decl.AddParam("TypeNo", TPSParameterMode::In, compiler.FindType("LONGWORD"));
        decl.Result = self;
        cache = addImport(compiler, std::move(decl), std::string(psimport::CastText));
    }
    return cache;
}

std::int32_t testSupport(TPSPascalCompiler& compiler, TPSType* self, std::int32_t& cache)
{
    if (cache < 0) {
        TPSParametersDecl decl;
        decl.AddParam("VarNo", TPSParameterMode::InOut, self);
        cache = addImport(compiler, std::move(decl), std::string(psimport::ReleaseText));
    }
    return cache;
}

} // namespace

void TPSDelphiClassItem::SetName(std::string_view written)
{
    OrgName.assign(written);
    Name = FastUpperCase(written);
    NameHash = MakeHash(Name);
}

TPSCompileTimeClass::TPSCompileTimeClass(TPSPascalCompiler& owner, std::string_view name, TPSClassType* type)
    : Name(FastUpperCase(name)), NameHash(MakeHash(Name)), FType(type), Owner(owner)
{
}

TPSCompileTimeClass::~TPSCompileTimeClass() = default;

bool TPSCompileTimeClass::IsCompatibleWith(const TPSCompileTimeClass* other) const
{
    for (const TPSCompileTimeClass* c = this; c; c = c->ClassInheritsFrom) {
        if (c == other)
            return true;
    }
    return false;
}

bool TPSCompileTimeClass::RegisterMethod(std::string_view header)
{
    std::string name;
    TPSParametersDecl decl;
    TPSMethodKind kind;
    if (!Owner.ParseMethod(Name, header, name, decl, kind))
        return false;
    std::unique_ptr<TPSDelphiClassItem> item;
    if (kind == TPSMethodKind::Constructor) {
        item = std::make_unique<TPSDelphiClassItemConstructor>();
        // A constructor gives the new instance.
        decl.Result = FType;
    } else {
        item = std::make_unique<TPSDelphiClassItemMethod>();
    }
    item->SetName(name);
    item->Decl = std::move(decl);
    item->Owner = this;
    Items.push_back(std::move(item));
    return true;
}

bool TPSCompileTimeClass::RegisterProperty(std::string_view name, std::string_view typeText, TPSPropertyAccess access)
{
    // The name travels in the import text between separators.
    if (!psimport::IsImportName(name))
        return false;
    std::string rest(typeText);
    TPSParametersDecl decl;
    for (std::uint32_t index = 0; !rest.empty(); ++index) {
        const std::string typeName = CutFirstWord(rest);
        if (typeName.empty())
            continue;
        TPSType* type = Owner.FindType(typeName);
        if (!type)
            return false;
        if (!decl.Result)
            decl.Result = type;
        else
            decl.AddParam("param" + std::to_string(decl.Params.size() + 1), TPSParameterMode::In, type);
    }
    if (!decl.Result)
        return false;
    auto item = std::make_unique<TPSDelphiClassItemProperty>();
    item->SetName(name);
    item->Decl = std::move(decl);
    item->Owner = this;
    item->AccessType = access;
    Items.push_back(std::move(item));
    return true;
}

bool TPSCompileTimeClass::SetDefaultProperty(std::string_view name)
{
    auto* property = dynamic_cast<TPSDelphiClassItemProperty*>(FindMember(name));
    if (!property || property->Decl.Params.empty())
        return false;
    DefaultProperty = property;
    return true;
}

TPSDelphiClassItemProperty* TPSCompileTimeClass::FindDefaultProperty() const
{
    for (const TPSCompileTimeClass* c = this; c; c = c->ClassInheritsFrom) {
        if (c->DefaultProperty)
            return c->DefaultProperty;
    }
    return nullptr;
}

TPSDelphiClassItem* TPSCompileTimeClass::FindMember(std::string_view name) const
{
    const std::string upper = FastUpperCase(name);
    const std::uint32_t hash = MakeHash(upper);
    for (const TPSCompileTimeClass* c = this; c; c = c->ClassInheritsFrom) {
        for (auto it = c->Items.rbegin(); it != c->Items.rend(); ++it) {
            if (sameName(**it, hash, upper))
                return it->get();
        }
    }
    return nullptr;
}

std::int32_t TPSCompileTimeClass::MemberProcNo(TPSDelphiClassItem& item)
{
    if (auto* property = dynamic_cast<TPSDelphiClassItemProperty*>(&item))
        return PropertyReadProcNo(*property);
    if (item.ProcNo < 0)
        item.ProcNo =
            addImport(Owner, item.Decl, psimport::MethodText(item.Owner->Name, item.Name, item.Decl.Signature()));
    return item.ProcNo;
}

std::int32_t TPSCompileTimeClass::PropertyReadProcNo(TPSDelphiClassItemProperty& property)
{
    if (property.AccessType == TPSPropertyAccess::WriteOnly)
        return -1;
    if (property.ProcNo < 0) {
        const auto indexes = static_cast<std::uint32_t>(property.Decl.Params.size());
        property.ProcNo = addImport(Owner, property.Decl,
                                    psimport::PropertyText(property.Owner->Name, property.Name, false, indexes));
    }
    return property.ProcNo;
}

std::int32_t TPSCompileTimeClass::PropertyWriteProcNo(TPSDelphiClassItemProperty& property)
{
    if (property.AccessType == TPSPropertyAccess::ReadOnly)
        return -1;
    if (property.WriteProcNo < 0) {
        const auto indexes = static_cast<std::uint32_t>(property.Decl.Params.size());
        // The index parameters, then the value.
        TPSParametersDecl decl;
        decl.Params = property.Decl.Params;
        decl.AddParam("Value", TPSParameterMode::In, property.Decl.Result);
        property.WriteProcNo = addImport(Owner, std::move(decl),
                                         psimport::PropertyText(property.Owner->Name, property.Name, true, indexes));
    }
    return property.WriteProcNo;
}

std::int32_t TPSCompileTimeClass::CastSupportProcNo()
{
    return castSupport(Owner, FType, CastProcNo);
}

std::int32_t TPSCompileTimeClass::TestSupportProcNo()
{
    return testSupport(Owner, FType, TestProcNo);
}

TPSInterfaceMethod* FindInterfaceMethod(TPSInterface& intf, std::string_view name, TPSInterface** declaredBy)
{
    const std::string upper = FastUpperCase(name);
    const std::uint32_t hash = MakeHash(upper);
    for (TPSInterface* i = &intf; i; i = i->InheritedFrom) {
        for (auto it = i->Methods.rbegin(); it != i->Methods.rend(); ++it) {
            if (sameName(*it, hash, upper)) {
                if (declaredBy)
                    *declaredBy = i;
                return &*it;
            }
        }
    }
    return nullptr;
}

std::int32_t InterfaceMethodNumber(TPSInterface& intf, TPSInterfaceMethod& method)
{
    if (method.MethodNo < 0) {
        std::size_t number = static_cast<std::size_t>(&method - intf.Methods.data());
        for (const TPSInterface* i = intf.InheritedFrom; i; i = i->InheritedFrom)
            number += i->Methods.size();
        method.MethodNo = static_cast<std::int32_t>(number);
    }
    return method.MethodNo;
}

std::int32_t InterfaceMethodProcNo(TPSPascalCompiler& compiler, TPSInterface& intf, TPSInterfaceMethod& method)
{
    if (method.ProcNo < 0) {
        const auto slot = static_cast<std::uint32_t>(InterfaceMethodNumber(intf, method));
        method.ProcNo = addImport(
            compiler, method.Decl,
            psimport::InterfaceMethodText(slot, static_cast<std::uint8_t>(method.CC), method.Decl.Signature()));
    }
    return method.ProcNo;
}

std::int32_t InterfaceCastSupportProcNo(TPSPascalCompiler& compiler, TPSInterface& intf)
{
    return castSupport(compiler, intf.AType, intf.CastProcNo);
}

std::int32_t InterfaceTestSupportProcNo(TPSPascalCompiler& compiler, TPSInterface& intf)
{
    return testSupport(compiler, intf.AType, intf.TestProcNo);
}
