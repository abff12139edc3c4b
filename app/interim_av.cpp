#include "app/interim_av.h"

#include "framework/preferences/morvek_preferences.h"
#include "framework/widgets/text_gauge.h"
#include "media/engine/nav_man.h"
#include "media/filters/notify_messages.h"
#include "platform/core/class_registry.h"
#include "platform/win/messages.h"

#include <QKeySequence>

namespace interim_av {

namespace {

bool IsPlaceholder(const TGraphChunk* source, const TGraphChunk* none)
{
    return !source || source == none;
}

} // namespace

// --- video -----------------------------------------------------------------------

TVideoMan::TVideoMan(QObject* owner)
    : TWindowLessMan(owner), FFrames(makeCom<TFramesNotifier>()), FSource(NoVideoSource())
{
    FFramesRec = std::make_unique<TFilterRec>(TFramesNotifier::classId, fkInstance,
                                              QString::fromStdU16String(TFramesNotifier::filterName));
    FFramesRec->SetFilter(FFrames.get());
    // The choices are not remembered: the records of decoders found by the
    // automatic search live only as long as this manager.
    FDecoders.SetDecoderLinks(&DefaultVideoLinks(), nullptr, &NoVideoDecoderRec());
    FDecoders.SetFramesNotifier(FFramesRec.get());
}

TVideoMan::~TVideoMan()
{
    if (FNav && FNav->FramesNotifier() == FFrames.get())
        FNav->SetFramesNotifier(nullptr);
}

void TVideoMan::Notify(const TNotifyStringEvent& event, const QString& text) const
{
    if (event)
        event(text);
}

bool TVideoMan::ConnectVideo(TVideoSource* source)
{
    if (source == FSource)
        return false;
    ClearVideoWindow();
    FSource = source;
    if (IsPlaceholder(source, NoVideoSource()))
        return false;
    auto* nav = qobject_cast<TNavMan*>(source->LastChunk()->GrapheMan());
    TGrapheMan* graph = source->LastChunk()->GrapheMan();
    if (!graph) {
        DisconnectVideoDevice(true);
        return false;
    }
    FDecoders.SetGrapheMan(graph);
    // The renderer goes back into the graph: clearing the graph took it out.
    SetGraphManager(nullptr);
    SetGraphManager(graph);
    graph->SetWaitFilter(ComPtr<IBaseFilter>(Renderer()).as<IMediaFilter>().get());
    // The frames notifier stays ours: only the decoder manager's splice puts it in.
    FFramesRec->SetFilter(FFrames.get());
    if (!source->BuildOn(graph, Handle())) {
        DisconnectVideoDevice(true);
        return false;
    }
    FNav = nav;
    if (nav) {
        nav->SetFramesNotifier(FFrames.get());
        FFrames->SetTextMessages(true);
        FFrames->SetFrameDataLink(source->Notifier());
        FFrames->SetVideoDataLink(source->Notifier());
        FFrames->SetFrameWindow(nav->Handle());
    }
    if (!FDecoders.ConnectWithDecoder(source->Notifier(), Renderer())) {
        DisconnectVideoDevice(true);
        return false;
    }
    if (FDecoders.CurrentDecoder())
        Notify(OnNotifyVideoDecoder, FDecoders.CurrentDecoder()->Name());
    if (auto* dv = qobject_cast<TDVMan*>(graph)) {
        dv->SetDVCodeSource(source);
        if (!dv->SceneSource())
            dv->SetSceneSource(source);
    }
    if (nav) {
        nav->InitDuration();
        if (!nav->FrameSource())
            nav->SetFrameSource(source);
    }
    UpdateVideoPosition();
    RepaintWindow();
    return true;
}

void TVideoMan::DisconnectVideoDevice(bool showNotice)
{
    Notify(OnNotifyVideoDecoder, QStringLiteral("No Video decoder"));
    Notify(OnNotifyVideoFormat, QStringLiteral("No Video"));
    ClearVideoWindow();
    TGrapheMan* graph = FDecoders.GrapheMan();
    if (!graph || IsPlaceholder(FSource, NoVideoSource())) {
        FSource = NoVideoSource();
        return;
    }
    if (auto* dv = qobject_cast<TDVMan*>(graph)) {
        if (dv->DVCodeSource() == FSource)
            dv->SetDVCodeSource(nullptr);
        if (dv->SceneSource() == FSource)
            dv->SetSceneSource(nullptr);
    }
    if (FNav && FNav->FrameSource() == FSource)
        FNav->SetFrameSource(nullptr);
    if (FDecoders.CurrentDecoder())
        FDecoders.RemoveDecoder();
    if (graph->GraphBuilder()) {
        graph->GraphBuilder()->RemoveFilter(FFrames.get());
        graph->GraphBuilder()->RemoveFilter(Renderer());
    }
    if (TFilterRec* linked = FDecoders.LinkedDecoder()) {
        linked->SetFilter(nullptr);
        FDecoders.SetLinkedDecoder(nullptr);
    }
    FSource->Detach();
    FSource = NoVideoSource();
    (void)showNotice;
    if (FNav)
        FNav->InitDuration();
}

bool TVideoMan::ConnectSubtitleSource(TSubtitleSource*)
{
    return false;
}

void TVideoMan::RemoveSubtitleSource() {}

void TVideoMan::ClearDecoders()
{
    if (!IsPlaceholder(FSource, NoVideoSource()) && FSource->Notifier())
        FSource->Notifier()->ResetCounters();
    FDecoders.ClearExcluded();
}

void TVideoMan::LoadPrefs(TMorvekPreferences& gp)
{
    LoadFromPrefs(gp);
}

void TVideoMan::SavePrefs(TMorvekPreferences& gp)
{
    SaveToPrefs(gp);
}

void TVideoMan::WndProc(TMessage& message)
{
    if (message.Msg == WM_VIDEODATA && message.LParam) {
        const TVideoData data = *reinterpret_cast<const TVideoData*>(message.LParam);
        ReplyMessage(0);
        if (message.WParam == kVideoDataCaption)
            Notify(OnNotifyVideoFormat, data.description == QStringLiteral("    ")
                                            ? data.sizeText
                                            : data.sizeText + QStringLiteral(" - ") + data.description);
        return;
    }
    TWindowLessMan::WndProc(message);
}

void TVideoMan::ListActions(const TActionBinder& bind)
{
    TWindowLessMan::ListActions(bind);
    bind(naNextDecoderVideo, "naNextDecoderVideo");
}

void TVideoMan::SetDefaults()
{
    TWindowLessMan::SetDefaults();
    naNextDecoderVideo->ScriptName = QStringLiteral("NextDecoderVideo");
    naNextDecoderVideo->SetShortCut(QKeySequence(Qt::CTRL | Qt::Key_F8));
}

void TVideoMan::AssignEvents()
{
    TWindowLessMan::AssignEvents();
    if (!naNextDecoderVideo)
        return;
    naNextDecoderVideo->SetCaption(QStringLiteral("Next Video Decoder"));
    naNextDecoderVideo->SetHint(QStringLiteral("Click to use the Next Video Decoder"));
    naNextDecoderVideo->InternalApply = [this] {
        if (FDecoders.NextDecoder() && FDecoders.CurrentDecoder())
            Notify(OnNotifyVideoDecoder, FDecoders.CurrentDecoder()->Name());
    };
}

// --- audio -----------------------------------------------------------------------

TAudioMan::TAudioMan(QObject* owner) : TKvActionComponent(owner), FSource(NoAudioSource())
{
    CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, FRenderer.putVoid());
    FDecoders.SetDecoderLinks(&DefaultAudioLinks(), nullptr, &NoAudioDecoderRec());
}

TAudioMan::~TAudioMan() = default;

void TAudioMan::Notify(const TNotifyStringEvent& event, const QString& text) const
{
    if (event)
        event(text);
}

bool TAudioMan::ConnectAudio(TAudioSource* source)
{
    if (source == FSource)
        return false;
    FSource = source;
    if (IsPlaceholder(source, NoAudioSource()))
        return false;
    FGraph = source->LastChunk()->GrapheMan();
    FDecoders.SetGrapheMan(FGraph);
    if (!FGraph || !FRenderer || !source->BuildOn(FGraph, Handle())) {
        DisconnectAudio();
        return false;
    }
    FGraph->GraphBuilder()->RemoveFilter(FRenderer.get());
    AddFilterNamed(FGraph->GraphBuilder(), FRenderer.get(), QStringLiteral("Kv Audio Renderer"));
    if (!FDecoders.ConnectWithDecoder(source->Notifier(), FRenderer.get())) {
        DisconnectAudio();
        return false;
    }
    if (FDecoders.CurrentDecoder())
        Notify(OnNotifyAudioDecoder, FDecoders.CurrentDecoder()->Name());
    ApplyVolume();
    return true;
}

void TAudioMan::DisconnectAudio()
{
    Notify(OnNotifyAudioDecoder, QStringLiteral("No Audio decoder"));
    Notify(OnNotifyAudioFormat, QStringLiteral("No Audio"));
    if (!FGraph || IsPlaceholder(FSource, NoAudioSource())) {
        FSource = NoAudioSource();
        return;
    }
    if (FDecoders.CurrentDecoder())
        FDecoders.RemoveDecoder();
    if (FGraph->GraphBuilder() && FRenderer)
        FGraph->GraphBuilder()->RemoveFilter(FRenderer.get());
    if (TFilterRec* linked = FDecoders.LinkedDecoder()) {
        linked->SetFilter(nullptr);
        FDecoders.SetLinkedDecoder(nullptr);
    }
    FSource->Detach();
    FSource = NoAudioSource();
    if (auto* nav = qobject_cast<TNavMan*>(FGraph))
        nav->InitDuration();
}

void TAudioMan::ClearDecoders()
{
    FDecoders.ClearExcluded();
}

void TAudioMan::LoadPrefs(TMorvekPreferences& gp)
{
    LoadFromPrefs(gp);
}

void TAudioMan::SavePrefs(TMorvekPreferences& gp)
{
    SaveToPrefs(gp);
}

void TAudioMan::SetVolume(int volume)
{
    FVolume = qBound(0, volume, 10000);
    ApplyVolume();
}

void TAudioMan::ApplyVolume()
{
    if (FGraph && FGraph->GraphBuilder())
        if (const auto audio = ComPtr<IGraphBuilder>(FGraph->GraphBuilder()).as<IBasicAudio>())
            audio->put_Volume(FMuted ? 0 : FVolume);
    if (FGauge)
        FGauge->SetProgress(FVolume);
}

void TAudioMan::SetAudioGauge(TTextGauge* gauge)
{
    FGauge = gauge;
    if (!gauge)
        return;
    gauge->SetMinValue(0);
    gauge->SetMaxValue(10000);
    gauge->SetAlertValue(11000);
    gauge->SetProgress(FVolume);
}

void TAudioMan::WndProc(TMessage& message)
{
    if (message.Msg == WM_AUDIODATA && message.WParam == 3 && message.LParam) {
        const TframeData data = *reinterpret_cast<const TframeData*>(message.LParam);
        Notify(OnNotifyAudioFormat, data.audioText);
        return;
    }
    TKvActionComponent::WndProc(message);
}

void TAudioMan::ListActions(const TActionBinder& bind)
{
    bind(caMute, "caMute");
    bind(naNextDecoderAudio, "naNextDecoderAudio");
    bind(naIncVolume, "naIncVolume");
    bind(naDecVolume, "naDecVolume");
    bind(iaVolume, "iaVolume");
}

void TAudioMan::SetDefaults()
{
    caMute->ScriptName = QStringLiteral("Mute");
    caMute->SetShortCut(QKeySequence(Qt::CTRL | Qt::Key_M));
    caMute->ApplyWhenLoad = true;
    naNextDecoderAudio->ScriptName = QStringLiteral("NextDecoderAudio");
    naNextDecoderAudio->SetShortCut(QKeySequence(Qt::CTRL | Qt::Key_F9));
    naIncVolume->ScriptName = QStringLiteral("IncVolume");
    naIncVolume->SetShortCut(QKeySequence(Qt::Key_Plus | Qt::KeypadModifier));
    naDecVolume->ScriptName = QStringLiteral("DecVolume");
    naDecVolume->SetShortCut(QKeySequence(Qt::Key_Minus | Qt::KeypadModifier));
    iaVolume->ScriptName = QStringLiteral("Volume");
    iaVolume->ApplyWhenLoad = true;
    iaVolume->SetDefaultValue(5000);
}

void TAudioMan::AssignEvents()
{
    if (caMute) {
        caMute->SetTrueCaption(QStringLiteral("Turn sound on"));
        caMute->SetFalseCaption(QStringLiteral("Put Sound off"));
        caMute->InternalTrueApply = [this] {
            FMuted = true;
            ApplyVolume();
        };
        caMute->InternalFalseApply = [this] {
            FMuted = false;
            ApplyVolume();
        };
    }
    if (naNextDecoderAudio) {
        naNextDecoderAudio->SetCaption(QStringLiteral("Next Audio decoder"));
        naNextDecoderAudio->InternalApply = [this] {
            if (FDecoders.NextDecoder() && FDecoders.CurrentDecoder())
                Notify(OnNotifyAudioDecoder, FDecoders.CurrentDecoder()->Name());
        };
    }
    if (naIncVolume) {
        naIncVolume->SetCaption(QStringLiteral("Increase Volume"));
        naIncVolume->InternalApply = [this] {
            SetVolume(FVolume + 1000);
            if (iaVolume)
                iaVolume->SetValue(FVolume);
        };
    }
    if (naDecVolume) {
        naDecVolume->SetCaption(QStringLiteral("Decrease the Volume"));
        naDecVolume->InternalApply = [this] {
            SetVolume(FVolume - 1000);
            if (iaVolume)
                iaVolume->SetValue(FVolume);
        };
    }
    if (iaVolume) {
        iaVolume->SetCaption(QStringLiteral("Volume"));
        iaVolume->InternalApply = [this](const int& volume) { SetVolume(volume); };
        iaVolume->InternalBeforeSave = [this](int& volume) {
            volume = FVolume;
            return true;
        };
    }
}

} // namespace interim_av
