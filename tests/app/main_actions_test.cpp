// The window's own actions: their order (the load order), their storage, and
// what the command line and the preferences do with them.

#include "app/main_actions.h"
#include "framework/actions/switch.h"
#include "framework/managers/shortcuts.h"
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

// One row of the window's action table, as the user and the preferences
// meet it, the rows in the load order: class, script name, command-line switch, shortcut, default,
// storage, category and caption ("true caption / false caption" for a check
// action whose two differ).
struct TActionRow
{
    const char* id;
    const char* className;
    const char* scriptName;
    const char* switchName;
    const char* shortCut;
    const char* defaultValue; // null: a short text of the program's choosing
    const char* storage;
    const char* category;
    const char* caption;
};

// The action's default, or the value it holds now, as text.
QString ValueText(TCustomAbstractAction* action, bool defaultValue)
{
    const auto pick = [defaultValue](auto* typed) { return defaultValue ? typed->DefaultValue() : typed->Value(); };
    const auto truth = [](bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); };
    if (auto* check = qobject_cast<TCheckAction*>(action))
        return truth(defaultValue ? check->DefaultValue() : check->Checked());
    if (auto* boolean = qobject_cast<TBooleanAction*>(action))
        return truth(pick(boolean));
    if (auto* integer = qobject_cast<TIntegerAction*>(action))
        return QString::number(pick(integer));
    if (auto* real = qobject_cast<TDoubleAction*>(action))
        return QString::number(pick(real));
    if (auto* colour = qobject_cast<TColorAction*>(action))
        return QString::number(pick(colour));
    if (auto* text = qobject_cast<TWidestringAction*>(action))
        return pick(text);
    return QString();
}

QString CaptionText(TCustomAbstractAction* action)
{
    if (auto* check = qobject_cast<TCheckAction*>(action)) {
        if (check->TrueCaption() == check->FalseCaption())
            return check->TrueCaption();
        return check->TrueCaption() + QStringLiteral(" / ") + check->FalseCaption();
    }
    return action->Caption();
}

TEST_F(MainActionsTest, TheSeventyOneActionsLoadInTheirOrderAsTheTableGivesThem)
{
    const TActionRow rows[] = {
        {"caDecalageAvance", "TCheckAction", "DecalageAvance", "da", "", "False", "", "cat_Incruster", "Advanced"},
        {"daDecalageHoraire", "TDoubleAction", "DecalageHoraire", "dh", "", "0", "", "cat_Incruster",
         "DecalageHoraire"},
        {"iaLeftFrame", "TIntegerAction", "LeftFrame", "lf", "", "0", "no load-apply", "cat_Morvek", "LeftFrame"},
        {"baConfirmerImage", "TBooleanAction", "ConfirmerImage", "ci", "", "True", "", "cat_Morvek", "ConfirmerImage"},
        {"caIntervalloShow", "TCheckAction", "IntervalloShow", "si", "Alt+J", "False", "no load-apply, not stored",
         "cat_Intervallo", "Hide the intervalometer / Display the intervalometer"},
        {"baImageDeinterlacer", "TBooleanAction", "ImageDeinterlacer", "di", "", "False", "", "cat_Morvek",
         "Deinterlace"},
        {"baSauverQuandClic", "TBooleanAction", "SauverQuandClic", "sq", "", "True", "", "cat_Morvek",
         "SauverQuandClic"},
        {"iaDigits", "TIntegerAction", "Digits", "dig", "", "3", "", "cat_ImageName", "Digits"},
        {"iaImageExtension", "TIntegerAction", "ImageExtension", "iex", "", "0", "", "cat_ImageName", "ImageExtension"},
        {"iaJpegCompressionQuality", "TIntegerAction", "JpegCompressionQuality", "qual", "", "50", "", "cat_ImageName",
         "JpegCompressionQuality"},
        {"iaImageAjouter", "TIntegerAction", "ImageAjouter", "addi", "", "0", "", "cat_ImageName", "ImageAjouter"},
        {"iaPanneauActif", "TIntegerAction", "PanneauActif", "ap", "", "0", "", "cat_UI", "PanneauActif"},
        {"iaIntervalloDelai", "TIntegerAction", "IntervalloDelai", "idelai", "", "0", "", "cat_Intervallo",
         "IntervalloDelai"},
        {"iaIntervalloUnit", "TIntegerAction", "IntervalloUnit", "iunit", "", "0", "", "cat_Intervallo",
         "IntervalloUnit"},
        {"iaForcerAspectRatio", "TIntegerAction", "ForcerAspectRatio", "far", "", "0", "", "cat_Aspect",
         "ForcerAspectRatio"},
        {"waDossierSave", "TWidestringAction", "DossierSave", "savfold", "", "", "", "cat_Morvek", "FolderSave"},
        {"iaNomFichierImage", "TIntegerAction", "NomFichierImage", "fname", "", "0", "", "cat_ImageName",
         "NomFichierImage"},
        {"baLimiterLongueur", "TBooleanAction", "LimiterLongueur", "limit", "", "False", "", "cat_ImageName",
         "LimiterLongueur"},
        {"iaRacineLength", "TIntegerAction", "RacineLength", "rootlen", "", "8", "", "cat_ImageName", "RacineLength"},
        {"waDefaultRacine", "TWidestringAction", "DefaultRacine", "root", "", "Kestrova", "", "cat_ImageName",
         "DefaultRacine"},
        {"naShowSaveImages", "TNopeAction", "ShowSaveImages", "shSav", "F3", "", "no load-apply", "cat_UI",
         "Settings of the Image"},
        {"naShowImagette", "TNopeAction", "ShowImagette", "shExtr", "F2", "", "no load-apply", "cat_UI", "Thumbnail"},
        {"naShowIncrust", "TNopeAction", "ShowIncrust", "ShIn", "F6", "", "no load-apply", "cat_UI",
         "Settings of Inlay"},
        {"naGrab", "TNopeAction", "Grab", "g", "F5", "", "no load-apply", "cat_Actions", "Grab"},
        {"iaNextNum", "TIntegerAction", "NextNum", "n", "", "1", "", "cat_ImageName", "NextNum"},
        {"naJpegExtension", "TNopeAction", "JpegExtension", "ej", "", "", "no load-apply", "cat_ImageName",
         "Extension Jpeg"},
        {"naBmpExtension", "TNopeAction", "BmpExtension", "eb", "", "", "no load-apply", "cat_ImageName",
         "Extension Bmp"},
        {"naAjouterTimeStamp", "TNopeAction", "AjouterTimeStamp", "as", "", "", "no load-apply", "cat_ImageName",
         "AddTimeStamp"},
        {"naAjouterNumero", "TNopeAction", "AjouterNumero", "an", "", "", "no load-apply", "cat_ImageName",
         "Add Number"},
        {"naCopy", "TNopeAction", "Copy", "c", "Ctrl+C", "", "no load-apply", "cat_Actions", "Copy"},
        {"naInsertTimestamp", "TNopeAction", "InsertTimestamp", "is", "Ctrl+S", "", "no load-apply", "cat_Insert",
         "Timestamp"},
        {"naInsertTimecode", "TNopeAction", "InsertTimecode", "it", "Ctrl+T", "", "no load-apply", "cat_Insert",
         "Timecode"},
        {"naInsertPerso", "TNopeAction", "InsertPerso", "ip", "Ctrl+P", "", "no load-apply", "cat_Insert",
         "Personalized"},
        {"naInsertNumero", "TNopeAction", "InsertNumero", "in", "Ctrl+N", "", "no load-apply", "cat_Insert", "Number"},
        {"naInsertDatecode", "TNopeAction", "InsertDatecode", "id", "Ctrl+D", "", "no load-apply", "cat_Insert",
         "Datecode"},
        {"naInsertSysdateTime", "TNopeAction", "InsertSysdateTime", "ir", "Ctrl+R", "", "no load-apply", "cat_Insert",
         "Real date and time"},
        {"baRAZWhenOpenFile", "TBooleanAction", "RAZWhenOpenFile", "raz", "", "True", "", "cat_Morvek",
         "RAZWhenOpenFile"},
        {"waInsertPerso1", "TWidestringAction", "InsertPerso1", "p1", "", "Kestrova", "", "cat_Incruster",
         "InsertPerso1"},
        {"waInsertPerso2", "TWidestringAction", "InsertPerso2", "p2", "", nullptr, "", "cat_Incruster", "InsertPerso2"},
        {"waFormatDatecode1", "TWidestringAction", "FormatDatecode1", "fd1", "", "ddddd", "", "cat_Incruster",
         "FormatDatecode1"},
        {"waFormatDatecode2", "TWidestringAction", "FormatDatecode2", "fd2", "", "tt", "", "cat_Incruster",
         "FormatDatecode2"},
        {"caSliders", "TCheckAction", "Sliders", "isl", "Ctrl+L", "False", "", "cat_Incruster",
         "Hide sliders / Display Sliders"},
        {"naSoustitres", "TNopeAction", "Soustitres", "sub", "", "", "no load-apply", "cat_Morvek", "Subtitles"},
        {"waIncrustPattern1", "TWidestringAction", "IncrustPattern1", "ipat1", "", "No inlay has been defined.", "",
         "cat_Incruster", "IncrustPattern1"},
        {"waIncrustPattern2", "TWidestringAction", "IncrustPattern2", "ipat2", "", " \"%F\"", "", "cat_Incruster",
         "IncrustPattern2"},
        {"naShowDVIncrust", "TNopeAction", "ShowDVIncrust", "shDV", "F4", "", "no load-apply", "cat_UI", "DV Settings"},
        {"baInsertAutoSize", "TBooleanAction", "InsertAutoSize", "auto", "Ctrl+\\", "True", "", "cat_Incruster",
         "InsertAutoSize"},
        {"naForcerNormal", "TNopeAction", "ForcerNormal", "arN", "Alt+F5", "", "no load-apply", "cat_Aspect",
         "ForcerNormal"},
        {"naForcer4x3", "TNopeAction", "Forcer4x3", "ar43", "Alt+F6", "", "no load-apply", "cat_Aspect", "Force4x3"},
        {"naForcer16x9", "TNopeAction", "Forcer16x9", "ar169", "Alt+F7", "", "no load-apply", "cat_Aspect",
         "Force16x9"},
        {"naForcerNative", "TNopeAction", "ForcerNative", "arNat", "Alt+F8", "", "no load-apply", "cat_Aspect",
         "ForceNative"},
        {"caVideoLeft", "TCheckAction", "VideoLeft", "bw", "Alt+W", "False", "", "cat_Morvek",
         "Put the Video to the Right / Put the Video to the Left"},
        {"naAbort", "TNopeAction", "Abort", "a", "Esc", "", "no load-apply", "cat_Morvek", "Abort"},
        {"waPrivateFolder", "TWidestringAction", "waLAVFolder", "privf", "", "", "", "cat_Morvek", "PrivateFolder"},
        {"waInsertFontName", "TWidestringAction", "InsertFontName", "ifname", "", "", "no load-apply", "cat_Incruster",
         "InsertFontName"},
        {"baUsePrivateFilters", "TBooleanAction", "UsePrivateFilters", "priv", "", "True", "", "cat_Morvek",
         "UsePrivateFilters"},
        {"laInsertFontColor", "TColorAction", "InsertFontColor", "ifCol", "", "0", "no load-apply", "cat_Incruster",
         "InsertFontColor"},
        {"iaInsertFontSize", "TIntegerAction", "InsertFontSize", "ifSize", "", "0", "", "cat_Incruster",
         "InsertFontSize"},
        {"naIntervalloStart", "TNopeAction", "IntervalloStart", "inter", "Ctrl+J", "", "no load-apply, not stored",
         "cat_Intervallo", "IntervalloStart"},
        {"naIntervalloBreak", "TNopeAction", "IntervalloBreak", "br", "Shift+Ctrl+J", "", "no load-apply, not stored",
         "cat_Intervallo", "IntervalloBreak"},
        {"naExecuteScript", "TNopeAction", "ExecuteScript", "exec", "Ctrl+F12", "", "no load-apply", "cat_Morvek",
         "ExecuteScript"},
        {"caConserverScript", "TCheckAction", "ConserverScript", "", "", "True", "", "cat_Scripts", ""},
        {"waDossierScripts", "TWidestringAction", "DossierScripts", "", "", "", "", "cat_Scripts", "DossierScripts"},
        {"caIncrustBold", "TCheckAction", "IncrustBold", "", "", "False", "", "cat_Incruster", ""},
        {"caIncrustItalic", "TCheckAction", "IncrustItalic", "", "", "False", "no load-apply", "cat_Incruster", ""},
        {"caIncrustUnderline", "TCheckAction", "IncrustUnderline", "", "", "False", "no load-apply", "cat_Incruster",
         ""},
        {"caIncrustStrikeOut", "TCheckAction", "IncrustStrikeOut", "", "", "False", "no load-apply", "cat_Incruster",
         ""},
        {"iaInsertMode", "TIntegerAction", "InsertMode", "", "", "0", "", "cat_Insert", "InsertMode"},
        {"iaMaxSynchro", "TIntegerAction", "MaxSynchro", "", "", "80", "", "cat_Incruster", "MaxSynchro"},
        {"waImageParentFolder", "TWidestringAction", "ImageParentFolder", "", "", "", "no load-apply, not stored",
         "cat_Morvek", "ImageParentFolder"},
        {"caSrtSubTitle", "TCheckAction", "SrtSubtitle", "", "", "True", "", "Morvek", "Subtitles from Srt file"},
    };
    // The keys the window's actions keep once the program's shared keys are
    // given out.
    ApplySharedShortcuts(gpal);
    const QList<TCustomAbstractAction*> actions = gpal.AbstractActions();
    ASSERT_EQ(actions.size(), int(std::size(rows)));
    for (int i = 0; i < actions.size(); ++i) {
        const TActionRow& row = rows[i];
        TCustomAbstractAction* action = actions[i];
        SCOPED_TRACE(row.id);
        EXPECT_EQ(action->InternalId, QString::fromLatin1(row.id));
        EXPECT_EQ(action->Name(), action->InternalId);
        EXPECT_STREQ(action->metaObject()->className(), row.className);
        EXPECT_EQ(action->ScriptName, QString::fromLatin1(row.scriptName));
        EXPECT_EQ(action->Switch, QString::fromLatin1(row.switchName));
        EXPECT_EQ(action->ShortCut(), QKeySequence::fromString(QString::fromLatin1(row.shortCut)))
            << action->ShortCut().toString().toStdString();
        EXPECT_TRUE(action->SecondaryShortcuts().isEmpty());
        // A null default is a short text of the program's own choosing.
        const QString defaultValue = row.defaultValue ? QString::fromUtf8(row.defaultValue) : kDefaultInsertPerso2;
        EXPECT_FALSE(row.defaultValue == nullptr && defaultValue.isEmpty());
        EXPECT_EQ(ValueText(action, true), defaultValue);
        EXPECT_EQ(ValueText(action, false), defaultValue) << "the value starts at the default";
        const QString storage = QString::fromLatin1(row.storage);
        EXPECT_EQ(action->ApplyWhenLoad, storage.isEmpty());
        EXPECT_EQ(action->IncludePrefs, !storage.contains(QStringLiteral("not stored")));
        EXPECT_EQ(action->Category(), QString::fromLatin1(row.category));
        EXPECT_EQ(CaptionText(action), QString::fromUtf8(row.caption));
    }
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

// What the table leaves out: the captions a check action starts with, and
// the declarations and comments of the script routines.
TEST_F(MainActionsTest, StartingCaptionsDeclarationsAndComments)
{
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
