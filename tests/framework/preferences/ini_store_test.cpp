#include "framework/preferences/ini_preferences.h"
#include "prefs_test_support.h"

#include <QDir>
#include <QFileInfo>

#include <functional>

#include <sys/stat.h>

namespace {

// A file rewritten through a temporary file is a new inode.
ino_t Inode(const QString& path)
{
    struct stat info
    {
    };
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

class IniStore : public PrefsTest
{
};

TEST_F(IniStore, EveryValueTypeIsWrittenByteExact)
{
    auto gp = MakePrefs();
    gp->SetMode(spPortable);
    ASSERT_TRUE(gp->OpenKey(QStringLiteral("MainForm")));
    EXPECT_TRUE(gp->WriteString(QStringLiteral("waFolder"), QStringLiteral("/home/Zoé/Pictures")));
    EXPECT_TRUE(gp->WriteString(QStringLiteral("waTitle"), QStringLiteral("Clip \U0001F3AC")));
    EXPECT_TRUE(gp->WriteString(QStringLiteral("waEmpty"), QString()));
    EXPECT_TRUE(gp->WriteInteger(QStringLiteral("iaCount"), -42));
    EXPECT_TRUE(gp->WriteInteger(QStringLiteral("iaColor"), 0x00FF8000));
    EXPECT_TRUE(gp->WriteBool(QStringLiteral("baOn"), true));
    EXPECT_TRUE(gp->WriteBool(QStringLiteral("baOff"), false));
    EXPECT_TRUE(gp->WriteFloat(QStringLiteral("daRatio"), 1.5));
    EXPECT_TRUE(gp->WriteFloat(QStringLiteral("daTiny"), 1e-7));
    EXPECT_TRUE(gp->WriteFloat(QStringLiteral("daBig"), 2.5e20));
    EXPECT_TRUE(gp->WriteRect(QStringLiteral("raWindow"), {1, 2, 3, 4}));
    // Back in the form's section, which a sub-section now follows.
    EXPECT_TRUE(gp->WritePoint(QStringLiteral("paPos"), {10, -20}));
    TFont font;
    font.Name = QStringLiteral("Liberation Sans");
    font.Size = 12;
    font.Color = 255;
    font.Style = {fsBold, fsUnderline};
    font.Charset = ANSI_CHARSET;
    font.Pitch = fpVariable;
    EXPECT_TRUE(gp->WriteFont(QStringLiteral("faInlay"), font));
    gp->CloseKey();

    QString error;
    ASSERT_TRUE(gp->Store().EndUpdate(error)) << error.toStdString();
    EXPECT_EQ(ReadBytes(IniPath()), Fixture("all_types.ini"));

    // And everything reads back through a fresh store.
    gp->SetMode(spNone);
    WriteBytes(IniPath(), Fixture("all_types.ini"));
    gp->SetMode(spPortable);
    ASSERT_TRUE(gp->OpenKey(QStringLiteral("mainform")));
    EXPECT_EQ(gp->ReadString(QStringLiteral("WAFOLDER"), {}), QStringLiteral("/home/Zoé/Pictures"));
    EXPECT_EQ(gp->ReadString(QStringLiteral("waTitle"), {}), QStringLiteral("Clip \U0001F3AC"));
    EXPECT_EQ(gp->ReadString(QStringLiteral("waEmpty"), QStringLiteral("default")), QString());
    EXPECT_EQ(gp->ReadInteger(QStringLiteral("iaCount"), 0), -42);
    EXPECT_EQ(gp->ReadInteger(QStringLiteral("iaColor"), 0), 0x00FF8000);
    EXPECT_TRUE(gp->ReadBool(QStringLiteral("baOn"), false));
    EXPECT_FALSE(gp->ReadBool(QStringLiteral("baOff"), true));
    EXPECT_EQ(gp->ReadFloat(QStringLiteral("daRatio"), 0), 1.5);
    EXPECT_EQ(gp->ReadFloat(QStringLiteral("daTiny"), 0), 1e-7);
    EXPECT_EQ(gp->ReadFloat(QStringLiteral("daBig"), 0), 2.5e20);
    EXPECT_EQ(gp->ReadPoint(QStringLiteral("paPos"), {}), (TPoint{10, -20}));
    EXPECT_EQ(gp->ReadRect(QStringLiteral("raWindow"), {}), (TRect{1, 2, 3, 4}));
    EXPECT_EQ(gp->ReadFont(QStringLiteral("faInlay"), TFont{}), font);
}

TEST_F(IniStore, EditsAnExistingFileInPlace)
{
    // No root section, a value to replace whatever its case, one to add
    // before the next section, one to delete.
    TIniPreferencesMan ini(IniPath(), Fixture("legacy.ini"));
    ASSERT_TRUE(ini.OpenKey(QStringLiteral("mainform"), true));
    EXPECT_TRUE(ini.WriteInteger(QStringLiteral("IACOUNT"), 8));
    EXPECT_TRUE(ini.WriteBool(QStringLiteral("baNew"), true));
    ASSERT_TRUE(ini.CloseKey());
    ASSERT_TRUE(ini.OpenKey(QStringLiteral("Other"), false));
    EXPECT_TRUE(ini.DeleteValue(QStringLiteral("X")));
    EXPECT_FALSE(ini.DeleteValue(QStringLiteral("X")));
    ASSERT_TRUE(ini.CloseKey());
    EXPECT_TRUE(ini.WriteString(QStringLiteral("Version"), QStringLiteral("1.0")));

    QString error;
    ASSERT_TRUE(ini.EndUpdate(error)) << error.toStdString();
    EXPECT_EQ(ReadBytes(IniPath()), Fixture("legacy_saved.ini"));
}

TEST_F(IniStore, ReadsHandEditedText)
{
    // UTF-8 without a byte-order mark, mixed line ends, odd values.
    TIniPreferencesMan ini(QString(), QByteArray("[]\n[Form]\r\n"
                                                 "[not a header\n"
                                                 "b1=True\rb2=true\n"
                                                 "i1=12abc\n"
                                                 "f1=2,5\nf2=x\n"
                                                 "s1=a=b\n"
                                                 "no equals sign\n"));
    ASSERT_TRUE(ini.OpenKey(QStringLiteral("Form"), false));
    bool flag = false;
    EXPECT_TRUE(ini.ReadBool(QStringLiteral("b1"), flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(ini.ReadBool(QStringLiteral("b2"), flag)) << "a Boolean reads only as True or False, as written";
    int number = -1;
    EXPECT_TRUE(ini.ReadInteger(QStringLiteral("i1"), number));
    EXPECT_EQ(number, 0);
    double real = 0;
    EXPECT_TRUE(ini.ReadFloat(QStringLiteral("f1"), real));
    EXPECT_EQ(real, 2.5) << "a file from a machine with the other decimal separator";
    EXPECT_TRUE(ini.ReadFloat(QStringLiteral("f2"), real));
    EXPECT_EQ(real, 0);
    QString text;
    EXPECT_TRUE(ini.ReadString(QStringLiteral("s1"), text));
    EXPECT_EQ(text, QStringLiteral("a=b"));
    QStringList names;
    ini.GetValueNames(names);
    EXPECT_EQ(names, (QStringList{"b1", "b2", "i1", "f1", "f2", "s1"}));
}

TEST_F(IniStore, AValueBelongsToItsSectionAlone)
{
    TIniPreferencesMan ini(QString(), QByteArray("[]\n[A]\nkeep=1\n[A\\Sub]\nx=2\n[B]\nx=3\n"));
    ASSERT_TRUE(ini.OpenKey(QStringLiteral("A"), false));
    QString text;
    EXPECT_FALSE(ini.ReadString(QStringLiteral("x"), text)) << "x lives in later sections only";
    EXPECT_FALSE(ini.DeleteValue(QStringLiteral("x")));
    EXPECT_TRUE(ini.WriteInteger(QStringLiteral("x"), 1));
    ASSERT_TRUE(ini.OpenKey(QStringLiteral("Sub"), false));
    EXPECT_TRUE(ini.ReadString(QStringLiteral("x"), text));
    EXPECT_EQ(text, QStringLiteral("2"));
    EXPECT_EQ(ini.Lines(), (QStringList{"[]", "[A]", "keep=1", "x=1", "[A\\Sub]", "x=2", "[B]", "x=3"}));
}

TEST_F(IniStore, OnlyTheByteOrderMarkDecidesTheEncoding)
{
    // FF FE 00 00 would be read as UTF-32 by a guess; here it is a NUL in UTF-16.
    EXPECT_EQ(TIniPreferencesMan::DecodeLines(QByteArray("\xFF\xFE\0\0a\0\r\0\n\0", 10)),
              (QStringList{QString(QChar(0)) + u'a'}));
    EXPECT_EQ(TIniPreferencesMan::DecodeLines(QByteArray("\xFE\xFF\0[\0]", 6)), QStringList{"[]"});
    EXPECT_EQ(TIniPreferencesMan::DecodeLines("\xEF\xBB\xBF[Zo\xC3\xA9]\r\n"), QStringList{"[Zoé]"});
    EXPECT_EQ(TIniPreferencesMan::DecodeLines("\r\n"), QStringList{QString()}) << "one empty line";
    EXPECT_EQ(TIniPreferencesMan::DecodeLines(QByteArray("\xFF\xFE", 2)), QStringList());
    const QStringList nulFirst{QString(QChar(0)), "[]"};
    EXPECT_EQ(TIniPreferencesMan::DecodeLines(TIniPreferencesMan::EncodeLines(nulFirst)), nulFirst);
}

TEST_F(IniStore, ListsSectionsBelowTheCurrentOne)
{
    TIniPreferencesMan ini(QString(), QByteArray("[]\n[Main]\n[Main\\raWin]\n[Main\\faFont\\Deep]\n[Mainly]\n"
                                                 "[Script]\n"));
    QStringList keys;
    ini.GetKeyNames(keys);
    EXPECT_EQ(keys, (QStringList{"Main", "Main\\raWin", "Main\\faFont\\Deep", "Mainly", "Script"}));
    ASSERT_TRUE(ini.OpenKey(QStringLiteral("MAIN"), false));
    ini.GetKeyNames(keys);
    EXPECT_EQ(keys, (QStringList{"raWin", "faFont\\Deep"}));
    EXPECT_TRUE(ini.OpenKey(QStringLiteral("faFont\\Deep"), false));
    EXPECT_TRUE(ini.CloseKey());
    EXPECT_EQ(ini.CurrentPath(), QStringLiteral("MAIN\\faFont"));
    ini.CloseKey();
    ini.GetKeyNames(keys);
    EXPECT_EQ(keys, (QStringList{"raWin", "faFont\\Deep", "faFont"})) << "going up made the parent's section";
}

TEST_F(IniStore, MissingSectionsAreAppendedEvenWhenOnlyRead)
{
    // An existing empty file has no root section yet; a rectangle that is
    // only read gets its section all the same, after those already made.
    WriteBytes(IniPath(), QByteArray());
    {
        auto gp = MakePrefs();
        gp->SetMode(spPortable);
        ASSERT_TRUE(gp->OpenKey(QStringLiteral("MainForm")));
        EXPECT_EQ(gp->ReadRect(QStringLiteral("raWindow"), {1, 2, 3, 4}), (TRect{1, 2, 3, 4}));
        EXPECT_TRUE(gp->WriteInteger(QStringLiteral("iaCount"), 1));
        gp->CloseKey();
        ASSERT_TRUE(gp->OpenKey(QStringLiteral("Other")));
        gp->CloseKey();
    }
    EXPECT_EQ(ReadBytes(IniPath()), TIniPreferencesMan::EncodeLines({"", "[]", "", "[MainForm]", "", "iaCount=1",
                                                                     "[MainForm\\raWindow]", "", "[Other]"}));
    EXPECT_EQ(ReadBytes(IniPath()).left(10), QByteArray("\xFF\xFE\r\0\n\0[\0]\0", 10));
}

TEST_F(IniStore, RefusesTextThatWouldBreakTheFileApart)
{
    TIniPreferencesMan ini(QString(), QByteArray("[]\n[Form]\nkept=1\n"));
    ASSERT_TRUE(ini.OpenKey(QStringLiteral("Form"), false));
    EXPECT_FALSE(ini.WriteString(QStringLiteral("kept"), QStringLiteral("line\r\n[Evil]")));
    EXPECT_FALSE(ini.WriteString(QStringLiteral("a=b"), QStringLiteral("x")));
    EXPECT_FALSE(ini.WriteString(QStringLiteral("[Evil]"), QString()));
    EXPECT_FALSE(ini.OpenKey(QStringLiteral("two\nlines"), true));
    EXPECT_EQ(ini.Lines(), (QStringList{"[]", "[Form]", "kept=1"}));
}

TEST_F(IniStore, ReadingWhatIsThereNeverRewritesTheFile)
{
    WriteBytes(IniPath(), Fixture("all_types.ini"));
    const ino_t before = Inode(IniPath());
    {
        TIniPreferencesMan ini(IniPath());
        QString text;
        ASSERT_TRUE(ini.OpenKey(QStringLiteral("MainForm"), true));
        ini.ReadString(QStringLiteral("waFolder"), text);
        ASSERT_TRUE(ini.OpenKey(QStringLiteral("faInlay"), false));
        EXPECT_TRUE(ini.ReadString(QStringLiteral("Name"), text));
        ASSERT_TRUE(ini.CloseKey());
        EXPECT_TRUE(ini.WriteInteger(QStringLiteral("iaCount"), -42)) << "the same value again";
    }
    EXPECT_EQ(Inode(IniPath()), before);
    EXPECT_EQ(ReadBytes(IniPath()), Fixture("all_types.ini"));
}

TEST_F(IniStore, AFileThatCannotBeWrittenSaysWhy)
{
    // A "folder" that is a file stands for a program folder nobody may write to.
    WriteBytes(Path("bin"), "not a folder");
    const QString fileName = Path("bin") + QStringLiteral("/Kestrova.ini");
    TIniPreferencesMan ini(fileName);
    ASSERT_TRUE(ini.WriteInteger(QStringLiteral("n"), 1));
    QString error;
    EXPECT_FALSE(ini.EndUpdate(error));
    EXPECT_TRUE(error.contains(fileName)) << error.toStdString();
}

// What stands where the settings file should be but is no settings file is
// not read (a device or a pipe would never end, a huge file would fill the
// memory): the program starts with defaults, says why at its save, and
// leaves the thing as it was.
TEST_F(IniStore, WhatIsNoSettingsFileIsRefusedUnreadAndLeftAlone)
{
    struct Case
    {
        const char* what;
        std::function<void(const QString&)> make;
        const char* reason;
    };
    const Case cases[] = {
        {"a link to an endless device", [](const QString& path) { QFile::link("/dev/zero", path); },
         "not a regular file"},
        {"a pipe nobody writes to", [](const QString& path) { mkfifo(QFile::encodeName(path).constData(), 0600); },
         "not a regular file"},
        {"a folder", [](const QString& path) { QDir().mkdir(path); }, "not a regular file"},
        {"a file above 16 MB",
         [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("\xFF\xFE[\0]\0");
             ASSERT_TRUE(file.resize(16 * 1024 * 1024 + 1)); // sparse: no disk taken
         },
         "larger than 16 MB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(IniPath());
        QDir(IniPath()).removeRecursively();
        c.make(IniPath());
        const QFileInfo before(IniPath());
        ASSERT_TRUE(before.exists() || before.isSymLink());

        auto gp = MakePrefs();
        gp->DoShow();
        ASSERT_EQ(gp->Mode(), spPortable);
        ASSERT_EQ(dialog->errors.size(), 1) << "nothing told at the start";
        EXPECT_TRUE(dialog->errors[0].contains(QLatin1String(c.reason))) << dialog->errors[0].toStdString();
        dialog->errors.clear();
        ASSERT_TRUE(gp->OpenKey(QStringLiteral("MainForm")));
        EXPECT_EQ(gp->ReadInteger(QStringLiteral("iaCount"), 7), 7);
        gp->CloseKey();
        gp->OnSavePrefs = [](TMorvekPreferences& p) { p.WriteInteger(QStringLiteral("iaCount"), 5); };
        EXPECT_FALSE(gp->SavePrefs());
        ASSERT_EQ(dialog->errors.size(), 1);
        EXPECT_TRUE(dialog->errors[0].contains(IniPath())) << dialog->errors[0].toStdString();
        EXPECT_TRUE(dialog->errors[0].contains(QLatin1String(c.reason))) << dialog->errors[0].toStdString();
        gp.reset(); // the store's last chance to write

        const QFileInfo after(IniPath());
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        EXPECT_EQ(after.isFile(), before.isFile());
        EXPECT_EQ(after.size(), before.size());
        EXPECT_EQ(after.lastModified(), before.lastModified());
    }
}

} // namespace
