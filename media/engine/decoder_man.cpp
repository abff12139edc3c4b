#include "media/engine/decoder_man.h"

#include "platform/graph/media_type.h"
#include "platform/graph/pin_walk.h"

namespace {

// The manager's answer to the graph builder, as a COM object of its own.
class TBuilderCallback final : public ComObject<IAMGraphBuilderCallback>
{
public:
    explicit TBuilderCallback(const TDecoderMan* man) : FMan(man) {}
    HRESULT SelectedFilter(IMoniker* moniker) override { return FMan->Accepts(moniker) ? S_OK : E_FAIL; }
    HRESULT CreatedFilter(IBaseFilter*) override { return S_OK; }

private:
    const TDecoderMan* FMan;
};

// Makes the manager the graph's site while it connects.
class TSiteScope
{
public:
    TSiteScope(IGraphBuilder* graph, IUnknown* site) : FSite(ComPtr<IGraphBuilder>(graph).as<IObjectWithSite>())
    {
        if (FSite)
            FSite->SetSite(site);
    }
    ~TSiteScope()
    {
        if (FSite)
            FSite->SetSite(nullptr);
    }
    TSiteScope(const TSiteScope&) = delete;
    TSiteScope& operator=(const TSiteScope&) = delete;

private:
    ComPtr<IObjectWithSite> FSite;
};

bool MatchesOrNull(const GUID& linked, const GUID& actual)
{
    return linked == GUID_NULL || linked == actual;
}

CLSID ClassOf(IBaseFilter* filter)
{
    CLSID classId = GUID_NULL;
    if (filter)
        filter->GetClassID(&classId);
    return classId;
}

} // namespace

TDecoderMan::TDecoderMan(QObject* owner) : QObject(owner), FCallback(makeCom<TBuilderCallback>(this)) {}

TDecoderMan::~TDecoderMan()
{
    SetGrapheMan(nullptr);
}

void TDecoderMan::SetGrapheMan(TGrapheMan* manager)
{
    if (manager == FGrapheMan)
        return;
    if (FGrapheMan)
        FGrapheMan->RemoveFilterOwner(this);
    FGrapheMan = manager;
    if (manager)
        manager->AddFilterOwner(this, [this] { ForgetConnection(); });
}

void TDecoderMan::ForgetConnection()
{
    // The decoder and the filters spliced after it left with the others;
    // their records let go of the instances, as a removal does.
    for (TFilterRec* rec : {FCurrentDecoder, FPostDecoder, FSubtitle, FFramesNotifier})
        if (rec && rec->Kind() != fkInstance)
            rec->SetFilter(nullptr);
    FCurrentDecoder = nullptr;
    FSource = nullptr;
    FTarget = nullptr;
    FOutput = nullptr;
    FInput = nullptr;
}

void TDecoderMan::SetDecoderLinks(TDecoderLinks* defaults, TDecoderLinks* user, TFilterRec* none)
{
    FDefaultLinks = defaults;
    FUserLinks = user;
    FNone = none;
}

void TDecoderMan::ClearExcluded()
{
    FExcluded.clear();
    FIndex = 0;
    FPhase = phNotStarted;
}

bool TDecoderMan::Accepts(IMoniker* moniker) const
{
    ComPtr<IBaseFilter> filter;
    if (!moniker || FAILED(moniker->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid())) || !filter)
        return false;
    return !FExcluded.contains(GuidText(ClassOf(filter.get())), Qt::CaseInsensitive);
}

bool TDecoderMan::ConnectWithDecoder(IBaseFilter* source, IBaseFilter* target)
{
    if (!FGrapheMan || !FGrapheMan->GraphBuilder() || !source || !target)
        return false;
    FSource = source;
    FTarget = target;
    FOutput = firstFreePin(source, PINDIR_OUTPUT);
    FInput = firstPin(target, PINDIR_INPUT);
    if (!FOutput || !FInput)
        return false;
    FMajorType = FSubType = FFormatType = GUID_NULL;
    ComPtr<IEnumMediaTypes> types;
    if (SUCCEEDED(FOutput->EnumMediaTypes(types.put())) && types) {
        AM_MEDIA_TYPE* type = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &type, &fetched) == S_OK && type) {
            FMajorType = type->majortype;
            FSubType = type->subtype;
            FFormatType = type->formattype;
            DeleteMediaType(type);
        }
    }
    return Connect();
}

bool TDecoderMan::Connect()
{
    IGraphBuilder* graph = FGrapheMan->GraphBuilder();
    const TSiteScope site(graph, FCallback.get());
    if (FPhase == phNotStarted) {
        FPhase = phChosen;
        FIndex = 0;
        if (TryDecoder(FLinkedDecoder))
            return true;
    }
    if (FPhase == phChosen) {
        while (FIndex < FPreferred.size()) {
            TFilterRec* candidate = FPreferred[FIndex++];
            if (!candidate || (FLinkedDecoder && candidate->ClassId() == FLinkedDecoder->ClassId()))
                continue;
            if (TryDecoder(candidate))
                return true;
        }
        FPhase = phAutomatic;
        FIndex = 0;
        RebuildExcluded();
    }
    if (SUCCEEDED(graph->Connect(FOutput.get(), FInput.get()))) {
        Finish(nullptr);
        return true;
    }
    return false;
}

void TDecoderMan::RebuildExcluded()
{
    FExcluded.clear();
    if (!FDefaultLinks)
        return;
    for (int i = 0; i < FDefaultLinks->Count(); ++i) {
        const TDecoderLink& link = FDefaultLinks->Link(i);
        if (!link.Rec || !MatchesOrNull(link.MajorType, FMajorType) || !MatchesOrNull(link.SubType, FSubType) ||
            !MatchesOrNull(link.FormatType, FFormatType))
            continue;
        Exclude(link.Rec->ClassId());
    }
}

bool TDecoderMan::TryDecoder(TFilterRec* rec)
{
    if (!rec || rec->ClassId() == GUID_NULL)
        return false;
    const ComPtr<IBaseFilter> decoder = rec->GetFilter();
    IGraphBuilder* graph = FGrapheMan->GraphBuilder();
    if (!decoder || FAILED(AddFilterNamed(graph, decoder.get(), rec->Name())))
        return false;
    const ComPtr<IPin> decoderInput = firstFreePin(decoder.get(), PINDIR_INPUT);
    if (decoderInput && SUCCEEDED(graph->Connect(FOutput.get(), decoderInput.get()))) {
        const ComPtr<IPin> decoderOutput = firstFreePin(decoder.get(), PINDIR_OUTPUT);
        if (decoderOutput && SUCCEEDED(graph->Connect(decoderOutput.get(), FInput.get()))) {
            Finish(rec);
            return true;
        }
    }
    for (const ComPtr<IPin>& pin : pinsOf(decoder.get())) {
        if (const ComPtr<IPin> peer = peerOf(pin.get()))
            graph->Disconnect(peer.get());
        graph->Disconnect(pin.get());
    }
    // Whatever an indirect connection put in front of the decoder goes too.
    RemoveFiltersUpTo(graph, decoder.get(), FSource.get());
    graph->RemoveFilter(decoder.get());
    rec->SetFilter(nullptr);
    return false;
}

void TDecoderMan::Finish(TFilterRec* rec)
{
    if (!rec) {
        // The filter the automatic connection put in front of the target.
        const ComPtr<IPin> peer = peerOf(FInput.get());
        const ComPtr<IBaseFilter> decoder = peer ? filterOf(peer.get()) : nullptr;
        if (decoder && decoder != FSource) {
            FILTER_INFO info;
            decoder->QueryFilterInfo(&info);
            rec = TFilterRecs::Instance().Obtain(ClassOf(decoder.get()), fkRegistered,
                                                 QString::fromStdU16String(info.achName));
        } else {
            rec = FNone;
        }
    }
    FCurrentDecoder = rec;
    if (FUserLinks && rec)
        FUserLinks->Add(FMajorType, FSubType, FFormatType, rec);
    for (TFilterRec* inserted : {FPostDecoder, FSubtitle, FFramesNotifier})
        if (inserted && inserted != FCurrentDecoder && !Splice(inserted))
            break;
}

void TDecoderMan::Exclude(const CLSID& classId)
{
    const QString text = GuidText(classId);
    if (!FExcluded.contains(text, Qt::CaseInsensitive))
        FExcluded.append(text);
}

bool TDecoderMan::Splice(TFilterRec* rec)
{
    IGraphBuilder* graph = FGrapheMan->GraphBuilder();
    const ComPtr<IBaseFilter> filter = rec->GetFilter();
    if (!filter || FAILED(AddFilterNamed(graph, filter.get(), rec->Name())))
        return false;
    if (SUCCEEDED(InsertFilter(graph, FInput.get(), filter.get(), imDownstream)))
        return true;
    Exclude(rec->ClassId());
    graph->RemoveFilter(filter.get());
    rec->SetFilter(nullptr);
    return false;
}

HRESULT InsertFilter(IGraphBuilder* graph, IPin* pin, IBaseFilter* filter, TInsertMode mode)
{
    if (!graph || !pin || !filter)
        return E_POINTER;
    const ComPtr<IPin> peer = peerOf(pin);
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    const ComPtr<IPin> upstream = mode == imUpstream ? ComPtr<IPin>(pin) : peer;
    const ComPtr<IPin> downstream = mode == imUpstream ? peer : ComPtr<IPin>(pin);
    const std::vector<ComPtr<IPin>> pins = pinsOf(filter);
    if (pins.size() < 2)
        return E_FAIL;
    AM_MEDIA_TYPE saved{};
    if (FAILED(upstream->ConnectionMediaType(&saved)))
        return E_FAIL;
    graph->Disconnect(downstream.get());
    graph->Disconnect(upstream.get());
    HRESULT hr = graph->ConnectDirect(upstream.get(), pins[0].get(), nullptr);
    if (SUCCEEDED(hr))
        hr = graph->ConnectDirect(pins[1].get(), downstream.get(), nullptr);
    if (FAILED(hr)) {
        for (const ComPtr<IPin>& own : pins) {
            if (const ComPtr<IPin> other = peerOf(own.get()))
                graph->Disconnect(other.get());
            graph->Disconnect(own.get());
        }
        graph->ConnectDirect(upstream.get(), downstream.get(), &saved);
        if (SUCCEEDED(hr))
            hr = E_FAIL;
    }
    FreeMediaType(saved);
    return hr;
}

bool TDecoderMan::RemoveDecoder()
{
    if (!FGrapheMan || !FGrapheMan->GraphBuilder() || !FTarget || !FSource)
        return false;
    IGraphBuilder* graph = FGrapheMan->GraphBuilder();
    RemoveFiltersUpTo(graph, FTarget.get(), FSource.get());
    if (FCurrentDecoder && FCurrentDecoder->Kind() != fkInstance)
        FCurrentDecoder->SetFilter(nullptr);
    return !IsUpstreamFilter(FTarget.get(), FSource.get()) && !(FOutput && peerOf(FOutput.get()));
}

bool TDecoderMan::NextDecoder()
{
    if (!FGrapheMan || !FCurrentDecoder)
        return false;
    const int state = FGrapheMan->GraphState();
    FGrapheMan->Stop();
    if (FPhase == phAutomatic) {
        Exclude(FCurrentDecoder->ClassId());
        if (FUserLinks)
            FUserLinks->Remove(FMajorType, FSubType, FFormatType);
    }
    bool connected = false;
    if (RemoveDecoder()) {
        connected = Connect();
        if (!connected) {
            FExcluded.clear();
            FPhase = phNotStarted;
            FIndex = 0;
            connected = Connect();
        }
    }
    if (state == kGraphStatePlaying)
        FGrapheMan->Play();
    else
        FGrapheMan->Pause();
    return connected;
}
