// Pictures written as JPEG and BMP from real frames, read back with the real
// JPEG library and Qt's BMP reader; names outside ASCII; writes that fail
// and what they leave behind.

#include "app/picture_writer.h"
#include "tests/app/picture_files.h"
#include "tests/media/clip_reader.h"

#include <QDir>
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
        StretchOnto(frame, GrabImageSize(4, 3, frame.size()), picture);
    }

    QStringList entries() const { return Entries(dir.path()); }

    QTemporaryDir dir;
    QImage frame;
    QImage picture;
};

} // namespace

TEST_F(PictureWriter, JpegAndBmpHoldTheFrameUnderAFullUnicodeName)
{
    const QString fine = dir.filePath(QString::fromUtf8("Vidéo 日本 \U0001D11E_007.jpg"));
    const QString coarse = dir.filePath("coarse.jpg"), bmp = dir.filePath("frame.bmp");
    QString error;
    const mode_t mask = umask(022);
    ASSERT_TRUE(WritePictureFile(picture, fine, 1, 90, &error)) << error.toStdString();
    ASSERT_TRUE(WritePictureFile(picture, coarse, 1, 0, &error)) << error.toStdString();
    ASSERT_TRUE(WritePictureFile(picture, bmp, 0, 90, &error)) << error.toStdString();
    umask(mask);
    EXPECT_EQ(entries(), QStringList({QString::fromUtf8("Vidéo 日本 \U0001D11E_007.jpg"), "coarse.jpg", "frame.bmp"}));

    const QImage read = ReadJpeg(fine);
    ASSERT_EQ(read.size(), QSize(720, 540));
    EXPECT_EQ(clips::readBarcode(read), 7);
    EXPECT_LT(MeanDifference(read, picture), 3.0);
    EXPECT_GT(MeanDifference(read, picture.rgbSwapped()), 10.0) << "red and blue swapped";
    // The quality is the one asked, clamped into 1..100.
    EXPECT_EQ(ReadJpeg(coarse).size(), QSize(720, 540));
    EXPECT_LT(QFileInfo(coarse).size() * 4, QFileInfo(fine).size());
    struct stat info
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(fine).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    const QByteArray bytes = Contents(bmp);
    ASSERT_GT(bytes.size(), 30);
    EXPECT_EQ(quint8(bytes[28]), 24) << "bits a pixel";
    QImage exact;
    ASSERT_TRUE(exact.loadFromData(bytes, "BMP"));
    EXPECT_EQ(exact.convertToFormat(QImage::Format_RGB32), picture);
}

TEST_F(PictureWriter, AFailedWriteNamesItsReasonAndLeavesTheEarlierPictureAndNothingElse)
{
    const QString jpeg = dir.filePath("Kestrova_001.jpg"), bmp = dir.filePath("Kestrova_001.bmp");
    QString error;
    ASSERT_TRUE(WriteJpegFile(frame, jpeg, 50, &error));
    ASSERT_TRUE(WriteBmpFile(frame, bmp, &error));
    const QByteArray earlierJpeg = Contents(jpeg), earlierBmp = Contents(bmp);
    const QImage other = frame.mirrored(true, false);
    const auto fails = [&](const std::function<bool()>& write) {
        error.clear();
        return !write() && !error.isEmpty();
    };
    {
        // The disk fills up in the middle of the picture.
        FileSizeLimit full(20'000);
        EXPECT_TRUE(fails([&] { return WriteJpegFile(other, jpeg, 95, &error); }));
        EXPECT_TRUE(fails([&] { return WriteBmpFile(other, bmp, &error); }));
    }
    // The folder is gone; the name is a folder's.
    EXPECT_TRUE(fails([&] { return WriteJpegFile(other, dir.filePath("gone/Kestrova_002.jpg"), 50, &error); }));
    ASSERT_TRUE(QDir(dir.path()).mkdir("Kestrova_003.jpg"));
    EXPECT_TRUE(fails([&] { return WriteJpegFile(other, dir.filePath("Kestrova_003.jpg"), 50, &error); }));
    // The folder may not be written to.
    const QByteArray folder = QFile::encodeName(dir.path());
    ASSERT_EQ(chmod(folder.constData(), 0555), 0);
    {
        PermissionsApply obeyed;
        EXPECT_TRUE(fails([&] { return WriteJpegFile(other, jpeg, 50, &error); }));
    }
    chmod(folder.constData(), 0755);
    EXPECT_EQ(Contents(jpeg), earlierJpeg);
    EXPECT_EQ(Contents(bmp), earlierBmp);
    EXPECT_EQ(entries(), QStringList({"Kestrova_001.bmp", "Kestrova_001.jpg", "Kestrova_003.jpg"}));

    // Replacing works when the write does.
    ASSERT_TRUE(WriteJpegFile(other, jpeg, 50, &error));
    EXPECT_NE(Contents(jpeg), earlierJpeg);
    EXPECT_EQ(entries().size(), 3);
}

// Only the writer's own temporaries (a dot, "kestrova-", hexadecimal digits,
// ".tmp") that nobody has written to for a minute are what a killed write
// left: they go at the first picture written into their folder. A young one
// may be another copy's picture on its way.
TEST_F(PictureWriter, TheFirstPictureInAFolderTakesAwayTemporariesThatKilledWritesLeft)
{
    struct Left
    {
        const char* name;
        int age; // seconds since it was last written
        bool stays;
    };
    const Left left[] = {
        {".kestrova-1f2e3d4c.tmp", 3600, false}, {".kestrova-a.tmp", 61, false},
        {".kestrova-abc.tmp", 30, true},         {".kestrova-xyz.tmp", 3600, true},
        {"kestrova-abc.tmp", 3600, true},        {".kestrova-abc.tmp.jpg", 3600, true},
        {".kestrova-123456789.tmp", 3600, true},
    };
    QStringList expected = {"Kestrova_001.jpg"};
    for (const Left& l : left) {
        QFile file(dir.filePath(l.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("half a picture");
        file.flush(); // before the time, which the write would renew
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-l.age), QFileDevice::FileModificationTime));
        if (l.stays)
            expected.append(l.name);
    }
    expected.sort();
    QString error;
    ASSERT_TRUE(WriteJpegFile(frame, dir.filePath("Kestrova_001.jpg"), 50, &error)) << error.toStdString();
    QStringList got = entries();
    got.sort();
    EXPECT_EQ(got, expected);
}
