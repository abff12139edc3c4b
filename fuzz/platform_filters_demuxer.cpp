// Arbitrary bytes as a file: the splitters' container reader opens them (or
// refuses them), names their streams' media types, reads them and seeks.
// Then the same bytes go through a graph as the program builds it: the file
// source, the splitter that takes them, a decoder and a sink behind each
// pin, paused and stepped on from the start and played from there, then
// played from the start and again from the middle.

#include "platform/core/class_registry.h"
#include "platform/filters/demuxer.h"
#include "platform/filters/stream_types.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/pin_walk.h"
#include "platform/graph/renderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstring>

namespace {

class MemoryReader final : public ComObject<IAsyncReader>
{
public:
    MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(static_cast<LONGLONG>(size)) {}

    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer, LONG* read) override
    {
        *read = 0;
        if (position < 0 || length < 0)
            return E_INVALIDARG;
        const LONGLONG n = std::min<LONGLONG>(length, std::max<LONGLONG>(size_ - position, 0));
        if (n > 0)
            std::memcpy(buffer, data_ + position, static_cast<size_t>(n));
        *read = static_cast<LONG>(n);
        return n == length ? S_OK : S_FALSE;
    }
    HRESULT Length(LONGLONG* total, LONGLONG* available) override
    {
        if (total)
            *total = size_;
        if (available)
            *available = size_;
        return S_OK;
    }

private:
    const uint8_t* data_;
    const LONGLONG size_;
};

constexpr CLSID CLSID_FuzzSink = "{0D1B5F2A-7C3E-4A90-B6D8-2E4F9A1C3B57}"_guid;

// Takes decoded pictures and sound and drops them.
class Sink final : public BaseRenderer
{
public:
    explicit Sink(const GUID& subtype) : BaseRenderer(CLSID_FuzzSink, u"Sink"), subtype_(subtype) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->subtype == subtype_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }

private:
    const GUID subtype_;
};

const CLSID kSplitters[] = {CLSID_AviSplitter, CLSID_MPEG2Splitter, CLSID_MPEG1Splitter, CLSID_WAVEParser};

void readAlone(const uint8_t* data, size_t size)
{
    const auto reader = makeCom<MemoryReader>(data, size);
    streamSubtypeOf(reader.get());
    HRESULT hr = S_OK;
    const auto demuxer = Demuxer::open(reader, &hr);
    if (!demuxer)
        return;
    for (int i = 0; i < demuxer->streamCount(); ++i) {
        const AM_MEDIA_TYPE type = mediaTypeOf(demuxer->stream(i), demuxer->frameDuration(i));
        AVCodecParameters* par = avcodec_parameters_alloc();
        codecParametersOf(type, par);
        avcodec_parameters_free(&par);
    }
    DemuxedPacket packet;
    for (int n = 0; n < 256 && demuxer->read(packet); ++n) {
    }
    demuxer->seek(demuxer->duration() / 2);
    for (int n = 0; n < 64 && demuxer->read(packet); ++n) {
    }
}

ComPtr<IBaseFilter> create(const CLSID& classId)
{
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, filter.putVoid());
    return filter;
}

void playThroughGraph(const std::u16string& file)
{
    const auto graph = makeCom<FilterGraph>();
    const ComPtr<IBaseFilter> source = create(CLSID_AsyncReader);
    graph->AddFilter(source.get(), u"File Source");
    if (FAILED(source.as<IFileSourceFilter>()->Load(file.c_str(), nullptr)))
        return;
    const ComPtr<IPin> bytes = firstPin(source.get(), PINDIR_OUTPUT);
    ComPtr<IBaseFilter> splitter;
    for (const CLSID& classId : kSplitters) {
        splitter = create(classId);
        graph->AddFilter(splitter.get(), u"Splitter");
        if (SUCCEEDED(graph->ConnectDirect(bytes.get(), firstPin(splitter.get(), PINDIR_INPUT).get(), nullptr)))
            break;
        graph->RemoveFilter(splitter.get());
        splitter = nullptr;
    }
    if (!splitter) {
        // Containers no splitter takes are read by the preferred source.
        graph->RemoveFilter(source.get());
        splitter = create(CLSID_PreferredSource);
        graph->AddFilter(splitter.get(), u"Source");
        if (FAILED(splitter.as<IFileSourceFilter>()->Load(file.c_str(), nullptr)))
            return;
    }
    std::vector<ComPtr<IPin>> outputs;
    ComPtr<IEnumPins> pins;
    splitter->EnumPins(pins.put());
    for (ComPtr<IPin> pin; pins->Next(1, pin.put(), nullptr) == S_OK;) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction == PINDIR_OUTPUT)
            outputs.push_back(pin);
    }
    int sinks = 0;
    for (const ComPtr<IPin>& pin : outputs) {
        for (const GUID& subtype : {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_PCM}) {
            const auto sink = makeCom<Sink>(subtype);
            graph->AddFilter(sink.get(), nullptr);
            if (SUCCEEDED(graph->Connect(pin.get(), sink->input()))) {
                ++sinks;
                break;
            }
            graph->RemoveFilter(sink.get());
        }
    }
    // Without a renderer nothing ever completes.
    if (!sinks)
        return;
    // Paused at the start, stepped on a few pictures and played from there.
    OAFilterState state;
    if (SUCCEEDED(graph->Pause())) {
        graph->GetState(500, &state);
        for (int n = 0; n < 3 && graph->Step(1, nullptr) == S_OK; ++n)
            graph->GetState(500, &state);
        graph->SetSyncSource(nullptr);
        LONG code = 0;
        if (SUCCEEDED(graph->Run()))
            graph->WaitForCompletion(5'000, &code);
        graph->Stop();
    }
    graph->SetSyncSource(nullptr);
    LONGLONG duration = 0;
    graph->GetDuration(&duration);
    for (LONGLONG position : {LONGLONG{0}, duration / 2}) {
        graph->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        if (FAILED(graph->Run()))
            break;
        LONG code = 0;
        graph->WaitForCompletion(5'000, &code);
        graph->Stop();
    }
}

QString scratch;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    RegisterSystemFilters();
    av_log_set_level(AV_LOG_QUIET);
    scratch = QDir::temp().filePath(QStringLiteral("fuzz_demuxer-%1").arg(QCoreApplication::applicationPid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readAlone(data, size);
    QFile file(scratch);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    playThroughGraph(scratch.toStdU16String());
    QFile::remove(scratch);
    return 0;
}
