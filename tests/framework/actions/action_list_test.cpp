#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "tests/framework/actions/fakes.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

template <class A> A* Add(TCustomKvActionList& list, const QString& id)
{
    A* a = TCustomAbstractAction::CreateNamed<A>(&list, id);
    a->ScriptName = id.mid(2);
    return a;
}

TEST(ActionList, FindByInternalIdIsExactAndTakesTheFirst)
{
    TKvActionList list;
    auto* plain = new TTntCustomAction(&list);
    plain->SetActionList(&list);
    auto* first = Add<TIntegerAction>(list, "iaZoom");
    Add<TDoubleAction>(list, "iaZoom");
    EXPECT_EQ(list.FindByInternalId("iaZoom"), first);
    EXPECT_EQ(list.FindByInternalId("iazoom"), nullptr);
    EXPECT_EQ(list.FindByInternalId(""), nullptr);
    EXPECT_EQ(list.Find<TIntegerAction>("iaZoom"), first);
    EXPECT_EQ(list.Find<TCheckAction>("iaZoom"), nullptr);
}

TEST(ActionList, OneFailingActionDoesNotStopTheOthers)
{
    FakePreferences gp;
    gp.failing << "Broken";
    gp.values["After"] = 9;
    TKvActionList list;
    Add<TIntegerAction>(list, "iaBroken");
    auto* after = Add<TIntegerAction>(list, "iaAfter");
    auto* skipped = Add<TIntegerAction>(list, "iaSkipped");
    skipped->IncludePrefs = false;
    gp.values["Skipped"] = 5;
    EXPECT_FALSE(list.LoadFromPrefs(gp));
    EXPECT_EQ(after->Value(), 9);
    EXPECT_EQ(skipped->Value(), 0);

    after->SetValue(11);
    skipped->SetValue(12);
    EXPECT_FALSE(list.SaveToPrefs(gp));
    EXPECT_EQ(std::get<int>(gp.values["After"]), 11);
    EXPECT_EQ(std::get<int>(gp.values["Skipped"]), 5);

    gp.failing.clear();
    EXPECT_TRUE(list.LoadFromPrefs(gp));
    list.OnLoadFromPrefs = [](TActionPreferences&) { return false; };
    list.OnSaveToPrefs = [](TActionPreferences&) -> bool { throw std::runtime_error("list"); };
    EXPECT_FALSE(list.LoadFromPrefs(gp));
    EXPECT_FALSE(list.SaveToPrefs(gp));
}

TEST(ScriptChain, OwnHandlerFirstThenListsInLinkOrder)
{
    FakeScript script;
    int own = 0;
    script.handler = [&](TScriptLink*) {
        ++own;
        script.AddMethod(
            nullptr, [](const QVariantList&) {}, "procedure Host;");
    };
    TKvActionList first, second;
    Add<TNopeAction>(first, "naGrab");
    Add<TNopeAction>(first, "naNoScript")->ScriptName.clear();
    Add<TIntegerAction>(first, "iaZoom");
    Add<TCheckAction>(second, "caLoop");
    first.SetPascalScript(&script);
    second.SetPascalScript(&script);
    EXPECT_EQ(script.Compile(),
              (std::vector<std::string>{"procedure Host;", "procedure Grab;", "procedure Zoom(const aInteger:integer);",
                                        "procedure setLoop(const aBoolean:Boolean);", "procedure Loop;"}));
    EXPECT_EQ(own, 1);

    second.SetPascalScript(nullptr);
    EXPECT_EQ(script.Compile().size(), 3u);
    first.SetPascalScript(nullptr);
    EXPECT_EQ(script.Compile(), std::vector<std::string>{"procedure Host;"});
    EXPECT_EQ(own, 3);
    EXPECT_EQ(first.PascalScript(), nullptr);
}

// The script's own handler, recognisable by its type.
struct OwnHandler
{
    int* calls;
    void operator()(TScriptLink*) const { ++*calls; }
};

TEST(ScriptChain, UnlinkingGivesTheScriptItsOwnHandlerBack)
{
    FakeScript script;
    int calls = 0;
    script.handler = OwnHandler{&calls};
    TKvActionList first, second;
    first.SetPascalScript(&script);
    second.SetPascalScript(&script);
    EXPECT_EQ(script.OnCompile().target<OwnHandler>(), nullptr);
    second.SetPascalScript(nullptr);
    first.SetPascalScript(nullptr);
    ASSERT_NE(script.OnCompile().target<OwnHandler>(), nullptr);
    script.Compile();
    EXPECT_EQ(calls, 1);
}

TEST(ScriptChain, AListLeavingFromTheMiddleKeepsTheLaterOnes)
{
    FakeScript script;
    script.handler = [&](TScriptLink*) {
        script.AddMethod(
            nullptr, [](const QVariantList&) {}, "procedure Host;");
    };
    TKvActionList first, second;
    auto third = std::make_unique<TKvActionList>();
    Add<TNopeAction>(first, "naFirst");
    Add<TNopeAction>(second, "naSecond");
    Add<TNopeAction>(*third, "naThird");
    first.SetPascalScript(&script);
    second.SetPascalScript(&script);
    third->SetPascalScript(&script);

    first.SetPascalScript(nullptr);
    EXPECT_EQ(script.Compile(), (std::vector<std::string>{"procedure Host;", "procedure Second;", "procedure Third;"}));
    // Linked again, it comes last.
    first.SetPascalScript(&script);
    second.SetPascalScript(nullptr);
    EXPECT_EQ(script.Compile(), (std::vector<std::string>{"procedure Host;", "procedure Third;", "procedure First;"}));
    third.reset();
    first.SetPascalScript(nullptr);
    EXPECT_EQ(script.Compile(), std::vector<std::string>{"procedure Host;"});
}

TEST(ScriptChain, ReplacingTheScriptRestoresTheOldOne)
{
    FakeScript oldScript, newScript;
    TKvActionList list;
    Add<TNopeAction>(list, "naGrab");
    list.SetPascalScript(&oldScript);
    list.SetPascalScript(&newScript);
    EXPECT_TRUE(oldScript.Compile().empty());
    EXPECT_EQ(newScript.Compile().size(), 1u);
    // Linking the same script again does not register the actions twice.
    list.SetPascalScript(&newScript);
    EXPECT_EQ(newScript.Compile().size(), 1u);
}

TEST(ScriptChain, EitherSideMayGoFirst)
{
    auto script = std::make_unique<FakeScript>();
    auto early = std::make_unique<TKvActionList>();
    TKvActionList late;
    Add<TNopeAction>(*early, "naEarly");
    Add<TNopeAction>(late, "naLate");
    early->SetPascalScript(script.get());
    late.SetPascalScript(script.get());
    early.reset();
    EXPECT_EQ(script->Compile(), std::vector<std::string>{"procedure Late;"});
    script.reset();
    EXPECT_EQ(late.PascalScript(), nullptr);
    late.SetPascalScript(nullptr);
}

TEST(SwitchLink, NamesMoveWithTheLink)
{
    TKvActionList list;
    auto* loop = Add<TCheckAction>(list, "caLoop");
    loop->Switch = "loop";
    TKvSwitch one, two;
    TKvActionList other;
    auto* otherLoop = Add<TCheckAction>(other, "caOtherLoop");
    otherLoop->Switch = "LOOP";
    list.SetSwitch(&one);
    other.SetSwitch(&one);
    list.SetSwitch(&one); // linking again moves nothing: the first list linked still answers first
    one.RunArguments({"+loop"});
    EXPECT_TRUE(loop->Checked());
    EXPECT_FALSE(otherLoop->Checked());
    list.SetSwitch(&two);
    one.RunArguments({"-loop"});
    EXPECT_TRUE(loop->Checked());
    two.RunArguments({"-loop"});
    EXPECT_FALSE(loop->Checked());
    {
        TKvSwitch gone;
        list.SetSwitch(&gone);
    }
    EXPECT_EQ(list.Switch(), nullptr);
}

} // namespace
