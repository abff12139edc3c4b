#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"
#include "framework/preferences/ini_preferences.h"
#include "prefs_test_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QWidget>

namespace {

const QString AppKey = QStringLiteral("Software\\Morvek\\Kestrova");
const QString MakerKey = QStringLiteral("Software\\Morvek");

TFont SampleFont()
{
    TFont font;
    font.Name = QStringLiteral("Liberation Serif");
    font.Size = 14;
    font.Color = 0x00336699;
    font.Style = {fsItalic, fsStrikeOut};
    font.Charset = SYMBOL_CHARSET;
    font.Pitch = fpFixed;
    return font;
}

// The same rules hold in the registry and in the ini file.
class EveryStore : public PrefsTest, public testing::WithParamInterface<TSavePreferences>
{
protected:
    void SetUp() override
    {
        PrefsTest::SetUp();
        gp = MakePrefs();
        gp->SetMode(GetParam());
        ASSERT_TRUE(gp->OpenKey(QStringLiteral("MainForm")));
    }
    std::unique_ptr<TMorvekPreferences> gp;
};

TEST_P(EveryStore, APointNeedsBothHalves)
{
    const TPoint fallback{-1, -1};
    ASSERT_TRUE(gp->WriteInteger(QStringLiteral("paPos.X"), 5));
    EXPECT_EQ(gp->ReadPoint(QStringLiteral("paPos"), fallback), fallback);
    ASSERT_TRUE(gp->WriteInteger(QStringLiteral("paPos.Y"), 6));
    EXPECT_EQ(gp->ReadPoint(QStringLiteral("paPos"), fallback), (TPoint{5, 6}));
    ASSERT_TRUE(gp->Store().DeleteValue(QStringLiteral("paPos.X")));
    EXPECT_EQ(gp->ReadPoint(QStringLiteral("paPos"), fallback), fallback);
}

TEST_P(EveryStore, AFontWithAnyValueMissingReadsAsTheDefault)
{
    const QStringList parts{"Charset", "Color", "Name",   "Pitch",     "PixelsperInch",
                            "Size",    "Bold",  "Italic", "StrikeOut", "Underline"};
    TFont fallback;
    fallback.Name = QStringLiteral("Fallback");
    fallback.Style = {fsBold};
    fallback.PixelsPerInch = 120;
    for (const QString& missing : parts) {
        ASSERT_TRUE(gp->WriteFont(QStringLiteral("faInlay"), SampleFont()));
        ASSERT_TRUE(gp->Store().OpenKey(QStringLiteral("faInlay"), false));
        ASSERT_TRUE(gp->Store().DeleteValue(missing));
        gp->Store().CloseKey();
        EXPECT_EQ(gp->ReadFont(QStringLiteral("faInlay"), fallback), fallback) << missing.toStdString();
    }
    ASSERT_TRUE(gp->WriteFont(QStringLiteral("faInlay"), SampleFont()));
    TFont expected = SampleFont();
    expected.PixelsPerInch = fallback.PixelsPerInch; // the stored density is not applied
    EXPECT_EQ(gp->ReadFont(QStringLiteral("faInlay"), fallback), expected);
    EXPECT_EQ(gp->ReadFont(QStringLiteral("faMissing"), fallback), fallback);

    ASSERT_TRUE(gp->Store().OpenKey(QStringLiteral("faInlay"), false));
    ASSERT_TRUE(gp->Store().WriteInteger(QStringLiteral("Pitch"), 9));
    gp->Store().CloseKey();
    EXPECT_EQ(gp->ReadFont(QStringLiteral("faInlay"), fallback), fallback) << "a pitch out of range";
}

TEST_P(EveryStore, RectanglesLiveInTheirOwnKey)
{
    const TRect fallback{9, 9, 9, 9};
    EXPECT_EQ(gp->ReadRect(QStringLiteral("raWindow"), fallback), fallback);
    ASSERT_TRUE(gp->WriteRect(QStringLiteral("raWindow"), {-10, 20, 300, 400}));
    EXPECT_EQ(gp->ReadRect(QStringLiteral("raWindow"), fallback), (TRect{-10, 20, 300, 400}));
    // The store stands on the form's key again: plain values land there.
    ASSERT_TRUE(gp->WriteInteger(QStringLiteral("iaAfter"), 1));
    QStringList names;
    gp->Store().GetValueNames(names);
    EXPECT_TRUE(names.contains(QStringLiteral("iaAfter")));
    gp->GetKeyNames(names);
    EXPECT_EQ(names, QStringList{"raWindow"});

    ASSERT_TRUE(gp->Store().OpenKey(QStringLiteral("raWindow"), false));
    ASSERT_TRUE(gp->Store().DeleteValue(QStringLiteral("Bottom")));
    gp->Store().CloseKey();
    EXPECT_EQ(gp->ReadRect(QStringLiteral("raWindow"), fallback), fallback);
}

INSTANTIATE_TEST_SUITE_P(Stores, EveryStore, testing::Values(spRegistre, spPortable),
                         [](const auto& info) { return info.param == spRegistre ? "Registry" : "Ini"; });

class Preferences : public PrefsTest
{
protected:
    void MakeIni() { WriteBytes(IniPath(), Fixture("legacy.ini")); }
    void MakeKey() { ASSERT_TRUE(registry.writeString(AppKey, QStringLiteral("Version"), QStringLiteral("old"))); }
};

TEST_F(Preferences, NothingIsKeptWithoutAStore)
{
    auto gp = MakePrefs();
    EXPECT_EQ(gp->Mode(), spNone);
    EXPECT_FALSE(gp->OpenKey(QStringLiteral("MainForm")));
    EXPECT_FALSE(gp->WriteInteger(QStringLiteral("iaCount"), 3));
    EXPECT_FALSE(gp->WriteFont(QStringLiteral("faFont"), SampleFont()));
    EXPECT_EQ(gp->ReadInteger(QStringLiteral("iaCount"), 7), 7);
    EXPECT_EQ(gp->ReadString(QStringLiteral("waText"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(gp->ReadFont(QStringLiteral("faFont"), SampleFont()), SampleFont());
    EXPECT_FALSE(QFile::exists(IniPath()));
    EXPECT_FALSE(QFile::exists(RegistryPath()));
}

TEST_F(Preferences, DetectsTheIniFileFirstThenTheRegistryKey)
{
    auto gp = MakePrefs();
    EXPECT_EQ(gp->DetectMode(), spNone);
    MakeKey();
    EXPECT_EQ(gp->DetectMode(), spRegistre);
    MakeIni();
    EXPECT_EQ(gp->DetectMode(), spPortable);

    // The ini file wins and the registry key goes.
    QList<TSavePreferences> changes;
    gp->OnChangeMode = [&](TSavePreferences mode) { changes.append(mode); };
    gp->DoShow();
    EXPECT_EQ(gp->Mode(), spPortable);
    EXPECT_EQ(changes, QList<TSavePreferences>{spPortable});
    EXPECT_FALSE(registry.keyExists(AppKey));
    EXPECT_FALSE(registry.keyExists(MakerKey)) << "the maker's key went with its last program";
    EXPECT_TRUE(QFile::exists(IniPath()));

    gp->SetMode(spPortable);
    EXPECT_EQ(changes, QList<TSavePreferences>{spPortable}) << "the mode in force makes no new store";
}

TEST_F(Preferences, ChoosingNoneDeletesBothStores)
{
    MakeIni();
    MakeKey();
    ASSERT_TRUE(registry.writeString(MakerKey + QStringLiteral("\\Other"), QStringLiteral("x"), QStringLiteral("y")));
    auto gp = MakePrefs();
    gp->SetMode(spPortable);
    gp->SetMode(spNone);
    EXPECT_FALSE(QFile::exists(IniPath()));
    EXPECT_FALSE(registry.keyExists(AppKey));
    EXPECT_TRUE(registry.keyExists(MakerKey + QStringLiteral("\\Other"))) << "another program of the maker stays";
    EXPECT_EQ(gp->DetectMode(), spNone) << "the next start is a first run again";

    // From the registry alone too.
    MakeKey();
    gp->DoShow();
    ASSERT_EQ(gp->Mode(), spRegistre);
    gp->SetMode(spNone);
    EXPECT_FALSE(registry.keyExists(AppKey));
    EXPECT_EQ(gp->DetectMode(), spNone);
}

TEST_F(Preferences, ChoosingPortableAloneMakesTheNextStartPortable)
{
    MakePrefs()->SetMode(spPortable); // and nothing else before the program ends
    EXPECT_EQ(ReadBytes(IniPath()), TIniPreferencesMan::EncodeLines({"[]"}));
    EXPECT_EQ(MakePrefs()->DetectMode(), spPortable);
}

TEST_F(Preferences, TheOldStoreGoesOnlyOnceTheNewOneIsWritten)
{
    MakeIni();
    auto gp = MakePrefs();
    gp->DoShow();
    ASSERT_EQ(gp->Mode(), spPortable);
    gp->SetMode(spRegistre);
    EXPECT_TRUE(QFile::exists(IniPath())) << "nothing is in the registry yet";
    EXPECT_FALSE(registry.keyExists(AppKey));

    gp->OnSavePrefs = [](TMorvekPreferences& p) { p.WriteInteger(QStringLiteral("iaCount"), 5); };
    ASSERT_TRUE(gp->SavePrefs());
    EXPECT_EQ(RegistryStore(RegistryPath()).readDword(AppKey, QStringLiteral("iaCount")), 5u);
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(Preferences, AFolderThatCannotBeWrittenIsReportedAndLosesNothing)
{
    MakeKey();
    WriteBytes(Path("bin"), "a file where the program folder should be");
    auto gp = MakePrefs();
    gp->SetProgramFolder(Path("bin"));
    gp->DoShow();
    ASSERT_EQ(gp->Mode(), spRegistre);
    gp->SetMode(spPortable);
    EXPECT_FALSE(gp->SavePrefs());
    ASSERT_EQ(dialog->errors.size(), 1);
    EXPECT_TRUE(dialog->errors[0].contains(gp->IniFileName())) << dialog->errors[0].toStdString();
    EXPECT_EQ(RegistryStore(RegistryPath()).readString(AppKey, QStringLiteral("Version")), QStringLiteral("old"));
}

TEST_F(Preferences, TheHeaderComesBeforeTheLists)
{
    auto gp = MakePrefs();
    gp->SetMode(spRegistre);
    QString versionSeenBySave;
    gp->OnSavePrefs = [&](TMorvekPreferences& p) { versionSeenBySave = p.ReadString(QStringLiteral("Version"), {}); };
    ASSERT_TRUE(gp->SavePrefs());
    EXPECT_EQ(versionSeenBySave, QStringLiteral("Kestrova 1.2.3 (English)"));

    RegistryStore saved(RegistryPath());
    EXPECT_EQ(saved.valueNames(AppKey), (QStringList{"Version", "Last saving", "ExeName"}));
    EXPECT_EQ(saved.value(AppKey, QStringLiteral("ExeName"))->type, REG_SZ);
    EXPECT_EQ(saved.readString(AppKey, QStringLiteral("ExeName")), QCoreApplication::applicationFilePath());
    const QString when = *saved.readString(AppKey, QStringLiteral("Last saving"));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$")).match(when).hasMatch())
        << when.toStdString();
    const QDateTime parsed = QDateTime::fromString(when, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    EXPECT_LE(std::abs(parsed.secsTo(QDateTime::currentDateTime())), 60);
}

TEST_F(Preferences, TheDialogCaptionFollowsTheTitle)
{
    auto gp = MakePrefs();
    EXPECT_EQ(dialog->Caption(), QStringLiteral("Saving the preferences of Kestrova"));
    gp->SetTitre(QStringLiteral("Other"));
    EXPECT_EQ(dialog->Caption(), QStringLiteral("Saving the preferences of Other"));
    EXPECT_EQ(gp->IniFileName(), dir.path() + QStringLiteral("/Other.ini"));
}

// A main window as the program builds it: three lists loaded at show and
// saved at close, in opposite orders.
class Hooks : public PrefsTest
{
protected:
    struct Form
    {
        explicit Form(Hooks& test) : gp(test.MakePrefs(&window))
        {
            for (const char* name : {"AppliMan", "MainForm", "FichierMan"}) {
                auto* list = new TKvActionList(&window);
                list->setObjectName(QLatin1String(name));
                list->OnLoadFromPrefs = [this, list](TActionPreferences&) {
                    events.append("load " + list->objectName());
                    return true;
                };
                list->OnSaveToPrefs = [this, list](TActionPreferences&) {
                    events.append("save " + list->objectName());
                    return true;
                };
                lists.append(list);
            }
            count = TCustomAbstractAction::CreateNamed<TIntegerAction>(lists[1], QStringLiteral("iaCount"));
            count->ScriptName = QStringLiteral("Count");
            count->SetDefaultValue(3);
            placement = TCustomAbstractAction::CreateNamed<TRectAction>(lists[1], QStringLiteral("raPlacement"));
            placement->ScriptName = QStringLiteral("Placement");

            gp->FormShow = [this] { events.append(QStringLiteral("show in mode %1").arg(gp->Mode())); };
            gp->FormCloseQuery = [this] {
                events.append(QStringLiteral("may close"));
                return mayClose;
            };
            gp->FormClose = [this] { events.append(QStringLiteral("tear down")); };
            gp->OnLoadPrefs = [this](TMorvekPreferences& p) {
                for (TKvActionList* list : lists)
                    p.LoadList(list->objectName(), *list);
            };
            gp->OnSavePrefs = [this](TMorvekPreferences& p) {
                for (auto it = lists.rbegin(); it != lists.rend(); ++it)
                    p.SaveList((*it)->objectName(), **it);
            };
        }

        QWidget window;
        std::unique_ptr<TMorvekPreferences> gp;
        QList<TKvActionList*> lists;
        TIntegerAction* count;
        TRectAction* placement;
        QStringList events;
        bool mayClose = true;
    };
};

TEST_F(Hooks, AFirstRunLoadsDefaultsAndSavesWhereTheUserSays)
{
    {
        Form form(*this);
        form.window.show();
        EXPECT_EQ(form.events, (QStringList{"show in mode 2", "load AppliMan", "load MainForm", "load FichierMan"}));
        EXPECT_EQ(form.count->Value(), 3);

        form.count->SetValue(42);
        form.placement->SetValue({1, 2, 3, 4});
        form.events.clear();
        dialog->answers = {spPortable};
        EXPECT_TRUE(form.window.close());
        EXPECT_EQ(dialog->asked, 1);
        EXPECT_EQ(form.events,
                  (QStringList{"may close", "tear down", "save FichierMan", "save MainForm", "save AppliMan"}));
        EXPECT_FALSE(form.window.isVisible());
        EXPECT_FALSE(form.gp->Hooked());
    }

    Form next(*this);
    next.window.show();
    EXPECT_EQ(next.gp->Mode(), spPortable);
    EXPECT_EQ(next.count->Value(), 42);
    EXPECT_EQ(next.placement->Value(), (TRect{1, 2, 3, 4}));
    next.events.clear();
    EXPECT_TRUE(next.window.close());
    EXPECT_EQ(dialog->asked, 0) << "a store exists: nothing to ask";
    EXPECT_EQ(next.events.size(), 5);
}

// The whole file of a first portable save: the header in the root section,
// then the lists in reverse order, each value in its own section.
TEST_F(Hooks, AFirstPortableSaveWritesTheWholeFile)
{
    Form form(*this);
    form.window.show();
    form.count->SetValue(42);
    form.placement->SetValue({1, 2, 3, 4});
    dialog->answers = {spPortable};
    ASSERT_TRUE(form.window.close());

    QStringList lines = TIniPreferencesMan::DecodeLines(ReadBytes(IniPath()));
    ASSERT_EQ(lines.size(), 17) << lines.join(u'|').toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Last saving=\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(lines[2])
                    .hasMatch())
        << lines[2].toStdString();
    lines[2] = QStringLiteral("Last saving=");
    EXPECT_EQ(lines, (QStringList{"[]", "Version=Kestrova 1.2.3 (English)",
                                  "Last saving=", "ExeName=" + QCoreApplication::applicationFilePath(), "",
                                  "[FichierMan]", "", "[MainForm]", "Count=42", "", "[MainForm\\Placement]", "Left=1",
                                  "Top=2", "Right=3", "Bottom=4", "", "[AppliMan]"}));
    EXPECT_TRUE(ReadBytes(IniPath()).startsWith(QByteArray("\xFF\xFE[\0]\0\r\0\n\0", 10)));
}

TEST_F(Hooks, ACancelledQuestionLeavesTheWindowOpenAndUntouched)
{
    Form form(*this);
    form.window.show();
    form.events.clear();
    EXPECT_FALSE(form.window.close());
    EXPECT_EQ(form.events, QStringList{"may close"});
    EXPECT_TRUE(form.window.isVisible());
    EXPECT_TRUE(form.gp->Hooked());
    EXPECT_EQ(form.gp->Mode(), spNone);
    EXPECT_FALSE(QFile::exists(IniPath()));
    EXPECT_FALSE(QFile::exists(RegistryPath()));

    // The next close asks again.
    dialog->answers = {spRegistre};
    EXPECT_TRUE(form.window.close());
    EXPECT_EQ(dialog->asked, 2);
    EXPECT_EQ(RegistryStore(RegistryPath()).readDword(AppKey + QStringLiteral("\\MainForm"), QStringLiteral("Count")),
              3u);
}

TEST_F(Hooks, AnOwnerThatRefusesIsAskedFirst)
{
    Form form(*this);
    form.window.show();
    form.events.clear();
    form.mayClose = false;
    EXPECT_FALSE(form.window.close());
    EXPECT_EQ(form.events, QStringList{"may close"});
    EXPECT_EQ(dialog->asked, 0);
    EXPECT_TRUE(form.gp->Hooked());
    EXPECT_TRUE(form.window.isVisible());
}

TEST_F(Hooks, ChoosingNoneClosesWithoutSaving)
{
    Form form(*this);
    form.window.show();
    form.events.clear();
    dialog->answers = {spNone};
    EXPECT_TRUE(form.window.close());
    EXPECT_EQ(form.events, (QStringList{"may close", "tear down"}));
    EXPECT_FALSE(QFile::exists(IniPath()));
    EXPECT_FALSE(registry.keyExists(AppKey));
}

} // namespace

namespace {

// A registry file that cannot be read is told as the program starts on its
// defaults, once; the file is kept aside where the user can find it.
TEST_F(PrefsTest, AnUnreadableRegistryIsToldWhenTheProgramStarts)
{
    const QString file = Path(QStringLiteral("damaged.reg"));
    {
        QFile damage(file);
        ASSERT_TRUE(damage.open(QIODevice::WriteOnly));
        damage.write("this is no registry [[[");
    }
    RegistryStore damaged(file);
    TMorvekPreferences gp(nullptr, &damaged);
    gp.SetProgramFolder(dir.path());
    gp.SetTitre(QStringLiteral("Kestrova"));
    auto fake = std::make_unique<FakeSaveDialog>();
    FakeSaveDialog* told = fake.get();
    gp.SetSaveDialog(std::move(fake));
    gp.DoShow();
    EXPECT_EQ(gp.Mode(), spNone);
    ASSERT_EQ(told->errors.size(), 1);
    EXPECT_TRUE(told->errors[0].contains(file)) << told->errors[0].toStdString();
    gp.DoShow();
    EXPECT_EQ(told->errors.size(), 1) << "told twice";
}

} // namespace
