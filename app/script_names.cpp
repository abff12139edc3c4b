#include "app/script_names.h"

#include <QRegularExpression>

TUniqueScriptNames::TUniqueScriptNames(TScriptLink& host)
    : FHost(host), FHandler(host.OnCompile()), FHostHandler(host.OnCompile())
{
    SetOnCompile(FHandler);
}

TUniqueScriptNames::~TUniqueScriptNames()
{
    // The host gets back the handler it had: nothing of ours may run after us.
    FHost.SetOnCompile(FHostHandler);
}

void TUniqueScriptNames::SetOnCompile(TCompileEvent handler)
{
    FHandler = std::move(handler);
    // Each compile starts with no name declared.
    FHost.SetOnCompile([this](TScriptLink* sender) {
        FDeclared.clear();
        if (FHandler)
            FHandler(sender);
    });
}

bool TUniqueScriptNames::AddMethod(QObject* self, TScriptEntry entry, const std::string& declaration)
{
    const QString name = RoutineName(declaration);
    if (!name.isEmpty() && FDeclared.contains(name))
        return false;
    if (!FHost.AddMethod(self, std::move(entry), declaration))
        return false;
    if (!name.isEmpty())
        FDeclared.insert(name);
    return true;
}

QString TUniqueScriptNames::RoutineName(const std::string& declaration)
{
    // Script names are compared without regard to case.
    static const QRegularExpression header(QStringLiteral("^\\s*(?:procedure|function)\\s+([A-Za-z_][A-Za-z_0-9]*)"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = header.match(QString::fromStdString(declaration));
    return match.hasMatch() ? match.captured(1).toUpper() : QString();
}
