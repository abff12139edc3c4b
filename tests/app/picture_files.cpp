#include "tests/app/picture_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdlib>
#include <cstring>

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

namespace {

// The standard output of a tool that ran to a clean end; empty otherwise.
QByteArray RunTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(30'000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return QByteArray();
    return tool.readAllStandardOutput();
}

} // namespace

TProbedVideo ProbeVideo(const QString& fileName)
{
    const QByteArray text =
        RunTool(QStringLiteral("ffprobe"),
                {"-v", "error", "-select_streams", "v:0", "-show_entries",
                 "stream=width,height,pix_fmt,display_aspect_ratio", "-of", "default=nw=1", fileName});
    // One "name=value" line a field; the aspect is "N/A" for a picture of
    // square pixels.
    TProbedVideo probed;
    int width = 0, height = 0;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray name = line.left(equals), value = line.mid(equals + 1).trimmed();
        if (name == "width")
            width = value.toInt();
        else if (name == "height")
            height = value.toInt();
        else if (name == "pix_fmt")
            probed.pixelFormat = QString::fromLatin1(value);
        else if (name == "display_aspect_ratio" && value.split(':').size() == 2) {
            probed.aspectWidth = value.split(':')[0].toInt();
            probed.aspectHeight = value.split(':')[1].toInt();
        }
    }
    probed.size = QSize(width, height);
    return probed;
}

QImage DecodeWithFfmpeg(const QString& fileName)
{
    const QSize size = ProbeVideo(fileName).size;
    if (size.isEmpty())
        return QImage();
    // B, G, R, A in memory: the layout of RGB32 on this machine.
    const QByteArray pixels = RunTool(QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-i", fileName, "-frames:v",
                                                                 "1", "-f", "rawvideo", "-pix_fmt", "bgra", "-"});
    if (pixels.size() != qsizetype(size.width()) * size.height() * 4)
        return QImage();
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(image.scanLine(y), pixels.constData() + qsizetype(y) * size.width() * 4, size_t(size.width()) * 4);
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
