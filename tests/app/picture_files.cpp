#include "tests/app/picture_files.h"

#include <QDir>
#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <sys/syscall.h>
#include <unistd.h>

#include <jpeglib.h>

namespace picture_files {

namespace {

struct ReadError
{
    jpeg_error_mgr manager;
    std::jmp_buf escape;
};

void OnReadError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ReadError*>(info->err)->escape, 1);
}

bool Decompress(jpeg_decompress_struct& info, FILE* file, QImage& image, ReadError& error)
{
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnReadError;
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

} // namespace

QImage ReadJpeg(const QString& fileName)
{
    FILE* file = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!file)
        return QImage();
    jpeg_decompress_struct info;
    ReadError error;
    QImage image;
    if (!Decompress(info, file, image, error))
        image = QImage();
    std::fclose(file);
    return image;
}

QByteArray Contents(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

double MeanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

PermissionsApply::PermissionsApply()
{
    if (syscall(SYS_capget, &header_, saved_) != 0)
        return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    changed_ = syscall(SYS_capset, &header_, lowered) == 0;
}

PermissionsApply::~PermissionsApply()
{
    if (changed_)
        syscall(SYS_capset, &header_, saved_);
}

} // namespace picture_files
