#include "app/picture_writer.h"

#include "app/deinterlace.h"
#include "app/picture_naming.h"
#include "media/parsers/media_types.h"
#include "platform/win/save_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <jpeglib.h>

namespace {

QString SystemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The temporaries that pictures killed half-way left in `folder` go before
// the first picture of the run written there; once is enough, as a capture
// writes a picture per frame into folders of thousands.
void RemoveStaleTemporariesOnce(const QByteArray& folder)
{
    static std::mutex lock;
    static QSet<QByteArray> cleaned;
    {
        const std::lock_guard hold(lock);
        if (cleaned.contains(folder))
            return;
        cleaned.insert(folder);
    }
    static const QRegularExpression pattern(QStringLiteral("\\.kestrova-[0-9a-f]{1,8}\\.tmp"));
    RemoveStaleTemporaries(QFile::decodeName(folder), pattern);
}

// A picture file on its way: the bytes go to a new file beside the target,
// which takes the target's name once complete. No fsync: a picture that a
// crash catches is lost either way, and a capture writing a picture per
// frame should not wait for the disk; the rename still never lets a failed
// write replace a good file.
class PendingFile
{
public:
    explicit PendingFile(const QString& target) : target_(QFile::encodeName(target)) {}
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile()
    {
        if (file_)
            std::fclose(file_);
        if (!temporary_.isEmpty())
            ::unlink(temporary_.constData());
    }

    // The open temporary file, or null with the reason in `error`.
    FILE* Open(QString* error)
    {
        const qsizetype slash = target_.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : target_.left(slash);
        RemoveStaleTemporariesOnce(folder);
        for (int attempt = 0; attempt < 16; ++attempt) {
            const QByteArray name =
                folder + "/.kestrova-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
            // 0666 less the umask: the picture gets the permissions any new
            // file of the user gets.
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0)
                break;
            temporary_ = name;
            file_ = ::fdopen(fd, "wb");
            if (!file_) {
                const int code = errno;
                ::close(fd);
                errno = code;
                break;
            }
            return file_;
        }
        if (error)
            *error = SystemError(errno);
        return nullptr;
    }

    // Every byte out, then the rename; false with the reason in `error`.
    bool Commit(QString* error)
    {
        const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
        int code = errno;
        const bool closed = std::fclose(file_) == 0;
        if (flushed && !closed)
            code = errno;
        file_ = nullptr;
        if (flushed && closed && ::rename(temporary_.constData(), target_.constData()) == 0) {
            temporary_.clear();
            return true;
        }
        if (flushed && closed)
            code = errno;
        if (error)
            *error = SystemError(code ? code : EIO);
        return false;
    }

private:
    QByteArray target_;
    QByteArray temporary_;
    FILE* file_ = nullptr;
};

// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to the call that started the compression. The
// manager comes first so that libjpeg's pointer to it is one to the whole.
struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf escape;
    int systemError;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegError*>(info->err);
    error->systemError = errno;
    info->err->format_message(info, error->message);
    std::longjmp(error->escape, 1);
}

void JpegSilent(j_common_ptr) {}

// Only plain data lives in this frame, so the jump back from libjpeg skips
// nothing that needs destroying; the compression record, which libjpeg
// changes between the setjmp and a jump back, is the caller's.
bool CompressJpeg(jpeg_compress_struct& info, FILE* file, JSAMPROW* rows, const QSize& size, int quality,
                  JpegError& error)
{
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.manager.output_message = JpegSilent;
    error.systemError = 0;
    error.message[0] = 0;
    if (setjmp(error.escape)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(size.width());
    info.image_height = static_cast<JDIMENSION>(size.height());
    // The frame's own pixels go in as they are: B, G, R, X in memory.
    info.input_components = 4;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    info.in_color_space = JCS_EXT_BGRX;
#else
    info.in_color_space = JCS_EXT_XRGB;
#endif
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
        jpeg_write_scanlines(&info, rows + info.next_scanline, info.image_height - info.next_scanline);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

QSize GrabImageSize(int aspectWidth, int aspectHeight, const QSize& native)
{
    if (native.isEmpty())
        return native;
    const RECT fit = GetAspectFitRect(aspectWidth, aspectHeight, RECT{0, 0, native.width(), native.height()}, true, 0);
    return QSize(fit.right - fit.left, fit.bottom - fit.top);
}

QRect ThumbnailRect(int aspectWidth, int aspectHeight, const QRect& client)
{
    const RECT fit =
        GetAspectFitRect(aspectWidth, aspectHeight,
                         RECT{client.left(), client.top(), client.right() + 1, client.bottom() + 1}, true, 12);
    return QRect(QPoint(fit.left, fit.top), QPoint(fit.right - 1, fit.bottom - 1));
}

void StretchOnto(const QImage& frame, const QSize& size, QImage& picture)
{
    // Held, in case the picture is the frame itself.
    const QImage source = frame;
    if (source.isNull() || size.isEmpty()) {
        picture = QImage();
        return;
    }
    if (picture.size() != size || picture.format() != QImage::Format_RGB32 || !picture.isDetached())
        picture = QImage(size, QImage::Format_RGB32);
    if (source.size() == size && source.format() == picture.format() &&
        source.bytesPerLine() == picture.bytesPerLine()) {
        std::memcpy(picture.bits(), source.constBits(), static_cast<size_t>(source.sizeInBytes()));
        return;
    }
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), size), source);
}

bool WriteJpegFile(const QImage& picture, const QString& fileName, int quality, QString* error)
{
    if (picture.isNull()) {
        if (error)
            *error = QStringLiteral("There is no picture to save.");
        return false;
    }
    const QImage pixels = HasFourBytePixels(picture.format()) ? picture : picture.convertToFormat(QImage::Format_RGB32);
    std::vector<JSAMPROW> rows(static_cast<size_t>(pixels.height()));
    for (int y = 0; y < pixels.height(); ++y)
        rows[static_cast<size_t>(y)] = const_cast<JSAMPROW>(pixels.constScanLine(y));

    PendingFile file(fileName);
    FILE* out = file.Open(error);
    if (!out)
        return false;
    jpeg_compress_struct info;
    JpegError jpegError;
    if (!CompressJpeg(info, out, rows.data(), pixels.size(), ClampJpegQuality(quality), jpegError)) {
        if (error)
            *error =
                jpegError.systemError ? SystemError(jpegError.systemError) : QString::fromLocal8Bit(jpegError.message);
        return false;
    }
    return file.Commit(error);
}

bool WriteBmpFile(const QImage& picture, const QString& fileName, QString* error)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "BMP");
        // Without alpha the writer gives 24-bit pixels.
        const QImage opaque = picture.hasAlphaChannel() ? picture.convertToFormat(QImage::Format_RGB32) : picture;
        if (picture.isNull() || !writer.write(opaque)) {
            if (error)
                *error = picture.isNull() ? QStringLiteral("There is no picture to save.") : writer.errorString();
            return false;
        }
    }
    PendingFile file(fileName);
    FILE* out = file.Open(error);
    if (!out)
        return false;
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out) !=
        static_cast<size_t>(bytes.size())) {
        if (error)
            *error = SystemError(errno);
        return false;
    }
    return file.Commit(error);
}

bool WritePictureFile(const QImage& picture, const QString& fileName, int imageExtension, int quality, QString* error)
{
    return imageExtension != 0 ? WriteJpegFile(picture, fileName, quality, error)
                               : WriteBmpFile(picture, fileName, error);
}
