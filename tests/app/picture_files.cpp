#include "tests/app/picture_files.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

#include <sys/syscall.h>
#include <unistd.h>

namespace picture_files {

QImage ReadJpeg(const QString& fileName)
{
    QImage image;
    if (!image.load(fileName, "JPEG"))
        return QImage();
    return image.convertToFormat(QImage::Format_RGB32);
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
