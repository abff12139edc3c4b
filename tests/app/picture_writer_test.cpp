// Pictures written as JPEG and BMP from real frames, read back with the real
// JPEG library and Qt's BMP reader; names outside ASCII; writes that fail
// and what they leave behind.

#include "app/deinterlace.h"
#include "app/picture_writer.h"
#include "tests/app/picture_files.h"
#include "tests/media/clip_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace picture_files;

namespace {

// While it lives, files larger than `bytes` cannot be written, as on a
// full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

class PictureWriter : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const std::vector<QImage> frames = clips::decodeFrames(clips::path("dv_pal.dv"), 8);
        ASSERT_EQ(frames.size(), 8u);
        frame = frames[7];
        ASSERT_EQ(frame.size(), QSize(720, 576));
    }

    QStringList entries() const { return Entries(dir.path()); }

    QTemporaryDir dir;
    QImage frame;
};

} // namespace

TEST_F(PictureWriter, JpegHoldsTheFrameAtTheDisplayAspectAndTheQualityAsked)
{
    QImage picture;
    StretchOnto(frame, GrabImageSize(4, 3, frame.size()), picture);
    const QString fine = dir.filePath("fine.jpg"), coarse = dir.filePath("coarse.jpg");
    QString error;
    ASSERT_TRUE(WriteJpegFile(picture, fine, 90, &error)) << error.toStdString();
    ASSERT_TRUE(WriteJpegFile(picture, coarse, 10, &error)) << error.toStdString();

    const QImage read = ReadJpeg(fine);
    ASSERT_EQ(read.size(), QSize(720, 540));
    EXPECT_EQ(clips::readBarcode(read), 7);
    EXPECT_LT(MeanDifference(read, picture), 3.0);
    // Colours are not swapped: the difference to a red-blue swap is large.
    EXPECT_GT(MeanDifference(read, picture.rgbSwapped()), 10.0);
    EXPECT_LT(QFileInfo(coarse).size() * 2, QFileInfo(fine).size());

    // Qualities out of range are clamped, not refused.
    ASSERT_TRUE(WriteJpegFile(picture, coarse, 0, &error));
    EXPECT_EQ(ReadJpeg(coarse).size(), QSize(720, 540));
    ASSERT_TRUE(WritePictureFile(picture, fine, 1, 1000, &error));
    EXPECT_LT(MeanDifference(ReadJpeg(fine), picture), 2.0);
    EXPECT_EQ(entries(), QStringList({"coarse.jpg", "fine.jpg"}));
}

TEST_F(PictureWriter, BmpHoldsTheDeinterlacedFrameExactlyIn24BitPixels)
{
    const std::vector<QImage> woven = clips::decodeFrames(clips::path("interlaced_pal.mpg"), 4);
    ASSERT_EQ(woven.size(), 4u);
    // As a grab does it: the work picture of the last grab is reused, and the
    // raw frame becomes the repaired one before it is stretched.
    QImage work;
    DeinterlaceBitmap(woven[1], work);
    QImage raw = woven[3];
    DeinterlaceBitmap(raw, work);
    raw = work;
    QImage picture;
    StretchOnto(raw, GrabImageSize(16, 9, raw.size()), picture);
    const QString name = dir.filePath("frame.bmp");
    QString error;
    ASSERT_TRUE(WritePictureFile(picture, name, 0, 50, &error)) << error.toStdString();

    const QByteArray bytes = Contents(name);
    ASSERT_GT(bytes.size(), 30);
    EXPECT_EQ(bytes.left(2), "BM");
    EXPECT_EQ(quint8(bytes[28]) | quint8(bytes[29]) << 8, 24) << "bits a pixel";
    QImage read;
    ASSERT_TRUE(read.loadFromData(bytes, "BMP"));
    EXPECT_EQ(read.size(), QSize(720, 405));
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), picture.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(clips::readBarcode(read), 3);
}

TEST_F(PictureWriter, NamesAreFullUnicodeAndFilesGetTheUsualPermissions)
{
    const QString name = dir.filePath(QString::fromUtf8("Vidéo 日本 \U0001D11E_007.jpg"));
    QString error;
    const mode_t mask = umask(022);
    const bool written = WriteJpegFile(frame, name, 50, &error);
    umask(mask);
    ASSERT_TRUE(written) << error.toStdString();
    EXPECT_EQ(entries(), QStringList({QString::fromUtf8("Vidéo 日本 \U0001D11E_007.jpg")}));
    EXPECT_EQ(ReadJpeg(name).size(), frame.size());
    struct stat info
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(name).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(PictureWriter, AFailedWriteNamesItsReasonAndLeavesTheEarlierPictureAndNothingElse)
{
    const QString jpeg = dir.filePath("Kestrova_001.jpg"), bmp = dir.filePath("Kestrova_001.bmp");
    QString error;
    ASSERT_TRUE(WriteJpegFile(frame, jpeg, 50, &error));
    ASSERT_TRUE(WriteBmpFile(frame, bmp, &error));
    const QByteArray earlierJpeg = Contents(jpeg), earlierBmp = Contents(bmp);
    const QImage other = frame.mirrored(true, false);

    {
        // The disk fills up in the middle of the picture.
        FileSizeLimit full(20'000);
        error.clear();
        EXPECT_FALSE(WriteJpegFile(other, jpeg, 95, &error));
        EXPECT_FALSE(error.isEmpty());
        error.clear();
        EXPECT_FALSE(WriteBmpFile(other, bmp, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(Contents(jpeg), earlierJpeg);
    EXPECT_EQ(Contents(bmp), earlierBmp);
    EXPECT_EQ(entries(), QStringList({"Kestrova_001.bmp", "Kestrova_001.jpg"}));

    // The folder is gone.
    error.clear();
    EXPECT_FALSE(WriteJpegFile(other, dir.filePath("gone/Kestrova_002.jpg"), 50, &error));
    EXPECT_FALSE(error.isEmpty());

    // The name is taken by a folder.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Kestrova_003.jpg"));
    error.clear();
    EXPECT_FALSE(WriteJpegFile(other, dir.filePath("Kestrova_003.jpg"), 50, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath("Kestrova_003.jpg")).isDir());
    EXPECT_EQ(entries(), QStringList({"Kestrova_001.bmp", "Kestrova_001.jpg", "Kestrova_003.jpg"}));

    // A folder that may not be written to.
    const QByteArray folder = QFile::encodeName(dir.path());
    ASSERT_EQ(chmod(folder.constData(), 0555), 0);
    {
        PermissionsApply obeyed;
        error.clear();
        EXPECT_FALSE(WriteJpegFile(other, jpeg, 50, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    chmod(folder.constData(), 0755);
    EXPECT_EQ(Contents(jpeg), earlierJpeg);

    // Replacing works when the write does.
    ASSERT_TRUE(WriteJpegFile(other, jpeg, 50, &error));
    EXPECT_NE(Contents(jpeg), earlierJpeg);
    EXPECT_EQ(ReadJpeg(jpeg).size(), frame.size());
    EXPECT_EQ(entries().size(), 3);
}
