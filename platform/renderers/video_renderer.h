#pragma once
// The video renderer: takes RGB32 pictures, shows each at its presentation
// time on a surface inside the program's clipping window, mixes an overlay
// bitmap over it, hands out the current picture and counts what it drew.
// Pausing cues one picture, which is shown as the still picture.
//
// Threads: the control interfaces are called on the GUI thread; pictures
// arrive on the upstream streaming thread, which waits in Receive until the
// picture is due, so at most one picture is ever waiting here and what the
// filters upstream report is what is on screen. A picture from an upstream
// allocator with buffers to spare is shown from its own buffer, which goes
// back once a later picture replaces it or the renderer stops; others are
// copied.

#include "platform/graph/renderer.h"
#include "platform/renderers/renderer_interfaces.h"

#include <QImage>
#include <QPointer>
#include <QRect>

#include <memory>
#include <mutex>

struct VideoScene;
class VideoSurface;

class VideoRenderer final
    : public WithInterfaces<BaseRenderer, IVMRFilterConfig9, IVMRWindowlessControl9, IVMRMixerControl9,
                            IVMRMixerBitmap9, IVMRMonitorConfig9, IVMRDeinterlaceControl9, IQualProp>
{
public:
    VideoRenderer();

    HRESULT QueryInterface(REFIID riid, void** object) override;

    // BaseRenderer
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT BreakConnect() override;
    HRESULT DoRenderSample(IMediaSample* sample) override;
    void OnReceiveFirstSample(IMediaSample* sample) override;
    HRESULT OnStartStreaming() override;
    HRESULT OnStopStreaming() override;

    // IVMRFilterConfig9
    HRESULT SetNumberOfStreams(DWORD streams) override;
    HRESULT GetNumberOfStreams(DWORD* streams) override;
    HRESULT SetRenderingMode(DWORD mode) override;
    HRESULT GetRenderingMode(DWORD* mode) override;

    // IVMRWindowlessControl9, IVMRAspectRatioControl9
    HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) override;
    HRESULT SetVideoPosition(const RECT* source, const RECT* destination) override;
    HRESULT GetVideoPosition(RECT* source, RECT* destination) override;
    HRESULT GetAspectRatioMode(DWORD* mode) override;
    HRESULT SetAspectRatioMode(DWORD mode) override;
    HRESULT SetVideoClippingWindow(QWidget* window) override;
    HRESULT RepaintVideo() override;
    HRESULT DisplayModeChanged() override;
    HRESULT GetCurrentImage(BYTE** dib) override;
    HRESULT SetBorderColor(COLORREF colour) override;
    HRESULT GetBorderColor(COLORREF* colour) override;

    // IVMRMixerControl9
    HRESULT SetOutputRect(DWORD stream, const VMR9NormalizedRect* rect) override;
    HRESULT GetOutputRect(DWORD stream, VMR9NormalizedRect* rect) override;

    // IVMRMixerBitmap9
    HRESULT SetAlphaBitmap(const VMR9AlphaBitmap* bitmap) override;
    HRESULT UpdateAlphaBitmapParameters(const VMR9AlphaBitmap* bitmap) override;
    HRESULT GetAlphaBitmapParameters(VMR9AlphaBitmap* bitmap) override;

    // IVMRMonitorConfig9
    HRESULT SetMonitor(UINT monitor) override;
    HRESULT GetMonitor(UINT* monitor) override;

    // IVMRDeinterlaceControl9
    HRESULT SetDeinterlaceMode(DWORD stream, const GUID* mode) override;
    HRESULT GetDeinterlaceMode(DWORD stream, GUID* mode) override;

    // IQualProp: counts since streaming started; offsets in milliseconds
    // of presentation after the due time.
    HRESULT get_FramesDroppedInRenderer(int* frames) override;
    HRESULT get_FramesDrawn(int* frames) override;
    HRESULT get_AvgFrameRate(int* rate) override;
    HRESULT get_Jitter(int* jitter) override;
    HRESULT get_AvgSyncOffset(int* offset) override;
    HRESULT get_DevSyncOffset(int* deviation) override;

private:
    // The picture layout of a media type.
    struct PictureFormat
    {
        LONG width = 0;
        LONG height = 0;
        bool bottomUp = true;
        LONG aspectX = 0;
        LONG aspectY = 0;
    };
    static bool readFormat(const AM_MEDIA_TYPE& type, PictureFormat* format);

    ~VideoRenderer() override;

    // Puts the sample's picture in the scene and queues a repaint.
    void present(IMediaSample* sample);
    // Whether the picture may be shown from the sample's own buffer.
    bool canLend(IMediaSample* sample) const;
    // Applies the overlay parameters (and a new image when given).
    HRESULT applyOverlay(const VMR9AlphaBitmap* bitmap, bool newImage);
    void placeSurface();

    const std::shared_ptr<VideoScene> scene_;
    QPointer<QWidget> window_;
    QPointer<VideoSurface> surface_;

    // GUI thread.
    DWORD streams_ = 1;
    UINT monitor_ = 0;
    GUID deinterlace_;
    QRect destination_;
    bool sourceSet_ = false;
    VMR9AlphaBitmap overlayParameters_;
    QImage overlayImage_;

    // Format: set on connection, changed by samples that carry a new type.
    std::mutex formatLock_;
    PictureFormat format_;
    // The picture shown before the current one, for the next to reuse
    // (streaming thread).
    QImage spare_;
    // The picture shown lies in the buffer of the sample it came in (guarded
    // by the scene's mutex).
    bool lent_ = false;

    // Timing statistics, written on the streaming thread.
    std::mutex statsLock_;
    struct Stats
    {
        LONGLONG frames = 0;
        double offsetSum = 0;
        double offsetSquares = 0;
        REFERENCE_TIME firstShown = 0;
        REFERENCE_TIME lastShown = 0;
        double intervalSum = 0;
        double intervalSquares = 0;
    } stats_;
};

ComPtr<IBaseFilter> createVideoRenderer();
