#include "media/parsers/srt.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr REFERENCE_TIME ms = 10'000;

TSrtSubtitles Read(const QByteArray& data)
{
    TSrtSubtitles subtitles;
    subtitles.LoadFromData(data);
    return subtitles;
}

TEST(SrtTest, CuesShowFromTheirStartUpToTheirStop)
{
    const TSrtSubtitles s = Read("1\n00:00:01,000 --> 00:00:02,500\nFirst\nsecond line\n\n"
                                 "2\n00:00:02,500 --> 01:02:03,004\nNext\n\n");
    ASSERT_EQ(s.Count(), 2);
    EXPECT_EQ(s.Cue(0).Start, 1000 * ms);
    EXPECT_EQ(s.Cue(0).Stop, 2500 * ms);
    EXPECT_EQ(s.Cue(1).Stop, ((3600 + 2 * 60 + 3) * 1000 + 4) * ms);
    EXPECT_EQ(s.TextAt(1000 * ms - 1), QString());
    EXPECT_EQ(s.TextAt(1000 * ms), QStringLiteral("First\nsecond line"));
    EXPECT_EQ(s.TextAt(2500 * ms - 1), QStringLiteral("First\nsecond line"));
    // One cue hands over to the next at the same instant.
    EXPECT_EQ(s.TextAt(2500 * ms), QStringLiteral("Next"));
    EXPECT_EQ(s.TextAt(s.Cue(1).Stop), QString());
    EXPECT_EQ(s.TextAt(-1), QString());
}

TEST(SrtTest, FilesAsTheyAreFoundReadTheSame)
{
    const QString expected = QStringLiteral("Élan vital\nline two");
    const QByteArray plain = "1\n00:00:01,000 --> 00:00:02,000\n\xC3\x89lan vital\nline two\n";
    QByteArray crlf = plain;
    crlf.replace("\n", "\r\n");
    QByteArray cr = plain;
    cr.replace("\n", "\r");
    const QString text = QString::fromUtf8(plain);
    QStringEncoder le(QStringEncoder::Utf16LE, QStringConverter::Flag::WriteBom);
    QStringEncoder be(QStringEncoder::Utf16BE, QStringConverter::Flag::WriteBom);
    const QByteArray cases[] = {
        plain,
        crlf,
        cr,
        "\xEF\xBB\xBF" + plain,
        le.encode(text),
        be.encode(text),
        // Latin-1, as older files are written.
        "1\n00:00:01,000 --> 00:00:02,000\n\xC9lan vital\nline two\n",
        // A point for the comma, a shorter fraction, no number, blanks and
        // a position after the times.
        "00:00:01.0 --> 00:00:02.00  X1:100 X2:200 Y1:10 Y2:20\n\xC3\x89lan vital\nline two   \n",
        // Formatting tags.
        "1\n00:00:01,000 --> 00:00:02,000\n<i>\xC3\x89lan</i> <font color=\"#ff0000\">vital</font>\n"
        "{\\an8}<b>line two</b>\n",
    };
    for (const QByteArray& data : cases) {
        SCOPED_TRACE(data.toHex().toStdString());
        const TSrtSubtitles s = Read(data);
        ASSERT_EQ(s.Count(), 1);
        EXPECT_EQ(s.Cue(0).Start, 1000 * ms);
        EXPECT_EQ(s.Cue(0).Stop, 2000 * ms);
        EXPECT_EQ(s.Cue(0).Text, expected);
    }
}

TEST(SrtTest, CuesWithoutBlankLinesOutOfOrderOrOverlappingKeepTheirOwnText)
{
    // The second cue follows without a blank line; a number alone in a
    // text is text; the third starts before the second.
    const TSrtSubtitles s =
        Read("1\n00:00:05,000 --> 00:00:06,000\nFive\n2\n00:00:09,000 --> 00:00:12,000\nNine\n42\n\n"
             "3\n00:00:08,000 --> 00:00:10,000\nEight\n\n"
             "4\n00:00:30,000 --> 00:00:20,000\nBackwards\n\n"
             "5\n00:00:40,000 --> 00:00:40,000\nNothing\n\n"
             "not a time --> at all\nstray\n\n"
             "6\n00:01:00,000 --> 00:01:01,000\na < b and {c}\n");
    ASSERT_EQ(s.Count(), 4);
    EXPECT_EQ(s.TextAt(5500 * ms), QStringLiteral("Five"));
    EXPECT_EQ(s.TextAt(8500 * ms), QStringLiteral("Eight"));
    // Both at once, the earlier started above.
    EXPECT_EQ(s.TextAt(9500 * ms), QStringLiteral("Eight\nNine\n42"));
    EXPECT_EQ(s.TextAt(11000 * ms), QStringLiteral("Nine\n42"));
    EXPECT_EQ(s.TextAt(25000 * ms), QString());
    EXPECT_EQ(s.TextAt(40000 * ms), QString());
    EXPECT_EQ(s.TextAt(60000 * ms), QStringLiteral("a < b and {c}"));

    // A long cue still shows under later short ones.
    const TSrtSubtitles l = Read("00:00:00,000 --> 00:10:00,000\nLong\n\n00:00:01,000 --> 00:00:02,000\nA\n\n"
                                 "00:00:03,000 --> 00:00:04,000\nB\n");
    EXPECT_EQ(l.TextAt(3500 * ms), QStringLiteral("Long\nB"));
    // A short one ends under it at its stop.
    EXPECT_EQ(l.TextAt(2000 * ms), QStringLiteral("Long"));
    EXPECT_EQ(l.TextAt(300'000 * ms), QStringLiteral("Long"));
}

// A cue keeps what a picture shows, whatever the file holds: 8 lines of at
// most 200 characters, a longer one cut with an ellipsis, tags taken out
// before the count.
TEST(SrtTest, ACueKeepsNoMoreThanAPictureShows)
{
    const QString ellipsis(QChar(0x2026));
    const QByteArray head = "1\n00:00:00,000 --> 00:10:00,000\n";
    const QByteArray x200(200, 'x');
    struct Case
    {
        const char* what;
        QByteArray text;
        QString expected;
    };
    const Case cases[] = {
        {"a line of 200 characters", x200, QString(x200)},
        {"one more", x200 + "y", QString(x200) + ellipsis},
        {"blanks after the cut", QByteArray(199, 'x') + "  z", QString(199, u'x') + ellipsis},
        {"tags do not count", "<i>" + x200 + "</i>", QString(x200)},
        {"an unclosed tag of a megabyte", "<font color=" + QByteArray(1 << 20, 'r'),
         "<font color=" + QString(188, u'r') + ellipsis},
        {"a line of 15 MB", QByteArray(15 << 20, 'w'), QString(200, u'w') + ellipsis},
        {"nine lines", "1\n2a\n3\n4\n5\n6\n7\n8\n9", "1\n2a\n3\n4\n5\n6\n7\n8"},
        {"a hundred thousand lines", QByteArray("line\n").repeated(100'000), QString("line\n").repeated(7) + "line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TSrtSubtitles s = Read(head + c.text + "\n\n2\n00:10:00,000 --> 00:10:01,000\nNext\n");
        ASSERT_EQ(s.Count(), 2);
        EXPECT_EQ(s.TextAt(0), c.expected);
        EXPECT_EQ(s.TextAt(600'000 * ms), QStringLiteral("Next")) << "the cue after it is whole";
    }
}

TEST(SrtTest, NothingUsableGivesNoCues)
{
    for (const QByteArray& data :
         {QByteArray(), QByteArray("\n\n\n"), QByteArray("1\nHello\n"), QByteArray("00:00:01,000 -> 00:00:02,000\nx\n"),
          QByteArray("1234567:00:01,000 --> 1234567:00:02,000\nx\n"), QByteArray("\xFF\xFE\x00", 3),
          QByteArray("00:00:01,000 -->")}) {
        SCOPED_TRACE(data.toHex().toStdString());
        const TSrtSubtitles s = Read(data);
        EXPECT_EQ(s.Count(), 0);
        EXPECT_EQ(s.TextAt(1500 * ms), QString());
    }
}

TEST(SrtTest, FilesThatCannotBeReadOrAreTooLargeGiveNoCues)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TSrtSubtitles s;
    const QString good = dir.filePath(QStringLiteral("good.srt"));
    {
        QFile file(good);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1\n00:00:00,000 --> 00:00:01,000\nHi\n");
    }
    EXPECT_TRUE(s.LoadFromFile(good));
    EXPECT_EQ(s.Count(), 1);
    EXPECT_FALSE(s.LoadFromFile(dir.filePath(QStringLiteral("missing.srt"))));
    EXPECT_EQ(s.Count(), 0);

    ASSERT_TRUE(s.LoadFromFile(good));
    const QString huge = dir.filePath(QStringLiteral("huge.srt"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1\n00:00:00,000 --> 00:00:01,000\nHi\n");
        ASSERT_TRUE(file.resize(TSrtSubtitles::kMaxFileSize + 1));
    }
    EXPECT_FALSE(s.LoadFromFile(huge));
    EXPECT_EQ(s.Count(), 0);
}

} // namespace
