#include "media/engine/audio_man.h"

#include "framework/managers/shortcuts.h"
#include "framework/preferences/morvek_preferences.h"
#include "framework/widgets/text_gauge.h"
#include "media/engine/nav_man.h"
#include "media/filters/notify_messages.h"
#include "platform/core/class_registry.h"
#include "platform/renderers/renderer_interfaces.h"
#include "platform/win/messages.h"

#include <QSignalBlocker>

#include <algorithm>

namespace {

const QString kNoAudioDecoder = QStringLiteral("No Audio decoder");
const QString kNoAudio = QStringLiteral("No Audio");
const QString kDecodersKey = QStringLiteral("AudioDecoders");
const char16_t kRendererName[] = u"Kv Audio Renderer";
constexpr DWORD kAudioNotifierOptions = 0x82;
constexpr int kDefaultVolume = 5000;
// Above the range: the gauge never shows the alert colour.
constexpr int kGaugeAlert = 11000;

// The picture of each status in the status image list.
int StatusImage(TAudioStatus status)
{
    switch (status) {
    case asNoAudio:
        return 0;
    case asBadAudio:
        return 1;
    case asErrorAudio:
        return 2;
    case asMuted:
        return 3;
    case asAudioOn:
        return 4;
    }
    return 0;
}

} // namespace

void FillAudioStatusImages(TCustomImageList& images)
{
    const TImageModuleRef<TdmKvPackImages> pack;
    for (int index : {KvPackImage::NoAudio, KvPackImage::BadAudio, KvPackImage::ErrorAudio, KvPackImage::SoundOff,
                      KvPackImage::SoundOn})
        images.Add(pack->ilKvPack.Icon(index));
}

TAudioMan::TAudioMan(QObject* owner) : TKvActionComponent(owner), FCurrentSource(NoAudioSource())
{
    if (FAILED(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid,
                                FRenderer.putVoid())) ||
        !FRenderer)
        SetStatus(asErrorAudio);
    FResampler = makeCom<TResampler>();
    FResamplerFilter = FResampler;
    // The resampler goes in behind whatever decoder the search finds, so the
    // renderer always plays at one rate. It takes 16-bit PCM only, what the
    // decoders give; other sound stays connected without it.
    FResamplerRec =
        std::make_unique<TFilterRec>(TResampler::classId, fkInstance, QString::fromUtf16(TResampler::filterName));
    FResamplerRec->SetFilter(FResamplerFilter.get());
    SetImages(&FActionImages->ilKvPack);
    FDecoders = std::make_unique<TDecoderMan>();
    FDecoders->SetDecoderLinks(&DefaultAudioLinks(), &UserAudioLinks(), &NoAudioDecoderRec());
    FDecoders->SetPostDecoderFilter(FResamplerRec.get());
}

TAudioMan::~TAudioMan()
{
    SetSourceGraph(nullptr);
    SetImages(nullptr);
}

void TAudioMan::Notify(const TNotifyStringEvent& event, void (TAudioMan::*signal)(const QString&), const QString& text)
{
    if (event)
        event(text);
    emit(this->*signal)(text);
}

// --- connecting --------------------------------------------------------------

bool TAudioMan::ConnectAudio(TAudioSource* source)
{
    if (source == FCurrentSource)
        return false;
    FDecoders->SetCurrentDecoder(&NoAudioDecoderRec());
    FResampler->SetOption(true);
    FResampler->SetOutputRate(kOutputRate);
    FResampler->SetEnabled(true);
    FCurrentSource = source;
    if (!source || source == NoAudioSource()) {
        SetStatus(asNoAudio);
        return false;
    }
    bool connected = false;
    RunShielded("connecting the audio", [&] {
        TGrapheMan* graph = source->LastChunk()->GrapheMan();
        SetSourceGraph(graph);
        if (!graph || !FRenderer)
            return;
        FDecoders->SetGrapheMan(graph);
        if (!source->BuildOn(graph, Handle()))
            return;
        IGraphBuilder* builder = graph->GraphBuilder();
        FILTER_INFO info;
        if (SUCCEEDED(FRenderer->QueryFilterInfo(&info)) && info.pGraph)
            info.pGraph->RemoveFilter(FRenderer.get());
        if (FAILED(builder->AddFilter(FRenderer.get(), kRendererName)))
            return;
        // A splice that failed once leaves the record without its instance.
        FResamplerRec->SetFilter(FResamplerFilter.get());
        FDecoders->SetLinkedDecoder(
            UserAudioLinks().GetDecoder(source->Majortype(), source->Subtype(), source->Formattype()));
        connected = FDecoders->ConnectWithDecoder(source->Notifier(), FRenderer.get());
    });
    if (!connected) {
        DisconnectAudio();
        SetStatus(asBadAudio);
        return false;
    }
    if (TFilterRec* decoder = FDecoders->CurrentDecoder())
        Notify(OnNotifyAudioDecoder, &TAudioMan::AudioDecoderNotified, decoder->Name());
    FConnected = true;
    source->Notifier()->SetNotifyAudioData(true);
    source->Notifier()->SetOptionFlags(kAudioNotifierOptions);
    SetStatus(FMuted ? asMuted : asAudioOn);
    ApplyVolume();
    return true;
}

void TAudioMan::DisconnectAudio()
{
    ReleaseAudio(false);
}

// The one way a stream goes. Taken out by this manager (`lost` false), it
// leaves the graph and gives back the duration; lost (its graph cleared, its
// pieces destroyed), only what this manager keeps goes.
void TAudioMan::ReleaseAudio(bool lost)
{
    const bool connected = FCurrentSource && FCurrentSource != NoAudioSource() && (lost || FGraph);
    if (lost && !connected)
        return;
    FConnected = false;
    Notify(OnNotifyAudioDecoder, &TAudioMan::AudioDecoderNotified, kNoAudioDecoder);
    Notify(OnNotifyAudioFormat, &TAudioMan::AudioFormatNotified, kNoAudio);
    if (!connected)
        return;
    if (FGraph && FDecoders->CurrentDecoder())
        FDecoders->RemoveDecoder();
    // The renderer leaves whichever graph holds it.
    FILTER_INFO info;
    if (FRenderer && SUCCEEDED(FRenderer->QueryFilterInfo(&info)) && info.pGraph)
        info.pGraph->RemoveFilter(FRenderer.get());
    if (!lost) {
        if (TFilterRec* linked = FDecoders->LinkedDecoder()) {
            linked->SetFilter(nullptr);
            FDecoders->SetLinkedDecoder(nullptr);
        }
        FCurrentSource->TearDownStream();
    }
    FCurrentSource = NoAudioSource();
    SetStatus(asNoAudio);
    if (auto* nav = qobject_cast<TNavMan*>(FGraph.data()); nav && !lost)
        nav->InitDuration();
}

QList<TFilterRec*>& TAudioMan::GetPreferredDecoders()
{
    return FDecoders->PreferredDecoders();
}

void TAudioMan::ClearDecoders()
{
    FDecoders->ClearExcluded();
}

void TAudioMan::NextDecoder()
{
    FDecoders->NextDecoder();
    if (TFilterRec* decoder = FDecoders->CurrentDecoder())
        Notify(OnNotifyAudioDecoder, &TAudioMan::AudioDecoderNotified, decoder->Name());
}

bool TAudioMan::LoadPrefs(TMorvekPreferences& gp)
{
    const bool loaded = LoadFromPrefs(gp);
    UserAudioLinks().LoadFromPrefs(gp.Store(), kDecodersKey);
    return loaded;
}

bool TAudioMan::SavePrefs(TMorvekPreferences& gp)
{
    const bool saved = SaveToPrefs(gp);
    return UserAudioLinks().SaveToPrefs(gp.Store(), kDecodersKey) && saved;
}

// --- volume and status ---------------------------------------------------------

void TAudioMan::SetSourceGraph(TGrapheMan* graph)
{
    if (graph == FGraph)
        return;
    for (const QMetaObject::Connection& watch : FGraphWatch)
        disconnect(watch);
    if (FGraph)
        FGraph->RemoveFilterOwner(this);
    FGraph = graph;
    if (!graph)
        return;
    FGraphWatch = {
        connect(graph, &TGrapheMan::FastRateChanged, this, [this] { ApplyVolume(); }),
        connect(graph, &TGrapheMan::ChunkForgotten, this,
                [this](TGraphChunk* chunk) {
                    if (chunk == FCurrentSource)
                        ReleaseAudio(true);
                }),
    };
    // Clearing the graph takes the renderer and the resampler out with the
    // stream.
    graph->AddFilterOwner(this, [this] { ReleaseAudio(true); });
}

int TAudioMan::GraphVolume() const
{
    return FMuted || (FGraph && FGraph->FastRate()) ? 0 : FVolume;
}

void TAudioMan::SetVolume(int volume)
{
    FVolume = std::clamp(volume, 0, kMaxVolume);
    ApplyVolume();
}

void TAudioMan::ApplyVolume()
{
    if (FGraph && FGraph->GraphBuilder())
        if (const auto audio = ComPtr<IGraphBuilder>(FGraph->GraphBuilder()).as<IBasicAudio>())
            audio->put_Volume(GraphVolume());
    // The controls show the volume kept, muted or not.
    if (auto* gauge = AudioGauge())
        gauge->SetProgress(FVolume);
    if (FSlider) {
        const QSignalBlocker quiet(FSlider);
        FSlider->setValue(FVolume);
    }
    if (OnVolume)
        OnVolume(FVolume);
}

void TAudioMan::SetMuted(bool muted)
{
    FMuted = muted;
    if (FConnected)
        SetStatus(muted ? asMuted : asAudioOn);
    ApplyVolume();
}

void TAudioMan::StepVolume(int delta)
{
    SetVolume(FVolume + delta);
    if (iaVolume)
        iaVolume->SetValue(FVolume);
}

void TAudioMan::SetStatus(TAudioStatus status)
{
    FStatus = status;
    if (FImage) {
        FImage->clear();
        if (FImages)
            FImage->setPixmap(FImages->Icon(StatusImage(status)).pixmap(FImage->size()));
    }
    if (OnStatus)
        OnStatus(status);
}

void TAudioMan::SetAudioSlider(QSlider* slider)
{
    if (FSlider)
        FSlider->disconnect(this);
    FSlider = slider;
    if (!slider)
        return;
    slider->setRange(0, kMaxVolume);
    // The slider moved by hand sets the action, so that the action's value
    // stays the one volume (and the move records a macro line).
    connect(slider, &QSlider::valueChanged, this, [this](int value) {
        if (iaVolume)
            iaVolume->SetValue(value);
        else
            SetVolume(value);
    });
}

void TAudioMan::SetAudioImages(TCustomImageList* images)
{
    FImages = images;
    SetStatus(asNoAudio);
}

void TAudioMan::SetAudioImage(QLabel* image)
{
    FImage = image;
    SetStatus(asNoAudio);
}

TTextGauge* TAudioMan::AudioGauge() const
{
    return static_cast<TTextGauge*>(FGauge.data());
}

void TAudioMan::SetAudioGauge(TTextGauge* gauge)
{
    FGauge = gauge;
    if (!gauge)
        return;
    // The maximum first: the minimum may never pass it.
    gauge->SetMaxValue(kMaxVolume);
    gauge->SetMinValue(0);
    gauge->SetAlertValue(kGaugeAlert);
}

// --- messages ------------------------------------------------------------------

void TAudioMan::WndProc(TMessage& message)
{
    if (message.Msg != WM_AUDIODATA) {
        TKvActionComponent::WndProc(message);
        return;
    }
    const auto* audio = reinterpret_cast<const TframeData*>(message.LParam);
    if (message.WParam != kAudioDataFormat || !audio)
        return;
    FAudioData = *audio;
    Notify(OnNotifyAudioFormat, &TAudioMan::AudioFormatNotified, FAudioData.audioText);
}

// --- actions -------------------------------------------------------------------

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
    const auto common = [](TCustomAbstractAction* action, const char* scriptName, const QKeySequence& key,
                           bool applyWhenLoad) {
        action->ScriptName = QString::fromLatin1(scriptName);
        action->SetShortCut(ShortcutFor(action->InternalId, key));
        action->ApplyWhenLoad = applyWhenLoad;
        action->IncludePrefs = true;
    };
    common(caMute, "Mute", QKeySequence(Qt::CTRL | Qt::Key_M), true);
    caMute->SetTrueCaption(QStringLiteral("Turn sound on"));
    caMute->SetFalseCaption(QStringLiteral("Put Sound off"));
    caMute->SetTrueHint(QStringLiteral("Click to turn Sound On"));
    caMute->SetFalseHint(QStringLiteral("Click to turn Sound Off"));
    caMute->SetTrueImageIndex(KvPackImage::SoundOff);
    caMute->SetFalseImageIndex(KvPackImage::SoundOn);
    caMute->SetDefaultValue(false);

    const struct
    {
        TNopeAction* action;
        const char* scriptName;
        QKeySequence key;
        const char* caption;
        const char* hint;
        int image;
    } commands[] = {
        {naNextDecoderAudio, "NextDecoderAudio", QKeySequence(Qt::CTRL | Qt::Key_F9), "Next Audio decoder",
         "Click to use the next Audio decoder", KvPackImage::NextDecoder},
        {naIncVolume, "IncVolume", QKeySequence(Qt::KeypadModifier | Qt::Key_Plus), "Increase Volume",
         "Click to increase the volume by 1000/10000", KvPackImage::VolumeUp},
        {naDecVolume, "DecVolume", QKeySequence(Qt::KeypadModifier | Qt::Key_Minus), "Decrease the Volume",
         "Click to decrease the volume by 1000/10000", KvPackImage::VolumeDown},
    };
    for (const auto& c : commands) {
        common(c.action, c.scriptName, c.key, false);
        c.action->SetCaption(QString::fromLatin1(c.caption));
        c.action->SetHint(QString::fromLatin1(c.hint));
        c.action->SetImageIndex(c.image);
    }

    common(iaVolume, "Volume", QKeySequence(), true);
    iaVolume->SetCaption(QStringLiteral("Volume"));
    iaVolume->SetDefaultValue(kDefaultVolume);
}

void TAudioMan::AssignEvents()
{
    if (caMute) {
        caMute->InternalTrueApply = [this] { SetMuted(true); };
        caMute->InternalFalseApply = [this] { SetMuted(false); };
    }
    if (naNextDecoderAudio)
        naNextDecoderAudio->InternalApply = [this] { NextDecoder(); };
    if (naIncVolume)
        naIncVolume->InternalApply = [this] { StepVolume(kVolumeStep); };
    if (naDecVolume)
        naDecVolume->InternalApply = [this] { StepVolume(-kVolumeStep); };
    if (iaVolume) {
        iaVolume->InternalApply = [this](const int& volume) { SetVolume(volume); };
        // What the graph plays at, where it plays at the user's volume: a
        // connected sound, not muted, at normal rate.
        iaVolume->InternalBeforeSave = [this](int& volume) {
            volume = FVolume;
            const bool playsAtVolume = FConnected && !FMuted && !(FGraph && FGraph->FastRate());
            const auto audio = playsAtVolume && FGraph->GraphBuilder()
                                   ? ComPtr<IGraphBuilder>(FGraph->GraphBuilder()).as<IBasicAudio>()
                                   : nullptr;
            LONG played = 0;
            if (audio && SUCCEEDED(audio->get_Volume(&played)))
                volume = std::clamp<int>(played, 0, kMaxVolume);
            return true;
        };
    }
    ApplySharedShortcuts(*this);
}
