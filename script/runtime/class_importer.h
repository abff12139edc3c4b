#pragma once
// Host classes and interfaces at run time: the registry of host classes the
// scripts may use, and the import resolvers that bind the members a script
// calls ("class:" and "intf:" imports) to handlers.
//
// The program registers no host class: a member import of a class fails to
// load with "Cannot Import", except the release and cast routines every
// class and interface variable has.

#include "script/runtime/exec.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct GUID;

// A member of a host class the scripts may call.
struct TPSRuntimeClassMember
{
    std::string name; // upper case; a property's write side ends in '@'
    std::uint32_t hash = 0;
    TPSProcHandler handler = nullptr;
    std::uintptr_t ext1 = 0;
};

struct TPSRuntimeClass
{
    std::string name; // upper case
    std::uint32_t hash = 0;
    // Whether a host object is of this class or descends from it.
    std::function<bool(const void* object)> isInstance;
    // The object's interface of the id, with a reference of its own; none
    // when it has no such interface.
    std::function<IUnknown*(void* object, const GUID& iid)> getInterface;
    std::vector<TPSRuntimeClassMember> members;

    const TPSRuntimeClassMember* FindMember(std::string_view upperName) const;
};

class TPSRuntimeClassImporter
{
public:
    TPSRuntimeClass* Add(std::string_view name);
    void Clear() { classes_.clear(); }
    // By name in any case; none when the class is not registered.
    const TPSRuntimeClass* LookupClass(std::string_view name) const;
    std::vector<const TPSRuntimeClass*> Classes() const;

private:
    std::vector<std::unique_ptr<TPSRuntimeClass>> classes_;
};

// Binds "class:" imports through the importer, which must outlive the
// executer's loaded image.
void RegisterClassLibraryRuntime(TPSExec* exec, TPSRuntimeClassImporter* importer);
// The importer registered with the executer, none when there is none.
TPSRuntimeClassImporter* ClassImporterOf(const TPSExec* exec);
// Binds "intf:" imports; registered with the built-in routines.
void RegisterInterfaceResolver(TPSExec* exec);

// Whether the host object is of the script's class type or descends from
// it, as the executer's class importer knows it.
bool IsClassInstance(const TPSExec* exec, const void* object, const TPSTypeRec* classType);
// The object's interface of the interface type, with a reference of its
// own; none when the object's class does not give it.
IUnknown* ClassInterface(const TPSExec* exec, void* object, const TPSTypeRec* interfaceType);
