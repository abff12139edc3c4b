#include "framework/widgets/text_gauge.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

const QColor Fore(192, 220, 192);
const QColor Alert(238, 162, 162);

QColor Pixel(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

bool Contains(const QImage& image, const QColor& color)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == color)
                return true;
        }
    }
    return false;
}

class TextGaugeTest : public testing::Test
{
protected:
    TextGaugeTest()
    {
        Gauge.resize(100, 20);
        Gauge.SetShowText(false);
    }

    TTextGauge Gauge;
};

TEST_F(TextGaugeTest, BarFillsInProportionWithTheAlertColourPastTheAlertValue)
{
    Gauge.SetProgress(50);
    QImage image = Gauge.Render();
    EXPECT_EQ(Pixel(image, 0, 0), QColor(Qt::black)); // single border
    EXPECT_EQ(Pixel(image, 25, 10), Fore);
    EXPECT_EQ(Pixel(image, 75, 10), QColor(Qt::white));

    Gauge.SetProgress(81);
    image = Gauge.Render();
    EXPECT_EQ(Pixel(image, 25, 10), Alert);
    Gauge.SetProgress(80); // at the alert value: not above it
    EXPECT_EQ(Pixel(Gauge.Render(), 25, 10), Fore);

    // The "remaining" kinds alert below the value instead.
    Gauge.SetTextKind(TTextGauge::tkRemaining);
    Gauge.SetProgress(50);
    EXPECT_EQ(Pixel(Gauge.Render(), 25, 10), Alert);
    Gauge.SetTextKind(TTextGauge::tkRemainingPercent);
    Gauge.SetProgress(90);
    EXPECT_EQ(Pixel(Gauge.Render(), 25, 10), Fore);
}

TEST_F(TextGaugeTest, VerticalBarFillsFromTheBottom)
{
    Gauge.resize(20, 100);
    Gauge.SetGaugeKind(TGaugeKind::VerticalBar);
    Gauge.SetBorderStyle(TGaugeBorderStyle::None);
    Gauge.SetProgress(30);
    const QImage image = Gauge.Render();
    EXPECT_EQ(Pixel(image, 10, 95), Fore);
    EXPECT_EQ(Pixel(image, 10, 50), QColor(Qt::white));
    EXPECT_EQ(Pixel(image, 0, 0), QColor(Qt::white)); // no border
}

TEST_F(TextGaugeTest, PieAndNeedleUseTheBarColour)
{
    Gauge.resize(60, 60);
    Gauge.SetGaugeKind(TGaugeKind::Pie);
    Gauge.SetProgress(90);
    QImage image = Gauge.Render();
    EXPECT_EQ(Pixel(image, 40, 15), Alert); // the first quarter, right of twelve o'clock
    Gauge.SetProgress(20);
    image = Gauge.Render();
    EXPECT_EQ(Pixel(image, 15, 40), QColor(Qt::white)); // the third quarter is still empty

    Gauge.SetGaugeKind(TGaugeKind::Needle);
    Gauge.SetProgress(50); // straight up from the bottom centre
    image = Gauge.Render();
    EXPECT_EQ(Pixel(image, 30, 30), Fore);
    EXPECT_EQ(Pixel(image, 15, 30), QColor(Qt::white));
}

TEST_F(TextGaugeTest, TextIsCombinedByExclusiveOr)
{
    Gauge.resize(120, 30);
    Gauge.SetShowText(true);
    Gauge.SetAlertValue(1000);
    Gauge.SetProgress(100);
    EXPECT_EQ(Gauge.Text(), "100%");
    QImage image = Gauge.Render();
    // White text over the bar inverts it.
    EXPECT_TRUE(Contains(image, QColor(255 - 192, 255 - 220, 255 - 192)));
    EXPECT_EQ(qAlpha(image.pixel(60, 15)), 255);

    Gauge.SetProgress(0);
    image = Gauge.Render();
    EXPECT_TRUE(Contains(image, QColor(Qt::black)));
    EXPECT_FALSE(Contains(image, Fore));
}

TEST_F(TextGaugeTest, TextKinds)
{
    Gauge.SetMinValue(10);
    Gauge.SetMaxValue(50);
    Gauge.SetProgress(20);
    EXPECT_EQ(Gauge.Text(), "25%");
    Gauge.SetTextKind(TTextGauge::tkRemainingPercent);
    EXPECT_EQ(Gauge.Text(), "75%");
    Gauge.SetTextKind(TTextGauge::tkProgress);
    EXPECT_EQ(Gauge.Text(), "20");
    Gauge.SetCaption("%d MB of 100%% %s");
    EXPECT_EQ(Gauge.Text(), "20 MB of 100% %s");
    Gauge.SetTextKind(TTextGauge::tkRemaining);
    EXPECT_EQ(Gauge.Text(), "30 MB of 100% %s");

    // Whole percents are cut, not rounded: 2 of 3 is 66 % done, 34 % left.
    Gauge.SetMinValue(0);
    Gauge.SetMaxValue(3);
    Gauge.SetProgress(2);
    Gauge.SetTextKind(TTextGauge::tkPercent);
    EXPECT_EQ(Gauge.Text(), "66%");
    Gauge.SetTextKind(TTextGauge::tkRemainingPercent);
    EXPECT_EQ(Gauge.Text(), "34%");
}

TEST_F(TextGaugeTest, MinimumAndMaximumNeverCross)
{
    Gauge.SetProgress(40);
    EXPECT_THROW(Gauge.SetMinValue(101), EInvalidOperation);
    EXPECT_THROW(Gauge.SetMaxValue(-1), EInvalidOperation);
    EXPECT_EQ(Gauge.MinValue(), 0);
    EXPECT_EQ(Gauge.MaxValue(), 100);
    EXPECT_EQ(Gauge.Progress(), 40);

    Gauge.SetProgress(500);
    EXPECT_EQ(Gauge.Progress(), 100);
    Gauge.SetMaxValue(60);
    EXPECT_EQ(Gauge.Progress(), 60);
}

TEST_F(TextGaugeTest, AnEmptyRangeDrawsAnEmptyFigureAndZeroPercent)
{
    Gauge.SetMinValue(50);
    Gauge.SetMaxValue(50);
    Gauge.SetProgress(50);
    EXPECT_EQ(Gauge.Text(), "0%");
    EXPECT_EQ(Gauge.Proportion(), 0.0);
    EXPECT_FALSE(Contains(Gauge.Render(), Fore));
    Gauge.SetGaugeKind(TGaugeKind::Pie);
    EXPECT_FALSE(Contains(Gauge.Render(), Fore));
}

TEST(GaugeVolumeTest, FullVolumeNeverAlerts)
{
    EXPECT_EQ(TTextGauge().size(), QSize(100, 100));
    TGaugeVolume volume;
    EXPECT_EQ(volume.size(), QSize(48, 20));
    EXPECT_EQ(volume.GaugeKind(), TGaugeKind::Needle);
    EXPECT_EQ(volume.MinValue(), 0);
    EXPECT_EQ(volume.MaxValue(), 10000);
    EXPECT_EQ(volume.AlertValue(), 11000);
    EXPECT_EQ(volume.TextKind(), TTextGauge::tkPercent);
    EXPECT_EQ(volume.ForeColor(), clWindowText);
    EXPECT_EQ(volume.BackColor(), clWhite);
    EXPECT_EQ(volume.font().family(), "Arial");
    EXPECT_EQ(volume.font().pointSize(), 8);
    volume.SetProgress(10000);
    EXPECT_EQ(volume.BarColor(), volume.ForeColor());
    EXPECT_EQ(volume.Text(), "100%");
    const QImage image = volume.Render();
    EXPECT_FALSE(Contains(image, Alert));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white)); // no border
}

} // namespace
