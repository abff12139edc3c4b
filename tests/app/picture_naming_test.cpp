// The naming rules of grabbed pictures and the size they are saved at.

#include "app/picture_naming.h"
#include "app/picture_writer.h"

#include <gtest/gtest.h>

TEST(PictureNaming, NumbersRootsAndTimeCodes)
{
    // Zero-padded to the digits, never cut; the sign counts.
    EXPECT_EQ(NumberText(7, 3), "007");
    EXPECT_EQ(NumberText(42, 3), "042");
    EXPECT_EQ(NumberText(999, 3), "999");
    EXPECT_EQ(NumberText(1234, 3), "1234");
    EXPECT_EQ(NumberText(-5, 3), "0-5");
    EXPECT_EQ(ClampDigits(-4), 1);
    EXPECT_EQ(ClampDigits(500), kMaxDigits);
    EXPECT_EQ(ClampJpegQuality(0), 1);
    EXPECT_EQ(ClampJpegQuality(101), 100);

    TPictureNaming naming;
    naming.NomFichierImage = 1;
    naming.LimiterLongueur = true;
    naming.RacineLength = 8;
    EXPECT_EQ(ComputeRacine(naming, "/videos/2024.05/holiday-in-rome.mkv"), "holiday-");
    // Characters, not UTF-16 units: a sign outside the basic plane counts
    // one and is never split.
    const QString clef = QString::fromUtf8("/v/\U0001D11E\U0001D11Eé\U0001D11Edo.mkv");
    naming.RacineLength = 3;
    EXPECT_EQ(ComputeRacine(naming, clef), QString::fromUtf8("\U0001D11E\U0001D11Eé"));
    naming.RacineLength = -3;
    EXPECT_EQ(ComputeRacine(naming, clef), "");
    naming.LimiterLongueur = false;
    EXPECT_EQ(ComputeRacine(naming, "/videos/a.b/holiday.in.rome.mkv"), "holiday.in.rome");
    // Any value but 0 names the pictures after the video.
    naming.NomFichierImage = 2;
    EXPECT_EQ(ComputeRacine(naming, "/videos/rome.mkv"), "rome");
    naming.NomFichierImage = 0;
    naming.DefaultRacine = QStringLiteral("Kestrova");
    EXPECT_EQ(ComputeRacine(naming, clef), "Kestrova");

    naming.DossierSave = QStringLiteral("/home/ann/Pics");
    naming.ImageAjouter = 1;
    naming.ImageExtension = 1;
    EXPECT_EQ(BuildPictureName(naming, "Kestrova", "007", 400'000, 0), "/home/ann/Pics/Kestrova_007.jpg");
    // 0:01:02 and three frames at 25 a second.
    naming.DossierSave += u'/';
    naming.ImageAjouter = 0;
    naming.ImageExtension = 0;
    EXPECT_EQ(BuildPictureName(naming, "Kestrova", "007", 400'000, 621'200'000),
              "/home/ann/Pics/Kestrova_0.01.02.03.bmp");
    naming.ImageAjouter = 2;
    EXPECT_FALSE(BuildPictureName(naming, "Kestrova", "007", 400'000, 0).has_value());
}

TEST(PictureSize, SavedAtTheDisplayAspectKeepingOneSideOfTheFrame)
{
    EXPECT_EQ(GrabImageSize(16, 9, QSize(720, 576)), QSize(720, 405));
    EXPECT_EQ(GrabImageSize(4, 3, QSize(720, 576)), QSize(720, 540));
    EXPECT_EQ(GrabImageSize(1, 1, QSize(720, 576)), QSize(576, 576));
    EXPECT_EQ(GrabImageSize(0, 3, QSize(720, 576)), QSize(720, 576));
    // The thumbnail sits 12 pixels in from the panel's sides, centred.
    EXPECT_EQ(ThumbnailRect(720, 540, QRect(0, 0, 264, 400)), QRect(12, 110, 240, 180));
}
