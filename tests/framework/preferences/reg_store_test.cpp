#include "framework/preferences/reg_preferences.h"
#include "prefs_test_support.h"

namespace {

const QString Root = QStringLiteral("Software\\Morvek\\Kestrova");

class RegStore : public PrefsTest
{
protected:
    TRegPreferencesMan reg{registry, Root};
};

TEST_F(RegStore, StringsCarryTheirTerminatingNul)
{
    ASSERT_TRUE(reg.WriteString(QStringLiteral("waName"), QStringLiteral("Zoé")));
    const std::optional<RegValue> stored = registry.value(Root, QStringLiteral("waName"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, REG_SZ);
    EXPECT_EQ(stored->data, QByteArray("Z\0o\0\xE9\0\0\0", 8)) << "2n+2 bytes";

    QString text;
    ASSERT_TRUE(reg.ReadString(QStringLiteral("waName"), text));
    EXPECT_EQ(text, QStringLiteral("Zoé"));
    ASSERT_TRUE(reg.WriteString(QStringLiteral("waEmpty"), QString()));
    EXPECT_EQ(registry.value(Root, QStringLiteral("waEmpty"))->data, QByteArray("\0\0", 2));
    ASSERT_TRUE(reg.ReadString(QStringLiteral("waEmpty"), text));
    EXPECT_EQ(text, QString());
}

TEST_F(RegStore, OddSizedStringsReadWhole)
{
    // Written by other tools: without the NUL, with half a character more, or a lone byte.
    registry.setValue(Root, QStringLiteral("odd"), {REG_SZ, QByteArray("a\0b\0c", 5)});
    registry.setValue(Root, QStringLiteral("bare"), {REG_SZ, QByteArray("a\0b\0", 4)});
    registry.setValue(Root, QStringLiteral("one"), {REG_SZ, QByteArray("x", 1)});
    QString text;
    ASSERT_TRUE(reg.ReadString(QStringLiteral("odd"), text));
    EXPECT_EQ(text, QStringLiteral("ab"));
    ASSERT_TRUE(reg.ReadString(QStringLiteral("bare"), text));
    EXPECT_EQ(text, QStringLiteral("ab"));
    ASSERT_TRUE(reg.ReadString(QStringLiteral("one"), text));
    EXPECT_EQ(text, QString());
}

TEST_F(RegStore, NumbersBooleansAndFloatsKeepTheirTypes)
{
    ASSERT_TRUE(reg.WriteInteger(QStringLiteral("iaCount"), -2));
    ASSERT_TRUE(reg.WriteBool(QStringLiteral("baOn"), true));
    ASSERT_TRUE(reg.WriteFloat(QStringLiteral("daRatio"), 1.5));
    EXPECT_EQ(*registry.value(Root, QStringLiteral("iaCount")), RegValue::fromDword(0xFFFFFFFE));
    EXPECT_EQ(*registry.value(Root, QStringLiteral("baOn")), RegValue::fromDword(1));
    EXPECT_EQ(*registry.value(Root, QStringLiteral("daRatio")),
              RegValue::fromBinary(QByteArray("\0\0\0\0\0\0\xF8\x3F", 8)));

    int number = 0;
    bool flag = false;
    double real = 0;
    EXPECT_TRUE(reg.ReadInteger(QStringLiteral("iaCount"), number));
    EXPECT_EQ(number, -2);
    EXPECT_TRUE(reg.ReadFloat(QStringLiteral("daRatio"), real));
    EXPECT_EQ(real, 1.5);
    registry.writeDword(Root, QStringLiteral("baSeven"), 7);
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("baSeven"), flag));
    EXPECT_TRUE(flag);

    // A value of another type is not found.
    QString text;
    EXPECT_FALSE(reg.ReadString(QStringLiteral("iaCount"), text));
    EXPECT_FALSE(reg.ReadInteger(QStringLiteral("daRatio"), number));
    registry.writeBinary(Root, QStringLiteral("short"), QByteArray(4, '\0'));
    EXPECT_FALSE(reg.ReadFloat(QStringLiteral("short"), real));
}

TEST_F(RegStore, KeysAreOpenedCreatedAndLeft)
{
    EXPECT_FALSE(registry.keyExists(Root)) << "standing on the root makes nothing";
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("MainForm"), false));
    EXPECT_EQ(reg.CurrentPath(), QString());
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("MainForm"), true));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("raWindow"), true));
    EXPECT_TRUE(registry.keyExists(Root + QStringLiteral("\\MainForm\\raWindow")));
    ASSERT_TRUE(reg.WriteInteger(QStringLiteral("Left"), 5));
    // Leaving a key goes up one level only, however deep it lies.
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Deeper"), true));
    reg.CloseKey();
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("MainForm\\raWindow"));
    reg.CloseKey();
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("MainForm"));
    QStringList names;
    reg.GetKeyNames(names);
    EXPECT_EQ(names, QStringList{"raWindow"});
    reg.CloseKey();
    reg.GetKeyNames(names);
    EXPECT_EQ(names, QStringList{"MainForm"});
    ASSERT_TRUE(reg.WriteString(QStringLiteral("Version"), QStringLiteral("1")));
    reg.GetValueNames(names);
    EXPECT_EQ(names, QStringList{"Version"});
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("Version")));
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("Version")));
}

TEST_F(RegStore, AnUpdateWritesTheFileOnceAtTheEnd)
{
    reg.BeginUpdate();
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(reg.WriteInteger(QStringLiteral("v%1").arg(i), i));
    EXPECT_FALSE(QFile::exists(RegistryPath()));
    QString error;
    ASSERT_TRUE(reg.EndUpdate(error)) << error.toStdString();
    RegistryStore reread(RegistryPath());
    EXPECT_EQ(reread.readDword(Root, QStringLiteral("v49")), 49u);
}

} // namespace
