#pragma once
// What the program asks of the video renderer beyond a filter: its mode and
// number of streams, the windowless control that draws into a widget of the
// program, the mixer (where stream 0 lies in the picture, which flips it),
// the overlay bitmap mixed over the video, the monitor and deinterlacing.

#include "platform/graph/formats.h"
#include "platform/graph/interfaces.h"

class QImage;
class QWidget;

// A colour as $00BBGGRR.
using COLORREF = DWORD;

constexpr CLSID CLSID_VideoMixingRenderer9 = "{51B4ABF3-748F-4E3B-A276-C828330E926A}"_guid;
constexpr CLSID CLSID_DSoundRender = "{79376820-07D0-11CF-A24D-0020AFD79767}"_guid;

// Rendering modes; only the windowless one draws here.
constexpr DWORD VMR9Mode_Windowed = 0x1;
constexpr DWORD VMR9Mode_Windowless = 0x2;
constexpr DWORD VMR9Mode_Renderless = 0x4;

// Aspect-ratio modes: stretch to the destination, or fit with borders.
constexpr DWORD VMR9ARMode_None = 0;
constexpr DWORD VMR9ARMode_LetterBox = 1;

// Overlay bitmap flags.
constexpr DWORD VMR9AlphaBitmap_Disable = 0x1;
constexpr DWORD VMR9AlphaBitmap_hDC = 0x2;
constexpr DWORD VMR9AlphaBitmap_EntireDDS = 0x4;
constexpr DWORD VMR9AlphaBitmap_SrcColorKey = 0x8;
constexpr DWORD VMR9AlphaBitmap_SrcRect = 0x10;
constexpr DWORD VMR9AlphaBitmap_FilterMode = 0x20;

// Scaling filters of the overlay.
constexpr DWORD MixerPref9_PointFiltering = 0x20;
constexpr DWORD MixerPref9_BiLinearFiltering = 0x40;

// A rectangle in fractions of the composed picture: (0, 0, 1, 1) is the
// whole of it; left > right or top > bottom mirrors.
struct VMR9NormalizedRect
{
    float left = 0;
    float top = 0;
    float right = 1;
    float bottom = 1;
};

// The overlay: `hdc` is the image drawn by the program, copied by the call
// (null with VMR9AlphaBitmap_Disable or when only parameters change); rSrc
// the part of it used (with VMR9AlphaBitmap_SrcRect, else all of it); rDest
// where it goes in the composed picture; fAlpha its opacity; clrSrcKey the
// colour shown transparent (with VMR9AlphaBitmap_SrcColorKey); dwFilterMode
// a MixerPref9 filter (with VMR9AlphaBitmap_FilterMode).
struct VMR9AlphaBitmap
{
    DWORD dwFlags = 0;
    const QImage* hdc = nullptr;
    void* pDDS = nullptr;
    RECT rSrc{};
    VMR9NormalizedRect rDest;
    float fAlpha = 1;
    COLORREF clrSrcKey = 0;
    DWORD dwFilterMode = 0;
};

struct IVMRFilterConfig9 : IUnknown
{
    static constexpr GUID iid = "{5A804648-4F66-4867-9C43-4F5C822CF1B8}"_guid;
    // Before the first connection: 1 to 16 input streams.
    virtual HRESULT SetNumberOfStreams(DWORD streams) = 0;
    virtual HRESULT GetNumberOfStreams(DWORD* streams) = 0;
    virtual HRESULT SetRenderingMode(DWORD mode) = 0;
    virtual HRESULT GetRenderingMode(DWORD* mode) = 0;
};

struct IVMRAspectRatioControl9 : IUnknown
{
    static constexpr GUID iid = "{00D96C29-BBDE-4EFC-9901-BB5036392146}"_guid;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
};

// The video drawn on a surface that the renderer places inside the clipping
// window at the destination rectangle. Called on the GUI thread.
struct IVMRWindowlessControl9 : IVMRAspectRatioControl9
{
    static constexpr GUID iid = "{8F537D09-F85E-4414-B23B-502E54C79927}"_guid;
    // The picture's size in pixels and its display aspect ratio.
    virtual HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) = 0;
    // `source` (in picture pixels; null: the whole picture) is shown in
    // `destination` (in the clipping window's pixels; null: unchanged).
    virtual HRESULT SetVideoPosition(const RECT* source, const RECT* destination) = 0;
    virtual HRESULT GetVideoPosition(RECT* source, RECT* destination) = 0;
    // The widget the video is drawn in; null takes the video off screen.
    virtual HRESULT SetVideoClippingWindow(QWidget* window) = 0;
    virtual HRESULT RepaintVideo() = 0;
    virtual HRESULT DisplayModeChanged() = 0;
    // The picture now shown, at its native size, as a packed bitmap: a
    // BITMAPINFOHEADER then bottom-up rows of B, G, R, X bytes. The caller
    // frees it with CoTaskMemFree. E_FAIL while there is no picture.
    virtual HRESULT GetCurrentImage(BYTE** dib) = 0;
    // The colour of the bands that letter-boxing leaves.
    virtual HRESULT SetBorderColor(COLORREF colour) = 0;
    virtual HRESULT GetBorderColor(COLORREF* colour) = 0;
};

struct IVMRMixerControl9 : IUnknown
{
    static constexpr GUID iid = "{1A777EAA-47C8-4930-B2C9-8FEE1C1B0F3B}"_guid;
    // Where a stream lies in the composed picture.
    virtual HRESULT SetOutputRect(DWORD stream, const VMR9NormalizedRect* rect) = 0;
    virtual HRESULT GetOutputRect(DWORD stream, VMR9NormalizedRect* rect) = 0;
};

struct IVMRMixerBitmap9 : IUnknown
{
    static constexpr GUID iid = "{CED175E5-1935-4820-81BD-FF6AD00C9108}"_guid;
    // A new overlay (or none, with VMR9AlphaBitmap_Disable).
    virtual HRESULT SetAlphaBitmap(const VMR9AlphaBitmap* bitmap) = 0;
    // New placement, opacity, key or filter for the current overlay.
    virtual HRESULT UpdateAlphaBitmapParameters(const VMR9AlphaBitmap* bitmap) = 0;
    virtual HRESULT GetAlphaBitmapParameters(VMR9AlphaBitmap* bitmap) = 0;
};

// Monitors are numbered as the desktop lists its screens, from 0.
struct IVMRMonitorConfig9 : IUnknown
{
    static constexpr GUID iid = "{46C2E457-8BA0-4EEF-B80B-0680F0978749}"_guid;
    virtual HRESULT SetMonitor(UINT monitor) = 0;
    virtual HRESULT GetMonitor(UINT* monitor) = 0;
};

// Pictures are shown as decoded; the mode chosen per stream is kept.
struct IVMRDeinterlaceControl9 : IUnknown
{
    static constexpr GUID iid = "{A215FB8D-13C2-4F7F-993C-003D6271A459}"_guid;
    virtual HRESULT SetDeinterlaceMode(DWORD stream, const GUID* mode) = 0;
    virtual HRESULT GetDeinterlaceMode(DWORD stream, GUID* mode) = 0;
};
