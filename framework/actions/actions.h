#pragma once
// Typed actions: every command and every persisted setting of the program.
// An action holds a typed value (or none) and a default, a script name, a
// command-line switch name and a stable identity. Every change, from a menu,
// a control, a script or the command line, runs the same fixed pipeline, so
// each one can be recorded as a macro line and replayed.

#include "framework/actions/action_base.h"
#include "framework/actions/action_prefs.h"
#include "framework/actions/action_types.h"
#include "framework/actions/script_link.h"

#include <QStringList>

#include <functional>
#include <optional>

// Receives recorded macro lines; null while no macro is being recorded.
extern QStringList* MacroTarget;
// True while an action that recorded a line applies its value, so that the
// actions it changes in turn are not recorded as well.
extern bool MacroGuard;

// Holds off macro recording for its lifetime: what the program sets by
// itself is no change of the user's.
class TNoMacroScope
{
public:
    TNoMacroScope() : FWas(MacroGuard) { MacroGuard = true; }
    ~TNoMacroScope() { MacroGuard = FWas; }
    TNoMacroScope(const TNoMacroScope&) = delete;
    TNoMacroScope& operator=(const TNoMacroScope&) = delete;

private:
    bool FWas;
};

using TImageChangedEvent = std::function<void(TCustomImageList* imglist, int imageindex)>;
using TPrepareNopeEvent = std::function<bool()>;
using TApplyNopeEvent = std::function<void()>;

class TCustomAbstractAction : public TTntCustomAction
{
    Q_OBJECT
public:
    // The owner is the nearest window above `owner`, or else its topmost owner.
    explicit TCustomAbstractAction(QObject* owner = nullptr);

    // Creates an action of class A in `list` with the identity `id`.
    template <class A> static A* CreateNamed(TTntActionList* list, const QString& id)
    {
        auto* action = new A(list);
        action->SetName(id);
        action->InternalId = id;
        action->SetActionList(list);
        action->SetCategory(QStringLiteral("internal"));
        return action;
    }

    bool IncludePrefs = true;
    QString InternalId;
    // Parameter name(s) of the script declaration and the switch syntax; the
    // class's default is stored here the first time either is asked for.
    QString Variables;
    QStringList Comments;
    bool ApplyWhenLoad = false;
    QString ScriptName;
    QString Switch;
    TImageChangedEvent OnImageChanged;

    void SetImageIndex(int index) override;

    // Declares the action's script procedure(s) to the script being compiled.
    virtual bool RegisterInScript(TScriptLink& script) = 0;
    // Bound to OnExecute: runs the execute pipeline.
    virtual void ActionExecute(QObject* sender) = 0;
    virtual QString GetDeclaration() = 0;
    virtual QString GetSwitchSyntax() = 0;
    // Forgets the category, script name, shortcuts and internal handlers.
    virtual void Clear();
    // Sets the value from its command-line text form.
    virtual void SetValueFromString(const QString& text) = 0;
    // Runs the apply events with the current value.
    virtual void Apply() = 0;
    // Never raise: a failure is a False result.
    virtual bool LoadFromPrefs(TActionPreferences& gp) = 0;
    virtual bool SaveToPrefs(TActionPreferences& gp) = 0;
    // The line that records the current value.
    virtual QString MacroLine() const = 0;

signals:
    // Every apply ends with it, after the action's own handlers: the
    // listeners that a single handler property cannot hold subscribe here,
    // and none displaces another.
    void Applied();

protected:
    // Variables, after storing `defaultNames` into it when it is empty.
    QString VariablesOr(const QString& defaultNames);
    // The parameter names of a declaration that takes `count` values: the
    // stored Variables when they name that many, else `defaultNames`.
    QString DeclarationNames(const QString& defaultNames, int count);
    // Hands `entry` to the script under `declaration`, guarded against the
    // action's destruction.
    bool AddToScript(TScriptLink& script, const QString& declaration, TScriptEntry entry);
};

class TAbstractAction : public TCustomAbstractAction
{
    Q_OBJECT
public:
    using TCustomAbstractAction::TCustomAbstractAction;
};

// An action without a value: a command.
class TNopeAction : public TAbstractAction
{
    Q_OBJECT
public:
    using TAbstractAction::TAbstractAction;

    TPrepareNopeEvent OnPrepare;
    TApplyNopeEvent OnBeforeApply;
    TApplyNopeEvent OnAfterApply;
    TPrepareNopeEvent BeforeSave;
    TPrepareNopeEvent InternalPrepare;
    TApplyNopeEvent InternalApply;
    TPrepareNopeEvent InternalBeforeSave;

    bool RegisterInScript(TScriptLink& script) override;
    void ActionExecute(QObject* sender) override;
    QString GetDeclaration() override;
    QString GetSwitchSyntax() override;
    void Clear() override;
    void SetValueFromString(const QString& text) override;
    void Apply() override;
    bool LoadFromPrefs(TActionPreferences& gp) override;
    bool SaveToPrefs(TActionPreferences& gp) override;
    QString MacroLine() const override;
};

// The pipelines that all actions with a value share; the classes below say
// how their value is written, read and declared.
template <class T> class TValueAction : public TAbstractAction
{
public:
    // Prepare, default and before-save events take the value by reference; a
    // False result of a prepare event vetoes the change.
    using TPrepareEvent = std::function<bool(T&)>;
    using TApplyEvent = std::function<void(const T&)>;

    TPrepareEvent OnPrepare;
    TPrepareEvent OnDefault;
    TPrepareEvent BeforeSave;
    TApplyEvent OnBeforeApply;
    TApplyEvent OnAfterApply;
    TPrepareEvent InternalPrepare;
    TPrepareEvent InternalDefault;
    TPrepareEvent InternalBeforeSave;
    TApplyEvent InternalApply;

    const T& Value() const { return FValue; }
    // Stores the value, records it and applies it.
    void SetValue(const T& value);
    const T& DefaultValue() const { return FDefault; }
    void SetDefaultValue(const T& value) { FDefault = value; }

    bool RegisterInScript(TScriptLink& script) override;
    void ActionExecute(QObject* sender) override;
    QString GetDeclaration() override;
    QString GetSwitchSyntax() override;
    void Clear() override;
    void SetValueFromString(const QString& text) override;
    void Apply() override;
    bool LoadFromPrefs(TActionPreferences& gp) override;
    bool SaveToPrefs(TActionPreferences& gp) override;
    QString MacroLine() const override;

protected:
    using TAbstractAction::TAbstractAction;

    // The script type of the value and the number of script parameters.
    virtual QString ScriptType() const = 0;
    virtual int Arity() const { return 1; }
    // Parameter names of the switch syntax, and of the declaration.
    virtual QString DefaultVariables() const = 0;
    virtual QString DefaultDeclarationNames() const { return DefaultVariables(); }
    // The macro line's arguments for the current value.
    virtual QString MacroArguments() const = 0;
    virtual T Read(TActionPreferences& gp, const T& defaultValue) const = 0;
    virtual bool Write(TActionPreferences& gp, const T& value) const = 0;
    // The value of a text form or of a script call; nothing changes the value.
    virtual std::optional<T> FromText(const QString& text) const = 0;
    virtual std::optional<T> FromScript(const QVariantList& args) const = 0;
    // Whether SetValue goes ahead with `value`.
    virtual bool Accepts(const T&) const { return true; }
    // The value that SetValue and a load keep for `value`.
    virtual T Normalized(const T& value) const { return value; }

    T FValue{};
    T FDefault{};
};

class TWidestringAction : public TValueAction<QString>
{
    Q_OBJECT
public:
    explicit TWidestringAction(QObject* owner = nullptr) : TValueAction(owner) {}

    // An empty text stands for the default, set or loaded (a folder that
    // must never be "nowhere").
    bool EmptyMeansDefault = false;

protected:
    QString Normalized(const QString& value) const override
    {
        return EmptyMeansDefault && value.isEmpty() ? FDefault : value;
    }
    QString ScriptType() const override { return QStringLiteral("widestring"); }
    QString DefaultVariables() const override { return QStringLiteral("aWidestring"); }
    QString MacroArguments() const override;
    QString Read(TActionPreferences& gp, const QString& defaultValue) const override;
    bool Write(TActionPreferences& gp, const QString& value) const override;
    std::optional<QString> FromText(const QString& text) const override;
    std::optional<QString> FromScript(const QVariantList& args) const override;
};

class TIntegerAction : public TValueAction<int>
{
    Q_OBJECT
public:
    explicit TIntegerAction(QObject* owner = nullptr) : TValueAction(owner) {}

protected:
    QString ScriptType() const override { return QStringLiteral("integer"); }
    QString DefaultVariables() const override { return QStringLiteral("aInteger"); }
    QString MacroArguments() const override;
    int Read(TActionPreferences& gp, const int& defaultValue) const override;
    bool Write(TActionPreferences& gp, const int& value) const override;
    std::optional<int> FromText(const QString& text) const override;
    std::optional<int> FromScript(const QVariantList& args) const override;
};

class TColorAction : public TValueAction<TColor>
{
    Q_OBJECT
public:
    explicit TColorAction(QObject* owner = nullptr) : TValueAction(owner) {}

protected:
    QString ScriptType() const override { return QStringLiteral("TColor"); }
    QString DefaultVariables() const override { return QStringLiteral("aColor"); }
    QString MacroArguments() const override;
    TColor Read(TActionPreferences& gp, const TColor& defaultValue) const override;
    bool Write(TActionPreferences& gp, const TColor& value) const override;
    std::optional<TColor> FromText(const QString& text) const override;
    std::optional<TColor> FromScript(const QVariantList& args) const override;
};

class TDoubleAction : public TValueAction<double>
{
    Q_OBJECT
public:
    explicit TDoubleAction(QObject* owner = nullptr) : TValueAction(owner) {}

protected:
    QString ScriptType() const override { return QStringLiteral("Double"); }
    QString DefaultVariables() const override { return QStringLiteral("aDouble"); }
    QString MacroArguments() const override;
    double Read(TActionPreferences& gp, const double& defaultValue) const override;
    bool Write(TActionPreferences& gp, const double& value) const override;
    std::optional<double> FromText(const QString& text) const override;
    std::optional<double> FromScript(const QVariantList& args) const override;
};

class TPointAction : public TValueAction<TPoint>
{
    Q_OBJECT
public:
    explicit TPointAction(QObject* owner = nullptr) : TValueAction(owner) {}

protected:
    QString ScriptType() const override { return QStringLiteral("integer"); }
    int Arity() const override { return 2; }
    QString DefaultVariables() const override { return QStringLiteral("x,y"); }
    QString MacroArguments() const override;
    TPoint Read(TActionPreferences& gp, const TPoint& defaultValue) const override;
    bool Write(TActionPreferences& gp, const TPoint& value) const override;
    std::optional<TPoint> FromText(const QString& text) const override;
    std::optional<TPoint> FromScript(const QVariantList& args) const override;
};

class TFontAction : public TValueAction<TFont>
{
    Q_OBJECT
public:
    explicit TFontAction(QObject* owner = nullptr) : TValueAction(owner) {}

    QString GetDeclaration() override;

protected:
    // The declaration names its own seven parameters.
    QString ScriptType() const override { return QString(); }
    QString DefaultVariables() const override { return QStringLiteral("aFont"); }
    QString MacroArguments() const override;
    TFont Read(TActionPreferences& gp, const TFont& defaultValue) const override;
    bool Write(TActionPreferences& gp, const TFont& value) const override;
    std::optional<TFont> FromText(const QString& text) const override;
    std::optional<TFont> FromScript(const QVariantList& args) const override;
};

class TBooleanAction : public TValueAction<bool>
{
    Q_OBJECT
public:
    explicit TBooleanAction(QObject* owner = nullptr) : TValueAction(owner) {}

protected:
    QString ScriptType() const override { return QStringLiteral("Boolean"); }
    QString DefaultVariables() const override { return QStringLiteral("aBoolean"); }
    QString MacroArguments() const override;
    bool Read(TActionPreferences& gp, const bool& defaultValue) const override;
    bool Write(TActionPreferences& gp, const bool& value) const override;
    std::optional<bool> FromText(const QString& text) const override;
    std::optional<bool> FromScript(const QVariantList& args) const override;
    // An equal value neither records nor applies.
    bool Accepts(const bool& value) const override { return value != FValue; }
};

class TRectAction : public TValueAction<TRect>
{
    Q_OBJECT
public:
    explicit TRectAction(QObject* owner = nullptr) : TValueAction(owner) {}

protected:
    QString ScriptType() const override { return QStringLiteral("integer"); }
    int Arity() const override { return 4; }
    QString DefaultVariables() const override { return QStringLiteral("aRect"); }
    QString DefaultDeclarationNames() const override { return QStringLiteral("left,right,top,bottom"); }
    QString MacroArguments() const override;
    TRect Read(TActionPreferences& gp, const TRect& defaultValue) const override;
    bool Write(TActionPreferences& gp, const TRect& value) const override;
    std::optional<TRect> FromText(const QString& text) const override;
    std::optional<TRect> FromScript(const QVariantList& args) const override;
};

// A two-state action whose value is its checked state; its caption, hint and
// image always show the variant of the current state.
class TCheckAction : public TCustomAbstractAction
{
    Q_OBJECT
public:
    using TPrepareBooleanEvent = std::function<bool(bool&)>;

    explicit TCheckAction(QObject* owner = nullptr);

    bool DefaultValue() const { return FDefaultValue; }
    // Also sets the state, without recording or applying.
    void SetDefaultValue(bool value);
    QString TrueCaption() const { return FTrueCaption; }
    void SetTrueCaption(const QString& caption);
    QString FalseCaption() const { return FFalseCaption; }
    void SetFalseCaption(const QString& caption);
    int TrueImageIndex() const { return FTrueImageIndex; }
    void SetTrueImageIndex(int index);
    int FalseImageIndex() const { return FFalseImageIndex; }
    void SetFalseImageIndex(int index);
    QString TrueHint() const { return FTrueHint; }
    void SetTrueHint(const QString& hint);
    QString FalseHint() const { return FFalseHint; }
    void SetFalseHint(const QString& hint);

    TApplyNopeEvent OnBeforeTrueApply;
    TApplyNopeEvent OnAfterTrueApply;
    TApplyNopeEvent OnBeforeFalseApply;
    TApplyNopeEvent OnAfterFalseApply;
    TPrepareNopeEvent OnPrepare;
    TPrepareBooleanEvent OnDefault;
    TPrepareBooleanEvent BeforeSave;
    TApplyNopeEvent InternalTrueApply;
    TApplyNopeEvent InternalFalseApply;
    TPrepareNopeEvent InternalPrepare;
    TPrepareBooleanEvent InternalDefault;
    TPrepareBooleanEvent InternalBeforeSave;

    // Sets the state, records it and applies it, also when it is unchanged.
    void SetChecked(bool checked) override;
    // Sets the state and applies it without recording.
    void SetCheckedNoMacro(bool checked);

    bool RegisterInScript(TScriptLink& script) override;
    void ActionExecute(QObject* sender) override;
    QString GetDeclaration() override;
    QString GetSwitchSyntax() override;
    void Clear() override;
    void SetValueFromString(const QString& text) override;
    void Apply() override;
    bool LoadFromPrefs(TActionPreferences& gp) override;
    bool SaveToPrefs(TActionPreferences& gp) override;
    QString MacroLine() const override;

private:
    void ShowState();

    bool FDefaultValue = false;
    QString FTrueCaption;
    QString FFalseCaption;
    int FTrueImageIndex = -1;
    int FFalseImageIndex = -1;
    QString FTrueHint;
    QString FFalseHint;
};

// Text helpers shared with the command line and the macro recorder.
namespace ActionText {
// `text` as a script string literal: quotes doubled, control characters as
// character codes, so that the literal reads back as exactly `text`.
QString ScriptString(const QString& text);
// A double as script text: general format, 15 significant digits, "." always.
QString ScriptFloat(double value);
// Decimal, or hexadecimal after "$".
std::optional<int> ParseInteger(const QString& text);
// "true", "vrai", "t", "v" (any case) or a non-zero integer.
bool ParseBoolean(const QString& text);
} // namespace ActionText
