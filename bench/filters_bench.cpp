// The system filters against FFmpeg alone, per container:
//  - Open: the container opened and its pins made;
//  - Seek: an exact seek in a paused graph until the target picture is
//    shown, against FFmpeg seeking to the keyframe before the target and
//    decoding from that keyframe up to the target;
//  - Decode: a whole clip through splitter, decoder and a null renderer,
//    free-running, against a plain read, decode and RGB32 conversion loop.
// The two sides of Seek and Decode take turns within one benchmark, so that
// whatever else the machine does hits both alike; each side reports its
// median wall time, median CPU time of the whole process (streaming and
// FFmpeg threads included) and voluntary context switches per round, and
// "ratio" and "cpu_ratio" divide the graph's times by FFmpeg's. Both sides read only the video stream and pay for their
// first picture and their teardown. Run under callgrind
// (bench/count-instructions.sh), each side's work is dumped on its own for
// instruction counts.

#include "bench/plain_video.h"
#include "bench/rounds.h"
#include "platform/core/class_registry.h"
#include "platform/filters/decoders.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/pin_walk.h"
#include "platform/graph/renderer.h"
#include "tests/media/clip_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Container
{
    const char* clip;
    CLSID classId;
};

const std::array kContainers{
    Container{"dv_pal.avi", CLSID_AviSplitter},   Container{"mpeg1.mpg", CLSID_MPEG1Splitter},
    Container{"mpeg2.mpg", CLSID_MPEG2Splitter},  Container{"mpeg2.ts", CLSID_MPEG2Splitter},
    Container{"h264.m2ts", CLSID_MPEG2Splitter},  Container{"h264.mp4", CLSID_PreferredSource},
    Container{"h264.mkv", CLSID_PreferredSource}, Container{"wmv.wmv", CLSID_WMAsfReader},
};

// Frames sought, round in turn: each side of the keyframe distances.
constexpr std::array kTargets{11, 24, 37, 49, 62, 70};
constexpr REFERENCE_TIME kFrame = 400'000;

bool isSource(const CLSID& classId)
{
    return classId == CLSID_PreferredSource || classId == CLSID_WMAsfReader;
}

ComPtr<IBaseFilter> create(const CLSID& classId)
{
    RegisterSystemFilters();
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, filter.putVoid());
    return filter;
}

ComPtr<IPin> pinOf(IBaseFilter* filter, PIN_DIRECTION wanted, const GUID& major)
{
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.put());
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction != wanted)
            continue;
        if (major.isNull())
            return pin;
        ComPtr<IEnumMediaTypes> types;
        AM_MEDIA_TYPE* type = nullptr;
        if (SUCCEEDED(pin->EnumMediaTypes(types.put())) && types->Next(1, &type, nullptr) == S_OK) {
            const bool match = type->majortype == major;
            DeleteMediaType(type);
            if (match)
                return pin;
        }
    }
    return nullptr;
}

struct Graph
{
    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
    ComPtr<IBaseFilter> demuxer;
};

Graph open(const Container& c)
{
    Graph g;
    g.demuxer = create(c.classId);
    const std::u16string name = clips::path(QString::fromUtf8(c.clip)).toStdU16String();
    g.graph->AddFilter(g.demuxer.get(), nullptr);
    if (isSource(c.classId)) {
        g.demuxer.as<IFileSourceFilter>()->Load(name.c_str(), nullptr);
    } else {
        const ComPtr<IBaseFilter> source = create(CLSID_AsyncReader);
        g.graph->AddFilter(source.get(), nullptr);
        source.as<IFileSourceFilter>()->Load(name.c_str(), nullptr);
        g.graph->ConnectDirect(pinOf(source.get(), PINDIR_OUTPUT, GUID_NULL).get(),
                               pinOf(g.demuxer.get(), PINDIR_INPUT, GUID_NULL).get(), nullptr);
    }
    return g;
}

// Takes decoded pictures and does nothing with them.
class NullSink final : public BaseRenderer
{
public:
    NullSink() : BaseRenderer("{6A1F3C52-93D1-4E0B-8C41-2B7D5E90AF10}"_guid, u"Null") {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->subtype == MEDIASUBTYPE_RGB32 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }
};

ComPtr<NullSink> renderVideo(Graph& g)
{
    auto sink = makeCom<NullSink>();
    g.graph->AddFilter(sink.get(), nullptr);
    g.graph->Connect(pinOf(g.demuxer.get(), PINDIR_OUTPUT, MEDIATYPE_Video).get(), sink->input());
    g.graph->SetSyncSource(nullptr);
    return sink;
}

const Container& containerOf(const benchmark::State& state)
{
    return kContainers[static_cast<std::size_t>(state.range(0))];
}

void BM_Open(benchmark::State& state)
{
    const Container& c = containerOf(state);
    for (auto _ : state) {
        Graph g = open(c);
        benchmark::DoNotOptimize(g.demuxer.get());
    }
    state.SetLabel(c.clip);
}

void BM_Seek(benchmark::State& state)
{
    const Container& c = containerOf(state);
    Graph g = open(c);
    const auto sink = renderVideo(g);
    g.graph->Pause();
    OAFilterState s;
    g.graph->GetState(LONG{10'000}, &s);
    bench::SeekFloor floor(c.clip);
    const auto decoder = filterOf(peerOf(sink->input()).get()).as<IDecoderCounts>();
    const LONGLONG graphDecoded = decoder ? decoder->FramesDecoded() : 0;
    bench::Side graph("Seek", "graph"), plain("Seek", "floor");
    std::size_t n = 0;
    for (auto _ : state) {
        const REFERENCE_TIME target = kTargets[n % kTargets.size()] * kFrame;
        bench::alternate(
            n / kTargets.size(), c.clip, graph,
            [&] {
                LONGLONG at = target;
                g.graph->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
                g.graph->GetState(LONG{10'000}, &s);
            },
            plain, [&] { floor.seek(target); });
        state.SetIterationTime(graph.last() + plain.last());
        ++n;
    }
    g.graph->Stop();
    graph.report(state, plain);
    // Pictures decoded for the seeks: the floor's from the keyframe before
    // each target to the target.
    if (decoder)
        state.counters["graph_pictures"] =
            bench::perRound(static_cast<double>(decoder->FramesDecoded() - graphDecoded));
    state.counters["floor_pictures"] = bench::perRound(static_cast<double>(floor.decoded()));
    state.SetLabel(c.clip);
}

void BM_Decode(benchmark::State& state)
{
    const Container& c = containerOf(state);
    bench::Side graph("Decode", "graph"), plain("Decode", "plain");
    int64_t graphFrames = 0, plainFrames = 0;
    std::size_t n = 0;
    for (auto _ : state) {
        // The containers are open on both sides before the timing; from
        // there each pays for its decoder, every picture and its teardown.
        std::optional<Graph> g = open(c);
        ComPtr<NullSink> sink = renderVideo(*g);
        auto p = std::make_unique<bench::PlainVideo>(c.clip);
        bench::alternate(
            n++, c.clip, graph,
            [&] {
                g->graph->Pause();
                g->graph->Run();
                LONG code = 0;
                g->graph->WaitForCompletion(-1, &code);
                g->graph->Stop();
                graphFrames += sink->framesDrawn();
                sink = nullptr;
                g.reset();
            },
            plain,
            [&] {
                p->openCodec();
                p->decodeUntil(INT64_MIN, INT64_MAX, true);
                plainFrames += p->decoded;
                p.reset();
            });
        state.SetIterationTime(graph.last() + plain.last());
    }
    graph.report(state, plain);
    state.counters["graph_frames"] = bench::perRound(static_cast<double>(graphFrames));
    state.counters["plain_frames"] = bench::perRound(static_cast<double>(plainFrames));
    state.SetLabel(c.clip);
}

// Under callgrind, a fixed number of rounds: every seek target in both
// orders, or both orders of a whole clip.
template <int counted> void containers(benchmark::internal::Benchmark* b)
{
    for (std::size_t i = 0; i < kContainers.size(); ++i)
        b->Arg(static_cast<int64_t>(i));
    b->Unit(benchmark::kMillisecond);
    if (RUNNING_ON_VALGRIND)
        b->Iterations(counted);
}

} // namespace

BENCHMARK(BM_Open)->Apply(containers<1>)->UseRealTime();
BENCHMARK(BM_Seek)->Apply(containers<2 * kTargets.size()>)->UseManualTime();
BENCHMARK(BM_Decode)->Apply(containers<2>)->UseManualTime();

BENCHMARK_MAIN();
