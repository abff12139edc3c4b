#pragma once
// Host classes and interfaces as scripts see them at compile time. The host
// declares members as header text; a member enters the image only when
// compiled code first uses it, as an external procedure with an empty name
// and the member's import text (member_import.h).

#include "script/compiler/symbols.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPSPascalCompiler;

enum class TPSPropertyAccess : std::uint8_t { ReadWrite = 0, ReadOnly = 1, WriteOnly = 2 };

// A member of a host class. Decl holds the parameters as the script passes
// them; for a property its result is the property type and its parameters
// the index parameters.
class TPSDelphiClassItem
{
public:
    virtual ~TPSDelphiClassItem() = default;
    TPSDelphiClassItem(const TPSDelphiClassItem&) = delete;
    TPSDelphiClassItem& operator=(const TPSDelphiClassItem&) = delete;

    std::string Name; // upper-cased
    std::uint32_t NameHash = 0;
    std::string OrgName;
    TPSParametersDecl Decl;
    TPSCompileTimeClass* Owner = nullptr;
    std::int32_t ProcNo = -1; // a property's read routine

    void SetName(std::string_view written);

protected:
    TPSDelphiClassItem() = default;
};

class TPSDelphiClassItemMethod : public TPSDelphiClassItem
{
};

class TPSDelphiClassItemConstructor : public TPSDelphiClassItemMethod
{
};

class TPSDelphiClassItemProperty : public TPSDelphiClassItem
{
public:
    TPSPropertyAccess AccessType = TPSPropertyAccess::ReadWrite;
    std::int32_t WriteProcNo = -1;
};

class TPSCompileTimeClass
{
public:
    TPSCompileTimeClass(TPSPascalCompiler& owner, std::string_view name, TPSClassType* type);
    ~TPSCompileTimeClass();
    TPSCompileTimeClass(const TPSCompileTimeClass&) = delete;
    TPSCompileTimeClass& operator=(const TPSCompileTimeClass&) = delete;

    TPSCompileTimeClass* ClassInheritsFrom = nullptr;
    std::string Name; // upper-cased
    std::uint32_t NameHash = 0;
    std::vector<std::unique_ptr<TPSDelphiClassItem>> Items;
    std::int32_t CastProcNo = -1;
    std::int32_t TestProcNo = -1;
    bool IsAbstract = false;
    TPSDelphiClassItemProperty* DefaultProperty = nullptr;
    TPSClassType* FType;
    TPSPascalCompiler& Owner;

    // A "procedure", "function" or "constructor" header; False (and nothing
    // added) when the header is rejected, for instance for an unknown type.
    bool RegisterMethod(std::string_view header);
    // typeText: the property type, then one type name per index parameter,
    // separated by blanks. An unknown type drops the property silently.
    bool RegisterProperty(std::string_view name, std::string_view typeText, TPSPropertyAccess access);

    // Makes the named property, which must have index parameters, the one
    // that "[" right after an instance reaches; False when there is none.
    bool SetDefaultProperty(std::string_view name);
    // This class's default property, else the nearest ancestor's.
    TPSDelphiClassItemProperty* FindDefaultProperty() const;

    // Searches this class's members from the last registered, then the
    // parent's, up the chain; nil when none has the name.
    TPSDelphiClassItem* FindMember(std::string_view name) const;

    // Procedure numbers of the member routines, each made on first use. -1
    // for a property side its access kind rules out.
    std::int32_t MemberProcNo(TPSDelphiClassItem& item);
    std::int32_t PropertyReadProcNo(TPSDelphiClassItemProperty& property);
    std::int32_t PropertyWriteProcNo(TPSDelphiClassItemProperty& property);
    // The cast ("class:+") and release ("class:-") support routines.
    std::int32_t CastSupportProcNo();
    std::int32_t TestSupportProcNo();

    // True when this class is other or descends from it.
    bool IsCompatibleWith(const TPSCompileTimeClass* other) const;
};

// Interface methods, searched from the last declared up the interface chain;
// declaredBy receives the interface whose list holds the method.
TPSInterfaceMethod* FindInterfaceMethod(TPSInterface& intf, std::string_view name, TPSInterface** declaredBy = nullptr);
// The method's slot: its index in the list of intf, the interface that
// declares it, plus the method count of every ancestor.
std::int32_t InterfaceMethodNumber(TPSInterface& intf, TPSInterfaceMethod& method);
// The procedure number of the method's routine, made on first use; intf
// declares the method.
std::int32_t InterfaceMethodProcNo(TPSPascalCompiler& compiler, TPSInterface& intf, TPSInterfaceMethod& method);
std::int32_t InterfaceCastSupportProcNo(TPSPascalCompiler& compiler, TPSInterface& intf);
std::int32_t InterfaceTestSupportProcNo(TPSPascalCompiler& compiler, TPSInterface& intf);

// The graphics types, colour constants and classes the script host offers.
// Without streams TBitmap has no LoadFromStream and SaveToStream.
void RegisterGraphicsClasses(TPSPascalCompiler& compiler, bool streams);
