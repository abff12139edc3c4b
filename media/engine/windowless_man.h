#pragma once
// The video renderer and where its picture goes: a host widget of the main
// window, the full-screen plate or the preview window. The manager keeps the
// video rectangle fitted to the picture's aspect inside a border, flips the
// picture, hands out the current image and the frames drawn, and hands the
// renderer the inlay (drawn by its composer) to mix over the video through
// its overlay bitmap, with a key colour for what is not text.
//
// GUI thread only. The renderer composes the overlay with every frame it
// shows; the inlay is drawn again only when its text, style or place changes.

#include "framework/actions/actions.h"
#include "framework/managers/action_component.h"
#include "media/engine/inlay_composer.h"
#include "platform/renderers/renderer_interfaces.h"

#include <QImage>
#include <QPointer>

#include <memory>

class QTimer;
class TGrapheMan;
class Tplaque;
class TPreviewForm;
class VideoBands;

class TWindowLessMan : public TKvActionComponent
{
    Q_OBJECT
public:
    static constexpr CLSID ClassId = "{E437A53D-02A2-4A7D-B46C-F75A5D39C4E3}"_guid;
    static constexpr int kLineCount = TInlayComposer::kLineCount;
    // Inlay states.
    static constexpr int kInlayOff = 0;
    static constexpr int kInlayOn = 2;
    // The position of the inlay is in this fraction of the picture.
    static constexpr int kPositionScale = TInlayComposer::kPositionScale;

    explicit TWindowLessMan(QObject* owner = nullptr);
    ~TWindowLessMan() override;

    // The renderer and, by delegation, its interfaces.
    IBaseFilter* Renderer() const { return FRenderer.get(); }
    HRESULT QueryInterface(REFIID riid, void** object) const;

    // The graph the renderer is in, under the name "Kv VideoWindow"; null
    // takes it out. Clearing that graph takes the renderer out and the
    // manager forgets the graph; setting it again puts the renderer back.
    void SetGraphManager(TGrapheMan* manager);
    TGrapheMan* GraphManager() const;

    // The host widget, and the widget the video is shown in now (the host,
    // the preview window or none).
    QWidget* window() const { return FWindow; }
    virtual void SetWindow(QWidget* host);
    QWidget* DisplayWindow() const { return FDisplayWindow; }
    void SetDisplayWindow(QWidget* control);

    virtual void UpdateVideoPosition();
    void SetVideoAspect(int x, int y);
    // The picture's display aspect as a width and a height term (4 and 3,
    // 16 and 9, or the picture's own size); 0 and 0 until a video sets it.
    int VideoAspectX() const { return FAspectX; }
    int VideoAspectY() const { return FAspectY; }
    RECT WindowVideoRect() const { return FWindowVideoRect; }
    RECT FullScreenVideoRect() const { return FFullScreenVideoRect; }

    virtual void RepaintWindow();
    void ClearVideoWindow();

    bool FullScreen() const { return FFullScreen; }
    void SetFullScreen(bool on);
    bool ExternalPreview() const { return FExternalPreview; }
    void SetExternalPreview(bool on);
    TRect PreviewRect() const { return FPreviewRect; }
    void SetPreviewRect(const TRect& rect);

    bool KeepAspectratio() const { return FKeepAspectratio; }
    void SetKeepAspectratio(bool on);
    bool FlipVertical() const { return FFlipVertical; }
    void SetFlipVertical(bool on);
    bool FlipHorizontal() const { return FFlipHorizontal; }
    void SetFlipHorizontal(bool on);

    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor colour);
    TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor colour);
    int WinBorderWidth() const { return FWinBorderWidth; }
    void SetWinBorderWidth(int width);
    int FullBorderWidth() const { return FFullBorderWidth; }
    void SetFullBorderWidth(int width);

    // The inlay's settings; each change redraws it.
    int InsertBorderWidth() const { return FInlay.BorderWidth; }
    void SetInsertBorderWidth(int width) { SetAndRedraw(FInlay.BorderWidth, width); }
    TColor InsertBorderColor() const { return FInlay.BorderColor; }
    void SetInsertBorderColor(TColor colour) { SetAndRedraw(FInlay.BorderColor, colour); }
    double InsertTransparency() const { return FInsertTransparency; }
    void SetInsertTransparency(double alpha) { SetAndRedraw(FInsertTransparency, alpha); }
    TColor InsertTransparentColor() const { return FInlay.TransparentColor; }
    void SetInsertTransparentColor(TColor colour) { SetAndRedraw(FInlay.TransparentColor, colour); }
    bool InsertAntiAliasing() const { return FInlay.AntiAliasing; }
    void SetInsertAntiAliasing(bool on) { SetAndRedraw(FInlay.AntiAliasing, on); }
    int InsertAlignLines() const { return FInlay.AlignLines(); }
    // Also gives every line that alignment when it is 0, 1 or 2.
    void SetInsertAlignLines(int alignment);
    TPoint InsertPosition() const { return FInlay.Position; }
    void SetInsertPosition(const TPoint& position) { SetAndRedraw(FInlay.Position, position); }
    const TFont& InsertFont() const { return FInlay.Font; }
    void SetInsertFont(const TFont& font) { SetAndRedraw(FInlay.Font, font); }
    bool InsertAutoSize() const { return FInlay.AutoSize; }
    void SetInsertAutoSize(bool on) { SetAndRedraw(FInlay.AutoSize, on); }
    const TInsertLine& InsertLine(int index) const { return FInlay.Lines.at(index); }
    void SetInsertLine(int index, const TInsertLine& line);

    // Inlay on (drawn now) or off (taken off the video).
    int InsertState() const { return FInsertState; }
    void SetInsertTextOn(bool on);
    // Draws the inlay into the overlay bitmap and hands it to the renderer;
    // only while the inlay is on or a subtitle shows.
    void DrawInlay();
    // Draws the inlay after a setting changed, unless playback is already
    // behind by the accepted sync offset.
    void RedrawInlay();
    // The bitmap last handed to the renderer: the inlay on the key colour.
    const QImage& InlayBitmap() const { return FInlayBitmap; }
    // The subtitle mixed over the video with the inlay (or alone, while the
    // inlay is off); empty for none.
    const QString& SubtitleText() const { return FInlay.Subtitle; }
    void SetSubtitleText(const QString& text);

    // The largest average sync offset (ms) at which a changed setting still
    // redraws the inlay during playback; 0 is no limit.
    int MaxSyncOffset = 0;

    // The picture now shown, at its native size; False (and `graphic`
    // untouched) when there is none.
    bool GetCurrentImage(QImage& graphic);
    int GetFramesDrawn();

    Tplaque* Plaque() const { return FPlaque.get(); }
    TPreviewForm* PreviewForm() const { return FPreviewForm.get(); }
    // Where the preview window reports the end of a move or resize.
    HWND MainFormHandle = 0;

    TCheckAction* caFullscreen = nullptr;
    TCheckAction* caFlipVertical = nullptr;
    TCheckAction* caFlipHorizontal = nullptr;
    TCheckAction* caExternalPreview = nullptr;
    TCheckAction* caKeepAspectratio = nullptr;
    TIntegerAction* iaFullBorderWidth = nullptr;
    TIntegerAction* iaInsertAlignLines = nullptr;
    TIntegerAction* iaWinBorderWidth = nullptr;
    TColorAction* iaBorderColor = nullptr;
    TColorAction* iaBackColor = nullptr;
    TCheckAction* caInsertTextOn = nullptr;
    TIntegerAction* iaInsertBorderWidth = nullptr;
    TColorAction* iaInsertBorderColor = nullptr;
    TFontAction* faInsertFont = nullptr;
    TColorAction* iaInsertTransparentColor = nullptr;
    TCheckAction* caInsertAntiAliasing = nullptr;
    TDoubleAction* daInsertTransparency = nullptr;
    TPointAction* paInsertPosition = nullptr;
    TRectAction* raPreviewSave = nullptr;
    TIntegerAction* iaTimerInterval = nullptr;

protected:
    // Makes the controls that a derived manager shows on the host; called
    // again when the host goes away. A derived manager calls it from its own
    // constructor, where the call reaches its own version.
    virtual void CreateControls() {}

    // The graph the renderer was in has been cleared, the renderer with it.
    virtual void GraphCleared() {}
    // The inlay's lines and style; a change shows with RedrawInlay.
    TInlayComposer& Inlay() { return FInlay; }

    void WndProc(TMessage& message) override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;
    void AssignEvents() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class T, class V> void SetAndRedraw(T& field, const V& value)
    {
        field = value;
        RedrawInlay();
    }
    void CreateRenderer();
    bool RendererInGraph() const;
    void SetWindowVideoRect(const RECT& rect);
    void SetFullScreenVideoRect(const RECT& rect);
    void AttachDisplay();
    void AttachPlate();
    void PaintBorders();
    void ApplyFlips();
    void InlayOff();
    void HideNotice();
    int MonitorOf(QWidget* control) const;
    void HostDestroyed();

    int FFullBorderWidth = 8;
    int FWinBorderWidth = 8;
    TColor FBorderColor = clSilver;
    double FInsertTransparency = 1.0;
    bool FFlipVertical = false;
    bool FFlipHorizontal = false;
    bool FFullScreen = false;
    bool FExternalPreview = false;
    bool FKeepAspectratio = false;
    TColor FBackColor = clBlack;
    TRect FPreviewRect{0, 0, 640, 480};
    RECT FWindowVideoRect{};
    RECT FFullScreenVideoRect{};
    int FInsertState = kInlayOff;
    VMR9AlphaBitmap FAlphaBitmap;
    TInlayComposer FInlay;
    QImage FInlayBitmap;

    ComPtr<IBaseFilter> FRenderer;
    ComPtr<IVMRWindowlessControl9> FWindowlessControl;
    ComPtr<IVMRMixerControl9> FMixerControl;
    ComPtr<IVMRMixerBitmap9> FMixerBitmap;
    ComPtr<IMediaFilter> FMediaFilter;
    ComPtr<IVMRMonitorConfig9> FMonitorConfig;
    ComPtr<IVMRDeinterlaceControl9> FDeinterlaceControl;
    ComPtr<IQualProp> FQualProp;
    ComPtr<IPin> FRendererPin;
    QPointer<TGrapheMan> FGraphManager;
    int FAspectX = 0;
    int FAspectY = 0;
    QTimer* FNoticeTimer = nullptr;
    QPointer<QWidget> FWindow;
    QPointer<QWidget> FDisplayWindow;
    QPointer<VideoBands> FBands;
    std::unique_ptr<Tplaque> FPlaque;
    std::unique_ptr<TPreviewForm> FPreviewForm;
};
