// The window's own actions: their order (the load order), their storage, and
// what the command line and the preferences do with them.

#include "app/main_actions.h"
#include "framework/actions/switch.h"
#include "tests/framework/actions/fakes.h"

#include <gtest/gtest.h>

namespace {

class MainActionsTest : public testing::Test
{
protected:
    void SetUp() override { CreateMainActions(gpal, a); }

    TKvActionList gpal;
    TMainActions a;
};

TEST_F(MainActionsTest, TheSeventyOneActionsLoadInTheirOrder)
{
    const QStringList expected{"caDecalageAvance",
                               "daDecalageHoraire",
                               "iaLeftFrame",
                               "baConfirmerImage",
                               "caIntervalloShow",
                               "baImageDeinterlacer",
                               "baSauverQuandClic",
                               "iaDigits",
                               "iaImageExtension",
                               "iaJpegCompressionQuality",
                               "iaImageAjouter",
                               "iaPanneauActif",
                               "iaIntervalloDelai",
                               "iaIntervalloUnit",
                               "iaForcerAspectRatio",
                               "waDossierSave",
                               "iaNomFichierImage",
                               "baLimiterLongueur",
                               "iaRacineLength",
                               "waDefaultRacine",
                               "naShowSaveImages",
                               "naShowImagette",
                               "naShowIncrust",
                               "naGrab",
                               "iaNextNum",
                               "naJpegExtension",
                               "naBmpExtension",
                               "naAjouterTimeStamp",
                               "naAjouterNumero",
                               "naCopy",
                               "naInsertTimestamp",
                               "naInsertTimecode",
                               "naInsertPerso",
                               "naInsertNumero",
                               "naInsertDatecode",
                               "naInsertSysdateTime",
                               "baRAZWhenOpenFile",
                               "waInsertPerso1",
                               "waInsertPerso2",
                               "waFormatDatecode1",
                               "waFormatDatecode2",
                               "caSliders",
                               "naSoustitres",
                               "waIncrustPattern1",
                               "waIncrustPattern2",
                               "naShowDVIncrust",
                               "baInsertAutoSize",
                               "naForcerNormal",
                               "naForcer4x3",
                               "naForcer16x9",
                               "naForcerNative",
                               "caVideoLeft",
                               "naAbort",
                               "waPrivateFolder",
                               "waInsertFontName",
                               "baUsePrivateFilters",
                               "laInsertFontColor",
                               "iaInsertFontSize",
                               "naIntervalloStart",
                               "naIntervalloBreak",
                               "naExecuteScript",
                               "caConserverScript",
                               "waDossierScripts",
                               "caIncrustBold",
                               "caIncrustItalic",
                               "caIncrustUnderline",
                               "caIncrustStrikeOut",
                               "iaInsertMode",
                               "iaMaxSynchro",
                               "waImageParentFolder",
                               "caSrtSubTitle"};
    QStringList ids;
    for (TCustomAbstractAction* action : gpal.AbstractActions()) {
        ids.append(action->InternalId);
        EXPECT_EQ(action->Name(), action->InternalId);
    }
    EXPECT_EQ(ids, expected);
}

TEST_F(MainActionsTest, StorageFollowsTheTable)
{
    // Never stored, never applied at load.
    for (TCustomAbstractAction* action : std::initializer_list<TCustomAbstractAction*>{
             a.caIntervalloShow, a.naIntervalloStart, a.naIntervalloBreak, a.waImageParentFolder}) {
        EXPECT_FALSE(action->IncludePrefs) << action->InternalId.toStdString();
        EXPECT_FALSE(action->ApplyWhenLoad) << action->InternalId.toStdString();
    }
    // Stored, the loaded value kept without running the handlers.
    for (TCustomAbstractAction* action : std::initializer_list<TCustomAbstractAction*>{
             a.iaLeftFrame, a.naGrab, a.waInsertFontName, a.laInsertFontColor, a.caIncrustItalic}) {
        EXPECT_TRUE(action->IncludePrefs) << action->InternalId.toStdString();
        EXPECT_FALSE(action->ApplyWhenLoad) << action->InternalId.toStdString();
    }
    EXPECT_TRUE(a.caIncrustBold->ApplyWhenLoad);
    EXPECT_TRUE(a.iaNextNum->ApplyWhenLoad);

    FakePreferences prefs;
    prefs.values[QStringLiteral("IntervalloShow")] = true;
    prefs.values[QStringLiteral("waLAVFolder")] = QStringLiteral("/opt/private/");
    prefs.values[QStringLiteral("JpegCompressionQuality")] = 90;
    ASSERT_TRUE(gpal.LoadFromPrefs(prefs));
    EXPECT_FALSE(a.caIntervalloShow->Checked());
    EXPECT_EQ(a.waPrivateFolder->Value(), QStringLiteral("/opt/private/"));
    EXPECT_EQ(a.iaJpegCompressionQuality->Value(), 90);

    prefs.values.clear();
    ASSERT_TRUE(gpal.SaveToPrefs(prefs));
    EXPECT_FALSE(prefs.values.contains(QStringLiteral("IntervalloShow")));
    EXPECT_FALSE(prefs.values.contains(QStringLiteral("IntervalloStart")));
    EXPECT_FALSE(prefs.values.contains(QStringLiteral("ImageParentFolder")));
    EXPECT_TRUE(prefs.values.contains(QStringLiteral("waLAVFolder")));
    EXPECT_FALSE(prefs.values.contains(QStringLiteral("PrivateFolder")));
}

TEST_F(MainActionsTest, DefaultsNamesAndCategories)
{
    EXPECT_EQ(a.iaDigits->Value(), 3);
    EXPECT_EQ(a.iaJpegCompressionQuality->Value(), 50);
    EXPECT_EQ(a.iaRacineLength->Value(), 8);
    EXPECT_EQ(a.iaNextNum->Value(), 1);
    EXPECT_EQ(a.iaMaxSynchro->Value(), 80);
    EXPECT_TRUE(a.baConfirmerImage->Value());
    EXPECT_TRUE(a.baUsePrivateFilters->Value());
    EXPECT_TRUE(a.caConserverScript->Checked());
    EXPECT_TRUE(a.caSrtSubTitle->Checked());
    EXPECT_FALSE(a.caVideoLeft->Checked());
    EXPECT_EQ(a.waDefaultRacine->Value(), QStringLiteral("Kestrova"));
    EXPECT_EQ(a.waIncrustPattern2->Value(), QStringLiteral(" \"%F\""));
    EXPECT_EQ(a.waFormatDatecode1->Value(), QStringLiteral("ddddd"));
    EXPECT_EQ(a.laInsertFontColor->Value(), clBlack);
    EXPECT_FALSE(a.waInsertPerso2->Value().isEmpty());

    EXPECT_EQ(a.caSrtSubTitle->Category(), QStringLiteral("Morvek"));
    EXPECT_EQ(a.baRAZWhenOpenFile->Category(), QStringLiteral("cat_Morvek"));
    EXPECT_EQ(a.waPrivateFolder->ScriptName, QStringLiteral("waLAVFolder"));
    EXPECT_EQ(a.caSrtSubTitle->ScriptName, QStringLiteral("SrtSubtitle"));

    EXPECT_EQ(a.naIntervalloBreak->ShortCut(), QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_J));
    EXPECT_EQ(a.baInsertAutoSize->ShortCut(), QKeySequence(Qt::CTRL | Qt::Key_Backslash));
    EXPECT_EQ(a.naAbort->ShortCut(), QKeySequence(Qt::Key_Escape));
    EXPECT_EQ(a.caVideoLeft->Caption(), QStringLiteral("Put the Video to the Left"));
    EXPECT_EQ(a.caIntervalloShow->Caption(), QStringLiteral("Display the intervalometer"));

    // The declarations name their parameters as the table says.
    EXPECT_EQ(a.caDecalageAvance->Variables, QStringLiteral("fDoTrue"));
    EXPECT_TRUE(a.daDecalageHoraire->GetDeclaration().contains(QStringLiteral("aDouble")));
    EXPECT_TRUE(a.iaDigits->GetDeclaration().contains(QStringLiteral("aInteger")));
    EXPECT_TRUE(a.waDefaultRacine->GetDeclaration().contains(QStringLiteral("aWidestring")));
    EXPECT_TRUE(a.baConfirmerImage->GetDeclaration().contains(QStringLiteral("aBoolean")));
    EXPECT_EQ(a.caDecalageAvance->Comments.join(u' '),
              QStringLiteral("The time difference only works for DV video files."));
}

TEST_F(MainActionsTest, CommandLineSetsValuesThroughTheirSwitches)
{
    TKvSwitch switches;
    gpal.SetSwitch(&switches);
    QStringList lines;
    MacroTarget = &lines;
    switches.RunArguments({QStringLiteral("/qual=75"), QStringLiteral("/ROOT=Holiday"), QStringLiteral("+bw"),
                           QStringLiteral("-isl"), QStringLiteral("/unknown=3")});
    MacroTarget = nullptr;
    EXPECT_EQ(a.iaJpegCompressionQuality->Value(), 75);
    EXPECT_EQ(a.waDefaultRacine->Value(), QStringLiteral("Holiday"));
    EXPECT_TRUE(a.caVideoLeft->Checked());
    EXPECT_FALSE(a.caSliders->Checked());
    // Each went through its setter, so each is a line of a macro.
    EXPECT_TRUE(lines.contains(QStringLiteral("    JpegCompressionQuality(75);"))) << lines.join(u'\n').toStdString();
    gpal.SetSwitch(nullptr);
}

} // namespace
