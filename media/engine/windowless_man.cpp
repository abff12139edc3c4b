#include "media/engine/windowless_man.h"

#include "framework/managers/shortcuts.h"
#include "media/engine/graphe_man.h"
#include "media/engine/video_forms.h"
#include "media/filters/notify_messages.h"
#include "media/parsers/media_types.h"
#include "platform/core/class_registry.h"
#include "platform/core/task_memory.h"
#include "platform/graph/pin_walk.h"
#include "platform/win/messages.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr UINT WM_DISPLAYCHANGE = 0x007E;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;

constexpr DWORD kRendererStreams = 4;
constexpr int kNoticeIntervalMs = 3000;
constexpr char16_t kRendererName[] = u"Kv VideoWindow";

QRect qrectOf(const RECT& r)
{
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

QScreen* screenOf(QWidget* control)
{
    QScreen* screen = control ? control->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

TWindowLessMan::TWindowLessMan(QObject* owner) : TKvActionComponent(owner)
{
    CreateRenderer();
    FPlaque = std::make_unique<Tplaque>();
    FPlaque->OnPanelQuitClick = [this] { HideNotice(); };
    FNoticeTimer = new QTimer(this);
    FNoticeTimer->setInterval(kNoticeIntervalMs);
    connect(FNoticeTimer, &QTimer::timeout, this, [this] {
        FNoticeTimer->stop();
        HideNotice();
    });
    FPreviewForm = std::make_unique<TPreviewForm>();
    FPreviewForm->OnClose = [this] {
        if (!FExternalPreview)
            return;
        if (caExternalPreview)
            caExternalPreview->SetChecked(false);
        else
            SetExternalPreview(false);
    };
    FPreviewForm->OnExitSizeMove = [this] {
        if (MainFormHandle)
            SendMessage(MainFormHandle, WM_EXITSIZEMOVE, 0, 0);
    };
}

TWindowLessMan::~TWindowLessMan()
{
    FNoticeTimer->stop();
    if (FDisplayWindow)
        FDisplayWindow->removeEventFilter(this);
    if (FWindow)
        disconnect(FWindow, nullptr, this, nullptr);
    delete FBands.data();
    if (FWindowlessControl)
        FWindowlessControl->SetVideoClippingWindow(nullptr);
    SetGraphManager(nullptr);
}

void TWindowLessMan::CreateRenderer()
{
    CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, FRenderer.putVoid());
    const auto config = FRenderer.as<IVMRFilterConfig9>();
    if (!config || FAILED(config->SetRenderingMode(VMR9Mode_Windowless)) ||
        FAILED(config->SetNumberOfStreams(kRendererStreams)))
        return;
    // Each interface only when the one before it was there.
    if (!(FWindowlessControl = FRenderer.as<IVMRWindowlessControl9>()) ||
        !(FMixerControl = FRenderer.as<IVMRMixerControl9>()) || !(FMixerBitmap = FRenderer.as<IVMRMixerBitmap9>()) ||
        !(FMediaFilter = FRenderer.as<IMediaFilter>()) || !(FMonitorConfig = FRenderer.as<IVMRMonitorConfig9>()) ||
        !(FDeinterlaceControl = FRenderer.as<IVMRDeinterlaceControl9>()) || !(FQualProp = FRenderer.as<IQualProp>()))
        return;
    FRendererPin = firstPin(FRenderer.get(), PINDIR_INPUT);
}

HRESULT TWindowLessMan::QueryInterface(REFIID riid, void** object) const
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const bool delegated = riid == IBaseFilter::iid || riid == IMediaFilter::iid || riid == IQualProp::iid ||
                           riid == IVMRDeinterlaceControl9::iid || riid == IVMRMonitorConfig9::iid ||
                           riid == IVMRMixerBitmap9::iid || riid == IVMRMixerControl9::iid ||
                           riid == IVMRWindowlessControl9::iid;
    if (!delegated || !FRenderer)
        return E_NOINTERFACE;
    return FRenderer->QueryInterface(riid, object);
}

// --- where the video goes ----------------------------------------------------

void TWindowLessMan::SetGraphManager(TGrapheMan* manager)
{
    if (manager == FGraphManager && RendererInGraph())
        return;
    if (FGraphManager) {
        FGraphManager->RemoveFilterOwner(this);
        if (FRenderer && FGraphManager->GraphBuilder())
            FGraphManager->GraphBuilder()->RemoveFilter(FRenderer.get());
    }
    FGraphManager = manager;
    if (!manager || !FRenderer || !manager->GraphBuilder())
        return;
    manager->GraphBuilder()->AddFilter(FRenderer.get(), kRendererName);
    // A cleared graph has let the renderer go with the file: the manager
    // forgets the graph, and the next file's connection puts it in again.
    manager->AddFilterOwner(this, [this] {
        if (FGraphManager)
            FGraphManager->RemoveFilterOwner(this);
        FGraphManager = nullptr;
        GraphCleared();
    });
    AttachDisplay();
}

bool TWindowLessMan::RendererInGraph() const
{
    FILTER_INFO info;
    return FRenderer && FGraphManager && SUCCEEDED(FRenderer->QueryFilterInfo(&info)) && info.pGraph &&
           info.pGraph.get() == static_cast<IFilterGraph*>(FGraphManager->GraphBuilder());
}

TGrapheMan* TWindowLessMan::GraphManager() const
{
    return FGraphManager;
}

void TWindowLessMan::SetWindow(QWidget* host)
{
    if (FWindow)
        disconnect(FWindow, &QObject::destroyed, this, nullptr);
    FWindow = host;
    if (host)
        connect(host, &QObject::destroyed, this, [this] { HostDestroyed(); });
    SetDisplayWindow(host);
}

void TWindowLessMan::HostDestroyed()
{
    CreateControls();
    FWindow = nullptr;
    SetDisplayWindow(nullptr);
}

int TWindowLessMan::MonitorOf(QWidget* control) const
{
    return std::max<int>(0, static_cast<int>(QGuiApplication::screens().indexOf(screenOf(control))));
}

void TWindowLessMan::SetDisplayWindow(QWidget* control)
{
    if (FDisplayWindow && FDisplayWindow != control)
        FDisplayWindow->removeEventFilter(this);
    FDisplayWindow = control;
    if (!control) {
        delete FBands.data();
        return;
    }
    control->installEventFilter(this);
    if (!FBands)
        FBands = new VideoBands(control);
    else if (FBands->parentWidget() != control)
        FBands->setParent(control);
    FBands->Fit();
    FBands->show();
    if (QScreen* screen = screenOf(control))
        FPlaque->setGeometry(screen->geometry());
    if (FMonitorConfig)
        FMonitorConfig->SetMonitor(MonitorOf(control));
    if (FWindowlessControl)
        FWindowlessControl->DisplayModeChanged();
    UpdateVideoPosition();
}

bool TWindowLessMan::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FDisplayWindow && event->type() == QEvent::Resize) {
        if (FBands)
            FBands->Fit();
        UpdateVideoPosition();
    }
    return TKvActionComponent::eventFilter(watched, event);
}

void TWindowLessMan::UpdateVideoPosition()
{
    if (!FDisplayWindow)
        return;
    if (FFullScreen) {
        const QSize monitor = screenOf(FDisplayWindow)->geometry().size();
        SetFullScreenVideoRect(GetAspectFitRect(FAspectX, FAspectY, RECT{0, 0, monitor.width(), monitor.height()}, true,
                                                FFullBorderWidth));
    } else {
        const QSize client = FDisplayWindow->size();
        SetWindowVideoRect(
            GetAspectFitRect(FAspectX, FAspectY, RECT{0, 0, client.width(), client.height()}, true, FWinBorderWidth));
    }
}

void TWindowLessMan::SetVideoAspect(int x, int y)
{
    FAspectX = x;
    FAspectY = y;
    UpdateVideoPosition();
}

void TWindowLessMan::SetWindowVideoRect(const RECT& rect)
{
    FWindowVideoRect = rect;
    if (!FFullScreen)
        AttachDisplay();
}

void TWindowLessMan::SetFullScreenVideoRect(const RECT& rect)
{
    FFullScreenVideoRect = rect;
    if (FFullScreen)
        AttachPlate();
}

void TWindowLessMan::AttachDisplay()
{
    if (!FWindowlessControl)
        return;
    // The bands lie over the host's own controls, the video over the bands.
    if (FBands)
        FBands->raise();
    FWindowlessControl->SetVideoClippingWindow(FDisplayWindow);
    FWindowlessControl->SetVideoPosition(nullptr, &FWindowVideoRect);
    PaintBorders();
    FWindowlessControl->RepaintVideo();
    ApplyFlips();
}

void TWindowLessMan::AttachPlate()
{
    if (!FWindowlessControl)
        return;
    const QRect video = qrectOf(FFullScreenVideoRect);
    QWidget* shape = FPlaque->Shape();
    QPalette palette = shape->palette();
    palette.setColor(QPalette::Window, ColorToQColor(FBorderColor));
    shape->setPalette(palette);
    shape->setGeometry(video.adjusted(-FFullBorderWidth, -FFullBorderWidth, FFullBorderWidth, FFullBorderWidth));
    shape->raise();
    FWindowlessControl->SetVideoClippingWindow(FPlaque.get());
    FWindowlessControl->SetVideoPosition(nullptr, &FFullScreenVideoRect);
    // The notice stays readable over the video while it is shown.
    if (FPlaque->PanelQuit()->isVisibleTo(FPlaque.get()))
        FPlaque->PanelQuit()->raise();
    FPlaque->raise();
    FPlaque->update();
    FWindowlessControl->RepaintVideo();
}

void TWindowLessMan::PaintBorders()
{
    if (FBands)
        FBands->SetLayout(qrectOf(FWindowVideoRect), FWinBorderWidth, ColorToQColor(FBorderColor));
}

void TWindowLessMan::RepaintWindow()
{
    PaintBorders();
    if (FFullScreen)
        FPlaque->update();
    else if (FWindow)
        FWindow->update();
    if (FWindowlessControl)
        FWindowlessControl->RepaintVideo();
}

void TWindowLessMan::ClearVideoWindow()
{
    if (FBands)
        FBands->SetLayout(QRect(), 0, QColor());
    if (FDisplayWindow)
        FDisplayWindow->update();
}

void TWindowLessMan::HideNotice()
{
    FPlaque->PanelQuit()->hide();
    FPlaque->update();
    if (FWindowlessControl)
        FWindowlessControl->RepaintVideo();
}

void TWindowLessMan::SetFullScreen(bool on)
{
    FFullScreen = on;
    if (on) {
        // Full-screen state, so that the desktop's own panels go under it.
        FPlaque->setGeometry(screenOf(FDisplayWindow)->geometry());
        FPlaque->setWindowState(Qt::WindowFullScreen);
    }
    FPlaque->setVisible(on);
    if (on) {
        FPlaque->raise();
        if (FNoticeTimer->interval() != 0) {
            FPlaque->PanelQuit()->show();
            FPlaque->PanelQuit()->raise();
            FNoticeTimer->start();
        } else {
            FPlaque->PanelQuit()->hide();
        }
    } else {
        if (FMonitorConfig && FDisplayWindow)
            FMonitorConfig->SetMonitor(MonitorOf(FDisplayWindow));
        PostMessage(Handle(), WM_DISPLAYCHANGE, 0, 0);
    }
    UpdateVideoPosition();
}

void TWindowLessMan::SetExternalPreview(bool on)
{
    const bool wasOn = FExternalPreview;
    FExternalPreview = on;
    if (on) {
        FPreviewForm->setGeometry(ToQRect(FPreviewRect));
        FPreviewForm->show();
        FPreviewForm->raise();
        SetDisplayWindow(FPreviewForm.get());
    } else {
        // A window never shown has no bounds of the user's to keep.
        if (wasOn)
            FPreviewRect = ToTRect(FPreviewForm->geometry());
        FPreviewForm->hide();
        SetDisplayWindow(FWindow);
    }
    UpdateVideoPosition();
}

void TWindowLessMan::SetPreviewRect(const TRect& rect)
{
    FPreviewRect = rect;
    FPreviewForm->setGeometry(ToQRect(rect));
}

void TWindowLessMan::SetKeepAspectratio(bool on)
{
    FKeepAspectratio = on;
    if (FWindowlessControl)
        FWindowlessControl->SetAspectRatioMode(on ? VMR9ARMode_LetterBox : VMR9ARMode_None);
}

void TWindowLessMan::ApplyFlips()
{
    if (!FMixerControl)
        return;
    VMR9NormalizedRect rect;
    rect.left = FFlipHorizontal ? 1.0f : 0.0f;
    rect.right = FFlipHorizontal ? 0.0f : 1.0f;
    rect.top = FFlipVertical ? 1.0f : 0.0f;
    rect.bottom = FFlipVertical ? 0.0f : 1.0f;
    FMixerControl->SetOutputRect(0, &rect);
}

void TWindowLessMan::SetFlipVertical(bool on)
{
    FFlipVertical = on;
    ApplyFlips();
}

void TWindowLessMan::SetFlipHorizontal(bool on)
{
    FFlipHorizontal = on;
    ApplyFlips();
}

void TWindowLessMan::SetBackColor(TColor colour)
{
    FBackColor = colour;
    FPlaque->SetColor(ColorToQColor(colour));
}

void TWindowLessMan::SetBorderColor(TColor colour)
{
    FBorderColor = colour;
    if (FFullScreen)
        AttachPlate();
    PaintBorders();
    if (FWindowlessControl)
        FWindowlessControl->RepaintVideo();
}

// A new border width fits the video again: the rectangle was fitted inside
// the old one.
void TWindowLessMan::SetWinBorderWidth(int width)
{
    FWinBorderWidth = std::max(0, width);
    if (!FFullScreen)
        UpdateVideoPosition();
}

void TWindowLessMan::SetFullBorderWidth(int width)
{
    FFullBorderWidth = std::max(0, width);
    if (FFullScreen)
        UpdateVideoPosition();
}

// --- grabbing ----------------------------------------------------------------

namespace {

// A row of B, G, R, X pixels made opaque. The whole groups of eight first:
// the compiler turns that loop into vector steps.
void OpaqueRow(const quint32* __restrict from, quint32* __restrict to, int width)
{
    const int whole = width & ~7;
    for (int x = 0; x < whole; ++x)
        to[x] = from[x] | 0xFF000000u;
    for (int x = whole; x < width; ++x)
        to[x] = from[x] | 0xFF000000u;
}

} // namespace

bool TWindowLessMan::GetCurrentImage(QImage& graphic)
{
    if (!FWindowlessControl)
        return false;
    BYTE* dib = nullptr;
    if (FAILED(FWindowlessControl->GetCurrentImage(&dib)) || !dib)
        return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    bool loaded = false;
    if (header.biSize >= sizeof header && header.biWidth > 0 && header.biHeight != 0 && header.biBitCount == 32 &&
        header.biCompression == BI_RGB) {
        // The renderer's own kind of picture: its rows go straight into the
        // image, the top row first, opaque as a bitmap file would load.
        const qint64 height = std::abs(qint64(header.biHeight));
        QImage image(header.biWidth, int(height), QImage::Format_RGB32);
        if (!image.isNull()) {
            const auto* pixels = reinterpret_cast<const quint32*>(dib + header.biSize + 4 * qint64(header.biClrUsed));
            for (qint64 y = 0; y < height; ++y)
                OpaqueRow(pixels + (header.biHeight > 0 ? height - 1 - y : y) * header.biWidth,
                          reinterpret_cast<quint32*>(image.scanLine(int(y))), header.biWidth);
            graphic = std::move(image);
            loaded = true;
        }
    } else if (header.biSize >= sizeof header && header.biWidth > 0 && header.biHeight != 0 &&
               header.biBitCount > 0) {
        const quint32 entries =
            header.biClrUsed ? header.biClrUsed : (header.biBitCount <= 8 ? 1u << header.biBitCount : 0u);
        const qint64 stride = (qint64(header.biWidth) * header.biBitCount + 31) / 32 * 4;
        const qint64 imageSize = header.biSizeImage ? header.biSizeImage : stride * std::abs(header.biHeight);
        // The whole packed bitmap, colour table included, behind a file
        // header, as a bitmap file would hold it.
        const qint64 dibSize = header.biSize + 4 * qint64(entries) + imageSize;
        QByteArray file;
        file.reserve(14 + dibSize);
        const auto put16 = [&file](quint16 v) { file.append(char(v & 0xFF)).append(char(v >> 8)); };
        const auto put32 = [&put16](quint32 v) {
            put16(quint16(v & 0xFFFF));
            put16(quint16(v >> 16));
        };
        file.append("BM", 2);
        put32(quint32(14 + dibSize));
        put16(0);
        put16(0);
        put32(quint32(14 + header.biSize + 4 * entries));
        file.append(reinterpret_cast<const char*>(dib), dibSize);
        QImage image;
        loaded = image.loadFromData(file, "BMP");
        if (loaded)
            graphic = std::move(image);
    }
    CoTaskMemFree(dib);
    return loaded;
}

int TWindowLessMan::GetFramesDrawn()
{
    int frames = 0;
    if (FQualProp)
        FQualProp->get_FramesDrawn(&frames);
    return frames;
}

void TWindowLessMan::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_DISPLAYCHANGE:
        if (FWindowlessControl)
            FWindowlessControl->DisplayModeChanged();
        break;
    case WM_GRABIMAGE:
        if (auto* image = reinterpret_cast<QImage*>(message.WParam))
            GetCurrentImage(*image);
        break;
    case WM_FRAMESDRAWN:
        if (auto* frames = reinterpret_cast<std::int32_t*>(message.LParam))
            *frames = GetFramesDrawn();
        break;
    default:
        TKvActionComponent::WndProc(message);
    }
}

// --- the inlay ---------------------------------------------------------------

void TWindowLessMan::DrawInlay()
{
    const bool lines = FInsertState == kInlayOn;
    if ((!lines && FInlay.Subtitle.isEmpty()) || !FWindowlessControl || !FMixerBitmap)
        return;
    LONG w = 0, h = 0;
    if (FAILED(FWindowlessControl->GetNativeVideoSize(&w, &h, nullptr, nullptr)) || w <= 0 || h <= 0)
        return;
    FInlay.Compose(FInlayBitmap, w, h, lines);

    FAlphaBitmap = VMR9AlphaBitmap{};
    FAlphaBitmap.dwFlags = VMR9AlphaBitmap_hDC | VMR9AlphaBitmap_SrcColorKey | VMR9AlphaBitmap_FilterMode;
    FAlphaBitmap.hdc = &FInlayBitmap;
    FAlphaBitmap.rSrc = RECT{0, 0, w, h};
    FAlphaBitmap.rDest = VMR9NormalizedRect{0, 0, 1, 1};
    // The inlay's transparency is the whole overlay's: a subtitle alone is opaque.
    FAlphaBitmap.fAlpha = lines ? static_cast<float>(std::clamp(FInsertTransparency, 0.0, 1.0)) : 1.0f;
    FAlphaBitmap.clrSrcKey = static_cast<COLORREF>(ColorToRGB(FInlay.TransparentColor));
    FAlphaBitmap.dwFilterMode = MixerPref9_PointFiltering;
    FMixerBitmap->SetAlphaBitmap(&FAlphaBitmap);
    FAlphaBitmap.hdc = nullptr;
}

void TWindowLessMan::InlayOff()
{
    FInsertState = kInlayOff;
    // The subtitle stays on the video without the lines.
    if (!FInlay.Subtitle.isEmpty()) {
        DrawInlay();
        return;
    }
    FAlphaBitmap.dwFlags = VMR9AlphaBitmap_Disable;
    FAlphaBitmap.hdc = nullptr;
    if (FMixerBitmap)
        FMixerBitmap->SetAlphaBitmap(&FAlphaBitmap);
}

void TWindowLessMan::SetInsertTextOn(bool on)
{
    if (!on) {
        InlayOff();
        return;
    }
    FInsertState = kInlayOn;
    DrawInlay();
}

void TWindowLessMan::SetSubtitleText(const QString& text)
{
    if (text == FInlay.Subtitle)
        return;
    FInlay.Subtitle = text;
    // Drawn at once, whatever the sync offset: a subtitle is due with its frame.
    if (FInsertState == kInlayOn || !text.isEmpty())
        DrawInlay();
    else
        InlayOff();
}

void TWindowLessMan::RedrawInlay()
{
    // Behind by the accepted offset while playing, a change waits for the
    // next draw; paused, nothing is behind and the change shows at once.
    FILTER_STATE state = State_Stopped;
    int offset = 0;
    const bool playing = FMediaFilter && SUCCEEDED(FMediaFilter->GetState(0, &state)) && state == State_Running;
    if (playing && MaxSyncOffset != 0 && FQualProp && SUCCEEDED(FQualProp->get_AvgSyncOffset(&offset)) &&
        MaxSyncOffset <= offset)
        return;
    if (FInsertState == kInlayOn)
        DrawInlay();
}

void TWindowLessMan::SetInsertAlignLines(int alignment)
{
    FInlay.SetAlignLines(alignment);
    RedrawInlay();
}

void TWindowLessMan::SetInsertLine(int index, const TInsertLine& line)
{
    if (index < 0 || index >= kLineCount)
        return;
    FInlay.Lines[index] = line;
    RedrawInlay();
}

// --- actions -----------------------------------------------------------------

void TWindowLessMan::ListActions(const TActionBinder& bind)
{
    bind(caFullscreen, "caFullscreen");
    bind(caFlipVertical, "caFlipVertical");
    bind(caFlipHorizontal, "caFlipHorizontal");
    bind(caExternalPreview, "caExternalPreview");
    bind(caKeepAspectratio, "caKeepAspectratio");
    bind(iaFullBorderWidth, "iaFullBorderWidth");
    bind(iaInsertAlignLines, "iaInsertAlignLines");
    bind(iaWinBorderWidth, "iaWinBorderWidth");
    bind(iaBorderColor, "iaBorderColor");
    bind(iaBackColor, "iaBackColor");
    bind(caInsertTextOn, "caInsertTextOn");
    bind(iaInsertBorderWidth, "iaInsertBorderWidth");
    bind(iaInsertBorderColor, "iaInsertBorderColor");
    bind(faInsertFont, "faInsertFont");
    bind(iaInsertTransparentColor, "iaInsertTransparentColor");
    bind(caInsertAntiAliasing, "caInsertAntiAliasing");
    bind(daInsertTransparency, "daInsertTransparency");
    bind(paInsertPosition, "paInsertPosition");
    bind(raPreviewSave, "raPreviewSave");
    bind(iaTimerInterval, "iaTimerInterval");
}

void TWindowLessMan::SetDefaults()
{
    const struct
    {
        TCheckAction* action;
        const char* scriptName;
        QKeySequence key;
        bool applyWhenLoad;
        bool includePrefs;
        bool value;
        const char* trueCaption;
        const char* falseCaption;
        const char* trueHint;
        const char* falseHint;
    } checks[] = {
        {caFullscreen, "FullScreen", QKeySequence(Qt::ALT | Qt::Key_Return), false, false, false, "Leave full screen",
         "Fullscreen", "Click to leave the full screen mode",
         "Click to display the video in full screen\r\nTo leave full screen, type again ALT+Enter"},
        {caFlipVertical, "FlipVertical", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_V), false, false, false,
         "Vertical Flip", "Flip Vertical", "Click to deactivate the Vertical Flip", "Click to activate Vertical Flip"},
        {caFlipHorizontal, "FlipHorizontal", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H), false, false, false,
         "Flip Horizontal", "Flip Horizontal", "Click to deactivate Horizontal Flip",
         "Click to activate Horizontal Flip"},
        {caExternalPreview, "ExternalPreview", QKeySequence(Qt::ALT | Qt::Key_Backspace), true, true, false,
         "Close the external Window", "Open the external window",
         "Click to close the external window and play the video in an embedded window",
         "Click to play the video in an external window"},
        {caKeepAspectratio, "KeepAspectRatio", QKeySequence(Qt::ALT | Qt::Key_R), false, true, true,
         "Adjust Ratio Aspect", "Keep Ratio Aspect", "Click to keep the ratio aspect",
         "Click to adjust the ratio aspect"},
        {caInsertTextOn, "InsertTextOn", QKeySequence(Qt::CTRL | Qt::Key_I), true, true, true, "Disable Inlay",
         "Enable inlay", "Click to deactivate inlaying", "Click to activate inlaying"},
        {caInsertAntiAliasing, "InsertAntiAliasing", QKeySequence(Qt::CTRL | Qt::Key_N), true, true, true,
         "Deactivate antialiasing", "Activate antialiasing", "Click to deactivate antialiasing",
         "Click to activate antialiasing"},
    };
    for (const auto& c : checks) {
        TCheckAction* action = c.action;
        action->ScriptName = QString::fromLatin1(c.scriptName);
        action->SetShortCut(ShortcutFor(action->InternalId, c.key));
        action->ApplyWhenLoad = c.applyWhenLoad;
        action->IncludePrefs = c.includePrefs;
        action->SetTrueCaption(QString::fromLatin1(c.trueCaption));
        action->SetFalseCaption(QString::fromLatin1(c.falseCaption));
        action->SetTrueHint(QString::fromLatin1(c.trueHint));
        action->SetFalseHint(QString::fromLatin1(c.falseHint));
        action->SetDefaultValue(c.value);
    }

    // The settings: caption and script name are the setting's name.
    const auto setting = [](TCustomAbstractAction* action, const char* caption, const char* scriptName,
                            bool applyWhenLoad) {
        action->SetCaption(QString::fromLatin1(caption));
        action->ScriptName = QString::fromLatin1(scriptName);
        action->ApplyWhenLoad = applyWhenLoad;
        action->IncludePrefs = true;
    };
    setting(iaFullBorderWidth, "FullBorderWidth", "FullBorderWidth", false);
    iaFullBorderWidth->SetDefaultValue(0);
    setting(iaInsertAlignLines, "InsertAlignLines", "AlignLines", true);
    iaInsertAlignLines->SetDefaultValue(0);
    setting(iaWinBorderWidth, "WinBorderWidth", "WinBorderWidth", false);
    iaWinBorderWidth->SetDefaultValue(0);
    setting(iaBorderColor, "BorderColor", "BorderColor", false);
    iaBorderColor->SetDefaultValue(clRed);
    setting(iaBackColor, "BackColor", "BackColor", true);
    iaBackColor->SetDefaultValue(clSilver);
    setting(iaInsertBorderWidth, "InsertBorderWidth", "InsertBorderWidth", true);
    iaInsertBorderWidth->SetDefaultValue(2);
    setting(iaInsertBorderColor, "InsertBorderColor", "InsertBorderColor", true);
    iaInsertBorderColor->SetDefaultValue(clBlack);
    setting(faInsertFont, "InsertFont", "InsertFont", true);
    TFont font;
    font.Name = QStringLiteral("Arial");
    font.SetHeight(-33);
    font.Color = clYellow;
    font.Style = {fsBold};
    faInsertFont->SetDefaultValue(font);
    setting(iaInsertTransparentColor, "InsertTransparentColor", "InsertTransparentColor", false);
    iaInsertTransparentColor->SetDefaultValue(clWhite);
    setting(daInsertTransparency, "InsertTransparency", "InsertTransparency", false);
    daInsertTransparency->SetDefaultValue(1.0);
    setting(paInsertPosition, "InsertPosition", "InsertPosition", true);
    setting(raPreviewSave, "PreviewSave", "PreviewSave", true);
    raPreviewSave->SetDefaultValue(TRect{0, 0, 640, 480});
    setting(iaTimerInterval, "TimerInterval", "TimerInterval", false);
    iaTimerInterval->SetDefaultValue(kNoticeIntervalMs);
}

void TWindowLessMan::AssignEvents()
{
    const auto onOff = [](TCheckAction* action, std::function<void(bool)> set) {
        if (!action)
            return;
        action->InternalTrueApply = [set] { set(true); };
        action->InternalFalseApply = [set] { set(false); };
    };
    onOff(caFullscreen, [this](bool on) { SetFullScreen(on); });
    onOff(caFlipVertical, [this](bool on) { SetFlipVertical(on); });
    onOff(caFlipHorizontal, [this](bool on) { SetFlipHorizontal(on); });
    onOff(caExternalPreview, [this](bool on) { SetExternalPreview(on); });
    onOff(caKeepAspectratio, [this](bool on) { SetKeepAspectratio(on); });
    onOff(caInsertTextOn, [this](bool on) { SetInsertTextOn(on); });
    onOff(caInsertAntiAliasing, [this](bool on) { SetInsertAntiAliasing(on); });

    const auto apply = [](auto* action, auto set) {
        if (action)
            action->InternalApply = set;
    };
    apply(iaFullBorderWidth, [this](const int& v) { SetFullBorderWidth(v); });
    apply(iaInsertAlignLines, [this](const int& v) { SetInsertAlignLines(v); });
    apply(iaWinBorderWidth, [this](const int& v) { SetWinBorderWidth(v); });
    apply(iaBorderColor, [this](const TColor& v) { SetBorderColor(v); });
    apply(iaBackColor, [this](const TColor& v) { SetBackColor(v); });
    apply(iaInsertBorderWidth, [this](const int& v) { SetInsertBorderWidth(v); });
    apply(iaInsertBorderColor, [this](const TColor& v) { SetInsertBorderColor(v); });
    apply(faInsertFont, [this](const TFont& v) { SetInsertFont(v); });
    apply(iaInsertTransparentColor, [this](const TColor& v) { SetInsertTransparentColor(v); });
    apply(daInsertTransparency, [this](const double& v) { SetInsertTransparency(v); });
    apply(paInsertPosition, [this](const TPoint& v) { SetInsertPosition(v); });
    apply(raPreviewSave, [this](const TRect& v) { SetPreviewRect(v); });
    apply(iaTimerInterval, [this](const int& v) { FNoticeTimer->setInterval(std::max(0, v)); });

    if (iaInsertAlignLines) {
        iaInsertAlignLines->InternalBeforeSave = [this](int& v) {
            v = FInlay.AlignLines();
            return true;
        };
    }
    if (raPreviewSave) {
        raPreviewSave->InternalBeforeSave = [this](TRect& v) {
            v = FExternalPreview ? ToTRect(FPreviewForm->geometry()) : FPreviewRect;
            return true;
        };
    }
    // The plate is a window of its own: the key that leaves full screen
    // works there too.
    if (caFullscreen)
        WindowAction(FPlaque.get(), caFullscreen);
    ApplySharedShortcuts(*this);
}
