#include "platform/win/registry.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray utf16WithBom(const QString& text)
{
    QByteArray bytes("\xff\xfe", 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

class Registry : public testing::Test
{
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QString hive() const { return path("registry.reg"); }

    QTemporaryDir dir;
};

TEST_F(Registry, EveryValueTypeSurvivesAReload)
{
    const QString tricky = QStringLiteral("C:\\Path \"quoted\" \u00e9\u4e2d \U0001F600");
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append(char(i));
    const RegValue multi{REG_MULTI_SZ, QByteArray("a\0\0\0b\0\0\0\0\0", 10)};
    const RegValue qword{REG_QWORD, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8)};
    const RegValue oddString{REG_SZ, QByteArray("a\0b\0c", 5)}; // 2n+1 bytes
    {
        RegistryStore store(hive());
        EXPECT_TRUE(store.writeString("Software\\Morvek\\Kestrova", "Title", tricky));
        EXPECT_TRUE(store.writeString("Software\\Morvek\\Kestrova", "Lines", "one\r\ntwo"));
        EXPECT_TRUE(store.writeString("Software\\Morvek\\Kestrova", "Empty", ""));
        EXPECT_TRUE(store.writeString("Software\\Morvek\\Kestrova", "", "the default"));
        EXPECT_TRUE(store.writeDword("Software\\Morvek\\Kestrova", "Zero", 0));
        EXPECT_TRUE(store.writeDword("Software\\Morvek\\Kestrova", "Max", 0xffffffffu));
        EXPECT_TRUE(store.writeBinary("Software\\Morvek\\Kestrova\\Form", "All", allBytes));
        EXPECT_TRUE(store.writeBinary("Software\\Morvek\\Kestrova\\Form", "None", {}));
        EXPECT_TRUE(store.setValue("Software\\Other", "Multi", multi));
        EXPECT_TRUE(store.setValue("Software\\Other", "Q", qword));
        EXPECT_TRUE(store.setValue("Software\\Other", "Odd", oddString));
        EXPECT_TRUE(store.createKey("Software\\Morvek\\Kestrova\\EmptyKey"));
        EXPECT_TRUE(store.saveError().isEmpty());
    }
    // Saved on every change: a second store sees it all from the file.
    RegistryStore store(hive());
    EXPECT_TRUE(store.takeLoadMessage().isEmpty());
    EXPECT_EQ(store.readString("software\\MORVEK\\kestrova", "title"), tricky);
    EXPECT_EQ(store.readString("Software\\Morvek\\Kestrova", "Lines"), "one\r\ntwo");
    EXPECT_EQ(store.readString("Software\\Morvek\\Kestrova", "Empty"), "");
    EXPECT_EQ(store.readString("Software\\Morvek\\Kestrova", ""), "the default");
    EXPECT_EQ(store.readDword("Software\\Morvek\\Kestrova", "Zero"), 0u);
    EXPECT_EQ(store.readDword("Software\\Morvek\\Kestrova", "Max"), 0xffffffffu);
    EXPECT_EQ(store.readBinary("Software\\Morvek\\Kestrova\\Form", "All"), allBytes);
    EXPECT_EQ(store.readBinary("Software\\Morvek\\Kestrova\\Form", "None"), QByteArray());
    EXPECT_EQ(store.value("Software\\Other", "Multi"), multi);
    EXPECT_EQ(store.value("Software\\Other", "Q"), qword);
    EXPECT_EQ(store.readString("Software\\Other", "Odd"), "ab");
    // A value read as the wrong type is not there.
    EXPECT_FALSE(store.readDword("Software\\Morvek\\Kestrova", "Title"));
    EXPECT_FALSE(store.readString("Software\\Morvek\\Kestrova", "Max"));
    EXPECT_FALSE(store.readString("Software\\Morvek\\Kestrova", "Missing"));

    EXPECT_EQ(store.keyNames("Software\\Morvek\\Kestrova"), QStringList({"EmptyKey", "Form"}));
    EXPECT_EQ(store.valueNames("Software\\Morvek\\Kestrova"),
              QStringList({"Title", "Lines", "Empty", "", "Zero", "Max"}));
    EXPECT_EQ(store.keyNames("Software"), QStringList({"Morvek", "Other"}));

    // The file is meant to be read by people.
    const QByteArray text = readFile(hive());
    EXPECT_TRUE(text.startsWith("Windows Registry Editor Version 5.00\n"));
    EXPECT_TRUE(text.contains("[HKEY_CURRENT_USER\\Software\\Morvek\\Kestrova]\n"));
    EXPECT_TRUE(text.contains("\"Zero\"=dword:00000000\n"));
    EXPECT_TRUE(text.contains("@=\"the default\"\n"));
}

TEST_F(Registry, NamesKeepTheirCaseAndRefuseWhatCannotBeStored)
{
    RegistryStore store(hive());
    EXPECT_TRUE(store.writeDword("Software\\App", "Width", 1));
    EXPECT_TRUE(store.writeDword("SOFTWARE\\app", "WIDTH", 2));
    EXPECT_EQ(store.keyNames("software"), QStringList({"App"}));
    EXPECT_EQ(store.valueNames("software\\app"), QStringList({"Width"}));
    EXPECT_EQ(store.readDword("Software\\App", "width"), 2u);

    EXPECT_FALSE(store.writeDword("Software\\Line\nBreak", "x", 1));
    EXPECT_FALSE(store.writeDword("Software\\" + QString(kMaxKeyNameLength + 1, u'k'), "x", 1));
    EXPECT_FALSE(store.createKey(QString("k\\").repeated(kMaxKeyDepth + 1)));
    EXPECT_TRUE(store.createKey(QString("k\\").repeated(kMaxKeyDepth)));
    EXPECT_FALSE(store.writeDword("Software\\App", "tab\there", 1));
    EXPECT_FALSE(store.keyExists("Software\\Line\nBreak"));
}

TEST_F(Registry, DeleteValueAndTree)
{
    RegistryStore store(hive());
    store.writeDword("Software\\Morvek\\Kestrova\\Main", "A", 1);
    store.writeDword("Software\\Morvek\\Kestrova\\Main\\Font", "Size", 9);
    store.writeDword("Software\\Morvek\\Keep", "B", 2);

    EXPECT_TRUE(store.deleteValue("Software\\Morvek\\Kestrova\\Main", "a"));
    EXPECT_FALSE(store.deleteValue("Software\\Morvek\\Kestrova\\Main", "a"));
    EXPECT_TRUE(store.keyExists("Software\\Morvek\\Kestrova\\Main"));

    EXPECT_TRUE(store.deleteTree("software\\morvek\\KESTROVA"));
    EXPECT_FALSE(store.deleteTree("Software\\Morvek\\Kestrova"));
    EXPECT_FALSE(store.keyExists("Software\\Morvek\\Kestrova\\Main\\Font"));
    EXPECT_EQ(store.keyNames("Software\\Morvek"), QStringList({"Keep"}));
    EXPECT_FALSE(store.deleteTree("")) << "the user's whole hive is not deleted";

    RegistryStore reloaded(hive());
    EXPECT_FALSE(reloaded.keyExists("Software\\Morvek\\Kestrova"));
    EXPECT_EQ(reloaded.readDword("Software\\Morvek\\Keep", "B"), 2u);
}

TEST_F(Registry, BatchSavesOnceAtItsEnd)
{
    RegistryStore store(hive());
    store.writeDword("Software\\App", "Before", 1);
    const QByteArray saved = readFile(hive());
    {
        RegistryStore::Batch batch(store);
        RegistryStore::Batch inner(store);
        store.writeDword("Software\\App", "During", 2);
        store.deleteValue("Software\\App", "Before");
        EXPECT_EQ(readFile(hive()), saved);
    }
    RegistryStore reloaded(hive());
    EXPECT_EQ(reloaded.valueNames("Software\\App"), QStringList({"During"}));
}

TEST_F(Registry, SaveInterruptedBeforeTheRenameLeavesThePreviousFile)
{
    RegistryStore store(hive());
    ASSERT_TRUE(store.writeString("Software\\App", "Name", "first"));
    const QByteArray previous = readFile(hive());

    // Let the temporary file fill up the disk, as far as this process can tell.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = store.writeString("Software\\App", "Name", QString(500, u'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(store.saveError().isEmpty());
    EXPECT_EQ(readFile(hive()), previous);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"registry.reg"})) << "no temporary file left";
    EXPECT_EQ(RegistryStore(hive()).readString("Software\\App", "Name"), "first");

    // The change was kept in memory and the next save writes it.
    EXPECT_EQ(store.readString("Software\\App", "Name"), QString(500, u'x'));
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(RegistryStore(hive()).readString("Software\\App", "Name"), QString(500, u'x'));
}

TEST_F(Registry, UnreadableFileIsKeptAsideAndTheStoreStartsEmpty)
{
    // Saves never leave an empty file, so an empty one is damage too.
    const QByteArray garbage("\x00\x01 this is no registry\n[[[", 26);
    for (const QByteArray& unreadable : {garbage, QByteArray(), QByteArray(" \n\r\n")}) {
        QTemporaryDir folder;
        const QString file = folder.filePath("registry.reg");
        writeFile(file, unreadable);
        RegistryStore store(file);

        const QString message = store.takeLoadMessage();
        EXPECT_TRUE(message.contains(file)) << message.toStdString();
        EXPECT_TRUE(store.takeLoadMessage().isEmpty()) << "said once";
        EXPECT_TRUE(store.keyNames("").isEmpty());

        const QStringList files = QDir(folder.path()).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1) << unreadable.toHex().toStdString();
        EXPECT_TRUE(files.front().startsWith("registry.reg.unreadable-"));
        EXPECT_TRUE(message.contains(files.front()));
        const QString aside = folder.filePath(files.front());
        EXPECT_EQ(readFile(aside), unreadable);

        EXPECT_TRUE(store.writeDword("Software\\App", "Fresh", 1));
        EXPECT_EQ(RegistryStore(file).readDword("Software\\App", "Fresh"), 1u);
        EXPECT_EQ(readFile(aside), unreadable);
    }
}

TEST_F(Registry, ImportsBothFileFlavours)
{
    RegistryStore store(hive());
    store.writeDword("Software\\LBV\\Old", "Stale", 1);
    store.writeDword("Software\\LBV\\Video", "Gone", 1);

    // The newer flavour: UTF-16 with its byte-order mark, CR LF line ends.
    const QString unicode = QStringLiteral("Windows Registry Editor Version 5.00\r\n"
                                           "\r\n"
                                           "[-HKEY_CURRENT_USER\\Software\\LBV\\Old]\r\n"
                                           "\r\n"
                                           "[HKEY_CURRENT_USER\\Software\\LBV\\Video]\r\n"
                                           "\"Name\"=\"Vid\u00e9o \\\"HD\\\" C:\\\\x\"\r\n"
                                           "@=\"main\"\r\n"
                                           "\"Threads\"=dword:00000004\r\n"
                                           "\"Gone\"=-\r\n"
                                           "\"Mask\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,\\\r\n"
                                           "  12,13,14\r\n"
                                           "\"Path\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                           "\r\n"
                                           "[HKEY_LOCAL_MACHINE\\Software\\LBV]\r\n"
                                           "\"Machine\"=dword:1\r\n");
    const QString newer = path("Private Filters/LBV.reg");
    QDir().mkpath(path("Private Filters"));
    writeFile(newer, utf16WithBom(unicode));
    QString message;
    ASSERT_EQ(store.runRegVerb(QStringLiteral("import \"%1\"").arg(newer), &message), 0) << message.toStdString();

    EXPECT_FALSE(store.keyExists("Software\\LBV\\Old"));
    EXPECT_EQ(store.readString("Software\\LBV\\Video", "Name"), QStringLiteral("Vid\u00e9o \"HD\" C:\\x"));
    EXPECT_EQ(store.readString("Software\\LBV\\Video", ""), "main");
    EXPECT_EQ(store.readDword("Software\\LBV\\Video", "Threads"), 4u);
    EXPECT_FALSE(store.value("Software\\LBV\\Video", "Gone"));
    EXPECT_EQ(store.readBinary("Software\\LBV\\Video", "Mask"),
              QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14"));
    const std::optional<RegValue> expand = store.value("Software\\LBV\\Video", "Path");
    ASSERT_TRUE(expand);
    EXPECT_EQ(expand->type, REG_EXPAND_SZ);
    EXPECT_EQ(expand->toString(), "%A%");

    // The older flavour: 8-bit text, whose text types in hex are 8-bit too.
    const QByteArray latin1 = QStringLiteral("REGEDIT4\n"
                                             "\n"
                                             "; old settings\n"
                                             "[HKCU\\Software\\KVR]\n"
                                             "\"Caf\u00e9\"=\"cr\u00e8me\"\n"
                                             "\"Flags\"=dword:ff\n"
                                             "\"Text\"=hex(1):61,e9,00\n")
                                  .toLatin1();
    const QString older = path("KVR.reg");
    writeFile(older, latin1);
    ASSERT_EQ(store.runRegVerb(QStringLiteral("IMPORT %1").arg(older), &message), 0) << message.toStdString();
    EXPECT_EQ(store.readString("Software\\KVR", QStringLiteral("caf\u00c9")), QStringLiteral("cr\u00e8me"));
    EXPECT_EQ(store.readDword("Software\\KVR", "Flags"), 0xffu);
    EXPECT_EQ(store.readString("Software\\KVR", "Text"), QStringLiteral("a\u00e9"));

    // Everything imported is on disk, the other root in its own section.
    RegistryStore reloaded(hive());
    EXPECT_EQ(reloaded.readDword("Software\\LBV\\Video", "Threads"), 4u);
    EXPECT_EQ(reloaded.readDword("Software\\KVR", "Flags"), 0xffu);
    EXPECT_FALSE(reloaded.keyExists("Software\\LBV\\Machine"));
    EXPECT_TRUE(readFile(hive()).contains("[HKEY_LOCAL_MACHINE\\Software\\LBV]\n\"Machine\"=dword:00000001\n"));
}

TEST_F(Registry, DeleteVerbRemovesAKeyTree)
{
    RegistryStore store(hive());
    store.writeDword("Software\\LBV\\Video", "A", 1);
    store.writeDword("Software\\LBV\\Audio\\Mixing", "B", 2);
    store.writeDword("Software\\LBVX", "Keep", 3);
    store.writeDword("Software\\MPC-HD", "V", 4);
    store.writeDword("Software\\MPC-HD", "W", 5);
    QString message;

    // Without /f the tool would ask; nothing is deleted.
    EXPECT_EQ(store.runRegVerb("delete HKCU\\Software\\LBV", &message), 1);
    EXPECT_TRUE(store.keyExists("Software\\LBV\\Video"));

    EXPECT_EQ(store.runRegVerb("delete HKCU\\Software\\LBV /F", &message), 0) << message.toStdString();
    EXPECT_FALSE(store.keyExists("Software\\LBV"));
    EXPECT_TRUE(store.keyExists("Software\\LBVX"));
    EXPECT_EQ(RegistryStore(hive()).keyNames("Software"), QStringList({"LBVX", "MPC-HD"}));

    EXPECT_EQ(store.runRegVerb("delete HKCU\\Software\\LBV /F", &message), 1);
    EXPECT_TRUE(message.startsWith("ERROR:"));

    EXPECT_EQ(store.runRegVerb("delete \"HKEY_CURRENT_USER\\Software\\MPC-HD\" /v V /f", &message), 0);
    EXPECT_EQ(store.valueNames("Software\\MPC-HD"), QStringList({"W"}));
    EXPECT_EQ(store.runRegVerb("delete HKEY_CURRENT_USER\\Software\\MPC-HD /va /f", &message), 0);
    EXPECT_TRUE(store.keyExists("Software\\MPC-HD"));
    EXPECT_TRUE(store.valueNames("Software\\MPC-HD").isEmpty());

    for (const char* refused : {"delete HKCU /f", "delete Software\\LBVX /f", "delete HKCU\\Software\\LBVX /v /f",
                                "delete HKCU\\Software\\LBVX /v a /va /f", "add HKCU\\Software\\X /f", "", "import"}) {
        EXPECT_EQ(store.runRegVerb(refused, &message), 1) << refused;
        EXPECT_TRUE(message.startsWith("ERROR:")) << refused;
    }
    EXPECT_TRUE(store.keyExists("Software\\LBVX"));
}

TEST_F(Registry, RefusedImportsChangeNothing)
{
    RegistryStore store(hive());
    store.writeDword("Software\\App", "Kept", 7);
    const QByteArray before = readFile(hive());

    struct Case
    {
        const char* text;
        int line;
    };
    const Case cases[] = {
        {"Windows Registry Editor Version 5.00\n\n[HKCU\\Software\\App]\n\"New\"=dword:1\n[HKCU\\Software\\B]\n"
         "\"Bad\"=dword:123456789\n",
         6},
        {"Windows Registry Editor Version 4.00\n[HKCU\\Software\\App]\n", 1},
        {"\n\nREGEDIT4\n\"Early\"=\"value\"\n", 4},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Open=\"text\n", 3},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Hex\"=hex:01,02,\\\n  03,\\", 4},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Hex\"=hex:01,02,\\\n  03,\\\n", 4},
        {"REGEDIT4\r\n[HKCU\\Software\\App]\r\n\"Hex\"=hex:01,02,\\\r\n  03,\\\r\n\r\n  \r\n", 4},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Hex\"=hex:01,\\\n\n\"Next\"=dword:1\n", 3},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Hex\"=hex:01,02,\\\n  03,\\\n  0g\n\"Next\"=dword:1\n", 5},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Hex\"=hex:01,,02\n", 3},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Hex\"=hex(12345678a):01\n", 3},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Num\"=dword:-1\n", 3},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Str\"=\"text\" trailing\n", 3},
        {"REGEDIT4\n[HKCU\\Software\\App]\n\"Kind\"=float:1.5\n", 3},
        {"REGEDIT4\n[HKCU\\Software\\App]\nstray text\n", 3},
        {"REGEDIT4\n[HKEY_NOWHERE\\Software]\n", 2},
        {"REGEDIT4\n[-HKEY_CURRENT_USER]\n", 2},
        {"REGEDIT4\n[HKCU\\Software\\App\n", 2},
        {"", 1},
    };
    const QByteArray deep = "REGEDIT4\n\n[HKCU" + QByteArray("\\k").repeated(kMaxKeyDepth + 1) + "]\n";
    const QByteArray longName = "REGEDIT4\n[HKCU\\" + QByteArray(kMaxKeyNameLength + 1, 'n') + "]\n";
    std::vector<std::pair<QByteArray, QString>> all; // a file and what its refusal says
    for (const Case& c : cases)
        all.emplace_back(c.text, QStringLiteral("line %1:").arg(c.line));
    all.emplace_back(deep, QStringLiteral("line 3:"));
    all.emplace_back(longName, QStringLiteral("line 2:"));

    // Every key line of the store's file holds the key's whole path, so a
    // small file can ask for a huge store: such files are refused at the line
    // that goes too far. 512 levels of 255-character names, again and again:
    QByteArray deepChains = "REGEDIT4\n";
    for (char c = 'a'; c < 'a' + 16; ++c)
        deepChains += "[HKCU" + ("\\" + QByteArray(kMaxKeyNameLength, c)).repeated(kMaxKeyDepth) + "]\n";
    all.emplace_back(deepChains, QStringLiteral("line 2: a key path is longer"));
    // More keys than the store holds, one per line:
    QByteArray manyKeys = "REGEDIT4\n";
    for (int i = 0; i <= kMaxKeyCount; ++i)
        manyKeys += "[HKCU\\Software\\Many\\k" + QByteArray::number(i) + "]\n";
    all.emplace_back(manyKeys, QStringLiteral("line %1: the registry would grow").arg(kMaxKeyCount - 2));
    // More text than the store holds, in values of one key:
    QByteArray longValues = "REGEDIT4\n[HKCU\\Software\\Long]\n";
    const QByteArray text(1000, 'x');
    for (qsizetype i = 0; i < kMaxRegTextLength / 4000; ++i)
        longValues += "\"v" + QByteArray::number(i) + "\"=\"" + text + "\"\n";
    all.emplace_back(longValues, QStringLiteral(": the registry would grow"));

    for (const auto& [content, problem] : all) {
        const std::string what = content.left(200).toStdString();
        const QString file = path("bad.reg");
        writeFile(file, content);
        QString message;
        EXPECT_EQ(store.runRegVerb(QStringLiteral("import \"%1\"").arg(file), &message), 1) << what;
        EXPECT_TRUE(message.contains(file)) << message.toStdString();
        EXPECT_TRUE(message.contains(problem)) << message.toStdString();
        EXPECT_EQ(store.keyNames("Software"), QStringList({"App"})) << what;
        EXPECT_EQ(store.valueNames("Software\\App"), QStringList({"Kept"})) << what;
        EXPECT_EQ(readFile(hive()), before) << what;
    }
    QString message;
    EXPECT_EQ(store.runRegVerb(QStringLiteral("import \"%1\"").arg(path("missing.reg")), &message), 1);
    EXPECT_TRUE(message.contains(path("missing.reg")));
    // A device has no size to check beforehand; it is read up to the limit.
    EXPECT_EQ(store.runRegVerb("import /dev/zero", &message), 1);
    EXPECT_TRUE(message.contains("too large")) << message.toStdString();
}

// The program's own writes meet the bounds that imports meet.
TEST_F(Registry, WritesBeyondTheBoundsAreRefused)
{
    RegistryStore store(hive());
    store.writeDword("Software\\App", "Kept", 7);
    const QByteArray before = readFile(hive());
    EXPECT_FALSE(store.writeBinary("Software\\App", "Huge", QByteArray(kMaxRegTextLength / 4, 'x')));
    EXPECT_TRUE(store.saveError().contains("full")) << store.saveError().toStdString();
    EXPECT_EQ(store.valueNames("Software\\App"), QStringList({"Kept"}));
    EXPECT_EQ(readFile(hive()), before);
    const QString level = QString(200, u'k') + u'\\';
    EXPECT_FALSE(store.createKey(level.repeated(kMaxKeyPathLength / level.size() + 1))) << "path too long";
    EXPECT_TRUE(store.createKey(level.repeated(kMaxKeyPathLength / level.size())));
}

// The private decoder registration: import its settings file, later delete
// its key, through the program's own store.
TEST_F(Registry, RunRegCommandImportsAndDeletesKeys)
{
    const ScopedEnvironment environment("KESTROVA_REGISTRY", hive());
    ASSERT_EQ(RegistryStore::instance().filePath(), hive());

    const QString settings = path("décodeur.reg");
    writeFile(settings, "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_CURRENT_USER\\Software\\LBV]\r\n\"Mode\"=dword:00000002\r\n");
    EXPECT_TRUE(RunRegCommand("import \"" + settings + "\"", true));
    EXPECT_EQ(RegistryStore::instance().readDword("Software\\LBV", "Mode"), 2u);
    EXPECT_TRUE(RunRegCommand("delete HKCU\\Software\\LBV /F", true));
    EXPECT_FALSE(RegistryStore::instance().keyExists("Software\\LBV"));

    // Failures are no success: a missing file, a missing key, an unknown verb.
    EXPECT_FALSE(RunRegCommand("import \"" + path("missing.reg") + "\"", true));
    EXPECT_FALSE(RunRegCommand("delete HKCU\\Software\\LBV /F", false));
    EXPECT_FALSE(RunRegCommand("query HKCU\\Software", true));
}

} // namespace
