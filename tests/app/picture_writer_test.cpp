// Pictures written as JPEG and BMP from real frames, read back with the real
// JPEG library and Qt's BMP reader; names outside ASCII; writes that fail
// and what they leave behind.

#include "app/deinterlace.h"
#include "app/picture_writer.h"
#include "tests/media/clip_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <jpeglib.h>

namespace {

struct ReadError
{
    jpeg_error_mgr manager;
    std::jmp_buf escape;
};

void onReadError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ReadError*>(info->err)->escape, 1);
}

bool decompress(jpeg_decompress_struct& info, FILE* file, QImage& image, ReadError& error)
{
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = onReadError;
    if (setjmp(error.escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// The picture in a JPEG file, read with libjpeg; null when unreadable.
QImage readJpeg(const QString& fileName)
{
    FILE* file = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!file)
        return QImage();
    jpeg_decompress_struct info;
    ReadError error;
    QImage image;
    if (!decompress(info, file, image, error))
        image = QImage();
    std::fclose(file);
    return image;
}

// The mean difference of the colour channels of two pictures of one size.
double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

QByteArray contents(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

// While it lives, this thread obeys file permissions even when run by root.
class PermissionsApply
{
public:
    PermissionsApply()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        changed_ = syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~PermissionsApply()
    {
        if (changed_)
            syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool changed_ = false;
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

    // Every name in the folder, hidden ones too.
    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

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

    const QImage read = readJpeg(fine);
    ASSERT_EQ(read.size(), QSize(720, 540));
    EXPECT_EQ(clips::readBarcode(read), 7);
    EXPECT_LT(meanDifference(read, picture), 3.0);
    // Colours are not swapped: the difference to a red-blue swap is large.
    EXPECT_GT(meanDifference(read, picture.rgbSwapped()), 10.0);
    EXPECT_LT(QFileInfo(coarse).size() * 2, QFileInfo(fine).size());

    // Qualities out of range are clamped, not refused.
    ASSERT_TRUE(WriteJpegFile(picture, coarse, 0, &error));
    EXPECT_EQ(readJpeg(coarse).size(), QSize(720, 540));
    ASSERT_TRUE(WritePictureFile(picture, fine, 1, 1000, &error));
    EXPECT_LT(meanDifference(readJpeg(fine), picture), 2.0);
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

    const QByteArray bytes = contents(name);
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
    EXPECT_EQ(readJpeg(name).size(), frame.size());
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
    const QByteArray earlierJpeg = contents(jpeg), earlierBmp = contents(bmp);
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
    EXPECT_EQ(contents(jpeg), earlierJpeg);
    EXPECT_EQ(contents(bmp), earlierBmp);
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
    EXPECT_EQ(contents(jpeg), earlierJpeg);

    // Replacing works when the write does.
    ASSERT_TRUE(WriteJpegFile(other, jpeg, 50, &error));
    EXPECT_NE(contents(jpeg), earlierJpeg);
    EXPECT_EQ(readJpeg(jpeg).size(), frame.size());
    EXPECT_EQ(entries().size(), 3);
}
