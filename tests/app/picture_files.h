#pragma once
// Reading saved pictures back and making their folders unwritable, for the
// tests of grabbing.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <linux/capability.h>

#include <ostream>

// Names and sizes in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QSize& size, std::ostream* out)
{
    *out << size.width() << " x " << size.height();
}

namespace picture_files {

// The picture in a JPEG file as RGB32, read by Qt's reader on the system's
// libjpeg; null when the file is missing or not a JPEG.
QImage ReadJpeg(const QString& fileName);

// What the ffmpeg tool's prober tells of the first video stream (or the
// picture) of a file; zeros when it tells nothing.
struct TProbedVideo
{
    QSize size;
    // The display aspect, as width and height terms.
    int aspectWidth = 0;
    int aspectHeight = 0;
    // The prober's name of the pixel layout ("bgr24" for a 24-bit BMP).
    QString pixelFormat;
};
TProbedVideo ProbeVideo(const QString& fileName);

// The picture in a file as the ffmpeg tool decodes it, as RGB32; null when it
// cannot.
QImage DecodeWithFfmpeg(const QString& fileName);

// The bytes of a file; empty when it cannot be read.
QByteArray Contents(const QString& fileName);

// Every name in a folder, hidden ones too, sorted.
QStringList Entries(const QString& folder);

// The mean difference of the colour channels of two pictures of one size.
double MeanDifference(const QImage& a, const QImage& b);

// While it lives, this thread obeys file permissions even when run by root
// (the overriding capabilities are lowered, then restored).
class PermissionsApply
{
public:
    PermissionsApply();
    ~PermissionsApply();
    PermissionsApply(const PermissionsApply&) = delete;
    PermissionsApply& operator=(const PermissionsApply&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool changed_ = false;
};

} // namespace picture_files
