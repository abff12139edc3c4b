#include "framework/widgets/fitted_text.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

const QString kLong = QStringLiteral("clip-of-a-long-holiday.mkv cannot be played. Try another file.");

TEST(FittedTextTest, TheTextFitsAndTheWholeOfItStaysInTheHint)
{
    const struct
    {
        int width;
        Qt::TextElideMode side;
        bool whole;
        const char* kept; // what the shown text still holds
    } cases[] = {
        {1000, Qt::ElideLeft, true, "clip-of"},
        {160, Qt::ElideLeft, false, "Try another file."},
        {160, Qt::ElideRight, false, "clip-of"},
        {160, Qt::ElideMiddle, false, "clip-of"},
    };
    for (const auto& c : cases) {
        QLabel label;
        label.resize(c.width, 20);
        SetFittedText(&label, kLong, c.side);
        EXPECT_LE(label.sizeHint().width(), label.width()) << c.width << " " << c.side;
        EXPECT_EQ(label.text() == kLong, c.whole) << c.width << " " << c.side;
        EXPECT_TRUE(label.text().contains(QLatin1String(c.kept))) << label.text().toStdString();
        EXPECT_EQ(label.toolTip(), kLong);
        EXPECT_EQ(FittedText(&label), kLong);
    }
}

TEST(FittedTextTest, AResizedLabelFitsItsTextAgain)
{
    QLabel label;
    label.resize(120, 20);
    label.show(); // a hidden label hears of its new size only once shown
    SetFittedText(&label, kLong);
    EXPECT_NE(label.text(), kLong);
    label.resize(1000, 20);
    EXPECT_EQ(label.text(), kLong);
    label.resize(80, 20);
    EXPECT_LE(label.sizeHint().width(), 80);
    // A new text replaces the old one, shortened or not.
    SetFittedText(&label, QStringLiteral("short"));
    EXPECT_EQ(label.text(), QStringLiteral("short"));
    label.resize(120, 20);
    EXPECT_EQ(FittedText(&label), QStringLiteral("short"));
}

} // namespace
