#pragma once
// What an action list needs of the script component: a compile handler to
// chain into, and a way to declare a host routine while a compile runs.

#include <QList>
#include <QObject>
#include <QVariantList>

#include <functional>
#include <string>

class TCustomKvActionList;

// A host routine as the script calls it: the arguments in declaration order.
// An entry ignores a call whose arguments it cannot read.
using TScriptEntry = std::function<void(const QVariantList& args)>;

class TScriptLink
{
public:
    using TCompileEvent = std::function<void(TScriptLink* sender)>;

    TScriptLink() = default;
    TScriptLink(const TScriptLink&) = delete;
    TScriptLink& operator=(const TScriptLink&) = delete;
    // Linked action lists forget the script.
    virtual ~TScriptLink();

    // The handler that declares the host's routines during each compile.
    virtual TCompileEvent OnCompile() const = 0;
    virtual void SetOnCompile(TCompileEvent handler) = 0;

    // Declares the routine of `declaration` (UTF-8 script text) and binds it to
    // `entry` of `self`. False outside a compile or when the text is rejected.
    virtual bool AddMethod(QObject* self, TScriptEntry entry, const std::string& declaration) = 0;

private:
    friend class TCustomKvActionList;
    QList<TCustomKvActionList*> FLinkedLists;
};
