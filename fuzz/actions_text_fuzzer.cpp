// Each input line is one program argument and also a text form given to an
// action of every class; every macro line recorded on the way must be a call
// whose string literals read back exactly.

#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "framework/actions/switch.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

namespace {

// Reads a script string literal ('..' runs with doubled quotes and #n codes)
// from `text` at `pos`; the decoded text, or nothing when it is malformed.
std::optional<QString> ReadLiteral(const QString& text, qsizetype& pos)
{
    QString out;
    bool any = false;
    while (pos < text.size()) {
        if (text.at(pos) == QLatin1Char('\'')) {
            ++pos;
            for (;;) {
                if (pos >= text.size())
                    return std::nullopt;
                if (text.at(pos) == QLatin1Char('\'')) {
                    if (pos + 1 < text.size() && text.at(pos + 1) == QLatin1Char('\'')) {
                        out += QLatin1Char('\'');
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                out += text.at(pos++);
            }
        } else if (text.at(pos) == QLatin1Char('#')) {
            qsizetype end = ++pos;
            while (end < text.size() && text.at(end).isDigit())
                ++end;
            bool ok = false;
            const uint code = text.mid(pos, end - pos).toUInt(&ok);
            if (!ok || code >= 0x20)
                return std::nullopt;
            out += QChar(static_cast<char16_t>(code));
            pos = end;
        } else {
            break;
        }
        any = true;
    }
    return any ? std::optional<QString>(out) : std::nullopt;
}

void CheckLine(const QString& line, const QString& expectedText)
{
    const QString head = QStringLiteral("    Text(");
    if (!line.startsWith(head))
        return;
    qsizetype pos = head.size();
    const std::optional<QString> text = ReadLiteral(line, pos);
    if (!text || *text != expectedText || line.mid(pos) != QLatin1String(");"))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QStringList arguments =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).split(QLatin1Char('\n'));
    TKvActionList list;
    auto* text = TCustomAbstractAction::CreateNamed<TWidestringAction>(&list, "waText");
    const QList<TCustomAbstractAction*> actions = {
        text,
        TCustomAbstractAction::CreateNamed<TIntegerAction>(&list, "iaInt"),
        TCustomAbstractAction::CreateNamed<TColorAction>(&list, "iaColor"),
        TCustomAbstractAction::CreateNamed<TDoubleAction>(&list, "daDouble"),
        TCustomAbstractAction::CreateNamed<TPointAction>(&list, "paPoint"),
        TCustomAbstractAction::CreateNamed<TRectAction>(&list, "raRect"),
        TCustomAbstractAction::CreateNamed<TFontAction>(&list, "faFont"),
        TCustomAbstractAction::CreateNamed<TBooleanAction>(&list, "baBool"),
        TCustomAbstractAction::CreateNamed<TCheckAction>(&list, "caCheck"),
        TCustomAbstractAction::CreateNamed<TNopeAction>(&list, "naNope"),
    };
    for (TCustomAbstractAction* a : actions) {
        a->ScriptName = a->InternalId.mid(2);
        a->Switch = a->ScriptName.toLower();
    }
    TKvSwitch commandLine;
    list.SetSwitch(&commandLine);

    QStringList lines;
    MacroTarget = &lines;
    commandLine.RunArguments(arguments);
    for (const QString& argument : arguments) {
        text->SetValueFromString(argument);
        CheckLine(lines.last(), argument);
        for (TCustomAbstractAction* a : actions)
            a->SetValueFromString(argument);
    }
    MacroTarget = nullptr;
    return 0;
}
