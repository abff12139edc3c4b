#include "framework/actions/actions.h"
#include "tests/framework/actions/fakes.h"

#include <QLocale>
#include <QScopeGuard>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

// Records macro lines for the length of a test.
class Recording : public ::testing::Test
{
protected:
    QStringList lines;
    void SetUp() override
    {
        MacroGuard = false;
        MacroTarget = &lines;
    }
    void TearDown() override
    {
        MacroTarget = nullptr;
        MacroGuard = false;
    }
};

template <class A> A* Make(TTntActionList& list, const QString& scriptName)
{
    A* a = TCustomAbstractAction::CreateNamed<A>(&list, QStringLiteral("x") + scriptName);
    a->ScriptName = scriptName;
    return a;
}

using ExecutePipeline = Recording;

TEST_F(ExecutePipeline, ValueActionWithoutPrepareHandlerDoesNothing)
{
    TTntActionList list;
    auto* a = Make<TIntegerAction>(list, "Level");
    a->SetValue(4);
    lines.clear();
    int applied = 0;
    a->OnAfterApply = [&](const int&) { ++applied; };
    EXPECT_TRUE(a->Execute());
    EXPECT_EQ(a->Value(), 4);
    EXPECT_EQ(applied, 0);
    EXPECT_TRUE(lines.isEmpty());
}

TEST_F(ExecutePipeline, PrepareStartsFromAFreshValueAndMayVeto)
{
    TTntActionList list;
    auto* a = Make<TWidestringAction>(list, "Folder");
    a->SetValue("old");
    QString seen = "unset";
    a->OnPrepare = [&](QString& v) {
        seen = v;
        v = "chosen";
        return true;
    };
    a->InternalPrepare = [](QString& v) {
        v += "/sub";
        return true;
    };
    a->Execute();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(a->Value(), "chosen/sub");

    a->InternalPrepare = [](QString&) { return false; };
    a->Execute();
    EXPECT_EQ(a->Value(), "chosen/sub");
    a->InternalPrepare = nullptr;
    a->OnPrepare = [](QString& v) {
        v = "vetoed";
        return false;
    };
    a->Execute();
    EXPECT_EQ(a->Value(), "chosen/sub");
}

TEST_F(ExecutePipeline, NopeAndCheckActionsApplyWithoutPrepareHandler)
{
    TTntActionList list;
    auto* nope = Make<TNopeAction>(list, "Grab");
    int grabbed = 0;
    nope->InternalApply = [&] { ++grabbed; };
    nope->Execute();
    EXPECT_EQ(grabbed, 1);
    nope->OnPrepare = [] { return false; };
    nope->Execute();
    EXPECT_EQ(grabbed, 1);

    auto* check = Make<TCheckAction>(list, "Loop");
    int on = 0, off = 0;
    check->InternalTrueApply = [&] { ++on; };
    check->InternalFalseApply = [&] { ++off; };
    check->Execute();
    check->Execute();
    EXPECT_EQ(on, 1);
    EXPECT_EQ(off, 1);
    check->InternalPrepare = [] { return false; };
    check->Execute();
    EXPECT_FALSE(check->Checked());
    EXPECT_EQ(lines, QStringList({"    Grab;", "    setLoop(True);", "    setLoop(False);"}));
}

using SetValuePipeline = Recording;

TEST_F(SetValuePipeline, ApplyEventsRunInOrderWithTheNewValue)
{
    TTntActionList list;
    auto* a = Make<TDoubleAction>(list, "Speed");
    QStringList order;
    a->OnBeforeApply = [&](const double& v) { order << QString("before %1").arg(v); };
    a->InternalApply = [&](const double& v) { order << QString("internal %1").arg(v); };
    a->OnAfterApply = [&](const double& v) { order << QString("after %1").arg(v); };
    a->SetValue(1.5);
    EXPECT_EQ(order, QStringList({"before 1.5", "internal 1.5", "after 1.5"}));
    EXPECT_EQ(lines, QStringList({"    Speed(1.5);"}));
}

// Every kind of action tells its subscribers after its own after-apply
// handler, each subscriber once per apply, and a handler set later displaces
// no subscriber.
TEST_F(SetValuePipeline, SubscribersHearEveryApplyAfterTheSingleHandler)
{
    TTntActionList list;
    auto* nope = Make<TNopeAction>(list, "Grab");
    auto* value = Make<TIntegerAction>(list, "Level");
    auto* check = Make<TCheckAction>(list, "Loop");
    QStringList order;
    nope->OnAfterApply = [&] { order << "after"; };
    value->OnAfterApply = [&](const int&) { order << "after"; };
    check->OnAfterTrueApply = [&] { order << "after"; };
    check->OnAfterFalseApply = [&] { order << "after"; };
    const struct
    {
        TCustomAbstractAction* action;
        std::function<void()> change;
    } cases[] = {
        {nope, [&] { nope->Execute(); }},
        {value, [&] { value->SetValue(value->Value() + 1); }},
        {check, [&] { check->SetChecked(!check->Checked()); }},
        {check, [&] { check->SetChecked(!check->Checked()); }},
    };
    for (const auto& c : cases) {
        order.clear();
        QObject first;
        QObject second;
        QObject::connect(c.action, &TCustomAbstractAction::Applied, &first, [&] { order << "first"; });
        QObject::connect(c.action, &TCustomAbstractAction::Applied, &second, [&] { order << "second"; });
        c.change();
        EXPECT_EQ(order, QStringList({"after", "first", "second"})) << c.action->InternalId.toStdString();
        // The apply without a change (a load, a reopened file) tells them too.
        order.clear();
        c.action->Apply();
        EXPECT_EQ(order, QStringList({"after", "first", "second"})) << c.action->InternalId.toStdString();
    }
    // A gone subscriber is no longer told, and no handler is needed.
    order.clear();
    value->OnAfterApply = nullptr;
    value->SetValue(value->Value() + 1);
    EXPECT_TRUE(order.isEmpty());
}

TEST_F(SetValuePipeline, EqualBooleanIsIgnoredButCheckActionAppliesAgain)
{
    TTntActionList list;
    auto* b = Make<TBooleanAction>(list, "Mute");
    int applied = 0;
    b->InternalApply = [&](const bool&) { ++applied; };
    b->SetValue(false);
    EXPECT_EQ(applied, 0);
    EXPECT_TRUE(lines.isEmpty());
    b->SetValue(true);
    EXPECT_EQ(applied, 1);

    auto* c = Make<TCheckAction>(list, "Deinterlace");
    int on = 0;
    c->InternalTrueApply = [&] { ++on; };
    c->SetChecked(true);
    c->SetChecked(true);
    EXPECT_EQ(on, 2);
    EXPECT_EQ(lines, QStringList({"    Mute(True);", "    setDeinterlace(True);", "    setDeinterlace(True);"}));
}

TEST_F(SetValuePipeline, OnlyTheOuterChangeIsRecorded)
{
    TTntActionList list;
    auto* width = Make<TIntegerAction>(list, "Width");
    auto* height = Make<TIntegerAction>(list, "Height");
    auto* keep = Make<TCheckAction>(list, "KeepRatio");
    width->InternalApply = [&](const int& w) { height->SetValue(w * 3 / 4); };
    keep->InternalTrueApply = [&] { width->SetValue(800); };
    width->SetValue(640);
    EXPECT_EQ(height->Value(), 480);
    keep->SetChecked(true);
    EXPECT_EQ(height->Value(), 600);
    EXPECT_EQ(lines, QStringList({"    Width(640);", "    setKeepRatio(True);"}));
    EXPECT_FALSE(MacroGuard);

    // The script window's own action records nothing, and still keeps the
    // changes it causes out of the macro.
    auto* script = Make<TCheckAction>(list, "Script");
    script->InternalTrueApply = [&] { width->SetValue(1); };
    script->SetChecked(true);
    EXPECT_EQ(lines.size(), 2);
    EXPECT_FALSE(MacroGuard);
}

TEST_F(SetValuePipeline, StopMacroActionsNeitherRecordNorGuard)
{
    TTntActionList list;
    auto* stopCheck = TCustomAbstractAction::CreateNamed<TCheckAction>(&list, "naStopMacro");
    stopCheck->ScriptName = "StopMacro";
    auto* stopNope = TCustomAbstractAction::CreateNamed<TNopeAction>(&list, "naStopMacro");
    stopNope->ScriptName = "StopMacro";
    bool guardedDuringApply = true;
    stopCheck->InternalTrueApply = [&] { guardedDuringApply = MacroGuard; };
    stopNope->InternalApply = [&] { guardedDuringApply = MacroGuard; };
    stopCheck->SetChecked(true);
    EXPECT_FALSE(guardedDuringApply);
    guardedDuringApply = true;
    stopNope->Execute();
    EXPECT_FALSE(guardedDuringApply);
    EXPECT_TRUE(lines.isEmpty());
}

// An action without a script name has no line of its own: it neither records
// nor guards, so what its handlers change on named actions is recorded, and
// replaying the macro has the same effect.
TEST_F(SetValuePipeline, ActionsWithoutScriptNameNeitherRecordNorGuard)
{
    TTntActionList list;
    auto* zoom = Make<TIntegerAction>(list, "Zoom");
    auto* hidden = Make<TIntegerAction>(list, "");
    auto* hiddenCheck = Make<TCheckAction>(list, "");
    auto* hiddenNope = Make<TNopeAction>(list, "");
    auto* hiddenBool = Make<TBooleanAction>(list, "");
    hidden->InternalApply = [&](const int& v) { zoom->SetValue(v); };
    hiddenCheck->InternalTrueApply = [&] { zoom->SetValue(7); };
    hiddenNope->InternalApply = [&] { zoom->SetValue(8); };
    hiddenBool->InternalApply = [&](const bool&) { zoom->SetValue(9); };
    hidden->SetValue(5);
    hiddenCheck->SetChecked(true);
    hiddenNope->Execute();
    hiddenBool->SetValue(true);
    EXPECT_EQ(lines, QStringList({"    Zoom(5);", "    Zoom(7);", "    Zoom(8);", "    Zoom(9);"}));
    EXPECT_FALSE(MacroGuard);

    // Under a named action the unnamed one stays quiet like any other.
    auto* outer = Make<TNopeAction>(list, "Reset");
    outer->InternalApply = [&] { hidden->SetValue(1); };
    lines.clear();
    outer->Execute();
    EXPECT_EQ(zoom->Value(), 1);
    EXPECT_EQ(lines, QStringList({"    Reset;"}));
    EXPECT_FALSE(MacroGuard);
}

TEST_F(SetValuePipeline, GuardIsReleasedWhenAHandlerThrows)
{
    TTntActionList list;
    auto* a = Make<TIntegerAction>(list, "Zoom");
    auto* nope = Make<TNopeAction>(list, "Reset");
    auto* check = Make<TCheckAction>(list, "Full");
    a->InternalApply = [](const int&) { throw std::runtime_error("apply"); };
    nope->InternalApply = [] { throw std::runtime_error("apply"); };
    check->InternalTrueApply = [] { throw std::runtime_error("apply"); };
    EXPECT_THROW(a->SetValue(2), std::runtime_error);
    EXPECT_FALSE(MacroGuard);
    EXPECT_THROW(nope->Execute(), std::runtime_error);
    EXPECT_FALSE(MacroGuard);
    EXPECT_THROW(check->SetChecked(true), std::runtime_error);
    EXPECT_FALSE(MacroGuard);
    EXPECT_EQ(lines.size(), 3);
}

TEST_F(SetValuePipeline, NothingIsRecordedWithoutTarget)
{
    MacroTarget = nullptr;
    TTntActionList list;
    auto* a = Make<TIntegerAction>(list, "Zoom");
    bool guarded = true;
    a->InternalApply = [&](const int&) { guarded = MacroGuard; };
    a->SetValue(3);
    EXPECT_FALSE(guarded);
}

using MacroLines = Recording;

TEST_F(MacroLines, EveryClassWritesReplayableScriptText)
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    TTntActionList list;
    Make<TNopeAction>(list, "Grab")->Apply();
    Make<TWidestringAction>(list, "Title")->SetValue("l'été\r\n");
    Make<TIntegerAction>(list, "Count")->SetValue(-12);
    Make<TColorAction>(list, "Back")->SetValue(clRed);
    Make<TColorAction>(list, "Face")->SetValue(clBtnFace);
    Make<TDoubleAction>(list, "Rate")->SetValue(2.5);
    Make<TDoubleAction>(list, "Tiny")->SetValue(1e20);
    Make<TDoubleAction>(list, "Third")->SetValue(2.0 / 3.0);
    Make<TPointAction>(list, "Pos")->SetValue(TPoint{10, -20});
    Make<TRectAction>(list, "Area")->SetValue(TRect{1, 2, 3, 4});
    TFont font;
    font.Name = "O'Brien Sans";
    font.Size = 12;
    font.Color = 0x123456;
    font.Style = {fsBold, fsStrikeOut};
    Make<TFontAction>(list, "Inlay")->SetValue(font);
    font.Style = {fsItalic};
    Make<TFontAction>(list, "Heading")->SetValue(font);
    Make<TBooleanAction>(list, "Mute")->SetValue(true);
    Make<TCheckAction>(list, "Loop")->SetChecked(false);
    EXPECT_EQ(lines, QStringList({
                         "    Grab;",
                         "    Title('l''été'#13#10);",
                         "    Count(-12);",
                         "    Back($0000FF);",
                         "    Face($FF00000F);",
                         "    Rate(2.5);",
                         "    Tiny(1E20);",
                         "    Third(0.666666666666667);",
                         "    Pos(10,-20);",
                         "    Area(1,3,2,4);",
                         "    Inlay('O''Brien Sans', 12, $123456, True, False, False, True);",
                         "    Heading('O''Brien Sans', 12, $123456, False, True, False, False);",
                         "    Mute(True);",
                         "    setLoop(False);",
                     }));
}

TEST(ScriptText, StringLiterals)
{
    EXPECT_EQ(ActionText::ScriptString(""), "''");
    EXPECT_EQ(ActionText::ScriptString("'"), "''''");
    EXPECT_EQ(ActionText::ScriptString("a');Halt;//"), "'a'');Halt;//'");
    EXPECT_EQ(ActionText::ScriptString("\tx"), "#9'x'");
}

TEST(Declarations, EveryClassAndItsSwitchSyntax)
{
    TTntActionList list;
    struct Case
    {
        TCustomAbstractAction* action;
        QString declaration;
        QString syntax;
    };
    const auto named = [&](TCustomAbstractAction* a, const QString& s) {
        a->ScriptName = s;
        a->Switch = s.toLower();
        return a;
    };
    const Case cases[] = {
        {named(new TNopeAction(&list), "Grab"), "procedure Grab;", "/grab"},
        {named(new TWidestringAction(&list), "Title"), "procedure Title(const aWidestring:widestring);",
         "/title=aWidestring"},
        {named(new TIntegerAction(&list), "Count"), "procedure Count(const aInteger:integer);", "/count=aInteger"},
        {named(new TColorAction(&list), "Back"), "procedure Back(const aColor:TColor);", "/back=aColor"},
        {named(new TDoubleAction(&list), "Rate"), "procedure Rate(const aDouble:Double);", "/rate=aDouble"},
        {named(new TPointAction(&list), "Pos"), "procedure Pos(const x,y:integer);", "/pos=x,y"},
        {named(new TRectAction(&list), "Area"), "procedure Area(const left,right,top,bottom:integer);",
         "/area=left,right,top,bottom"},
        {named(new TFontAction(&list), "Inlay"),
         "procedure Inlay(aName:widestring;aSize:integer;aColor:TColor;isBold:Boolean;isItalic:Boolean;"
         "isUnderline:Boolean;isStrikeOut:Boolean);",
         "/inlay=aFont"},
        {named(new TBooleanAction(&list), "Mute"), "procedure Mute(const aBoolean:Boolean);", "/mute=aBoolean"},
        {named(new TCheckAction(&list), "Loop"), "procedure setLoop(const fisTrue:Boolean);\r\nprocedure Loop;",
         "/loop +loop -loop"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.action->GetDeclaration(), c.declaration);
        EXPECT_EQ(c.action->GetSwitchSyntax(), c.syntax);
    }
}

TEST(Declarations, FirstOneAskedFixesVariablesAndRectanglesKeepFourIntegers)
{
    TRectAction rect;
    rect.ScriptName = "Crop";
    rect.Switch = "crop";
    EXPECT_EQ(rect.GetSwitchSyntax(), "/crop=aRect");
    EXPECT_EQ(rect.Variables, "aRect");
    EXPECT_EQ(rect.GetDeclaration(), "procedure Crop(const left,right,top,bottom:integer);");
    EXPECT_EQ(rect.GetSwitchSyntax(), "/crop=aRect");

    TIntegerAction given;
    given.ScriptName = "Step";
    given.Variables = "frames";
    EXPECT_EQ(given.GetDeclaration(), "procedure Step(const frames:integer);");
    EXPECT_EQ(given.GetSwitchSyntax(), "/=frames");

    TPointAction point;
    point.ScriptName = "At";
    point.Variables = "h,v";
    EXPECT_EQ(point.GetDeclaration(), "procedure At(const h,v:integer);");
}

using ScriptEntries = Recording;

TEST_F(ScriptEntries, RecordedLinesReplayToTheSameValues)
{
    TTntActionList list;
    auto* rect = Make<TRectAction>(list, "Area");
    auto* point = Make<TPointAction>(list, "Pos");
    auto* text = Make<TWidestringAction>(list, "Title");
    auto* color = Make<TColorAction>(list, "Back");
    auto* font = Make<TFontAction>(list, "Inlay");
    auto* check = Make<TCheckAction>(list, "Loop");
    FakeScript script;
    script.compiling = true;
    for (TCustomAbstractAction* a :
         std::initializer_list<TCustomAbstractAction*>{rect, point, text, color, font, check})
        EXPECT_TRUE(a->RegisterInScript(script));

    const TRect r{-5, 10, 300, 200};
    rect->SetValue(r);
    point->SetValue({7, 9});
    text->SetValue("it's");
    color->SetValue(clBtnFace);
    TFont f;
    f.Name = "Liberation Sans";
    f.Size = 14;
    f.Color = clBlue;
    f.Style = {fsItalic, fsUnderline};
    font->SetValue(f);
    check->SetChecked(true);
    const QStringList recorded = lines;

    rect->SetValue({});
    point->SetValue({});
    text->SetValue("");
    color->SetValue(0);
    font->SetValue(TFont{});
    check->SetChecked(false);
    for (const QString& line : recorded)
        EXPECT_TRUE(script.Replay(line)) << line.toStdString();

    EXPECT_EQ(rect->Value(), r);
    EXPECT_EQ(point->Value(), (TPoint{7, 9}));
    EXPECT_EQ(text->Value(), "it's");
    EXPECT_EQ(color->Value(), clBtnFace);
    EXPECT_EQ(font->Value().Name, f.Name);
    EXPECT_EQ(font->Value().Size, 14);
    EXPECT_EQ(font->Value().Color, clBlue);
    EXPECT_EQ(font->Value().Style, f.Style);
    EXPECT_TRUE(check->Checked());
}

TEST(ScriptRegistration, CheckActionDeclaresSetterAndToggle)
{
    TTntActionList list;
    auto* check = Make<TCheckAction>(list, "Loop");
    check->Variables = "ignored";
    FakeScript script;
    script.compiling = true;
    EXPECT_TRUE(check->RegisterInScript(script));
    ASSERT_EQ(script.routines.size(), 2u);
    EXPECT_EQ(script.routines[0].declaration, "procedure setLoop(const aBoolean:Boolean);");
    EXPECT_EQ(script.routines[1].declaration, "procedure Loop;");
    script.Call("Loop", {});
    EXPECT_TRUE(check->Checked());
    script.Call("Loop", {});
    EXPECT_FALSE(check->Checked());
    script.Call("setLoop", {true});
    script.Call("setLoop", {true});
    EXPECT_TRUE(check->Checked());
    script.Call("setLoop", {false});
    EXPECT_FALSE(check->Checked());
    // An entry given arguments it cannot read leaves the value alone.
    auto* count = Make<TIntegerAction>(list, "Count");
    count->RegisterInScript(script);
    script.Call("Count", {});
    EXPECT_EQ(count->Value(), 0);

    auto* unnamed = Make<TNopeAction>(list, "");
    EXPECT_FALSE(unnamed->RegisterInScript(script));
    script.compiling = false;
    EXPECT_FALSE(Make<TIntegerAction>(list, "Late")->RegisterInScript(script));
}

TEST(ScriptRegistration, EntryOutlivingItsActionDoesNothing)
{
    FakeScript script;
    script.compiling = true;
    {
        TIntegerAction a;
        a.ScriptName = "Gone";
        a.RegisterInScript(script);
    }
    EXPECT_TRUE(script.Call("Gone", {3}));
}

TEST(TextForms, ValueClasses)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    TTntActionList list;

    auto* i = Make<TIntegerAction>(list, "I");
    i->SetValueFromString("42");
    EXPECT_EQ(i->Value(), 42);
    i->SetValueFromString("$1F");
    EXPECT_EQ(i->Value(), 31);
    i->SetValueFromString("forty");
    EXPECT_EQ(i->Value(), -1);

    auto* c = Make<TColorAction>(list, "C");
    c->SetValueFromString("clRed");
    EXPECT_EQ(c->Value(), clRed);
    c->SetValueFromString("$FF0000");
    EXPECT_EQ(c->Value(), clBlue);
    c->SetValueFromString("not a colour");
    EXPECT_EQ(c->Value(), clBlue);

    auto* d = Make<TDoubleAction>(list, "D");
    d->SetValueFromString("2,5");
    EXPECT_EQ(d->Value(), 2.5);
    d->SetValueFromString("0.25");
    EXPECT_EQ(d->Value(), 0.25);
    d->SetValueFromString("fast");
    EXPECT_EQ(d->Value(), -1.0);

    auto* p = Make<TPointAction>(list, "P");
    p->SetValueFromString(" (10,20) ");
    EXPECT_EQ(p->Value(), (TPoint{10, 20}));
    p->SetValueFromString("30,40");
    EXPECT_EQ(p->Value(), (TPoint{10, 20}));
    p->SetValueFromString("(a,20)");
    EXPECT_EQ(p->Value(), (TPoint{0, 20}));
    p->SetValueFromString("(5)");
    EXPECT_EQ(p->Value(), (TPoint{0, 20}));

    auto* r = Make<TRectAction>(list, "R");
    r->SetValueFromString("( 1, 2 ,3,4)");
    EXPECT_EQ(r->Value(), (TRect{1, 2, 3, 4}));
    r->SetValueFromString("(1,2,3)");
    EXPECT_EQ(r->Value(), (TRect{1, 2, 3, 4}));
    r->SetValueFromString("1,2,3,4");
    EXPECT_EQ(r->Value(), (TRect{1, 2, 3, 4}));

    auto* b = Make<TBooleanAction>(list, "B");
    for (const char* yes : {"true", " VRAI ", "t", "V", "1", "-3"}) {
        b->SetValue(false);
        b->SetValueFromString(yes);
        EXPECT_TRUE(b->Value()) << yes;
    }
    for (const char* no : {"false", "0", "yes", ""}) {
        b->SetValue(true);
        b->SetValueFromString(no);
        EXPECT_FALSE(b->Value()) << no;
    }

    auto* k = Make<TCheckAction>(list, "K");
    k->SetValueFromString("vrai");
    EXPECT_TRUE(k->Checked());
    k->SetValueFromString("nope");
    EXPECT_FALSE(k->Checked());

    auto* f = Make<TFontAction>(list, "F");
    int fontApplied = 0;
    f->InternalApply = [&](const TFont&) { ++fontApplied; };
    f->SetValueFromString("Arial");
    EXPECT_EQ(fontApplied, 0);

    auto* n = Make<TNopeAction>(list, "N");
    int run = 0;
    n->InternalApply = [&] { ++run; };
    n->SetValueFromString("whatever");
    EXPECT_EQ(run, 1);
}

TEST(Preferences, LoadKeepsHandlerChangedDefaultWhenValueIsMissing)
{
    FakePreferences gp;
    TTntActionList list;
    auto* a = Make<TIntegerAction>(list, "Quality");
    a->SetDefaultValue(75);
    a->OnDefault = [](int& v) {
        v += 10;
        return false; // the result is not consulted
    };
    a->InternalDefault = [](int& v) {
        v *= 2;
        return true;
    };
    int applied = 0;
    a->InternalApply = [&](const int&) { ++applied; };
    EXPECT_TRUE(a->LoadFromPrefs(gp));
    EXPECT_EQ(a->Value(), 170);
    EXPECT_EQ(a->DefaultValue(), 170);
    EXPECT_EQ(applied, 0);

    gp.values["Quality"] = 90;
    a->OnDefault = nullptr;
    a->InternalDefault = nullptr;
    a->ApplyWhenLoad = true;
    EXPECT_TRUE(a->LoadFromPrefs(gp));
    EXPECT_EQ(a->Value(), 90);
    EXPECT_EQ(applied, 1);
}

TEST(Preferences, LoadAndSaveNeverRaise)
{
    FakePreferences gp;
    gp.failing << "Broken";
    TTntActionList list;
    auto* broken = Make<TRectAction>(list, "Broken");
    EXPECT_FALSE(broken->LoadFromPrefs(gp));
    EXPECT_FALSE(broken->SaveToPrefs(gp));
    auto* handler = Make<TFontAction>(list, "Font");
    handler->OnDefault = [](TFont&) -> bool { throw std::runtime_error("handler"); };
    handler->BeforeSave = [](TFont&) -> bool { throw std::runtime_error("handler"); };
    EXPECT_FALSE(handler->LoadFromPrefs(gp));
    EXPECT_FALSE(handler->SaveToPrefs(gp));
    auto* check = Make<TCheckAction>(list, "Broken");
    EXPECT_FALSE(check->LoadFromPrefs(gp));
    EXPECT_FALSE(check->SaveToPrefs(gp));
}

TEST(Preferences, SaveWritesWhatTheHandlersMadeOfTheValue)
{
    FakePreferences gp;
    TTntActionList list;
    auto* a = Make<TWidestringAction>(list, "Folder");
    a->SetValue("/tmp/x");
    int applied = 0;
    a->InternalApply = [&](const QString&) { ++applied; };
    a->InternalBeforeSave = [](QString& v) {
        v = v.toUpper();
        return true;
    };
    EXPECT_TRUE(a->SaveToPrefs(gp));
    EXPECT_EQ(std::get<QString>(gp.values["Folder"]), "/TMP/X");
    EXPECT_EQ(a->Value(), "/TMP/X");
    EXPECT_EQ(applied, 0);

    auto* check = Make<TCheckAction>(list, "Loop");
    check->SetCheckedNoMacro(true);
    check->BeforeSave = [](bool& v) {
        v = false;
        return true;
    };
    EXPECT_TRUE(check->SaveToPrefs(gp));
    EXPECT_FALSE(std::get<bool>(gp.values["Loop"]));
    EXPECT_TRUE(check->Checked());
}

TEST(CheckAction, CaptionHintAndImageFollowTheState)
{
    TTntActionList list;
    auto* c = Make<TCheckAction>(list, "Play");
    c->SetTrueCaption("Pause");
    c->SetFalseCaption("Play");
    c->SetTrueHint("Pause the video");
    c->SetTrueImageIndex(3);
    c->SetFalseImageIndex(2);
    EXPECT_EQ(c->Caption(), "Play");
    EXPECT_EQ(c->ImageIndex(), 2);
    c->SetCheckedNoMacro(true);
    EXPECT_EQ(c->Caption(), "Pause");
    EXPECT_EQ(c->Hint(), "Pause the video");
    EXPECT_EQ(c->ImageIndex(), 3);

    // The default sets the state quietly.
    QStringList lines;
    MacroTarget = &lines;
    int applied = 0;
    c->InternalFalseApply = [&] { ++applied; };
    c->SetDefaultValue(false);
    MacroTarget = nullptr;
    EXPECT_FALSE(c->Checked());
    EXPECT_EQ(c->Caption(), "Play");
    EXPECT_EQ(c->Hint(), "");
    EXPECT_EQ(applied, 0);
    EXPECT_TRUE(lines.isEmpty());

    FakePreferences gp;
    gp.values["Play"] = true;
    EXPECT_TRUE(c->LoadFromPrefs(gp));
    EXPECT_EQ(c->Caption(), "Pause");
    EXPECT_EQ(applied, 0);
    int appliedTrue = 0;
    c->InternalTrueApply = [&] { ++appliedTrue; };
    c->ApplyWhenLoad = true;
    EXPECT_TRUE(c->LoadFromPrefs(gp));
    EXPECT_EQ(appliedTrue, 1);
    EXPECT_EQ(applied, 0);

    // An empty variant still replaces what the other state showed.
    c->SetFalseCaption("");
    c->SetFalseImageIndex(-1);
    EXPECT_EQ(c->Caption(), "Pause");
    c->SetCheckedNoMacro(false);
    EXPECT_EQ(c->Caption(), "");
    EXPECT_EQ(c->Hint(), "");
    EXPECT_EQ(c->ImageIndex(), -1);
}

TEST(ActionCreation, NamedActionsJoinTheListUnderTheWindow)
{
    QWidget window;
    TTntActionList list(&window);
    TCustomImageList images;
    images.Add(QIcon());
    list.SetImages(&images);
    auto* a = TCustomAbstractAction::CreateNamed<TColorAction>(&list, "iaBackColor");
    EXPECT_EQ(a->parent(), &window);
    {
        // The nearest window, not the application's topmost object.
        QWidget dialog(&window, Qt::Window);
        QWidget panel(&dialog);
        TTntActionList inner(&panel);
        auto* b = TCustomAbstractAction::CreateNamed<TNopeAction>(&inner, "naInner");
        EXPECT_EQ(b->parent(), &dialog);
        delete b;
    }
    EXPECT_EQ(a->ActionList(), &list);
    EXPECT_EQ(a->InternalId, "iaBackColor");
    EXPECT_EQ(a->Category(), "internal");
    EXPECT_TRUE(a->IncludePrefs);
    EXPECT_EQ(a->ImageIndex(), -1);

    TCustomImageList* seenList = nullptr;
    int seenIndex = -1;
    a->OnImageChanged = [&](TCustomImageList* l, int i) {
        seenList = l;
        seenIndex = i;
    };
    a->SetImageIndex(0);
    EXPECT_EQ(seenList, &images);
    EXPECT_EQ(seenIndex, 0);
    seenIndex = -1;
    a->SetImageIndex(0);
    EXPECT_EQ(seenIndex, -1) << "no change, no event";

    // Outside a list there is no image list to tell.
    TColorAction alone;
    bool told = false;
    alone.OnImageChanged = [&](TCustomImageList*, int) { told = true; };
    alone.SetImageIndex(2);
    EXPECT_EQ(alone.ImageIndex(), 2);
    EXPECT_FALSE(told);
}

} // namespace
