#include "script/runtime/class_importer.h"

#include "script/common/member_import.h"
#include "script/common/utils.h"
#include "script/runtime/errors.h"
#include "script/runtime/types.h"

#include <cstring>

using ps::BaseType;

// ---- Registry ----------------------------------------------------------------------

const TPSRuntimeClassMember* TPSRuntimeClass::FindMember(std::string_view upperName) const
{
    const std::uint32_t wanted = MakeHash(upperName);
    for (const TPSRuntimeClassMember& member : members)
        if (member.hash == wanted && member.name == upperName)
            return &member;
    return nullptr;
}

TPSRuntimeClass* TPSRuntimeClassImporter::Add(std::string_view name)
{
    auto added = std::make_unique<TPSRuntimeClass>();
    added->name = FastUpperCase(name);
    added->hash = MakeHash(added->name);
    classes_.push_back(std::move(added));
    return classes_.back().get();
}

const TPSRuntimeClass* TPSRuntimeClassImporter::LookupClass(std::string_view name) const
{
    const std::string upper = FastUpperCase(name);
    const std::uint32_t wanted = MakeHash(upper);
    for (const auto& found : classes_)
        if (found->hash == wanted && found->name == upper)
            return found.get();
    return nullptr;
}

std::vector<const TPSRuntimeClass*> TPSRuntimeClassImporter::Classes() const
{
    std::vector<const TPSRuntimeClass*> out;
    for (const auto& known : classes_)
        out.push_back(known.get());
    return out;
}

namespace {

// The variable or value a parameter entry stands for, counted from the top
// of the stack (-1 the top).
bool entryAt(TPSExec* exec, TPSStack* stack, std::ptrdiff_t index, TPSValueRef& out)
{
    if (static_cast<std::size_t>(-index) > stack->Count())
        return false;
    return exec->ParamTarget(stack->Items(index), out) && out.type;
}

template <typename T> T loadAs(const void* data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

bool nullPointer(TPSExec* exec)
{
    exec->SetError(erNullPointerException);
    return false;
}

bool cannotCastInterface(TPSExec* exec)
{
    exec->SetErrorWithText(erCustomError, std::string(pstext::CannotCastInterface));
    return false;
}

// Stores an interface reference (taking over its reference) into a variable.
void storeInterface(void* data, IUnknown* reference)
{
    IUnknown*& target = *static_cast<IUnknown**>(data);
    if (target)
        target->Release();
    target = reference;
}

// class:+ — function (Org: <self>; TypeNo: LongWord): <self>.
bool castReference(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack* stack)
{
    TPSValueRef result, source, typeNo;
    if (!entryAt(exec, stack, -1, result) || !entryAt(exec, stack, -2, source) || !entryAt(exec, stack, -3, typeNo))
        return false;
    if (typeNo.type->baseType != BaseType::LongWord)
        return false;
    const TPSTypeRec* target = exec->GetTypeByNumber(loadAs<std::uint32_t>(typeNo.data));
    if (!target || result.type->baseType != target->baseType) {
        exec->SetError(ErTypeMismatch);
        return false;
    }
    const BaseType from = source.type->baseType;
    if (target->baseType == BaseType::Interface) {
        const GUID& iid = static_cast<const TPSTypeRec_Interface*>(target)->guid;
        IUnknown* cast = nullptr;
        if (from == BaseType::Interface) {
            IUnknown* reference = loadAs<IUnknown*>(source.data);
            void* out = nullptr;
            if (reference && reference->QueryInterface(iid, &out) == S_OK)
                cast = static_cast<IUnknown*>(out);
        } else if (from == BaseType::Class) {
            if (void* object = loadAs<void*>(source.data))
                cast = ClassInterface(exec, object, target);
        } else {
            exec->SetError(ErTypeMismatch);
            return false;
        }
        if (!cast)
            return cannotCastInterface(exec);
        storeInterface(result.data, cast);
        return true;
    }
    if (target->baseType == BaseType::Class && from == BaseType::Class) {
        void* object = loadAs<void*>(source.data);
        void* cast = object && IsClassInstance(exec, object, target) ? object : nullptr;
        std::memcpy(result.data, &cast, sizeof cast);
        return true;
    }
    exec->SetError(ErTypeMismatch);
    return false;
}

// class:- — procedure (var V: <class or interface>).
bool releaseReference(TPSExec* exec, TPSExternalProcRec*, TPSStack*, TPSStack* stack)
{
    TPSValueRef variable;
    if (!entryAt(exec, stack, -1, variable))
        return false;
    switch (variable.type->baseType) {
    case BaseType::Class: {
        void* none = nullptr;
        std::memcpy(variable.data, &none, sizeof none);
        return true;
    }
    case BaseType::Interface:
        storeInterface(variable.data, nullptr);
        return true;
    default:
        return nullPointer(exec);
    }
}

// intf: — a method of an interface reference. The reference lies below the
// parameters (and the result).
bool callInterfaceMethod(TPSExec* exec, TPSExternalProcRec* proc, TPSStack*, TPSStack* stack)
{
    // The declaration is the calling convention, the result flag and one
    // byte per parameter.
    if (proc->decl.size() < 2)
        return false;
    const auto below = static_cast<std::ptrdiff_t>(proc->decl.size() - 2 + (proc->decl[1] != 0 ? 1 : 0));
    TPSValueRef self;
    if (!entryAt(exec, stack, -below - 1, self))
        return false;
    if (self.type->baseType != BaseType::Interface || !loadAs<IUnknown*>(self.data))
        return nullPointer(exec);
    // Interfaces of this program publish no methods to scripts beyond their
    // reference counting, which scripts never call themselves.
    exec->SetError(erCouldNotCallProc);
    return false;
}

bool resolveClassMember(TPSExec* exec, TPSExternalProcRec* proc, std::uintptr_t tag)
{
    static_cast<void>(exec);
    psimport::ClassImport import;
    if (!psimport::ParseClassImport(proc->decl, import))
        return false;
    switch (import.kind) {
    case psimport::ClassImport::Kind::Release:
        proc->handler = releaseReference;
        return true;
    case psimport::ClassImport::Kind::Cast:
        proc->handler = castReference;
        proc->ext2 = tag;
        return true;
    case psimport::ClassImport::Kind::Member:
        break;
    }
    const auto* importer = reinterpret_cast<const TPSRuntimeClassImporter*>(tag);
    const TPSRuntimeClass* owner = importer ? importer->LookupClass(import.className) : nullptr;
    if (!owner)
        return false;
    std::string member = FastUpperCase(import.member);
    if (import.write)
        member.push_back(psimport::WriteMark);
    const TPSRuntimeClassMember* found = owner->FindMember(member);
    if (!found || !found->handler)
        return false;
    proc->handler = found->handler;
    proc->ext1 = found->ext1;
    proc->ext2 = reinterpret_cast<std::uintptr_t>(owner);
    return true;
}

bool resolveInterfaceMethod(TPSExec*, TPSExternalProcRec* proc, std::uintptr_t)
{
    const std::string_view prefix = psimport::InterfacePrefix; // "intf:."
    if (proc->decl.size() < prefix.size() + 5 || proc->decl.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::uint32_t slot = 0;
    std::memcpy(&slot, proc->decl.data() + prefix.size(), sizeof slot);
    proc->ext1 = slot; // little-endian in the image, as on every host this runs on
    proc->decl.erase(0, prefix.size() + 4);
    proc->handler = callInterfaceMethod;
    return true;
}

} // namespace

void RegisterClassLibraryRuntime(TPSExec* exec, TPSRuntimeClassImporter* importer)
{
    exec->AddImportResolver(psimport::ClassResolver, resolveClassMember, reinterpret_cast<std::uintptr_t>(importer));
}

TPSRuntimeClassImporter* ClassImporterOf(const TPSExec* exec)
{
    return reinterpret_cast<TPSRuntimeClassImporter*>(exec->FindImportResolver(resolveClassMember));
}

void RegisterInterfaceResolver(TPSExec* exec)
{
    // Registered with the built-ins, so again at every reset of them; once is enough.
    constexpr std::uintptr_t registered = 1;
    if (exec->FindImportResolver(resolveInterfaceMethod) != registered)
        exec->AddImportResolver(psimport::InterfaceResolver, resolveInterfaceMethod, registered);
}

bool IsClassInstance(const TPSExec* exec, const void* object, const TPSTypeRec* classType)
{
    const TPSRuntimeClassImporter* importer = ClassImporterOf(exec);
    if (!importer || !object || classType->baseType != BaseType::Class)
        return false;
    const TPSRuntimeClass* known = importer->LookupClass(static_cast<const TPSTypeRec_Class*>(classType)->className);
    return known && known->isInstance && known->isInstance(object);
}

IUnknown* ClassInterface(const TPSExec* exec, void* object, const TPSTypeRec* interfaceType)
{
    const TPSRuntimeClassImporter* importer = ClassImporterOf(exec);
    if (!importer || !object || interfaceType->baseType != BaseType::Interface)
        return nullptr;
    // The object's own class is not known from the object, so each class that
    // claims the object is asked.
    const GUID& iid = static_cast<const TPSTypeRec_Interface*>(interfaceType)->guid;
    for (const TPSRuntimeClass* known : importer->Classes())
        if (known->getInterface && known->isInstance && known->isInstance(object))
            if (IUnknown* reference = known->getInterface(object, iid))
                return reference;
    return nullptr;
}
