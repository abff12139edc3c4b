// The naming rules of grabbed pictures and the size they are saved at.

#include "app/picture_naming.h"
#include "app/picture_writer.h"

#include <gtest/gtest.h>

namespace {

// One frame at 25 frames a second.
constexpr REFERENCE_TIME kFrame25 = 400'000;

TPictureNaming NumberedJpeg()
{
    TPictureNaming naming;
    naming.ImageExtension = 1;
    naming.ImageAjouter = 1;
    naming.DefaultRacine = QStringLiteral("Kestrova");
    naming.DossierSave = QStringLiteral("/home/ann/Pics");
    return naming;
}

} // namespace

TEST(PictureNaming, NumberTextIsZeroPaddedToTheDigitsAndNeverCut)
{
    EXPECT_EQ(NumberText(7, 3), "007");
    EXPECT_EQ(NumberText(42, 3), "042");
    EXPECT_EQ(NumberText(999, 3), "999");
    EXPECT_EQ(NumberText(1234, 3), "1234");
    EXPECT_EQ(NumberText(0, 1), "0");
    // The sign counts as a character; the zeros go in front of it.
    EXPECT_EQ(NumberText(-5, 3), "0-5");
}

TEST(PictureNaming, SettingsOutOfRangeAreBroughtBackIntoIt)
{
    EXPECT_EQ(ClampDigits(3), 3);
    EXPECT_EQ(ClampDigits(-4), 1);
    EXPECT_EQ(ClampDigits(500), kMaxDigits);
    EXPECT_EQ(ClampJpegQuality(50), 50);
    EXPECT_EQ(ClampJpegQuality(0), 1);
    EXPECT_EQ(ClampJpegQuality(101), 100);
    EXPECT_EQ(ClampRootLength(8), 8);
    EXPECT_EQ(ClampRootLength(-1), 0);
}

TEST(PictureNaming, FileNameWithoutFolderAndExtension)
{
    EXPECT_EQ(ExtractFileNameNoExt("/videos/2024.05/holiday.in.rome.mkv"), "holiday.in.rome");
    EXPECT_EQ(ExtractFileNameNoExt("/videos/2024.05/rushes"), "rushes");
    EXPECT_EQ(ExtractFileNameNoExt("holiday-in-rome.mkv"), "holiday-in-rome");
    EXPECT_EQ(ExtractFileNameNoExt("/videos/.mkv"), "");
}

TEST(PictureNaming, RootFromTheVideoNameCutToItsLengthInCharacters)
{
    TPictureNaming naming = NumberedJpeg();
    naming.NomFichierImage = 1;
    naming.LimiterLongueur = true;
    naming.RacineLength = 8;
    EXPECT_EQ(ComputeRacine(naming, "/videos/holiday-in-rome.mkv"), "holiday-");

    // Characters, not bytes or UTF-16 units: accents and signs outside the
    // basic plane count one each, and a surrogate pair is never split.
    naming.RacineLength = 4;
    EXPECT_EQ(ComputeRacine(naming, QString::fromUtf8("/v/vidéo ñ 日本.mp4")), QString::fromUtf8("vidé"));
    const QString clef = QString::fromUtf8("\U0001D11E\U0001D11E\U0001D11Edo.mkv");
    naming.RacineLength = 2;
    EXPECT_EQ(ComputeRacine(naming, clef), QString::fromUtf8("\U0001D11E\U0001D11E"));
    naming.RacineLength = 4;
    EXPECT_EQ(ComputeRacine(naming, clef), QString::fromUtf8("\U0001D11E\U0001D11E\U0001D11Ed"));
    // A lone high surrogate at the end is taken as the one character it is.
    EXPECT_EQ(LeftCharacters(QString(QChar(0xD834)) + u'x', 1), QString(QChar(0xD834)));

    naming.RacineLength = 0;
    EXPECT_EQ(ComputeRacine(naming, clef), "");
    naming.RacineLength = -3;
    EXPECT_EQ(ComputeRacine(naming, clef), "");
    naming.LimiterLongueur = false;
    EXPECT_EQ(ComputeRacine(naming, "/videos/holiday-in-rome.mkv"), "holiday-in-rome");

    naming.NomFichierImage = 0;
    EXPECT_EQ(ComputeRacine(naming, "/videos/holiday-in-rome.mkv"), "Kestrova");
}

TEST(PictureNaming, NumberedAndTimeCodeNames)
{
    TPictureNaming naming = NumberedJpeg();
    EXPECT_EQ(BuildPictureName(naming, "Kestrova", NumberText(7, 3), kFrame25, 0), "/home/ann/Pics/Kestrova_007.jpg");

    naming.DossierSave = QStringLiteral("/home/ann/Pics/");
    naming.ImageExtension = 0;
    EXPECT_EQ(BuildPictureName(naming, "Kestrova", "007", kFrame25, 0), "/home/ann/Pics/Kestrova_007.bmp");

    // 0:01:02 and three frames.
    naming.ImageAjouter = 0;
    naming.ImageExtension = 1;
    const REFERENCE_TIME position = 62 * 10'000'000LL + 3 * kFrame25;
    EXPECT_EQ(BuildPictureName(naming, "Kestrova", "007", kFrame25, position),
              "/home/ann/Pics/Kestrova_0.01.02.03.jpg");

    const QString root = QString::fromUtf8("日本 \U0001D11E");
    EXPECT_EQ(BuildPictureName(naming, root, "007", kFrame25, 0),
              QString::fromUtf8("/home/ann/Pics/日本 \U0001D11E_0.00.00.00.jpg"));

    // Any other rule leaves the name as it was.
    naming.ImageAjouter = 2;
    EXPECT_FALSE(BuildPictureName(naming, "Kestrova", "007", kFrame25, 0).has_value());
}

TEST(PictureSize, SavedAtTheDisplayAspectKeepingOneSideOfTheFrame)
{
    EXPECT_EQ(GrabImageSize(16, 9, QSize(720, 576)), QSize(720, 405));
    EXPECT_EQ(GrabImageSize(4, 3, QSize(720, 576)), QSize(720, 540));
    EXPECT_EQ(GrabImageSize(16, 9, QSize(352, 288)), QSize(352, 198));
    // A display narrower than the frame keeps its height.
    EXPECT_EQ(GrabImageSize(1, 1, QSize(720, 576)), QSize(576, 576));
    EXPECT_EQ(GrabImageSize(0, 3, QSize(720, 576)), QSize(720, 576));
    EXPECT_EQ(GrabImageSize(4, 3, QSize()), QSize());

    // The thumbnail sits 12 pixels in from the panel's sides, centred.
    EXPECT_EQ(ThumbnailRect(720, 540, QRect(0, 0, 264, 400)), QRect(12, 110, 240, 180));
    EXPECT_EQ(ThumbnailRect(1, 1, QRect(0, 0, 400, 200)), QRect(112, 12, 176, 176));
}
