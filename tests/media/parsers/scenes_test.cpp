#include "media/parsers/scenes.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Writes scene list files item by item, remembering where each scene ends.
class SceneFile
{
public:
    enum class Text { Short, Long, Wide, WideLong };

    QByteArray data;
    std::vector<qsizetype> sceneEnds;

    void header(quint16 count, qint32 start, qint32 second, quint8 flagsA = 0, quint8 flagsB = 0,
                Text text = Text::Short)
    {
        filler(24);
        string(text, 7);
        filler(8);
        word(count);
        filler(11);
        byte(flagsA);
        byte(flagsB);
        filler(12);
        string(text, 3);
        dword(start);
        dword(second);
        filler(6);
        string(text, 0);
        filler(8);
        dword(-1);
        extras(flagsA, flagsB, text);
        sceneEnds.push_back(data.size());
    }

    void record(qint32 start, qint32 second, quint8 flagsA = 0, quint8 flagsB = 0, Text text = Text::Short)
    {
        filler(3);
        byte(flagsA);
        byte(flagsB);
        filler(3);
        string(text, 5);
        dword(start);
        dword(second);
        filler(6);
        dword(1);
        dword(2);
        dword(3);
        extras(flagsA, flagsB, text);
        sceneEnds.push_back(data.size());
    }

    // Scenes whose every byte lies within the first `length` bytes.
    int scenesWithin(qsizetype length) const
    {
        return static_cast<int>(
            std::count_if(sceneEnds.begin(), sceneEnds.end(), [&](qsizetype end) { return end <= length; }));
    }

private:
    // Filler bytes that would read as large numbers if a skip went wrong.
    void filler(int n) { data.append(n, '\x7E'); }
    void byte(quint8 v) { data.append(static_cast<char>(v)); }
    void word(quint16 v)
    {
        byte(v & 0xFF);
        byte(v >> 8);
    }
    void dword(qint32 v)
    {
        word(static_cast<quint16>(v));
        word(static_cast<quint16>(static_cast<quint32>(v) >> 16));
    }
    void bigWord(quint16 v)
    {
        byte(v >> 8);
        byte(v & 0xFF);
    }
    void string(Text text, int n)
    {
        switch (text) {
        case Text::Short:
            byte(static_cast<quint8>(n));
            filler(n);
            break;
        case Text::Long: // 255 then a big-endian length below 0xFEFF
            byte(255);
            bigWord(static_cast<quint16>(256 + n));
            filler(256 + n);
            break;
        case Text::Wide:
            byte(255);
            bigWord(0xFEFF);
            byte(static_cast<quint8>(n));
            filler(2 * n);
            break;
        case Text::WideLong:
            byte(255);
            bigWord(0xFFFF);
            byte(255);
            bigWord(static_cast<quint16>(300 + n));
            filler(2 * (300 + n));
            break;
        }
    }
    void extras(quint8 flagsA, quint8 flagsB, Text text)
    {
        if (flagsB & 0x40)
            dword(-7);
        if (flagsA & 0x80)
            string(text, 9);
    }
};

bool load(TScenesList& list, const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return list.LoadFromDevice(buffer, "clip.scn");
}

TEST(ScenesList, HeaderAloneIsOneScene)
{
    SceneFile f;
    f.header(0, 12, 34);
    TScenesList list;
    ASSERT_TRUE(load(list, f.data));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetScene(0)->fileName, "clip.scn");
    EXPECT_EQ(list.GetScene(0)->startFrame, 12);
    EXPECT_EQ(list.GetScene(0)->secondValue, 34);
    EXPECT_EQ(list.GetScene(1), nullptr);
    EXPECT_EQ(list.GetScene(-1), nullptr);
}

TEST(ScenesList, EveryStringFormAndTheExtraFields)
{
    using Text = SceneFile::Text;
    SceneFile f;
    f.header(5, 0, 100, 0x80, 0x40, Text::Long);
    f.record(25, 101, 0x80, 0x40, Text::Wide);
    f.record(50, 102, 0x80, 0x00, Text::WideLong);
    f.record(75, 103, 0x00, 0x40, Text::Long);
    f.record(100, 104, 0x7F, 0xBF, Text::Short); // other flag bits bring nothing
    f.record(125, 105);
    TScenesList list;
    ASSERT_TRUE(load(list, f.data));
    ASSERT_EQ(list.Count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list.GetScene(i)->startFrame, 25 * i);
        EXPECT_EQ(list.GetScene(i)->secondValue, 100 + i);
    }
}

// A file cut anywhere keeps the scenes read in full before the cut.
TEST(ScenesList, TruncatedFileKeepsWhatWasRead)
{
    using Text = SceneFile::Text;
    SceneFile f;
    f.header(3, 0, 0, 0x80, 0x40, Text::Wide);
    f.record(10, 1, 0x80, 0x40, Text::WideLong);
    f.record(20, 2, 0x80, 0x40, Text::Long);
    f.record(30, 3);
    for (qsizetype len = 0; len < f.data.size(); ++len) {
        TScenesList list;
        EXPECT_FALSE(load(list, f.data.left(len))) << len;
        EXPECT_EQ(list.Count(), f.scenesWithin(len)) << len;
    }
    TScenesList list;
    EXPECT_TRUE(load(list, f.data));
    EXPECT_EQ(list.Count(), 4);
    // A count beyond the records there are ends the load with what was read.
    SceneFile g;
    g.header(9, 0, 0);
    g.record(10, 1);
    EXPECT_FALSE(load(list, g.data));
    EXPECT_EQ(list.Count(), 2);
}

TEST(ScenesList, LoadsFilesByName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("vidéo 日本.scn"));
    SceneFile f;
    f.header(1, 5, 6);
    f.record(40, 7);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(f.data);
    file.close();

    TScenesList list;
    ASSERT_TRUE(list.LoadFromFile(path));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetScene(1)->fileName, path);
    EXPECT_EQ(list.GetScene(1)->startFrame, 40);

    // A missing file leaves the list as it was.
    EXPECT_FALSE(list.LoadFromFile(dir.filePath("missing.scn")));
    EXPECT_EQ(list.Count(), 2);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ScenesList, NextAndPreviousStarts)
{
    SceneFile f;
    f.header(3, 0, 0);
    f.record(100, 0);
    f.record(-1, 0); // a negative start is never a next scene
    f.record(250, 0);
    TScenesList list;
    ASSERT_TRUE(load(list, f.data));

    EXPECT_EQ(list.NextSceneStart(0, 999), 100);
    EXPECT_EQ(list.NextSceneStart(100, 999), 250);
    EXPECT_EQ(list.NextSceneStart(250, 999), 999);

    EXPECT_EQ(list.PrevSceneStart(300), 250);
    // Walking back from the end, the negative start comes before 100.
    EXPECT_EQ(list.PrevSceneStart(250), -1);

    SceneFile g;
    g.header(1, 10, 0);
    g.record(50, 0);
    ASSERT_TRUE(load(list, g.data));
    EXPECT_EQ(list.PrevSceneStart(50), 10);
    EXPECT_EQ(list.PrevSceneStart(10), 0);
    EXPECT_EQ(list.PrevSceneStart(0), 0);
    // The frame compares as unsigned: a negative one lies after every start.
    EXPECT_EQ(list.PrevSceneStart(-1), 50);
}

} // namespace
