#pragma once
// Stands between the action lists and the script host so that each routine
// name is declared once per compile: when two actions share a script name,
// the action registered first keeps the procedure and the other stays
// reachable from its menu and control only. A second declaration of one
// name would otherwise make every script fail to compile.

#include "framework/actions/script_link.h"

#include <QSet>
#include <QString>

class TUniqueScriptNames final : public TScriptLink
{
public:
    explicit TUniqueScriptNames(TScriptLink& host);
    ~TUniqueScriptNames() override;

    TCompileEvent OnCompile() const override { return FHandler; }
    void SetOnCompile(TCompileEvent handler) override;
    bool AddMethod(QObject* self, TScriptEntry entry, const std::string& declaration) override;

    // The routine name of a declaration ("procedure setPlay(...)" gives
    // "SETPLAY"); empty when it has none.
    static QString RoutineName(const std::string& declaration);

private:
    TScriptLink& FHost;
    TCompileEvent FHandler;
    TCompileEvent FHostHandler;
    QSet<QString> FDeclared;
};
