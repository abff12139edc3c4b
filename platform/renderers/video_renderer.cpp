#include "platform/renderers/video_renderer.h"

#include "platform/core/task_memory.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/sample.h"
#include "platform/renderers/video_scene.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include <cmath>
#include <cstring>
#include <utility>

namespace {

// Larger pictures than this are refused rather than allocated.
constexpr LONG kMaxDimension = 16384;

QColor colourOf(COLORREF colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

COLORREF colourRefOf(const QColor& colour)
{
    return static_cast<COLORREF>(colour.red() | colour.green() << 8 | colour.blue() << 16);
}

QRect qrectOf(const RECT& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

RECT rectOf(const QRect& r)
{
    return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

bool isFinite(const VMR9NormalizedRect& r)
{
    return std::isfinite(r.left) && std::isfinite(r.top) && std::isfinite(r.right) && std::isfinite(r.bottom);
}

// An overlay pixel made opaque, or transparent (0, as premultiplied) when
// it has the key colour.
inline QRgb keyPixel(QRgb pixel, QRgb key)
{
    pixel |= ~RGB_MASK;
    return (pixel & RGB_MASK) == key ? 0u : pixel;
}

// One row of the overlay; whether any pixel stays opaque. The whole groups
// of eight first: the compiler turns that loop into vector steps.
bool keyRow(const QRgb* __restrict from, QRgb* __restrict to, int width, QRgb key)
{
    const int whole = width & ~7;
    QRgb kept = 0;
    for (int x = 0; x < whole; ++x) {
        const QRgb pixel = keyPixel(from[x], key);
        to[x] = pixel;
        kept |= pixel;
    }
    for (int x = whole; x < width; ++x) {
        const QRgb pixel = keyPixel(from[x], key);
        to[x] = pixel;
        kept |= pixel;
    }
    return kept != 0;
}

// The overlay as drawn: opaque (the bitmap's own alpha bytes are not
// used), with the key colour made transparent; `opaque` receives the part
// that is not transparent, where all drawing of the overlay happens.
QImage keyedOverlay(const QImage& image, const VMR9AlphaBitmap& parameters, QRect* opaque)
{
    // Alpha is 0 or 255 throughout, so the pixels are premultiplied as
    // they stand; that is the format the painter blends fastest. The
    // overlay comes anew with every frame's inlay: it is read once, into a
    // picture of its own (the caller keeps drawing on the one it gave).
    const QImage source = image.convertToFormat(QImage::Format_RGB32);
    const int width = source.width(), height = source.height();
    QImage keyed(width, height, QImage::Format_ARGB32_Premultiplied);
    // Without a key no colour matches: no masked pixel has all 32 bits set.
    const QRgb key =
        parameters.dwFlags & VMR9AlphaBitmap_SrcColorKey ? colourOf(parameters.clrSrcKey).rgb() & RGB_MASK : ~QRgb(0);
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        auto* to = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        if (!keyRow(reinterpret_cast<const QRgb*>(source.constScanLine(y)), to, width, key))
            continue;
        // Opaque pixels have an alpha of 255: never 0.
        int first = 0, last = width - 1;
        while (!to[first])
            ++first;
        while (!to[last])
            --last;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    *opaque = right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
    return keyed;
}

REFERENCE_TIME clockNow(IReferenceClock* clock)
{
    REFERENCE_TIME now = 0;
    return clock && SUCCEEDED(clock->GetTime(&now)) ? now : -1;
}

} // namespace

VideoRenderer::VideoRenderer()
    : WithInterfaces(CLSID_VideoMixingRenderer9, u"Video Renderer"), scene_(std::make_shared<VideoScene>())
{
}

VideoRenderer::~VideoRenderer()
{
    if (!surface_)
        return;
    if (QThread::currentThread() == surface_->thread())
        delete surface_.data();
    else
        surface_->deleteLater();
}

HRESULT VideoRenderer::QueryInterface(REFIID riid, void** object)
{
    // The aspect-ratio control is the base of the windowless control.
    if (object && riid == IVMRAspectRatioControl9::iid) {
        *object = static_cast<IVMRAspectRatioControl9*>(static_cast<IVMRWindowlessControl9*>(this));
        AddRef();
        return S_OK;
    }
    return WithInterfaces::QueryInterface(riid, object);
}

// --- connection and streaming ------------------------------------------------

bool VideoRenderer::readFormat(const AM_MEDIA_TYPE& type, PictureFormat* format)
{
    const BITMAPINFOHEADER* header = nullptr;
    PictureFormat read;
    if (type.formattype == FORMAT_VideoInfo) {
        if (const auto* vih = type.formatAs<VIDEOINFOHEADER>())
            header = &vih->bmiHeader;
    } else if (type.formattype == FORMAT_VideoInfo2) {
        if (const auto* vih2 = type.formatAs<VIDEOINFOHEADER2>()) {
            header = &vih2->bmiHeader;
            read.aspectX = static_cast<LONG>(vih2->dwPictAspectRatioX);
            read.aspectY = static_cast<LONG>(vih2->dwPictAspectRatioY);
        }
    }
    if (!header || header->biBitCount != 32 || header->biCompression != BI_RGB)
        return false;
    read.width = header->biWidth;
    read.height = header->biHeight < 0 ? -static_cast<LONGLONG>(header->biHeight) : header->biHeight;
    read.bottomUp = header->biHeight > 0;
    if (read.width <= 0 || read.width > kMaxDimension || read.height <= 0 || read.height > kMaxDimension)
        return false;
    if (read.aspectX <= 0 || read.aspectY <= 0) {
        read.aspectX = read.width;
        read.aspectY = read.height;
    }
    *format = read;
    return true;
}

HRESULT VideoRenderer::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    PictureFormat format;
    if (!type || type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_RGB32 ||
        !readFormat(*type, &format))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT VideoRenderer::SetMediaType(const AM_MEDIA_TYPE* type)
{
    std::lock_guard lock(formatLock_);
    return readFormat(*type, &format_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT VideoRenderer::BreakConnect()
{
    // The next connection's stream starts without the old picture.
    {
        std::lock_guard lock(formatLock_);
        format_ = PictureFormat{};
    }
    QImage shown; // let go of outside the lock, with the sample it may hold
    {
        std::lock_guard lock(scene_->mutex);
        std::swap(shown, scene_->layout.picture);
        lent_ = false;
    }
    spare_ = QImage();
    scene_->requestRepaint();
    return S_OK;
}

namespace {

void releaseSample(void* sample)
{
    static_cast<IMediaSample*>(sample)->Release();
}

// Buffers an upstream allocator needs for a picture to be shown from its own
// buffer: the one shown, the next one, and one that a paint or a grab still
// holds for a moment.
constexpr LONG kLendingBuffers = 3;

} // namespace

bool VideoRenderer::canLend(IMediaSample* sample) const
{
    IMemAllocator* allocator = input()->PeekAllocator();
    const MediaSample* own = MediaSample::of(sample);
    ALLOCATOR_PROPERTIES properties;
    return allocator && own && own->belongsTo(allocator) && SUCCEEDED(allocator->GetProperties(&properties)) &&
           properties.cBuffers >= kLendingBuffers;
}

void VideoRenderer::present(IMediaSample* sample)
{
    AM_MEDIA_TYPE* changed = nullptr;
    PictureFormat format;
    {
        std::lock_guard lock(formatLock_);
        if (sample->GetMediaType(&changed) == S_OK) {
            readFormat(*changed, &format_);
            DeleteMediaType(changed);
        }
        format = format_;
    }
    BYTE* data = nullptr;
    const qsizetype stride = qsizetype(format.width) * 4;
    if (FAILED(sample->GetPointer(&data)) || !data || format.width == 0 ||
        sample->GetActualDataLength() < stride * format.height)
        return;
    QImage picture;
    const bool lent = !format.bottomUp && canLend(sample);
    if (lent) {
        // A picture stored top row first is shown where it lies, read-only:
        // the image holds the sample, so that its buffer goes back to the
        // allocator only once no picture shown, painted or grabbed uses it.
        sample->AddRef();
        picture = QImage(static_cast<const uchar*>(data), format.width, format.height, stride, QImage::Format_RGB32,
                         releaseSample, sample);
        if (picture.isNull()) {
            sample->Release();
            return;
        }
    } else {
        // The picture shown before is written over when nothing else holds
        // it (a paint or a grab takes its own reference), so that a stream
        // of pictures does not map fresh memory for each.
        picture = std::move(spare_);
        if (picture.size() != QSize(format.width, format.height) || !picture.isDetached())
            picture = QImage(format.width, format.height, QImage::Format_RGB32);
        if (picture.isNull())
            return;
        for (int y = 0; y < format.height; ++y) {
            const int row = format.bottomUp ? format.height - 1 - y : y;
            std::memcpy(picture.scanLine(y), data + row * stride, stride);
        }
    }
    bool wasLent = false;
    {
        std::lock_guard lock(scene_->mutex);
        // A stopped renderer keeps no buffer of its upstream: its allocator
        // may be made anew before the next run. A stop after this look lets
        // the buffer go itself (OnStopStreaming).
        const bool keep = lent && state() != State_Stopped;
        if (lent && !keep)
            picture = picture.copy();
        SceneLayout& layout = scene_->layout;
        if (!sourceSet_ || layout.picture.size() != picture.size())
            layout.source = picture.rect();
        std::swap(layout.picture, picture);
        layout.aspect = QSizeF(format.aspectX, format.aspectY);
        wasLent = std::exchange(lent_, keep);
    }
    // A lent picture goes (and lets its sample go) unless a paint or a grab
    // still holds it.
    if (!wasLent)
        spare_ = std::move(picture);
    else
        picture = QImage();
    scene_->requestRepaint();
}

void VideoRenderer::OnReceiveFirstSample(IMediaSample* sample)
{
    present(sample);
}

HRESULT VideoRenderer::DoRenderSample(IMediaSample* sample)
{
    present(sample);
    const REFERENCE_TIME now = clockNow(clock().get());
    REFERENCE_TIME start = 0, stop = 0;
    if (now < 0 || FAILED(sample->GetTime(&start, &stop)))
        return S_OK;
    const double offset = (now - streamStart() - start) / 10'000.0;
    std::lock_guard lock(statsLock_);
    if (stats_.frames == 0) {
        stats_.firstShown = now;
    } else {
        const double interval = (now - stats_.lastShown) / 10'000.0;
        stats_.intervalSum += interval;
        stats_.intervalSquares += interval * interval;
    }
    stats_.lastShown = now;
    ++stats_.frames;
    stats_.offsetSum += offset;
    stats_.offsetSquares += offset * offset;
    return S_OK;
}

HRESULT VideoRenderer::OnStopStreaming()
{
    // The picture shown stays, in memory of its own.
    QImage lent;
    {
        std::lock_guard lock(scene_->mutex);
        if (std::exchange(lent_, false)) {
            lent = scene_->layout.picture;
            scene_->layout.picture = lent.copy();
        }
    }
    return S_OK;
}

HRESULT VideoRenderer::OnStartStreaming()
{
    std::lock_guard lock(statsLock_);
    stats_ = Stats{};
    return S_OK;
}

// --- configuration -----------------------------------------------------------

HRESULT VideoRenderer::SetNumberOfStreams(DWORD streams)
{
    if (streams < 1 || streams > 16)
        return E_INVALIDARG;
    if (input()->isConnected())
        return VFW_E_WRONG_STATE;
    streams_ = streams;
    return S_OK;
}

HRESULT VideoRenderer::GetNumberOfStreams(DWORD* streams)
{
    if (!streams)
        return E_POINTER;
    *streams = streams_;
    return S_OK;
}

HRESULT VideoRenderer::SetRenderingMode(DWORD mode)
{
    return mode == VMR9Mode_Windowless ? S_OK : E_NOTIMPL;
}

HRESULT VideoRenderer::GetRenderingMode(DWORD* mode)
{
    if (!mode)
        return E_POINTER;
    *mode = VMR9Mode_Windowless;
    return S_OK;
}

// --- windowless control ------------------------------------------------------

HRESULT VideoRenderer::GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight)
{
    PictureFormat format;
    {
        std::lock_guard lock(formatLock_);
        format = format_;
    }
    for (auto [out, value] : {std::pair{width, format.width}, std::pair{height, format.height},
                              std::pair{arWidth, format.aspectX}, std::pair{arHeight, format.aspectY}}) {
        if (out)
            *out = value;
    }
    return format.width ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT VideoRenderer::SetVideoPosition(const RECT* source, const RECT* destination)
{
    if (destination && (destination->right < destination->left || destination->bottom < destination->top))
        return E_INVALIDARG;
    QRect picture;
    {
        std::lock_guard lock(formatLock_);
        picture = QRect(0, 0, format_.width, format_.height);
    }
    {
        std::lock_guard lock(scene_->mutex);
        SceneLayout& layout = scene_->layout;
        if (source) {
            const QRect wanted = qrectOf(*source);
            if (wanted.isEmpty() || (!picture.isEmpty() && !picture.contains(wanted)))
                return E_INVALIDARG;
            layout.source = wanted;
        } else {
            layout.source = picture;
        }
        sourceSet_ = source != nullptr;
    }
    if (destination)
        destination_ = qrectOf(*destination);
    placeSurface();
    return S_OK;
}

HRESULT VideoRenderer::GetVideoPosition(RECT* source, RECT* destination)
{
    if (!source && !destination)
        return E_POINTER;
    if (source) {
        std::lock_guard lock(scene_->mutex);
        *source = rectOf(scene_->layout.source);
    }
    if (destination)
        *destination = rectOf(destination_);
    return S_OK;
}

HRESULT VideoRenderer::GetAspectRatioMode(DWORD* mode)
{
    if (!mode)
        return E_POINTER;
    std::lock_guard lock(scene_->mutex);
    *mode = scene_->layout.letterBox ? VMR9ARMode_LetterBox : VMR9ARMode_None;
    return S_OK;
}

HRESULT VideoRenderer::SetAspectRatioMode(DWORD mode)
{
    if (mode != VMR9ARMode_None && mode != VMR9ARMode_LetterBox)
        return E_INVALIDARG;
    {
        std::lock_guard lock(scene_->mutex);
        scene_->layout.letterBox = mode == VMR9ARMode_LetterBox;
    }
    return RepaintVideo();
}

HRESULT VideoRenderer::SetVideoClippingWindow(QWidget* window)
{
    window_ = window;
    if (!window) {
        delete surface_.data();
        return S_OK;
    }
    // The surface moves with the video between the program's windows; a
    // destroyed window took it along, so another is made. It comes to the
    // front each time: the video is drawn over what the window holds, as if
    // on the window itself.
    if (!surface_)
        surface_ = new VideoSurface(scene_, window);
    else if (surface_->parentWidget() != window)
        surface_->setParent(window);
    surface_->raise();
    placeSurface();
    return S_OK;
}

void VideoRenderer::placeSurface()
{
    if (surface_)
        surface_->place(destination_);
}

HRESULT VideoRenderer::RepaintVideo()
{
    if (surface_)
        surface_->refresh();
    return S_OK;
}

HRESULT VideoRenderer::DisplayModeChanged()
{
    placeSurface();
    return S_OK;
}

HRESULT VideoRenderer::GetCurrentImage(BYTE** dib)
{
    if (!dib)
        return E_POINTER;
    *dib = nullptr;
    QImage picture;
    {
        std::lock_guard lock(scene_->mutex);
        picture = scene_->layout.picture;
    }
    if (picture.isNull())
        return E_FAIL;
    const qsizetype stride = qsizetype(picture.width()) * 4;
    const std::size_t imageSize = std::size_t(stride) * picture.height();
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(BITMAPINFOHEADER) + imageSize));
    if (!block)
        return E_OUTOFMEMORY;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = picture.width();
    header.biHeight = picture.height();
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(imageSize);
    std::memcpy(block, &header, sizeof header);
    BYTE* pixels = block + sizeof header;
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(pixels + (picture.height() - 1 - y) * stride, picture.constScanLine(y), stride);
    *dib = block;
    return S_OK;
}

HRESULT VideoRenderer::SetBorderColor(COLORREF colour)
{
    {
        std::lock_guard lock(scene_->mutex);
        scene_->layout.border = colourOf(colour);
    }
    return RepaintVideo();
}

HRESULT VideoRenderer::GetBorderColor(COLORREF* colour)
{
    if (!colour)
        return E_POINTER;
    std::lock_guard lock(scene_->mutex);
    *colour = colourRefOf(scene_->layout.border);
    return S_OK;
}

// --- mixer -------------------------------------------------------------------

// Only the first stream has an input pin; the others are counted for the
// program but carry nothing.
HRESULT VideoRenderer::SetOutputRect(DWORD stream, const VMR9NormalizedRect* rect)
{
    if (!rect)
        return E_POINTER;
    if (stream != 0 || !isFinite(*rect))
        return E_INVALIDARG;
    {
        std::lock_guard lock(scene_->mutex);
        scene_->layout.output = *rect;
    }
    return RepaintVideo();
}

HRESULT VideoRenderer::GetOutputRect(DWORD stream, VMR9NormalizedRect* rect)
{
    if (!rect)
        return E_POINTER;
    if (stream != 0)
        return E_INVALIDARG;
    std::lock_guard lock(scene_->mutex);
    *rect = scene_->layout.output;
    return S_OK;
}

HRESULT VideoRenderer::applyOverlay(const VMR9AlphaBitmap* bitmap, bool newImage)
{
    if (bitmap->dwFlags & VMR9AlphaBitmap_Disable) {
        overlayImage_ = QImage();
        overlayParameters_ = VMR9AlphaBitmap{};
        overlayParameters_.dwFlags = VMR9AlphaBitmap_Disable;
        {
            std::lock_guard lock(scene_->mutex);
            scene_->layout.overlay = QImage();
        }
        return RepaintVideo();
    }
    if (bitmap->pDDS || (bitmap->dwFlags & VMR9AlphaBitmap_EntireDDS))
        return E_INVALIDARG;
    // A new overlay comes with its image; an update of the parameters without.
    const bool hasImage = (bitmap->dwFlags & VMR9AlphaBitmap_hDC) || bitmap->hdc;
    if (newImage ? !((bitmap->dwFlags & VMR9AlphaBitmap_hDC) && bitmap->hdc) : hasImage)
        return E_INVALIDARG;
    const QImage image = newImage ? *bitmap->hdc : overlayImage_;
    if (image.isNull())
        return newImage ? E_INVALIDARG : E_UNEXPECTED;
    const QRect source = bitmap->dwFlags & VMR9AlphaBitmap_SrcRect ? qrectOf(bitmap->rSrc) : image.rect();
    if (!(bitmap->fAlpha >= 0 && bitmap->fAlpha <= 1) || !isFinite(bitmap->rDest) || source.isEmpty() ||
        !image.rect().contains(source))
        return E_INVALIDARG;
    overlayImage_ = image;
    overlayParameters_ = *bitmap;
    overlayParameters_.hdc = nullptr;
    QRect opaque;
    QImage keyed = keyedOverlay(image, *bitmap, &opaque);
    {
        std::lock_guard lock(scene_->mutex);
        SceneLayout& layout = scene_->layout;
        layout.overlay = std::move(keyed);
        layout.overlaySource = source;
        layout.overlayOpaque = opaque;
        layout.overlayDestination = bitmap->rDest;
        layout.overlayAlpha = bitmap->fAlpha;
        layout.overlaySmooth =
            !(bitmap->dwFlags & VMR9AlphaBitmap_FilterMode) || bitmap->dwFilterMode != MixerPref9_PointFiltering;
    }
    return RepaintVideo();
}

HRESULT VideoRenderer::SetAlphaBitmap(const VMR9AlphaBitmap* bitmap)
{
    if (!bitmap)
        return E_POINTER;
    return applyOverlay(bitmap, !(bitmap->dwFlags & VMR9AlphaBitmap_Disable));
}

HRESULT VideoRenderer::UpdateAlphaBitmapParameters(const VMR9AlphaBitmap* bitmap)
{
    if (!bitmap)
        return E_POINTER;
    return applyOverlay(bitmap, false);
}

HRESULT VideoRenderer::GetAlphaBitmapParameters(VMR9AlphaBitmap* bitmap)
{
    if (!bitmap)
        return E_POINTER;
    *bitmap = overlayParameters_;
    return S_OK;
}

// --- monitor and deinterlacing -----------------------------------------------

HRESULT VideoRenderer::SetMonitor(UINT monitor)
{
    if (monitor >= static_cast<UINT>(QGuiApplication::screens().size()))
        return E_INVALIDARG;
    monitor_ = monitor;
    return S_OK;
}

HRESULT VideoRenderer::GetMonitor(UINT* monitor)
{
    if (!monitor)
        return E_POINTER;
    *monitor = monitor_;
    return S_OK;
}

HRESULT VideoRenderer::SetDeinterlaceMode(DWORD stream, const GUID* mode)
{
    if (!mode)
        return E_POINTER;
    if (stream != 0)
        return E_INVALIDARG;
    deinterlace_ = *mode;
    return S_OK;
}

HRESULT VideoRenderer::GetDeinterlaceMode(DWORD stream, GUID* mode)
{
    if (!mode)
        return E_POINTER;
    if (stream != 0)
        return E_INVALIDARG;
    *mode = deinterlace_;
    return S_OK;
}

// --- quality -----------------------------------------------------------------

namespace {

HRESULT putInt(int* out, double value)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<int>(std::lround(value));
    return S_OK;
}

double deviation(double sum, double squares, LONGLONG count)
{
    if (count < 2)
        return 0;
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, squares / count - mean * mean));
}

} // namespace

HRESULT VideoRenderer::get_FramesDroppedInRenderer(int* frames)
{
    return putInt(frames, 0);
}

HRESULT VideoRenderer::get_FramesDrawn(int* frames)
{
    return putInt(frames, framesDrawn());
}

HRESULT VideoRenderer::get_AvgFrameRate(int* rate)
{
    std::lock_guard lock(statsLock_);
    const REFERENCE_TIME span = stats_.lastShown - stats_.firstShown;
    // In frames per hundred seconds.
    return putInt(rate, span > 0 ? (stats_.frames - 1) * 100.0 * 10'000'000 / span : 0);
}

HRESULT VideoRenderer::get_Jitter(int* jitter)
{
    std::lock_guard lock(statsLock_);
    return putInt(jitter, deviation(stats_.intervalSum, stats_.intervalSquares, stats_.frames - 1));
}

HRESULT VideoRenderer::get_AvgSyncOffset(int* offset)
{
    std::lock_guard lock(statsLock_);
    return putInt(offset, stats_.frames ? stats_.offsetSum / stats_.frames : 0);
}

HRESULT VideoRenderer::get_DevSyncOffset(int* deviationOut)
{
    std::lock_guard lock(statsLock_);
    return putInt(deviationOut, deviation(stats_.offsetSum, stats_.offsetSquares, stats_.frames));
}

ComPtr<IBaseFilter> createVideoRenderer()
{
    return ComPtr<IBaseFilter>(makeCom<VideoRenderer>());
}
