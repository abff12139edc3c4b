#include "media/engine/video_man.h"

#include "framework/managers/shortcuts.h"
#include "framework/preferences/morvek_preferences.h"
#include "framework/widgets/image_modules.h"
#include "media/engine/nav_man.h"
#include "media/filters/notify_messages.h"
#include "platform/win/messages.h"

#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <cstdlib>

namespace {

const QString kNoVideoDecoder = QStringLiteral("No Video decoder");
const QString kNoVideo = QStringLiteral("No Video");
const QString kNoVideoNotice = QStringLiteral("<color blue>No video stream has been connected</color><br center>");
const QString kBadVideoNotice = QStringLiteral("The video stream could not be decoded<br center>");
// A description of four blanks says nothing.
const QString kBlankDescription = QStringLiteral("    ");
const QString kDecodersKey = QStringLiteral("VideoDecoders");
constexpr DWORD kVideoNotifierOptions = 0x81;
// Below this width the notice has no room.
constexpr int kNarrowestNotice = 17;
constexpr int kNoticeMargin = 8;
// How often the position of the frame shown is looked at for the subtitles.
constexpr int kSubtitleCheckMs = 20;

// The pictures over the notice: a strip of film, empty for no video, torn
// for a stream that could not be decoded.
QPixmap NoticeBitmap(bool bad)
{
    const int s = TVideoMan::kPictureSize;
    QPixmap picture(s, s);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF strip(s * 0.15, s * 0.2, s * 0.7, s * 0.6);
    painter.setPen(QPen(QColor(60, 60, 60), s / 48.0));
    painter.setBrush(QColor(90, 90, 90));
    painter.drawRoundedRect(strip, s / 24.0, s / 24.0);
    painter.setBrush(QColor(230, 230, 230));
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        const qreal x = strip.left() + strip.width() * (i + 0.25) / 6;
        for (qreal y : {strip.top() + s * 0.03, strip.bottom() - s * 0.09})
            painter.drawRect(QRectF(x, y, strip.width() / 12, s * 0.06));
    }
    const QRectF frame = strip.adjusted(s * 0.08, s * 0.13, -s * 0.08, -s * 0.13);
    painter.setBrush(QColor(250, 250, 250));
    painter.drawRect(frame);
    painter.setPen(QPen(bad ? QColor(200, 30, 30) : QColor(30, 60, 200), s / 20.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(frame.topLeft(), frame.bottomRight());
    if (bad)
        painter.drawLine(frame.topRight(), frame.bottomLeft());
    return picture;
}

bool IsCode(QChar c)
{
    switch (c.toUpper().unicode()) {
    case u'D':
    case u'T':
    case u'S':
    case u'R':
    case u'N':
    case u'F':
    case u'P':
    case u'E':
        return true;
    default:
        return false;
    }
}

} // namespace

QString FillInsertPattern(const QString& pattern, const std::function<QString(QChar code)>& valueOf)
{
    QString text;
    text.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && IsCode(pattern[i + 1])) {
            text += valueOf(pattern[i + 1].toUpper());
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

TFileNameParts SplitFileName(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString file = path.mid(slash + 1);
    const qsizetype dot = file.lastIndexOf(u'.');
    TFileNameParts parts;
    parts.Folder = path.left(slash + 1);
    parts.Extension = dot < 0 ? QString() : file.mid(dot);
    parts.Name = file.left(file.size() - parts.Extension.size());
    return parts;
}

TVideoMan::TVideoMan(QObject* owner)
    : TWindowLessMan(owner), FCurrentSource(NoVideoSource()), FCurrentSubtitle(NoSubtitleSource())
{
    CreateControls();
    FDecoders = std::make_unique<TDecoderMan>();
    FDecoders->SetDecoderLinks(&DefaultVideoLinks(), &UserVideoLinks(), &NoVideoDecoderRec());
    FFramesNotifier = makeCom<TFramesNotifier>();
    FFramesNotifierRec = std::make_unique<TFilterRec>(TFramesNotifier::classId, fkInstance,
                                                      QString::fromUtf16(TFramesNotifier::filterName));
    FFramesNotifierRec->SetFilter(FFramesNotifier.get());
    FDecoders->SetFramesNotifier(FFramesNotifierRec.get());
    // A frame reached by a seek comes without a message: the position is
    // looked at between frames too.
    FSubtitleTimer = new QTimer(this);
    FSubtitleTimer->setInterval(kSubtitleCheckMs);
    connect(FSubtitleTimer, &QTimer::timeout, this, &TVideoMan::UpdateSubtitle);
}

TVideoMan::~TVideoMan()
{
    if (TNavMan* nav = Navigation(); nav && nav->FramesNotifier() == FFramesNotifier.get())
        nav->SetFramesNotifier(nullptr);
    delete FNotice.data();
    delete FPicture.data();
}

void TVideoMan::CreateControls()
{
    // A host that went took the old ones along; others go now.
    delete FNotice.data();
    delete FPicture.data();
    FNotice = new TLinkEdit; // owned by the manager until a host takes it
    FNotice->setFrameShape(QFrame::NoFrame);
    FNotice->setAutoFillBackground(false);
    FNotice->viewport()->setAutoFillBackground(false);
    FNotice->setReadOnly(true);
    // The notice passes the focus on to the video.
    FNotice->setFocusPolicy(Qt::NoFocus);
    FNotice->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FNotice->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FPicture = new QLabel; // likewise
    FPicture->setFixedSize(kPictureSize, kPictureSize);
    FPicture->setAttribute(Qt::WA_TranslucentBackground);
}

TNavMan* TVideoMan::Navigation() const
{
    return qobject_cast<TNavMan*>(FGraph.data());
}

void TVideoMan::Notify(const TNotifyStringEvent& event, void (TVideoMan::*signal)(const QString&), const QString& text)
{
    if (event)
        event(text);
    emit(this->*signal)(text);
}

// --- connecting --------------------------------------------------------------

bool TVideoMan::ConnectVideo(TVideoSource* source)
{
    if (source == FCurrentSource)
        return false;
    ClearVideoWindow();
    FCurrentSource = source;
    if (!source || source == NoVideoSource()) {
        ShowNotice(vsNoVideo);
        return false;
    }
    bool connected = false;
    RunShielded("connecting the video", [&] {
        SetSourceGraph(source->LastChunk()->GrapheMan());
        if (!FGraph)
            return;
        FDecoders->SetGrapheMan(FGraph);
        ComPtr<IMediaFilter> renderer;
        QueryInterface(IMediaFilter::iid, renderer.putVoid());
        FGraph->SetWaitFilter(renderer.get());
        if (!source->BuildOn(FGraph, Handle()))
            return;
        // Out of whatever graph it was in, into this one.
        SetGraphManager(FGraph);
        if (TNavMan* nav = Navigation()) {
            // Positions and frame durations go to the navigation, the
            // position's time code for %S comes here.
            nav->SetFramesNotifier(FFramesNotifier.get());
            FFramesNotifier->SetFrameWindow(nav->Handle());
            FFramesNotifier->SetTextWindow(Handle());
            FFramesNotifier->SetTextMessages(true);
            FFramesNotifier->SetFrameDataLink(source->Notifier());
            FFramesNotifier->SetVideoDataLink(source->Notifier());
        }
        // A splice that failed once leaves the record without its instance.
        FFramesNotifierRec->SetFilter(FFramesNotifier.get());
        FDecoders->SetLinkedDecoder(
            UserVideoLinks().GetDecoder(source->Majortype(), source->Subtype(), source->Formattype()));
        connected = FDecoders->ConnectWithDecoder(source->Notifier(), Renderer());
    });
    if (!connected) {
        DisconnectVideoDevice(true);
        ShowNotice(vsBadVideo);
        return false;
    }

    if (TFilterRec* decoder = FDecoders->CurrentDecoder())
        Notify(OnNotifyVideoDecoder, &TVideoMan::VideoDecoderNotified, decoder->Name());
    source->Notifier()->SetNotifyVideoFormat(true);
    source->Notifier()->SetOptionFlags(kVideoNotifierOptions);
    if (auto* dv = qobject_cast<TDVMan*>(FGraph.data())) {
        if (!dv->DVCodeSource())
            dv->SetDVCodeSource(source);
        if (!dv->SceneSource())
            dv->SetSceneSource(source);
    }
    TNavMan* nav = Navigation();
    if (nav) {
        nav->InitDuration();
        if (!nav->FrameSource())
            nav->SetFrameSource(source);
    }
    ShowVideo();
    FNavWindow = nav ? nav->Handle() : 0;
    return true;
}

void TVideoMan::SetSourceGraph(TGrapheMan* graph)
{
    if (graph == FGraph)
        return;
    disconnect(FChunkWatch);
    disconnect(FStallWatch);
    disconnect(FSettleWatch);
    FGraph = graph;
    if (!graph)
        return;
    FChunkWatch = connect(graph, &TGrapheMan::ChunkForgotten, this, [this](TGraphChunk* chunk) {
        if (chunk == FCurrentSubtitle)
            FCurrentSubtitle = NoSubtitleSource();
        if (chunk == FCurrentSource)
            ReleaseVideo(true, true);
    });
    // A graph that does not get ready has no picture to show: the notice
    // says why in its place, until the graph gets ready after all.
    FStallWatch = connect(graph, &TGrapheMan::StateStalled, this, [this](const QString& message) {
        if (FVideoState != vsVideo)
            return;
        ShowNotice(vsBadVideo);
        FNotice->SetRichText(message);
        FStallNotice = true;
    });
    FSettleWatch = connect(graph, &TGrapheMan::StateSettled, this, [this] {
        if (FStallNotice)
            ShowVideo();
    });
}

void TVideoMan::GraphCleared()
{
    ReleaseVideo(true, true);
}

void TVideoMan::DetachFromManagers(TVideoSource* source)
{
    if (auto* dv = qobject_cast<TDVMan*>(FGraph.data())) {
        if (dv->DVCodeSource() == source)
            dv->SetDVCodeSource(nullptr);
        if (dv->SceneSource() == source)
            dv->SetSceneSource(nullptr);
    }
    if (TNavMan* nav = Navigation(); nav && nav->FrameSource() == source)
        nav->SetFrameSource(nullptr);
}

void TVideoMan::DisconnectVideoDevice(bool showNotice)
{
    ReleaseVideo(false, showNotice);
}

// The one way a stream goes. Taken out by this manager (`lost` false), it
// leaves the graph and the managers it fed; lost (its graph cleared, its
// pieces destroyed), what held it is gone already and only what this manager
// keeps goes.
void TVideoMan::ReleaseVideo(bool lost, bool showNotice)
{
    const bool connected = FCurrentSource && FCurrentSource != NoVideoSource() && (lost || FGraph);
    if (lost && !connected)
        return;
    Notify(OnNotifyVideoDecoder, &TVideoMan::VideoDecoderNotified, kNoVideoDecoder);
    Notify(OnNotifyVideoFormat, &TVideoMan::VideoFormatNotified, kNoVideo);
    if (!lost)
        ClearVideoWindow();
    if (!connected) {
        // Nothing to take out; the notice of a stream that failed makes way
        // all the same.
        if (showNotice)
            ShowNotice(vsNoVideo);
        return;
    }
    if (!lost)
        DetachFromManagers(FCurrentSource);
    if (FGraph && FDecoders->CurrentDecoder())
        FDecoders->RemoveDecoder();
    SetGraphManager(nullptr);
    if (!lost) {
        if (TFilterRec* linked = FDecoders->LinkedDecoder()) {
            linked->SetFilter(nullptr);
            FDecoders->SetLinkedDecoder(nullptr);
        }
        FCurrentSource->TearDownStream();
    }
    FCurrentSource = NoVideoSource();
    FCurrentSubtitle = NoSubtitleSource();
    ClearInsertSources();
    if (showNotice)
        ShowNotice(vsNoVideo);
    if (TNavMan* nav = Navigation(); nav && !lost)
        nav->InitDuration();
}

bool TVideoMan::ConnectSubtitleSource(TSubtitleSource* source)
{
    if (source == FCurrentSubtitle || !FSubtitleRec || !FSubtitleRec->GetFilter())
        return false;
    ClearVideoWindow();
    FCurrentSubtitle = source;
    if (!source || source == NoSubtitleSource())
        return false;
    TGrapheMan* graph = source->LastChunk()->GrapheMan();
    if (!graph)
        return false;
    SetSourceGraph(graph);
    FDecoders->SetGrapheMan(graph);
    ComPtr<IMediaFilter> renderer;
    QueryInterface(IMediaFilter::iid, renderer.putVoid());
    graph->SetWaitFilter(renderer.get());
    if (!source->BuildOn(graph, Handle()))
        return false;
    SetGraphManager(graph);
    const ComPtr<IBaseFilter> subtitles = FSubtitleRec->GetFilter();
    return graph->CaptureBuilder() && SUCCEEDED(graph->CaptureBuilder()->RenderStream(nullptr, nullptr, source->Pin(),
                                                                                      subtitles.get(), Renderer()));
}

void TVideoMan::RemoveSubtitleSource()
{
    if (!FGraph || !FCurrentSubtitle || FCurrentSubtitle == NoSubtitleSource())
        return;
    FCurrentSubtitle->TearDownStream();
    FCurrentSubtitle = NoSubtitleSource();
}

void TVideoMan::ClearDecoders()
{
    if (FCurrentSource)
        FCurrentSource->Notifier()->ResetCounters();
    FDecoders->ClearExcluded();
}

void TVideoMan::SetPostDecoderFilter(TFilterRec* rec)
{
    FDecoders->SetPostDecoderFilter(rec);
}

void TVideoMan::SetSubtitleFilter(TFilterRec* rec)
{
    FSubtitleRec = rec;
    FDecoders->SetSubtitleFilter(rec);
}

QList<TFilterRec*>& TVideoMan::GetPreferredDecoders()
{
    return FDecoders->PreferredDecoders();
}

void TVideoMan::NextDecoder()
{
    FDecoders->NextDecoder();
    if (TFilterRec* decoder = FDecoders->CurrentDecoder())
        Notify(OnNotifyVideoDecoder, &TVideoMan::VideoDecoderNotified, decoder->Name());
}

bool TVideoMan::LoadPrefs(TMorvekPreferences& gp)
{
    const bool loaded = LoadFromPrefs(gp);
    UserVideoLinks().LoadFromPrefs(gp.Store(), kDecodersKey);
    return loaded;
}

bool TVideoMan::SavePrefs(TMorvekPreferences& gp)
{
    const bool saved = SaveToPrefs(gp);
    return UserVideoLinks().SaveToPrefs(gp.Store(), kDecodersKey) && saved;
}

// --- the picture and the notice ------------------------------------------------

void TVideoMan::ApplyAspectRatio(int mode)
{
    FAspectMode = mode;
    ApplyAspect();
}

void TVideoMan::ApplyAspect()
{
    if (FVideoState != vsVideo)
        return;
    const int width = std::abs(FVideoData.width);
    const int height = std::abs(FVideoData.height);
    switch (FAspectMode) {
    case amFourThree:
        SetVideoAspect(4, 3);
        return;
    case amSixteenNine:
        SetVideoAspect(16, 9);
        return;
    case amNative:
        SetVideoAspect(width, height);
        return;
    default:
        break;
    }
    switch (FVideoData.aspectKind) {
    case akFourThree:
        SetVideoAspect(4, 3);
        break;
    case akSixteenNine:
        SetVideoAspect(16, 9);
        break;
    case akOther:
        SetVideoAspect(FVideoData.aspectX, FVideoData.aspectY);
        break;
    default:
        SetVideoAspect(width, height);
    }
}

void TVideoMan::ShowNotice(TVideoState state)
{
    FVideoState = state;
    FStallNotice = false;
    const bool bad = state == vsBadVideo;
    const TErrorPanelEvent& event = bad ? OnBadVideoStream : OnNoVideoStream;
    FNotice->SetRichText(event ? event() : bad ? kBadVideoNotice : kNoVideoNotice);
    FPicture->setPixmap(NoticeBitmap(bad));
    if (!bad) {
        QTextCursor cursor = FNotice->textCursor();
        cursor.clearSelection();
        FNotice->setTextCursor(cursor);
    }
    FNotice->setCursorWidth(0);
    UpdateVideoPosition();
    UpdateSubtitle();
}

void TVideoMan::ShowVideo()
{
    FVideoState = vsVideo;
    FStallNotice = false;
    FNotice->hide();
    FPicture->hide();
    UpdateVideoPosition();
    UpdateSubtitle();
}

// --- external subtitles --------------------------------------------------------

bool TVideoMan::SetSubtitleFile(const QString& fileName)
{
    bool loaded = true;
    if (fileName.isEmpty())
        FSubtitles.Clear();
    else
        loaded = FSubtitles.LoadFromFile(fileName);
    FSubtitleFile = loaded ? fileName : QString();
    // Indexes into the cues that were: whatever the new ones show is new.
    FShownCues = {-1};
    if (FSubtitles.Count() > 0)
        FSubtitleTimer->start();
    else
        FSubtitleTimer->stop();
    UpdateSubtitle();
    return loaded;
}

void TVideoMan::UpdateSubtitle()
{
    std::vector<int> cues;
    if (FVideoState == vsVideo && FSubtitles.Count() > 0)
        cues = FSubtitles.CuesAt(FFramesNotifier->currentPosition());
    if (cues == FShownCues)
        return;
    FShownCues = std::move(cues);
    SetSubtitleText(FSubtitles.TextOf(FShownCues));
}

void TVideoMan::SetleHeight(int height)
{
    FNoticeHeight = height;
    UpdateVideoPosition();
}

void TVideoMan::SetWindow(QWidget* host)
{
    FNotice->setParent(host);
    FPicture->setParent(host);
    TWindowLessMan::SetWindow(host);
    if (FVideoState == vsVideo)
        ShowVideo();
    else
        ShowNotice(TVideoState(FVideoState));
    if (QWidget* display = DisplayWindow())
        display->update();
}

void TVideoMan::UpdateVideoPosition()
{
    QWidget* display = DisplayWindow();
    if (!display)
        return;
    const QSize client = display->size();
    const bool notice = FVideoState != vsVideo;
    // Parentless, they would show as windows of their own.
    const bool hosted = FNotice->parentWidget() != nullptr;
    FNotice->setGeometry(kNoticeMargin, client.height() - FNoticeHeight - kNoticeMargin,
                         client.width() - 2 * kNoticeMargin, FNoticeHeight);
    FPicture->move((client.width() - kPictureSize) / 2, (FNotice->y() - kPictureSize) / 2);
    FNotice->setVisible(hosted && notice && client.width() >= kNarrowestNotice);
    FPicture->setVisible(hosted && notice);
    // Over the video's own surface.
    FNotice->raise();
    FPicture->raise();
    if (FVideoState == vsVideo)
        TWindowLessMan::UpdateVideoPosition();
    FNotice->update();
}

void TVideoMan::RepaintWindow()
{
    switch (FVideoState) {
    case vsNoVideo:
        ShowNotice(vsNoVideo);
        break;
    case vsBadVideo:
        ShowNotice(vsBadVideo);
        break;
    default:
        TWindowLessMan::RepaintWindow();
    }
}

// --- the inlay -----------------------------------------------------------------

void TVideoMan::SetInsertTimeOffset(TDateTime days)
{
    FTimeOffset = days;
}

void TVideoMan::ClearInsertSources()
{
    FDVDateValid = false;
    FTimecodeValid = false;
    FRealDateActive = false;
    FNumberActive = false;
    FTimestampValid = false;
}

QString TVideoMan::InsertValue(const TInsertPattern& line, QChar code) const
{
    switch (code.unicode()) {
    case u'D':
        return FDVDateValid ? FormatDateTime(line.DateFormat, FDVDate + FTimeOffset) : line.DateFallback;
    case u'T':
        return FTimecodeValid ? FTimecodeText : TimecodeFallback;
    case u'S':
        return FTimestampValid ? FTimestampText : TimestampFallback;
    case u'R':
        return FRealDateActive ? FormatDateTime(line.RealDateFormat, FRealDate) : line.RealDateFallback;
    case u'N':
        return FNumberActive ? FNumberText : NumberFallback;
    case u'F':
        return FFileNameActive ? FFileName : FileNameFallback;
    case u'P':
        return FFileNameActive ? FFileFolder : FolderFallback;
    case u'E':
        return FFileNameActive ? FFileExtension : ExtensionFallback;
    default:
        return QString();
    }
}

void TVideoMan::UpdateInsertTexts()
{
    for (int i = 0; i < kLineCount; ++i) {
        const TInsertPattern& pattern = FPatterns[std::size_t(i)];
        TInsertLine& line = Inlay().Lines[std::size_t(i)];
        line.Visible = !pattern.Pattern.isEmpty();
        line.Text = line.Visible
                        ? FillInsertPattern(pattern.Pattern, [&](QChar code) { return InsertValue(pattern, code); })
                        : QString();
    }
    RedrawInlay();
}

// --- messages ------------------------------------------------------------------

void TVideoMan::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_VIDEODATA: {
        const auto* data = reinterpret_cast<const TVideoData*>(message.LParam);
        if (!data)
            break;
        // The slot is the notifier's: copied before anything else.
        FVideoData = *data;
        ReplyMessage(0);
        if (message.WParam == kVideoDataFormat) {
            ApplyAspect();
        } else if (message.WParam == kVideoDataCaption) {
            FFormatSize = FVideoData.sizeText;
            FFormatDescription = FVideoData.description;
            Notify(OnNotifyVideoFormat, &TVideoMan::VideoFormatNotified,
                   FFormatDescription == kBlankDescription ? FFormatSize
                                                           : FFormatSize + QStringLiteral(" - ") + FFormatDescription);
        }
        break;
    }
    case WM_DVCODE:
        if (const auto* dv = reinterpret_cast<const TIncrustDV*>(message.WParam)) {
            FDVDateValid = dv->dateValid;
            FTimecodeValid = dv->timecodeValid;
            FDVDate = dv->recDate;
            FTimecodeText = dv->timecodeText;
            UpdateInsertTexts();
        }
        break;
    case WM_TIMESTAMPTEXT:
        if (const auto* text = reinterpret_cast<const QString*>(message.WParam)) {
            FTimestampValid = true;
            FTimestampText = *text;
            UpdateInsertTexts();
            // Sent for each new frame before the renderer has it.
            UpdateSubtitle();
        }
        break;
    case WM_SYSDATETIME:
        if (const auto* now = reinterpret_cast<const TIncrustSysDate*>(message.WParam)) {
            FRealDateActive = now->active;
            FRealDate = now->now;
            UpdateInsertTexts();
        }
        break;
    case WM_IMAGENUMBER:
        if (const auto* number = reinterpret_cast<const TIncrustNumero*>(message.WParam)) {
            FNumberActive = number->active;
            FNumberText = number->numberText;
            UpdateInsertTexts();
        }
        break;
    case WM_VIDEOFILENAME:
        if (const auto* file = reinterpret_cast<const TIncrustFileName*>(message.WParam)) {
            FFileNameActive = file->active;
            const TFileNameParts parts = SplitFileName(file->fileName);
            FFileName = parts.Name;
            FFileExtension = parts.Extension;
            FFileFolder = parts.Folder;
            UpdateInsertTexts();
        }
        break;
    default:
        TWindowLessMan::WndProc(message);
    }
}

// --- actions -------------------------------------------------------------------

void TVideoMan::ListActions(const TActionBinder& bind)
{
    TWindowLessMan::ListActions(bind);
    bind(naNextDecoderVideo, "naNextDecoderVideo");
}

void TVideoMan::SetDefaults()
{
    TWindowLessMan::SetDefaults();
    naNextDecoderVideo->ScriptName = QStringLiteral("NextDecoderVideo");
    naNextDecoderVideo->SetShortCut(ShortcutFor(naNextDecoderVideo->InternalId, QKeySequence(Qt::CTRL | Qt::Key_F8)));
    naNextDecoderVideo->ApplyWhenLoad = false;
    naNextDecoderVideo->IncludePrefs = true;
    naNextDecoderVideo->SetCaption(QStringLiteral("Next Video Decoder"));
    naNextDecoderVideo->SetHint(QStringLiteral("Click to use the Next Video Decoder"));
    naNextDecoderVideo->SetImageIndex(KvPackImage::NextDecoder);
}

void TVideoMan::AssignEvents()
{
    TWindowLessMan::AssignEvents();
    if (naNextDecoderVideo)
        naNextDecoderVideo->InternalApply = [this] { NextDecoder(); };
}
