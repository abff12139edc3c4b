#include "framework/actions/actions.h"

#include "platform/rtl/numbers.h"

#include <QPointer>
#include <QWidget>

#include <cmath>

QStringList* MacroTarget = nullptr;
bool MacroGuard = false;

namespace {

const QString kStopMacroId = QStringLiteral("naStopMacro");

// A line may be recorded: a macro is being recorded and no outer action is
// applying the change that led here.
bool Recording()
{
    return MacroTarget && !MacroGuard;
}

// Holds MacroGuard while an action that recorded a line applies it; releases
// it on every way out, exceptions included.
class GuardScope
{
public:
    GuardScope() = default;
    GuardScope(const GuardScope&) = delete;
    GuardScope& operator=(const GuardScope&) = delete;
    ~GuardScope()
    {
        if (FHeld)
            MacroGuard = false;
    }
    void Hold()
    {
        MacroGuard = true;
        FHeld = true;
    }

private:
    bool FHeld = false;
};

// Records the action's line when recording is on, and then guards the apply
// that follows. An action without a script name is no script procedure: its
// line could not be replayed, so it records nothing and guards nothing. What
// its handlers change on named actions is then recorded instead, and the
// macro replays the effect of a step that has no line of its own.
void RecordAndGuard(GuardScope& guard, const TCustomAbstractAction& action)
{
    if (!Recording() || action.ScriptName.isEmpty())
        return;
    MacroTarget->append(action.MacroLine());
    guard.Hold();
}

QObject* ResolveOwner(QObject* owner)
{
    if (!owner)
        return nullptr;
    QObject* top = owner;
    for (QObject* o = owner; o; o = o->parent()) {
        if (o->isWidgetType() && static_cast<QWidget*>(o)->isWindow())
            return o;
        top = o;
    }
    return top;
}

// Runs `body`; an exception from a store or a handler becomes False.
template <class F> bool NeverRaising(F&& body)
{
    try {
        return body();
    } catch (...) {
        return false;
    }
}

QString TrueFalse(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

int NameCount(const QString& names)
{
    int count = 0;
    for (const QString& name : names.split(QLatin1Char(',')))
        if (!name.trimmed().isEmpty())
            ++count;
    return count;
}

// "(" a "," b ... ")": the `count` parts of a bracketed text read as decimal
// integers (0 for a part that is not one); nothing without the brackets or
// without enough commas.
std::optional<QList<int>> BracketedIntegers(const QString& text, int count)
{
    const QString t = text.trimmed();
    if (!t.startsWith(QLatin1Char('(')) || !t.endsWith(QLatin1Char(')')) || t.size() < 2)
        return std::nullopt;
    const QString inner = t.mid(1, t.size() - 2);
    if (inner.count(QLatin1Char(',')) < count - 1)
        return std::nullopt;
    QList<int> values;
    qsizetype from = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype comma = i + 1 < count ? inner.indexOf(QLatin1Char(','), from) : inner.size();
        values.append(inner.mid(from, comma - from).trimmed().toInt());
        from = comma + 1;
    }
    return values;
}

template <class V> std::optional<V> ScriptArgument(const QVariantList& args, int index)
{
    if (index >= args.size() || !args.at(index).canConvert<V>())
        return std::nullopt;
    return args.at(index).value<V>();
}

// A colour argument may come as any integer type; colours use all 32 bits.
std::optional<TColor> ScriptColor(const QVariantList& args, int index)
{
    if (const std::optional<qint64> value = ScriptArgument<qint64>(args, index))
        return static_cast<TColor>(static_cast<std::uint32_t>(*value));
    return std::nullopt;
}

QString HexColor(TColor color)
{
    return QLatin1Char('$') + IntToHex(color, 6);
}

} // namespace

namespace ActionText {

QString ScriptString(const QString& text)
{
    QString out;
    bool quoted = false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20) {
            if (quoted)
                out += QLatin1Char('\'');
            quoted = false;
            out += QLatin1Char('#') + QString::number(c.unicode());
            continue;
        }
        if (!quoted)
            out += QLatin1Char('\'');
        quoted = true;
        out += c;
        if (c == QLatin1Char('\''))
            out += c;
    }
    if (quoted)
        out += QLatin1Char('\'');
    return out.isEmpty() ? QStringLiteral("''") : out;
}

QString ScriptFloat(double value)
{
    return FloatToStr(value, QLatin1Char('.'));
}

std::optional<int> ParseInteger(const QString& text)
{
    std::int32_t value = 0;
    return TryStrToInt(text.trimmed(), value) ? std::optional<int>(value) : std::nullopt;
}

bool ParseBoolean(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("vrai") || t == QLatin1String("t") || t == QLatin1String("v"))
        return true;
    return ParseInteger(t).value_or(0) != 0;
}

} // namespace ActionText

// ---------------------------------------------------------------------------
// Common part

TCustomAbstractAction::TCustomAbstractAction(QObject* owner) : TTntCustomAction(ResolveOwner(owner))
{
    OnExecute = [this](QObject* sender) { ActionExecute(sender); };
}

void TCustomAbstractAction::SetImageIndex(int index)
{
    if (index == ImageIndex())
        return;
    TTntCustomAction::SetImageIndex(index);
    if (OnImageChanged && ActionList())
        OnImageChanged(ActionList()->Images(), index);
}

void TCustomAbstractAction::Clear()
{
    SetCategory(QString());
    ScriptName.clear();
    SetShortCut(QKeySequence());
    SetSecondaryShortcuts({});
}

QString TCustomAbstractAction::VariablesOr(const QString& defaultNames)
{
    if (Variables.isEmpty())
        Variables = defaultNames;
    return Variables;
}

QString TCustomAbstractAction::DeclarationNames(const QString& defaultNames, int count)
{
    const QString names = VariablesOr(defaultNames);
    return NameCount(names) == count ? names : defaultNames;
}

bool TCustomAbstractAction::AddToScript(TScriptLink& script, const QString& declaration, TScriptEntry entry)
{
    // The script may outlive the action: a call after that does nothing.
    QPointer<TCustomAbstractAction> self(this);
    return script.AddMethod(
        this,
        [self, entry = std::move(entry)](const QVariantList& args) {
            if (self)
                entry(args);
        },
        declaration.toStdString());
}

// ---------------------------------------------------------------------------
// No value

bool TNopeAction::RegisterInScript(TScriptLink& script)
{
    if (ScriptName.isEmpty())
        return false;
    return AddToScript(script, GetDeclaration(), [this](const QVariantList&) { Apply(); });
}

void TNopeAction::ActionExecute(QObject*)
{
    if (OnPrepare && !OnPrepare())
        return;
    if (InternalPrepare && !InternalPrepare())
        return;
    Apply();
}

QString TNopeAction::GetDeclaration()
{
    return QStringLiteral("procedure ") + ScriptName + QLatin1Char(';');
}

QString TNopeAction::GetSwitchSyntax()
{
    return QLatin1Char('/') + Switch;
}

void TNopeAction::Clear()
{
    TCustomAbstractAction::Clear();
    InternalPrepare = nullptr;
    InternalApply = nullptr;
    InternalBeforeSave = nullptr;
}

void TNopeAction::SetValueFromString(const QString&)
{
    Apply();
}

void TNopeAction::Apply()
{
    GuardScope guard;
    // The action that stops a recording must not end every macro with itself.
    if (InternalId != kStopMacroId)
        RecordAndGuard(guard, *this);
    if (OnBeforeApply)
        OnBeforeApply();
    if (InternalApply)
        InternalApply();
    if (OnAfterApply)
        OnAfterApply();
    emit Applied();
}

bool TNopeAction::LoadFromPrefs(TActionPreferences&)
{
    return NeverRaising([this] {
        if (ApplyWhenLoad)
            Apply();
        return true;
    });
}

bool TNopeAction::SaveToPrefs(TActionPreferences&)
{
    return NeverRaising([this] {
        if (BeforeSave)
            BeforeSave();
        if (InternalBeforeSave)
            InternalBeforeSave();
        return true;
    });
}

QString TNopeAction::MacroLine() const
{
    return QStringLiteral("    ") + ScriptName + QLatin1Char(';');
}

// ---------------------------------------------------------------------------
// Shared pipelines of the value classes

template <class T> void TValueAction<T>::SetValue(const T& value)
{
    if (!Accepts(value))
        return;
    FValue = Normalized(value);
    GuardScope guard;
    RecordAndGuard(guard, *this);
    Apply();
}

template <class T> bool TValueAction<T>::RegisterInScript(TScriptLink& script)
{
    return AddToScript(script, GetDeclaration(), [this](const QVariantList& args) {
        if (const std::optional<T> value = FromScript(args))
            SetValue(*value);
    });
}

template <class T> void TValueAction<T>::ActionExecute(QObject*)
{
    if (!OnPrepare && !InternalPrepare)
        return;
    // The prepare handlers compute the new value from scratch (a dialog, an
    // increment of the current value they read themselves).
    T value{};
    if (OnPrepare && !OnPrepare(value))
        return;
    if (InternalPrepare && !InternalPrepare(value))
        return;
    SetValue(value);
}

template <class T> QString TValueAction<T>::GetDeclaration()
{
    return QStringLiteral("procedure ") + ScriptName + QStringLiteral("(const ") +
           DeclarationNames(DefaultDeclarationNames(), Arity()) + QLatin1Char(':') + ScriptType() +
           QStringLiteral(");");
}

template <class T> QString TValueAction<T>::GetSwitchSyntax()
{
    return QLatin1Char('/') + Switch + QLatin1Char('=') + VariablesOr(DefaultVariables());
}

template <class T> void TValueAction<T>::Clear()
{
    TCustomAbstractAction::Clear();
    InternalPrepare = nullptr;
    InternalDefault = nullptr;
    InternalBeforeSave = nullptr;
    InternalApply = nullptr;
}

template <class T> void TValueAction<T>::SetValueFromString(const QString& text)
{
    if (const std::optional<T> value = FromText(text))
        SetValue(*value);
}

template <class T> void TValueAction<T>::Apply()
{
    if (OnBeforeApply)
        OnBeforeApply(FValue);
    if (InternalApply)
        InternalApply(FValue);
    if (OnAfterApply)
        OnAfterApply(FValue);
    emit this->Applied();
}

template <class T> bool TValueAction<T>::LoadFromPrefs(TActionPreferences& gp)
{
    return NeverRaising([&] {
        // The default handlers work on the default itself, so what they
        // change stays the default.
        if (OnDefault)
            OnDefault(FDefault);
        if (InternalDefault)
            InternalDefault(FDefault);
        FValue = Normalized(Read(gp, FDefault));
        if (ApplyWhenLoad)
            Apply();
        return true;
    });
}

template <class T> bool TValueAction<T>::SaveToPrefs(TActionPreferences& gp)
{
    return NeverRaising([&] {
        if (BeforeSave)
            BeforeSave(FValue);
        if (InternalBeforeSave)
            InternalBeforeSave(FValue);
        return Write(gp, FValue);
    });
}

template <class T> QString TValueAction<T>::MacroLine() const
{
    return QStringLiteral("    ") + ScriptName + QLatin1Char('(') + MacroArguments() + QStringLiteral(");");
}

template class TValueAction<QString>;
template class TValueAction<int>; // integer and colour
template class TValueAction<double>;
template class TValueAction<TPoint>;
template class TValueAction<TFont>;
template class TValueAction<bool>;
template class TValueAction<TRect>;

// ---------------------------------------------------------------------------
// Wide string

QString TWidestringAction::MacroArguments() const
{
    return ActionText::ScriptString(FValue);
}

QString TWidestringAction::Read(TActionPreferences& gp, const QString& defaultValue) const
{
    return gp.ReadString(ScriptName, defaultValue);
}

bool TWidestringAction::Write(TActionPreferences& gp, const QString& value) const
{
    return gp.WriteString(ScriptName, value);
}

std::optional<QString> TWidestringAction::FromText(const QString& text) const
{
    return text;
}

std::optional<QString> TWidestringAction::FromScript(const QVariantList& args) const
{
    return ScriptArgument<QString>(args, 0);
}

// ---------------------------------------------------------------------------
// Integer

QString TIntegerAction::MacroArguments() const
{
    return QString::number(FValue);
}

int TIntegerAction::Read(TActionPreferences& gp, const int& defaultValue) const
{
    return gp.ReadInteger(ScriptName, defaultValue);
}

bool TIntegerAction::Write(TActionPreferences& gp, const int& value) const
{
    return gp.WriteInteger(ScriptName, value);
}

std::optional<int> TIntegerAction::FromText(const QString& text) const
{
    return ActionText::ParseInteger(text).value_or(-1);
}

std::optional<int> TIntegerAction::FromScript(const QVariantList& args) const
{
    return ScriptArgument<int>(args, 0);
}

// ---------------------------------------------------------------------------
// Colour

QString TColorAction::MacroArguments() const
{
    return HexColor(FValue);
}

TColor TColorAction::Read(TActionPreferences& gp, const TColor& defaultValue) const
{
    return static_cast<TColor>(gp.ReadInteger(ScriptName, static_cast<int>(defaultValue)));
}

bool TColorAction::Write(TActionPreferences& gp, const TColor& value) const
{
    return gp.WriteInteger(ScriptName, static_cast<int>(value));
}

std::optional<TColor> TColorAction::FromText(const QString& text) const
{
    // A text that is no colour changes nothing.
    return TryStringToColor(text);
}

std::optional<TColor> TColorAction::FromScript(const QVariantList& args) const
{
    return ScriptColor(args, 0);
}

// ---------------------------------------------------------------------------
// Double

QString TDoubleAction::MacroArguments() const
{
    return ActionText::ScriptFloat(FValue);
}

double TDoubleAction::Read(TActionPreferences& gp, const double& defaultValue) const
{
    return gp.ReadFloat(ScriptName, defaultValue);
}

bool TDoubleAction::Write(TActionPreferences& gp, const double& value) const
{
    return gp.WriteFloat(ScriptName, value);
}

std::optional<double> TDoubleAction::FromText(const QString& text) const
{
    // The user's own format, or the script's "." that a command line written
    // elsewhere may carry.
    double value = 0;
    const bool ok = TryStrToFloat(text, value) || TryStrToFloat(text, value, QLatin1Char('.'));
    return ok && std::isfinite(value) ? value : -1.0;
}

std::optional<double> TDoubleAction::FromScript(const QVariantList& args) const
{
    return ScriptArgument<double>(args, 0);
}

// ---------------------------------------------------------------------------
// Point

QString TPointAction::MacroArguments() const
{
    return QString::number(FValue.X) + QLatin1Char(',') + QString::number(FValue.Y);
}

TPoint TPointAction::Read(TActionPreferences& gp, const TPoint& defaultValue) const
{
    return gp.ReadPoint(ScriptName, defaultValue);
}

bool TPointAction::Write(TActionPreferences& gp, const TPoint& value) const
{
    return gp.WritePoint(ScriptName, value);
}

std::optional<TPoint> TPointAction::FromText(const QString& text) const
{
    if (const auto parts = BracketedIntegers(text, 2))
        return TPoint{parts->at(0), parts->at(1)};
    return std::nullopt;
}

std::optional<TPoint> TPointAction::FromScript(const QVariantList& args) const
{
    const auto x = ScriptArgument<int>(args, 0);
    const auto y = ScriptArgument<int>(args, 1);
    if (!x || !y)
        return std::nullopt;
    return TPoint{*x, *y};
}

// ---------------------------------------------------------------------------
// Rectangle

QString TRectAction::MacroArguments() const
{
    // The order of the script procedure's parameters.
    return QStringLiteral("%1,%2,%3,%4").arg(FValue.Left).arg(FValue.Right).arg(FValue.Top).arg(FValue.Bottom);
}

TRect TRectAction::Read(TActionPreferences& gp, const TRect& defaultValue) const
{
    return gp.ReadRect(ScriptName, defaultValue);
}

bool TRectAction::Write(TActionPreferences& gp, const TRect& value) const
{
    return gp.WriteRect(ScriptName, value);
}

std::optional<TRect> TRectAction::FromText(const QString& text) const
{
    if (const auto p = BracketedIntegers(text, 4))
        return TRect{p->at(0), p->at(1), p->at(2), p->at(3)};
    return std::nullopt;
}

std::optional<TRect> TRectAction::FromScript(const QVariantList& args) const
{
    const auto left = ScriptArgument<int>(args, 0);
    const auto right = ScriptArgument<int>(args, 1);
    const auto top = ScriptArgument<int>(args, 2);
    const auto bottom = ScriptArgument<int>(args, 3);
    if (!left || !right || !top || !bottom)
        return std::nullopt;
    return TRect{*left, *top, *right, *bottom};
}

// ---------------------------------------------------------------------------
// Font

QString TFontAction::GetDeclaration()
{
    return QStringLiteral("procedure ") + ScriptName +
           QStringLiteral("(aName:widestring;aSize:integer;aColor:TColor;isBold:Boolean;isItalic:Boolean;"
                          "isUnderline:Boolean;isStrikeOut:Boolean);");
}

QString TFontAction::MacroArguments() const
{
    const QString separator = QStringLiteral(", ");
    return ActionText::ScriptString(FValue.Name) + separator + QString::number(FValue.Size) + separator +
           HexColor(FValue.Color) + separator + TrueFalse(FValue.Style.contains(fsBold)) + separator +
           TrueFalse(FValue.Style.contains(fsItalic)) + separator + TrueFalse(FValue.Style.contains(fsUnderline)) +
           separator + TrueFalse(FValue.Style.contains(fsStrikeOut));
}

TFont TFontAction::Read(TActionPreferences& gp, const TFont& defaultValue) const
{
    return gp.ReadFont(ScriptName, defaultValue);
}

bool TFontAction::Write(TActionPreferences& gp, const TFont& value) const
{
    return gp.WriteFont(ScriptName, value);
}

std::optional<TFont> TFontAction::FromText(const QString&) const
{
    return std::nullopt; // a font has no text form
}

std::optional<TFont> TFontAction::FromScript(const QVariantList& args) const
{
    const auto name = ScriptArgument<QString>(args, 0);
    const auto size = ScriptArgument<int>(args, 1);
    const auto color = ScriptColor(args, 2);
    if (!name || !size || !color)
        return std::nullopt;
    TFont font;
    font.Name = *name;
    font.Size = *size;
    font.Color = *color;
    const TFontStyle styles[] = {fsBold, fsItalic, fsUnderline, fsStrikeOut};
    for (int i = 0; i < 4; ++i) {
        const auto on = ScriptArgument<bool>(args, 3 + i);
        if (!on)
            return std::nullopt;
        font.Style.set(styles[i], *on);
    }
    return font;
}

// ---------------------------------------------------------------------------
// Boolean

QString TBooleanAction::MacroArguments() const
{
    return TrueFalse(FValue);
}

bool TBooleanAction::Read(TActionPreferences& gp, const bool& defaultValue) const
{
    return gp.ReadBool(ScriptName, defaultValue);
}

bool TBooleanAction::Write(TActionPreferences& gp, const bool& value) const
{
    return gp.WriteBool(ScriptName, value);
}

std::optional<bool> TBooleanAction::FromText(const QString& text) const
{
    return ActionText::ParseBoolean(text);
}

std::optional<bool> TBooleanAction::FromScript(const QVariantList& args) const
{
    return ScriptArgument<bool>(args, 0);
}

// ---------------------------------------------------------------------------
// Check

TCheckAction::TCheckAction(QObject* owner) : TCustomAbstractAction(owner)
{
    SetAutoCheck(false);
}

void TCheckAction::ShowState()
{
    const bool on = Checked();
    SetCaption(on ? FTrueCaption : FFalseCaption);
    SetHint(on ? FTrueHint : FFalseHint);
    SetImageIndex(on ? FTrueImageIndex : FFalseImageIndex);
}

void TCheckAction::SetDefaultValue(bool value)
{
    FDefaultValue = value;
    TTntCustomAction::SetChecked(value);
    ShowState();
}

void TCheckAction::SetTrueCaption(const QString& caption)
{
    FTrueCaption = caption;
    if (Checked())
        SetCaption(caption);
}

void TCheckAction::SetFalseCaption(const QString& caption)
{
    FFalseCaption = caption;
    if (!Checked())
        SetCaption(caption);
}

void TCheckAction::SetTrueImageIndex(int index)
{
    FTrueImageIndex = index;
    if (Checked())
        SetImageIndex(index);
}

void TCheckAction::SetFalseImageIndex(int index)
{
    FFalseImageIndex = index;
    if (!Checked())
        SetImageIndex(index);
}

void TCheckAction::SetTrueHint(const QString& hint)
{
    FTrueHint = hint;
    if (Checked())
        SetHint(hint);
}

void TCheckAction::SetFalseHint(const QString& hint)
{
    FFalseHint = hint;
    if (!Checked())
        SetHint(hint);
}

void TCheckAction::SetChecked(bool checked)
{
    TTntCustomAction::SetChecked(checked);
    GuardScope guard;
    // The action that stops a recording records nothing and guards nothing;
    // the one named "Script" records nothing but still guards.
    if (InternalId != kStopMacroId) {
        if (ScriptName != QLatin1String("Script"))
            RecordAndGuard(guard, *this);
        else if (Recording())
            guard.Hold();
    }
    Apply();
}

void TCheckAction::SetCheckedNoMacro(bool checked)
{
    TTntCustomAction::SetChecked(checked);
    Apply();
}

bool TCheckAction::RegisterInScript(TScriptLink& script)
{
    const bool set =
        AddToScript(script, QStringLiteral("procedure set") + ScriptName + QStringLiteral("(const aBoolean:Boolean);"),
                    [this](const QVariantList& args) {
                        if (const auto value = ScriptArgument<bool>(args, 0))
                            SetChecked(*value);
                    });
    return set && AddToScript(script, QStringLiteral("procedure ") + ScriptName + QLatin1Char(';'),
                              [this](const QVariantList&) { SetChecked(!Checked()); });
}

void TCheckAction::ActionExecute(QObject*)
{
    if (OnPrepare && !OnPrepare())
        return;
    if (InternalPrepare && !InternalPrepare())
        return;
    SetChecked(!Checked());
}

QString TCheckAction::GetDeclaration()
{
    return QStringLiteral("procedure set") + ScriptName + QStringLiteral("(const ") +
           DeclarationNames(QStringLiteral("fisTrue"), 1) + QStringLiteral(":Boolean);\r\nprocedure ") + ScriptName +
           QLatin1Char(';');
}

QString TCheckAction::GetSwitchSyntax()
{
    return QLatin1Char('/') + Switch + QStringLiteral(" +") + Switch + QStringLiteral(" -") + Switch;
}

void TCheckAction::Clear()
{
    TCustomAbstractAction::Clear();
    InternalTrueApply = nullptr;
    InternalFalseApply = nullptr;
    InternalPrepare = nullptr;
    InternalDefault = nullptr;
    InternalBeforeSave = nullptr;
}

void TCheckAction::SetValueFromString(const QString& text)
{
    SetChecked(ActionText::ParseBoolean(text));
}

void TCheckAction::Apply()
{
    if (Checked()) {
        if (OnBeforeTrueApply)
            OnBeforeTrueApply();
        if (InternalTrueApply)
            InternalTrueApply();
        if (OnAfterTrueApply)
            OnAfterTrueApply();
    } else {
        if (OnBeforeFalseApply)
            OnBeforeFalseApply();
        if (InternalFalseApply)
            InternalFalseApply();
        if (OnAfterFalseApply)
            OnAfterFalseApply();
    }
    ShowState();
    emit Applied();
}

bool TCheckAction::LoadFromPrefs(TActionPreferences& gp)
{
    return NeverRaising([&] {
        if (OnDefault)
            OnDefault(FDefaultValue);
        if (InternalDefault)
            InternalDefault(FDefaultValue);
        TTntCustomAction::SetChecked(gp.ReadBool(ScriptName, FDefaultValue));
        ShowState();
        if (ApplyWhenLoad)
            Apply();
        return true;
    });
}

bool TCheckAction::SaveToPrefs(TActionPreferences& gp)
{
    return NeverRaising([&] {
        bool state = Checked();
        if (BeforeSave)
            BeforeSave(state);
        if (InternalBeforeSave)
            InternalBeforeSave(state);
        return gp.WriteBool(ScriptName, state);
    });
}

QString TCheckAction::MacroLine() const
{
    return QStringLiteral("    set") + ScriptName + QLatin1Char('(') + TrueFalse(Checked()) + QStringLiteral(");");
}
