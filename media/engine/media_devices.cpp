#include "media/engine/media_devices.h"

#include "media/engine/filter_rec.h"
#include "media/parsers/media_types.h"
#include "platform/core/class_registry.h"
#include "platform/filters/dv_splitter.h"
#include "platform/graph/capture_graph_builder.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/pin_walk.h"

namespace {

const QString kNoDV = QStringLiteral("No DV");
const QString kNoStream = QStringLiteral("No Stream");

// The name a pin gives itself, for the piece below it.
QString pinName(IPin* pin)
{
    PIN_INFO info;
    return SUCCEEDED(pin->QueryPinInfo(&info)) ? QString::fromStdU16String(info.achName) : QString();
}

int countFreePins(IBaseFilter* filter, const GUID& majortype)
{
    int n = 0;
    while (FindOutputPin(filter, majortype, n, true))
        ++n;
    return n;
}

void removeFromGraph(IGraphBuilder* graph, IBaseFilter* filter)
{
    if (graph && filter)
        graph->RemoveFilter(filter);
}

} // namespace

ComPtr<IPin> FindOutputPin(IBaseFilter* filter, const GUID& majortype, int index, bool unconnected)
{
    if (!filter)
        return nullptr;
    const auto builder = makeCom<CaptureGraphBuilder>();
    ComPtr<IPin> pin;
    for (const GUID* category : {&PIN_CATEGORY_CAPTURE, static_cast<const GUID*>(nullptr)}) {
        if (SUCCEEDED(builder->FindPin(filter, PINDIR_OUTPUT, category, &majortype, unconnected ? TRUE : FALSE, index,
                                       pin.put())))
            return pin;
    }
    return nullptr;
}

// ---------------------------------------------------------------- pieces

TGraphChunk::TGraphChunk(TGraphChunk* owner, QString name, int index)
    : FOwner(owner), FName(std::move(name)), FIndex(index)
{
    FDisplayName = FIndex < 2 ? FName : FName + QStringLiteral(" #") + QString::number(FIndex);
}

TGraphChunk::~TGraphChunk()
{
    TGrapheMan::ChunkDestroyed(this);
}

REFERENCE_TIME TGraphChunk::GetDuration() const
{
    LONGLONG duration = 0;
    if (FGraph && FGraph->MediaSeeking() && SUCCEEDED(FGraph->MediaSeeking()->GetDuration(&duration)))
        return duration;
    return 0;
}

IGraphBuilder* TGraphChunk::Builder() const
{
    return FGraph ? FGraph->GraphBuilder() : FPlainGraph.get();
}

ICaptureGraphBuilder2* TGraphChunk::Capture() const
{
    return FGraph ? FGraph->CaptureBuilder() : FPlainCapture.get();
}

bool TGraphChunk::SetGraph(TGrapheMan* graph)
{
    if (graph == FGraph.data() && FInGraph)
        return true;
    Teardown();
    FGraph = graph;
    FPlainGraph = nullptr;
    FPlainCapture = nullptr;
    ReleaseFilter();
    if (!graph)
        return false;
    if (FOwner && (!FOwner->SetGraph(graph) || !FOwner->Filter()))
        return false;
    return BuildInGraph();
}

bool TGraphChunk::Attach(TGrapheMan* graph)
{
    Teardown();
    ReleaseFilter();
    FGraph = graph;
    FPlainGraph = nullptr;
    FPlainCapture = nullptr;
    return graph && BuildInGraph();
}

bool TGraphChunk::AttachPlain(IGraphBuilder* graph, ICaptureGraphBuilder2* capture)
{
    Teardown();
    ReleaseFilter();
    FGraph = nullptr;
    FPlainGraph = graph;
    FPlainCapture = capture;
    return graph && capture && BuildInGraph();
}

void TGraphChunk::Detach()
{
    Teardown();
    FGraph = nullptr;
    FPlainGraph = nullptr;
    FPlainCapture = nullptr;
    ReleaseFilter();
    if (FOwner && FOwner->Builder())
        FOwner->Detach();
}

TGraphChunk* TGraphChunk::LastChunk()
{
    TGraphChunk* chunk = this;
    while (chunk->FOwner)
        chunk = chunk->FOwner;
    return chunk;
}

bool TGraphChunk::BuildInGraph()
{
    if (!Build()) {
        // What a failed build added goes again.
        Unbuild();
        return false;
    }
    FInGraph = true;
    if (FFilter)
        FStreamSelect = FFilter.as<IAMStreamSelect>();
    if (FGraph)
        FGraph->AddChunk(ChunkList(), this);
    return true;
}

void TGraphChunk::Teardown()
{
    if (!FInGraph)
        return;
    FInGraph = false;
    Unbuild();
    if (FGraph)
        FGraph->RemoveChunk(this);
}

void TGraphChunk::ReleaseFilter()
{
    FStreamSelect.reset();
    FFilter.reset();
}

// ---------------------------------------------------------------- devices

TMediaDevice::TMediaDevice(TGraphChunk* owner, QString name, int index) : TGraphChunk(owner, std::move(name), index) {}

TMediaDevice::~TMediaDevice()
{
    // The pieces below go before the device's own filters.
    FVideoSources.clear();
    FAudioSources.clear();
    FSubtitleSources.clear();
    FDVDevices.clear();
    FStreamDevices.clear();
}

void TMediaDevice::Open()
{
    FBuilt = false;
    if (FName == kNoDV || FName == kNoStream)
        return;
    if (FOwner) {
        TGrapheMan* manager = FOwner->Graph();
        if ((manager ? Attach(manager) : AttachPlain(FOwner->Builder(), FOwner->Capture())) && FFilter) {
            FBuilt = true;
            ListPieces();
        }
        return;
    }
    // A file is tried on a plain graph of its own, so that a file that
    // cannot be opened never touches the program's graph; no manager, so
    // nothing runs the event loop in the middle of an opening.
    const auto graph = makeCom<FilterGraph>();
    const auto capture = makeCom<CaptureGraphBuilder>();
    capture->SetFiltergraph(graph.get());
    if (AttachPlain(graph.get(), capture.get()) && FFilter) {
        FBuilt = true;
        ListPieces();
    }
    LeaveTrial();
}

void TMediaDevice::LeaveTrial()
{
    for (const auto& device : FDVDevices)
        device->LeaveTrial();
    for (const auto& device : FStreamDevices)
        device->LeaveTrial();
    Teardown();
    FPlainGraph = nullptr;
    FPlainCapture = nullptr;
    ReleaseFilter();
}

void TMediaDevice::ListPieces()
{
    IBaseFilter* filter = FFilter.get();
    const int interleaved = countFreePins(filter, MEDIATYPE_Interleaved);
    for (int n = 0; n < interleaved; ++n) {
        auto device = std::make_unique<TDVDevice>(this, n + 1);
        if (device->Built())
            FDVDevices.push_back(std::move(device));
    }
    const int streams = countFreePins(filter, MEDIATYPE_Stream);
    for (int n = 0; n < streams; ++n) {
        auto device = std::make_unique<TStreamDevice>(this, n + 1);
        if (device->Built())
            FStreamDevices.push_back(std::move(device));
    }
    if (!FDVDevices.empty() || !FStreamDevices.empty())
        return;
    const int videos = countFreePins(filter, MEDIATYPE_Video);
    for (int n = 0; n < videos; ++n)
        FVideoSources.push_back(std::make_unique<TVideoSource>(
            this, pinName(FindOutputPin(filter, MEDIATYPE_Video, n, true).get()), n + 1));
    const int audios = countFreePins(filter, MEDIATYPE_Audio);
    for (int n = 0; n < audios; ++n)
        FAudioSources.push_back(std::make_unique<TAudioSource>(
            this, pinName(FindOutputPin(filter, MEDIATYPE_Audio, n, true).get()), n + 1));
    const int subtitles = countFreePins(filter, MEDIATYPE_Subtitle);
    for (int n = 0; n < subtitles; ++n)
        FSubtitleSources.push_back(std::make_unique<TSubtitleSource>(
            this, pinName(FindOutputPin(filter, MEDIATYPE_Subtitle, n, true).get()), n + 1));
}

template <typename List> static auto* pieceAt(const List& list, int i)
{
    return i >= 0 && i < int(list.size()) ? list[std::size_t(i)].get() : nullptr;
}

TVideoSource* TMediaDevice::VideoSource(int i) const
{
    return pieceAt(FVideoSources, i);
}

TAudioSource* TMediaDevice::AudioSource(int i) const
{
    return pieceAt(FAudioSources, i);
}

TSubtitleSource* TMediaDevice::SubtitleSource(int i) const
{
    return pieceAt(FSubtitleSources, i);
}

TMediaDevice* TMediaDevice::DVDevice(int i) const
{
    return pieceAt(FDVDevices, i);
}

TMediaDevice* TMediaDevice::StreamDevice(int i) const
{
    return pieceAt(FStreamDevices, i);
}

void TMediaDevice::GetAudioStreams(TStreamList& list) const
{
    ListStreams(MEDIATYPE_Audio, list);
}

void TMediaDevice::GetSubtitleStreams(TStreamList& list) const
{
    ListStreams(MEDIATYPE_Subtitle, list);
}

void TMediaDevice::ListStreams(const GUID& majortype, TStreamList& list) const
{
    DWORD count = 0;
    if (!FStreamSelect || FAILED(FStreamSelect->Count(&count)))
        return;
    for (DWORD i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        DWORD flags = 0, group = 0;
        LCID lcid = 0;
        std::u16string name;
        if (FAILED(FStreamSelect->Info(LONG(i), &type, &flags, &lcid, &group, &name, nullptr, nullptr)))
            continue;
        if (type && type->majortype == majortype)
            list.append({QString::fromStdU16String(name), int(i)});
        DeleteMediaType(type);
    }
}

bool TMediaDevice::EnableStream(int i)
{
    if (!FStreamSelect)
        return false;
    TGrapheMan* graph = FGraph.data();
    const int state = graph ? graph->GraphState() : kGraphStateUnreadable;
    if (graph)
        graph->Stop();
    const bool ok = SUCCEEDED(FStreamSelect->Enable(i, AMSTREAMSELECTENABLE_ENABLE));
    if (state == kGraphStatePlaying)
        graph->Play();
    else if (state == kGraphStatePaused)
        graph->Pause();
    return ok;
}

TDVDevice::TDVDevice(TMediaDevice* owner, int index) : TMediaDevice(owner, owner->DisplayName(), index)
{
    CoCreateInstance(CLSID_DVSplitter, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, FSplitter.putVoid());
    if (!FSplitter)
        return;
    FNotifier = makeCom<TDVCodeNotifier>();
    Open();
}

TDVDevice::TDVDevice(QString placeholderName) : TMediaDevice(nullptr, std::move(placeholderName), 1) {}

TDVDevice::~TDVDevice()
{
    Teardown();
}

bool TDVDevice::Build()
{
    if (!Builder() || !FOwner || !FOwner->Filter() || !FSplitter || !FNotifier)
        return false;
    const ComPtr<IPin> pin = FindOutputPin(FOwner->Filter(), MEDIATYPE_Interleaved, FIndex - 1, false);
    if (!pin || peerOf(pin.get()))
        return false;
    IGraphBuilder* builder = Builder();
    if (FAILED(AddFilterNamed(builder, FNotifier.get(), QStringLiteral("DV Notifier"))) ||
        FAILED(AddFilterNamed(builder, FSplitter.get(), QStringLiteral("DV Splitter"))) ||
        FAILED(Capture()->RenderStream(nullptr, nullptr, pin.get(), nullptr, FNotifier.get())) ||
        FAILED(builder->ConnectDirect(FNotifier->output(), firstPin(FSplitter.get(), PINDIR_INPUT).get(), nullptr)))
        return false;
    FNotifier->Reset();
    FFilter = FSplitter;
    return true;
}

void TDVDevice::Unbuild()
{
    removeFromGraph(Builder(), FSplitter.get());
    removeFromGraph(Builder(), FNotifier.get());
}

TStreamDevice::TStreamDevice(TMediaDevice* owner, int index) : TMediaDevice(owner, owner->DisplayName(), index)
{
    FDummy = makeCom<TAVDummy>();
    Open();
}

TStreamDevice::TStreamDevice(QString placeholderName) : TMediaDevice(nullptr, std::move(placeholderName), 1) {}

TStreamDevice::~TStreamDevice()
{
    Teardown();
}

bool TStreamDevice::Build()
{
    if (!Builder() || !FOwner || !FOwner->Filter() || !FDummy)
        return false;
    const ComPtr<IPin> pin = FindOutputPin(FOwner->Filter(), MEDIATYPE_Stream, FIndex - 1, false);
    if (!pin || peerOf(pin.get()))
        return false;
    if (FAILED(AddFilterNamed(Builder(), FDummy.get(), QStringLiteral("AVDummy"))) ||
        FAILED(Capture()->RenderStream(nullptr, nullptr, pin.get(), nullptr, FDummy.get())))
        return false;
    FFilter = FDummy;
    return true;
}

void TStreamDevice::Unbuild()
{
    removeFromGraph(Builder(), FDummy.get());
}

// ---------------------------------------------------------------- sources

TavSource::TavSource(TGraphChunk* owner, QString name, int index, const GUID& majortype)
    : TGraphChunk(owner, std::move(name), index), FMajortype(majortype)
{
}

TavSource::~TavSource() = default;

bool TavSource::BuildOn(TGrapheMan* graph, HWND wnd)
{
    FWindow = wnd;
    return SetGraph(graph);
}

void TavSource::TearDownStream()
{
    const QPointer<TGrapheMan> graph = FGraph;
    Teardown();
    FGraph = nullptr;
    ReleaseFilter();
    if (!graph || !FOwner || !FOwner->Graph())
        return;
    for (TGrapheMan::TChunkList list :
         {TGrapheMan::clVideoSources, TGrapheMan::clAudioSources, TGrapheMan::clSubtitleSources})
        for (const TGraphChunk* chunk : graph->Chunks(list))
            if (chunk->Owner() == FOwner)
                return;
    FOwner->Detach();
}

bool TavSource::FromDVDevice() const
{
    return dynamic_cast<const TDVDevice*>(FOwner) != nullptr;
}

bool TavSource::FindOwnPin()
{
    FPin = FOwner ? FindOutputPin(FOwner->Filter(), FMajortype, FIndex - 1, false) : nullptr;
    if (FPin && peerOf(FPin.get()))
        FPin.reset();
    return bool(FPin);
}

bool TavSource::Build()
{
    NotifierBase* notifier = SourceNotifier();
    if (!Builder()) {
        if (notifier)
            FAccepted = notifier->acceptedType();
        return false;
    }
    if (!notifier || !FOwner || !FOwner->Filter() || !FindOwnPin())
        return false;
    PrepareNotifier(FWindow);
    if (FAILED(AddFilterNamed(Builder(), notifier, QString::fromUtf16(NotifierName()))) ||
        FAILED(Capture()->RenderStream(nullptr, nullptr, FPin.get(), nullptr, notifier)))
        return false;
    StreamConnected();
    FAccepted = notifier->acceptedType();
    return true;
}

void TavSource::Unbuild()
{
    removeFromGraph(Builder(), SourceNotifier());
    FPin.reset();
}

TVideoSource::TVideoSource(TGraphChunk* owner, QString name, int index)
    : TavSource(owner, std::move(name), index, MEDIATYPE_Video), FNotifier(makeCom<TVideoNotifier>())
{
    FAccepted = FNotifier->acceptedType();
}

TVideoSource::~TVideoSource()
{
    Teardown();
}

void TVideoSource::PrepareNotifier(HWND wnd)
{
    FNotifier->Reset();
    FNotifier->SetDVDevice(FromDVDevice());
    FNotifier->SetVideoWindow(wnd);
    FNotifier->SetNotifyVideoFormat(true);
}

void TVideoSource::SetFrameWindow(HWND wnd)
{
    FNotifier->SetFrameDurationWindow(wnd);
}

void TVideoSource::ClearFrameWindow()
{
    FNotifier->SetNotifyFrameDuration(false);
}

void TVideoSource::StartFrameData(HWND wnd)
{
    FNotifier->SetFrameDataWindow(wnd);
    FNotifier->SetNotifyFrameData(true);
}

void TVideoSource::StopFrameData()
{
    FNotifier->SetNotifyFrameData(false);
}

void TVideoSource::SetSceneWindow(HWND wnd)
{
    FNotifier->SetSceneWindow(wnd);
}

TframeData TVideoSource::GetFrameData() const
{
    return FNotifier->GetFrameData();
}

TAudioSource::TAudioSource(TGraphChunk* owner, QString name, int index)
    : TavSource(owner, std::move(name), index, MEDIATYPE_Audio), FNotifier(makeCom<TAudioNotifier>())
{
    FAccepted = FNotifier->acceptedType();
}

TAudioSource::~TAudioSource()
{
    Teardown();
}

void TAudioSource::PrepareNotifier(HWND wnd)
{
    FNotifier->Reset();
    FNotifier->SetDVDevice(FromDVDevice());
    FNotifier->SetAudioWindow(wnd);
    FNotifier->SetNotifyAudioData(true);
}

void TAudioSource::StreamConnected()
{
    AM_MEDIA_TYPE type;
    if (SUCCEEDED(FPin->ConnectionMediaType(&type)))
        FNotifier->SetAudioFormatName(AudioFormatName(type));
}

TSubtitleSource::TSubtitleSource(TGraphChunk* owner, QString name, int index)
    : TavSource(owner, std::move(name), index, MEDIATYPE_Subtitle)
{
}

TSubtitleSource::~TSubtitleSource()
{
    Teardown();
}

bool TSubtitleSource::Build()
{
    return Builder() && FOwner && FOwner->Filter() && FindOwnPin();
}

void TSubtitleSource::Unbuild()
{
    FPin.reset();
}

// ---------------------------------------------------------------- placeholders

namespace {

struct Placeholders
{
    TVideoSource video{nullptr, QStringLiteral("No Video"), 1};
    TAudioSource audio{nullptr, QStringLiteral("No Audio"), 1};
    TSubtitleSource subtitles{nullptr, QStringLiteral("No Subtitles"), 1};
    TDVDevice dv{kNoDV};
    TStreamDevice stream{kNoStream};
};

Placeholders& placeholders()
{
    // The managers' registry is made first, so that it outlives the
    // placeholders, which tell it when they go.
    static const bool registry = (TGrapheMan::ChunkDestroyed(nullptr), true);
    (void)registry;
    static Placeholders pieces;
    return pieces;
}

} // namespace

TVideoSource* NoVideoSource()
{
    return &placeholders().video;
}

TAudioSource* NoAudioSource()
{
    return &placeholders().audio;
}

TSubtitleSource* NoSubtitleSource()
{
    return &placeholders().subtitles;
}

TMediaDevice* NoDVDevice()
{
    return &placeholders().dv;
}

TMediaDevice* NoStreamDevice()
{
    return &placeholders().stream;
}
