#include "tests/platform/filters/harness.h"

#include "platform/filters/av_util.h"

#include "platform/filters/stream_types.h"
#include "platform/graph/pin_walk.h"

#include <gtest/gtest.h>

namespace harness {

namespace {
constexpr CLSID CLSID_Sink = "{6A1F3C52-93D1-4E0B-8C41-2B7D5E90AF01}"_guid;

struct Registration
{
    Registration() { RegisterSystemFilters(); }
};

ComPtr<IBaseFilter> create(const CLSID& classId)
{
    static Registration once;
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, filter.putVoid());
    return filter;
}

} // namespace

bool isSource(const CLSID& classId)
{
    return classId == CLSID_PreferredSource || classId == CLSID_WMAsfReader;
}

Opened open(const CLSID& classId, const QString& clip)
{
    Opened opened;
    opened.graph = makeCom<FilterGraph>();
    opened.filter = create(classId);
    if (!opened.filter)
        return opened;
    const std::u16string name = clips::path(clip).toStdU16String();
    if (isSource(classId)) {
        opened.graph->AddFilter(opened.filter.get(), u"Source");
        opened.result = opened.filter.as<IFileSourceFilter>()->Load(name.c_str(), nullptr);
        return opened;
    }
    const ComPtr<IBaseFilter> source = create(CLSID_AsyncReader);
    opened.graph->AddFilter(source.get(), u"File Source");
    opened.graph->AddFilter(opened.filter.get(), u"Splitter");
    opened.result = source.as<IFileSourceFilter>()->Load(name.c_str(), nullptr);
    if (SUCCEEDED(opened.result))
        opened.result = opened.graph->ConnectDirect(firstPin(source.get(), PINDIR_OUTPUT).get(),
                                                    firstPin(opened.filter.get(), PINDIR_INPUT).get(), nullptr);
    return opened;
}

std::vector<ComPtr<IPin>> outputPins(IBaseFilter* filter)
{
    std::vector<ComPtr<IPin>> found;
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.put());
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction == PINDIR_OUTPUT)
            found.push_back(pin);
    }
    return found;
}

AM_MEDIA_TYPE offeredType(IPin* pin)
{
    AM_MEDIA_TYPE type;
    ComPtr<IEnumMediaTypes> types;
    AM_MEDIA_TYPE* first = nullptr;
    if (SUCCEEDED(pin->EnumMediaTypes(types.put())) && types->Next(1, &first, nullptr) == S_OK) {
        type = *first;
        DeleteMediaType(first);
    }
    return type;
}

ComPtr<IPin> pinOfMajor(IBaseFilter* filter, const GUID& major)
{
    for (const ComPtr<IPin>& pin : outputPins(filter)) {
        if (offeredType(pin.get()).majortype == major)
            return pin;
    }
    return nullptr;
}

Sink::Sink(const GUID& major, const GUID& subtype)
    : BaseRenderer(CLSID_Sink, u"Sink"), major_(major), subtype_(!subtype.isNull()          ? subtype
                                                                 : major == MEDIATYPE_Video ? MEDIASUBTYPE_RGB32
                                                                                            : MEDIASUBTYPE_PCM)
{
}

HRESULT Sink::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    return type->majortype == major_ && type->subtype == subtype_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Sink::SetMediaType(const AM_MEDIA_TYPE* type)
{
    type_ = *type;
    return S_OK;
}

int Sink::barcodeOf(IMediaSample* sample) const
{
    if (type_.subtype != MEDIASUBTYPE_RGB32)
        return -1;
    const BITMAPINFOHEADER* bmi = bitmapHeaderOf(type_);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    return clips::readBarcode(data, bmi->biWidth, std::abs(bmi->biHeight), bmi->biWidth * 4);
}

void Sink::OnReceiveFirstSample(IMediaSample* sample)
{
    cued = barcodeOf(sample);
}

HRESULT Sink::DoRenderSample(IMediaSample* sample)
{
    const int frame = barcodeOf(sample);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const LONG length = sample->GetActualDataLength();
    bytes += length;
    ++samples;
    if (av::lentPacketOf(sample))
        ++packets;
    REFERENCE_TIME start = -1, stop = 0;
    sample->GetTime(&start, &stop);
    std::lock_guard lock(mutex_);
    frames_.push_back(frame);
    starts_.push_back(start);
    prerolls_.push_back(sample->IsPreroll() == S_OK);
    if (keepData)
        kept_.emplace_back(data, data + length);
    return S_OK;
}

std::vector<int> Sink::frames() const
{
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<REFERENCE_TIME> Sink::starts() const
{
    std::lock_guard lock(mutex_);
    return starts_;
}

std::vector<bool> Sink::prerolls() const
{
    std::lock_guard lock(mutex_);
    return prerolls_;
}

std::vector<std::vector<BYTE>> Sink::kept() const
{
    std::lock_guard lock(mutex_);
    return kept_;
}

ComPtr<Sink> render(FilterGraph* graph, IPin* pin, const GUID& major, const GUID& subtype)
{
    auto sink = makeCom<Sink>(major, subtype);
    if (FAILED(graph->AddFilter(sink.get(), nullptr)) || FAILED(graph->Connect(pin, sink->input()))) {
        graph->RemoveFilter(sink.get());
        return nullptr;
    }
    return sink;
}

} // namespace harness
