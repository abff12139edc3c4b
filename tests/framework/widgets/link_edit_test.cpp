#include "framework/widgets/link_edit.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

// The character format of the character at a document position.
QTextCharFormat FormatAt(const TLinkEdit& edit, int position)
{
    QTextCursor cursor(edit.document());
    cursor.setPosition(position + 1);
    return cursor.charFormat();
}

class LinkEditTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Edit.resize(400, 200);
        Edit.SetUrlColor(RGB(1, 2, 3));
        Edit.SetMailColor(RGB(4, 5, 6));
        Edit.SetLinkColor(RGB(7, 8, 9));
    }

    // The viewport point over the middle of the character at a position.
    QPoint PointOf(int position)
    {
        QTextCursor cursor(Edit.document());
        cursor.setPosition(position);
        const QRect before = Edit.cursorRect(cursor);
        cursor.setPosition(position + 1);
        const QRect after = Edit.cursorRect(cursor);
        return QPoint((before.left() + after.left()) / 2, before.center().y());
    }

    void Show()
    {
        Edit.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Edit));
    }

    void Move(const QPoint& point)
    {
        QMouseEvent move(QEvent::MouseMove, point, Edit.viewport()->mapToGlobal(point), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(Edit.viewport(), &move);
    }

    TLinkEdit Edit;
};

TEST_F(LinkEditTest, StylesApplyToTheTextBetweenTheirTags)
{
    Edit.SetRichText("<B>bold</B> plain <i>it</I><u>un</u><s>st</s>");
    EXPECT_EQ(Edit.toPlainText(), "bold plain itunst");
    EXPECT_EQ(FormatAt(Edit, 0).fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatAt(Edit, 3).fontWeight(), QFont::Bold);
    EXPECT_NE(FormatAt(Edit, 5).fontWeight(), QFont::Bold);
    EXPECT_FALSE(FormatAt(Edit, 5).fontItalic());
    EXPECT_TRUE(FormatAt(Edit, 11).fontItalic());
    EXPECT_TRUE(FormatAt(Edit, 13).fontUnderline());
    EXPECT_FALSE(FormatAt(Edit, 13).fontItalic());
    EXPECT_TRUE(FormatAt(Edit, 15).fontStrikeOut());
    EXPECT_EQ(Edit.RichText(), "<B>bold</B> plain <i>it</I><u>un</u><s>st</s>");
}

TEST_F(LinkEditTest, ColoursComeFromTheTableAndUnknownNamesChangeNothing)
{
    Edit.SetRichText("<color Red>r<COLOR navy>n<color chartreuse>c</color>d<color moneygreen>m<color btnface>f");
    EXPECT_EQ(Edit.toPlainText(), "rncdmf");
    EXPECT_EQ(FormatAt(Edit, 0).foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(FormatAt(Edit, 1).foreground().color(), QColor(0, 0, 128));
    EXPECT_EQ(FormatAt(Edit, 2).foreground().color(), QColor(0, 0, 128));
    EXPECT_EQ(FormatAt(Edit, 3).foreground().color(), Edit.palette().color(QPalette::Text));
    EXPECT_EQ(FormatAt(Edit, 4).foreground().color(), QColor(192, 220, 192));
    EXPECT_EQ(FormatAt(Edit, 5).foreground().color(), ColorToQColor(clBtnFace, Edit.palette()));
    EXPECT_FALSE(MarkupColor("chartreuse"));
    EXPECT_EQ(MarkupColor(" Medgray "), RGB(160, 160, 164));
    EXPECT_EQ(MarkupColor("appworkspace"), clAppWorkSpace);
}

TEST(MarkupColour, EveryNameOfTheTable)
{
    const struct
    {
        const char* name;
        int r, g, b;
    } named[] = {
        {"RED", 255, 0, 0},         {"GREEN", 0, 128, 0},      {"YELLOW", 255, 255, 0},  {"BLUE", 0, 0, 255},
        {"BLACK", 0, 0, 0},         {"WHITE", 255, 255, 255},  {"AQUA", 0, 255, 255},    {"DKGRAY", 128, 128, 128},
        {"OLIVE", 128, 128, 0},     {"PURPLE", 128, 0, 128},   {"FUCHSIA", 255, 0, 255}, {"GRAY", 128, 128, 128},
        {"LIME", 0, 255, 0},        {"MAROON", 128, 0, 0},     {"NAVY", 0, 0, 128},      {"LTGRAY", 192, 192, 192},
        {"MEDGRAY", 160, 160, 164}, {"SILVER", 192, 192, 192}, {"TEAL", 0, 128, 128},    {"MONEYGREEN", 192, 220, 192},
        {"CREAM", 255, 251, 240},   {"SKYBLUE", 166, 202, 240}};
    for (const auto& entry : named)
        EXPECT_EQ(MarkupColor(QLatin1String(entry.name)), RGB(entry.r, entry.g, entry.b)) << entry.name;
    EXPECT_EQ(MarkupColor("BTNFACE"), clBtnFace);
    EXPECT_EQ(MarkupColor("APPWORKSPACE"), clAppWorkSpace);
}

TEST_F(LinkEditTest, SizesAndFontsChangeAndReturnToTheControlsFont)
{
    QFont base = Edit.font();
    base.setPointSize(9);
    Edit.setFont(base);
    Edit.SetRichText("a<size 14>b</size>c<font Courier>d</font>e<size x>f");
    EXPECT_EQ(FormatAt(Edit, 0).fontPointSize(), 9);
    EXPECT_EQ(FormatAt(Edit, 1).fontPointSize(), 14);
    EXPECT_EQ(FormatAt(Edit, 2).fontPointSize(), 9);
    EXPECT_EQ(FormatAt(Edit, 3).fontFamilies().toStringList(), QStringList{"Courier"});
    EXPECT_EQ(FormatAt(Edit, 4).fontFamilies().toStringList(),
              base.families().isEmpty() ? QStringList{base.family()} : base.families());
    EXPECT_EQ(FormatAt(Edit, 5).fontPointSize(), 9); // not a number: no change
}

TEST_F(LinkEditTest, BreaksStartParagraphsWithTheirAlignment)
{
    Edit.SetAlignment(Qt::AlignRight);
    Edit.SetRichText("a<br CeNtEr>b<BR left>c<br>d\r\ne");
    QTextDocument* document = Edit.document();
    ASSERT_EQ(document->blockCount(), 5);
    EXPECT_EQ(document->findBlockByNumber(4).text(), "e");
    EXPECT_EQ(document->findBlockByNumber(1).text(), "b");
    EXPECT_EQ(document->findBlockByNumber(1).blockFormat().alignment(), Qt::AlignHCenter);
    EXPECT_EQ(document->findBlockByNumber(2).blockFormat().alignment(), Qt::AlignLeft);
    EXPECT_EQ(document->findBlockByNumber(3).blockFormat().alignment(), Qt::AlignRight);
}

TEST_F(LinkEditTest, UnknownTagsVanishAndAnUnclosedOneIsText)
{
    Edit.SetRichText("a<nope>b<>c<b");
    EXPECT_EQ(Edit.toPlainText(), "abc<b");
}

TEST_F(LinkEditTest, LinksTakeTheirColourAndRestoreTheStyleAfterwards)
{
    Edit.SetRichText("<b><color red>x<Link retour> ALT+BackSpace</Link>y<url>www.example.org</url>"
                     "<mail someone@example.org>mail</MAIL>");
    EXPECT_EQ(Edit.toPlainText(), "x ALT+BackSpaceywww.example.orgmail");
    // Every character of a link, and only those, belongs to it.
    struct Expected
    {
        int first, last; // document positions
        TLinkKind kind;
        QString target;
    };
    const Expected links[] = {
        {1, 14, TLinkKind::Custom, "retour"},
        {16, 30, TLinkKind::Url, "www.example.org"}, // no parameter: the enclosed text
        {31, 34, TLinkKind::Mail, "someone@example.org"},
    };
    for (const Expected& link : links) {
        for (int position = link.first; position <= link.last; ++position) {
            const auto found = MarkupLinkOf(FormatAt(Edit, position));
            ASSERT_TRUE(found) << position;
            EXPECT_EQ(found->Kind, link.kind) << position;
            EXPECT_EQ(found->Target, link.target) << position;
        }
    }
    EXPECT_FALSE(MarkupLinkOf(FormatAt(Edit, 0)));
    EXPECT_FALSE(MarkupLinkOf(FormatAt(Edit, 15)));

    EXPECT_EQ(FormatAt(Edit, 1).foreground().color(), QColor(7, 8, 9));
    EXPECT_TRUE(FormatAt(Edit, 1).fontUnderline());
    EXPECT_EQ(FormatAt(Edit, 1).fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatAt(Edit, 15).foreground().color(), QColor(255, 0, 0));
    EXPECT_FALSE(FormatAt(Edit, 15).fontUnderline());
    EXPECT_EQ(FormatAt(Edit, 16).foreground().color(), QColor(1, 2, 3));
    EXPECT_EQ(FormatAt(Edit, 32).foreground().color(), QColor(4, 5, 6));

    // A style turned on inside a link ends with it.
    Edit.SetRichText("<link a>k<b><i><s>s</link>after");
    EXPECT_EQ(FormatAt(Edit, 1).fontWeight(), QFont::Bold);
    EXPECT_NE(FormatAt(Edit, 2).fontWeight(), QFont::Bold);
    EXPECT_FALSE(FormatAt(Edit, 2).fontItalic());
    EXPECT_FALSE(FormatAt(Edit, 2).fontStrikeOut());
    EXPECT_FALSE(FormatAt(Edit, 2).fontUnderline());
}

TEST_F(LinkEditTest, ClickOnALinkFiresItsKindsEventWithTheTarget)
{
    Edit.SetRichText("go <Link retour> ALT+BackSpace</Link> or <url http://example.org>web</url>");
    Show();
    QStringList custom, web;
    Edit.OnCustomLinkClick = [&](TLinkEdit* sender, const QString& link) {
        EXPECT_EQ(sender, &Edit);
        custom << link;
    };
    Edit.OnUrlClick = [&](TLinkEdit*, const QString& link) { web << link; };

    QTest::mouseClick(Edit.viewport(), Qt::LeftButton, {}, PointOf(8));
    EXPECT_EQ(custom, QStringList{"retour"});
    QTest::mouseClick(Edit.viewport(), Qt::LeftButton, {}, PointOf(1)); // plain text
    QTest::mouseClick(Edit.viewport(), Qt::LeftButton, {}, PointOf(22));
    EXPECT_EQ(custom, QStringList{"retour"});
    EXPECT_EQ(web, QStringList{"http://example.org"});
}

TEST_F(LinkEditTest, HoverOverALinkAsksForItsHintAndShowsTheHand)
{
    Edit.SetRichText("go <Link retour>back</Link> <mail a@b.c>mail</mail>");
    Show();
    QString asked;
    Edit.OnCustomLinkHint = [&](TLinkEdit*, const QString& link, QString& hint) {
        asked = link;
        hint = "Go back";
    };

    Move(PointOf(4));
    EXPECT_EQ(asked, "retour");
    EXPECT_EQ(Edit.toolTip(), "Go back");
    EXPECT_EQ(Edit.viewport()->cursor().shape(), Qt::PointingHandCursor);

    Move(PointOf(0)); // plain text
    EXPECT_TRUE(Edit.toolTip().isEmpty());
    EXPECT_EQ(Edit.viewport()->cursor().shape(), Qt::ArrowCursor);

    Move(PointOf(9)); // a mail link without a hint handler behaves like text
    EXPECT_TRUE(Edit.toolTip().isEmpty());
    EXPECT_EQ(Edit.viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(LinkEditTest, AClickHandlerMayDestroyTheControl)
{
    auto* edit = new TLinkEdit;
    edit->resize(300, 100);
    edit->SetRichText("<link x>close</link>");
    edit->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(edit));
    QTextCursor cursor(edit->document());
    cursor.setPosition(1);
    bool clicked = false;
    edit->OnCustomLinkClick = [&](TLinkEdit* sender, const QString&) {
        clicked = true;
        delete sender;
    };
    QTest::mousePress(edit->viewport(), Qt::LeftButton, {}, edit->cursorRect(cursor).center());
    EXPECT_TRUE(clicked);
}

TEST_F(LinkEditTest, TheCharacterUnderThePointerDecidesTheLink)
{
    Edit.SetRichText("ab<link x>cd</link>ef");
    Show();
    // A point a number of quarters into the character at a position.
    const auto into = [&](int position, int quarters) {
        QTextCursor cursor(Edit.document());
        cursor.setPosition(position);
        const QRect left = Edit.cursorRect(cursor);
        cursor.setPosition(position + 1);
        const int right = Edit.cursorRect(cursor).left();
        return QPoint(left.left() + (right - left.left()) * quarters / 4, left.center().y());
    };
    EXPECT_FALSE(Edit.LinkAt(into(1, 3))); // the right of "b", next to the link
    EXPECT_TRUE(Edit.LinkAt(into(2, 1)));
    EXPECT_TRUE(Edit.LinkAt(into(3, 3))); // the right of "d", the link's last character
    EXPECT_FALSE(Edit.LinkAt(into(4, 1)));
}

TEST_F(LinkEditTest, TheControlsAlignmentSurvivesAClickInAnotherParagraph)
{
    Edit.SetRichText("a<br center>b");
    Show();
    QTest::mouseClick(Edit.viewport(), Qt::LeftButton, {}, PointOf(2)); // in the centred paragraph
    Edit.SetRichText("x<br>y");
    EXPECT_EQ(Edit.document()->firstBlock().blockFormat().alignment(), Qt::AlignLeft);
    EXPECT_EQ(Edit.document()->lastBlock().blockFormat().alignment(), Qt::AlignLeft);
}

} // namespace
