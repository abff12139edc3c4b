#pragma once
// The video manager: connects a video stream of a file to the renderer
// through the decoder its decoder manager picks, with the frames notifier
// behind the decoder, and wires the stream to the navigation manager. It
// reports the decoder and the format, shows a notice over the video area
// when there is no video or it cannot be decoded, keeps the picture's aspect,
// connects subtitle streams, draws the cues of a subtitle file over the video
// with the inlay, and fills the inlay lines from their patterns.
//
// Pattern codes (any case): %D the DV recording date, shifted by the date
// offset and formatted per line; %T the DV time code; %S the position's time
// code; %R the real date and time; %N the picture number; %F the file name
// without extension, %P its folder, %E its extension. Their values arrive as
// messages on the manager's window; a code whose source is not active shows
// its fallback text (empty unless set).
//
// GUI thread only. WM_VIDEODATA is posted from a streaming thread with a ring
// slot that the handler copies at once; the other inlay messages are sent.

#include "framework/widgets/link_edit.h"
#include "media/engine/decoder_man.h"
#include "media/engine/media_devices.h"
#include "media/engine/windowless_man.h"
#include "media/filters/frames_notifier.h"
#include "media/parsers/media_records.h"
#include "media/parsers/srt.h"
#include "platform/rtl/datetime.h"

#include <QLabel>
#include <QPointer>

class QTimer;

#include <array>
#include <functional>
#include <memory>

class TMorvekPreferences;
class TNavMan;

// The pattern and texts of one inlay line.
struct TInsertPattern
{
    QString Pattern;
    // %D: the date's format (the date-time format letters) and the text
    // shown without a DV date.
    QString DateFormat;
    QString DateFallback;
    // %R: the real date-time's format (empty: short date and long time) and
    // the text shown while the real date is off.
    QString RealDateFormat;
    QString RealDateFallback;
};

// The pattern with each code (a "%" and one of the letters D T S R N F P E,
// in any case) replaced by `valueOf` that letter in upper case. Values go in
// as they stand: a "%F" inside a file name is never replaced in turn.
QString FillInsertPattern(const QString& pattern, const std::function<QString(QChar code)>& valueOf);

class TVideoMan : public TWindowLessMan
{
    Q_OBJECT
public:
    using TNotifyStringEvent = std::function<void(const QString& notifystring)>;
    using TErrorPanelEvent = std::function<QString()>;

    // What the video area shows.
    enum TVideoState { vsNoVideo = 0, vsVideo = 1, vsBadVideo = 2 };
    // How the picture's aspect is chosen.
    enum TAspectMode { amStream = 0, amFourThree = 1, amSixteenNine = 2, amNative = 3 };

    static constexpr int kPictureSize = 192;

    explicit TVideoMan(QObject* owner = nullptr);
    ~TVideoMan() override;

    // Connects the source's stream to the renderer, or shows the notice for
    // no video (the placeholder or null) or for a stream that does not
    // connect. The same source again changes nothing. True when the video
    // was connected by this call. On a navigation manager's graph the frames
    // notifier's positions go to the navigation and its position texts
    // (for %S) come here.
    bool ConnectVideo(TVideoSource* source);
    // Takes the connected stream out of the graph; with `showNotice` the
    // no-video notice shows.
    void DisconnectVideoDevice(bool showNotice);
    // Renders the subtitle stream through the subtitle filter; false without
    // a subtitle filter, for the placeholder or when the graph refuses.
    bool ConnectSubtitleSource(TSubtitleSource* source);
    void RemoveSubtitleSource();

    // Mode 0 the stream's own, 1 4:3, 2 16:9, 3 the picture's pixels.
    void ApplyAspectRatio(int mode);
    int AspectMode() const { return FAspectMode; }
    // For a new file: the scene counters of the stream and the decoder
    // exclusions start again.
    void ClearDecoders();
    void SetPostDecoderFilter(TFilterRec* rec);
    void SetSubtitleFilter(TFilterRec* rec);
    QList<TFilterRec*>& GetPreferredDecoders();

    // The actions' values, then the video decoder choices under
    // "VideoDecoders".
    bool LoadPrefs(TMorvekPreferences& gp);
    bool SavePrefs(TMorvekPreferences& gp);

    // Days added to the DV date of %D.
    void SetInsertTimeOffset(TDateTime days);
    TDateTime InsertTimeOffset() const { return FTimeOffset; }
    // The patterns of the eight lines; the main window sets the first two
    // with their date formats and then calls UpdateInsertTexts.
    TInsertPattern& InsertPattern(int line) { return FPatterns.at(std::size_t(line)); }
    // Shown for each code while its source is off.
    QString TimecodeFallback;
    QString TimestampFallback;
    QString NumberFallback;
    QString FileNameFallback;
    QString FolderFallback;
    QString ExtensionFallback;
    // Fills every line from its pattern: an empty pattern hides its line.
    void UpdateInsertTexts();

    // External subtitles: the cues of a subtitle file, the text of those at
    // the position of the frame shown drawn over the video. An empty name
    // takes them off. False, and no subtitles, when the file cannot be read.
    bool SetSubtitleFile(const QString& fileName);
    const QString& SubtitleFile() const { return FSubtitleFile; }
    const TSrtSubtitles& Subtitles() const { return FSubtitles; }

    // Height of the notice, in pixels.
    int leHeight() const { return FNoticeHeight; }
    void SetleHeight(int height);

    void SetWindow(QWidget* host) override;
    void UpdateVideoPosition() override;
    void RepaintWindow() override;

    int VideoState() const { return FVideoState; }
    TVideoSource* CurrentSource() const { return FCurrentSource; }
    TSubtitleSource* CurrentSubtitleSource() const { return FCurrentSubtitle; }
    TGrapheMan* SourceGraph() const { return FGraph.data(); }
    // The navigation manager's window, kept when a video connects.
    HWND NavWindow() const { return FNavWindow; }
    TDecoderMan& Decoders() { return *FDecoders; }
    TFramesNotifier* FramesNotifier() const { return FFramesNotifier.get(); }
    const TVideoData& LastVideoData() const { return FVideoData; }
    // The notice and its picture, on the host while one shows.
    TLinkEdit* Notice() const { return FNotice; }
    QLabel* NoticePicture() const { return FPicture; }

    TNotifyStringEvent OnNotifyVideoDecoder;
    TNotifyStringEvent OnNotifyVideoFormat;
    TErrorPanelEvent OnNoVideoStream;
    TErrorPanelEvent OnBadVideoStream;

    TNopeAction* naNextDecoderVideo = nullptr;

signals:
    // The decoder's name and the format's text, as the two handlers above
    // are told them (for those beside the one each serves).
    void VideoDecoderNotified(const QString& text);
    void VideoFormatNotified(const QString& text);

protected:
    void CreateControls() override;
    void GraphCleared() override;
    void WndProc(TMessage& message) override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;
    void AssignEvents() override;

private:
    void ShowNotice(TVideoState state);
    void ShowVideo();
    void ApplyAspect();
    void NextDecoder();
    // Tells `event`'s handler, then `signal`'s subscribers.
    void Notify(const TNotifyStringEvent& event, void (TVideoMan::*signal)(const QString&), const QString& text);
    TNavMan* Navigation() const;
    void DetachFromManagers(TVideoSource* source);
    // Follows the pieces of the graph the sources are built on.
    void SetSourceGraph(TGrapheMan* graph);
    // Lets go of the stream; `lost` when it went without this manager (its
    // pieces gone or out of the graph), and only what they fed goes too.
    void ReleaseVideo(bool lost, bool showNotice);
    void ClearInsertSources();
    QString InsertValue(const TInsertPattern& line, QChar code) const;
    void UpdateSubtitle();

    int FNoticeHeight = 32;
    int FVideoState = vsNoVideo;
    TDateTime FTimeOffset = 0;
    int FAspectMode = amStream;
    TVideoData FVideoData;
    QString FFormatDescription;
    QString FFormatSize;
    QPointer<TGrapheMan> FGraph;
    QMetaObject::Connection FChunkWatch;
    QMetaObject::Connection FStallWatch;
    QMetaObject::Connection FSettleWatch;
    // The notice shows because the graph stalled, and goes when it settles.
    bool FStallNotice = false;
    TVideoSource* FCurrentSource;
    TSubtitleSource* FCurrentSubtitle;
    HWND FNavWindow = 0;
    std::unique_ptr<TDecoderMan> FDecoders;
    ComPtr<TFramesNotifier> FFramesNotifier;
    std::unique_ptr<TFilterRec> FFramesNotifierRec;
    TFilterRec* FSubtitleRec = nullptr;

    // Inlay sources, as the last messages gave them.
    TDateTime FDVDate = 0;
    QString FTimecodeText;
    bool FFileNameActive = false;
    QString FFileName;
    QString FFileExtension;
    QString FFileFolder;
    TDateTime FRealDate = 0;
    QString FNumberText;
    QString FTimestampText;
    bool FDVDateValid = false;
    bool FTimecodeValid = false;
    bool FRealDateActive = false;
    bool FNumberActive = false;
    bool FTimestampValid = false;
    std::array<TInsertPattern, kLineCount> FPatterns;

    QString FSubtitleFile;
    TSrtSubtitles FSubtitles;
    // The cues whose text is shown: the timer looks often, the text is made
    // and drawn only when they change.
    std::vector<int> FShownCues;
    QTimer* FSubtitleTimer = nullptr;

    // Without a parent until a host takes them; a host that goes takes them
    // along, and new ones are made.
    QPointer<TLinkEdit> FNotice;
    QPointer<QLabel> FPicture;
};

// The name, extension (with its dot) and folder (with its last separator)
// of a file path.
struct TFileNameParts
{
    QString Name;
    QString Extension;
    QString Folder;
};
TFileNameParts SplitFileName(const QString& path);
