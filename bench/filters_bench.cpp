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
#include "platform/core/class_registry.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/renderer.h"
#include "tests/media/clip_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QFile>

#include <sys/resource.h>
#include <time.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(label)
#define RUNNING_ON_VALGRIND 0
#endif

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

double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The voluntary context switches of every thread of the process so far.
long voluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// One side of a comparison: its wall and process CPU time per round.
class Side
{
public:
    Side(const char* benchmark, std::string name) : benchmark_(benchmark), name_(std::move(name)) {}

    // Times `work`. Under callgrind its instructions, in every thread, are
    // dumped apart from everything else, labelled with the side and clip.
    template <typename Work> void measure(const char* clip, Work&& work)
    {
        const std::string dump = benchmark_ + " " + name_ + " " + clip;
        const long switches = voluntarySwitches();
        CALLGRIND_ZERO_STATS;
        const double cpu = processSeconds();
        const auto wall = std::chrono::steady_clock::now();
        work();
        wall_.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
        cpu_.push_back(processSeconds() - cpu);
        CALLGRIND_DUMP_STATS_AT(dump.c_str());
        switches_ += voluntarySwitches() - switches;
    }

    double last() const { return wall_.empty() ? 0 : wall_.back(); }

    // Medians in milliseconds, against the other side's.
    void report(benchmark::State& state, const Side& other) const
    {
        const double wall = median(wall_), cpu = median(cpu_);
        const double otherWall = median(other.wall_), otherCpu = median(other.cpu_);
        state.counters[name_ + "_ms"] = wall * 1e3;
        state.counters[other.name_ + "_ms"] = otherWall * 1e3;
        state.counters[name_ + "_cpu_ms"] = cpu * 1e3;
        state.counters[other.name_ + "_cpu_ms"] = otherCpu * 1e3;
        // Every thread of the process, per round: how often they wait for
        // one another.
        const auto perRound = [&](const Side& side) {
            return side.wall_.empty() ? 0.0
                                      : static_cast<double>(side.switches_) / static_cast<double>(side.wall_.size());
        };
        state.counters[name_ + "_switches"] = perRound(*this);
        state.counters[other.name_ + "_switches"] = perRound(other);
        state.counters["ratio"] = otherWall > 0 ? wall / otherWall : 0;
        state.counters["cpu_ratio"] = otherCpu > 0 ? cpu / otherCpu : 0;
    }

private:
    std::string benchmark_;
    std::string name_;
    std::vector<double> wall_;
    std::vector<double> cpu_;
    long switches_ = 0;
};

// Runs both sides of a round, each first in turn.
template <typename First, typename Second>
void alternate(std::size_t round, const char* clip, Side& a, First&& first, Side& b, Second&& second)
{
    if (round % 2 == 0) {
        a.measure(clip, first);
        b.measure(clip, second);
    } else {
        b.measure(clip, second);
        a.measure(clip, first);
    }
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

int64_t bestTs(const AVPacket* p)
{
    return p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
}

// FFmpeg alone, counting the pictures it decodes.
struct Plain : bench::PlainVideo
{
    using PlainVideo::PlainVideo;
    int64_t decoded = 0;

    // Decodes from the keyframe at `from` (stream time base; packets before
    // it are read and dropped) on until a picture at or after `until`, which
    // is converted; earlier pictures are converted when `showAll`, as a
    // graph playing shows them, and else only decoded, as a graph seeking
    // drops them. False at the end.
    bool decodeUntil(int64_t from, int64_t until, bool showAll)
    {
        bool started = false;
        for (;;) {
            while (avcodec_receive_frame(codec, frame) == 0) {
                ++decoded;
                const int64_t t = frame->best_effort_timestamp;
                if (showAll || t >= until)
                    toRgb();
                if (t >= until)
                    return true;
            }
            if (av_read_frame(format.get(), packet) < 0) {
                avcodec_send_packet(codec, nullptr);
                while (avcodec_receive_frame(codec, frame) == 0) {
                    ++decoded;
                    toRgb();
                }
                return false;
            }
            if (packet->stream_index == stream) {
                started = started || ((packet->flags & AV_PKT_FLAG_KEY) && bestTs(packet) >= from);
                if (started)
                    avcodec_send_packet(codec, packet);
            }
            av_packet_unref(packet);
        }
    }
};

// The least FFmpeg does for an exact seek: told exactly where the keyframe
// before the target is, it goes there (by its byte in program and transport
// streams, else by its time) and decodes from it to the target.
class SeekFloor
{
public:
    explicit SeekFloor(const char* clip) : plain_(clip)
    {
        const AVStream* s = plain_.format->streams[plain_.stream];
        first_ = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
        while (av_read_frame(plain_.format.get(), plain_.packet) >= 0) {
            if (plain_.packet->stream_index == plain_.stream && (plain_.packet->flags & AV_PKT_FLAG_KEY))
                keyframes_.push_back({bestTs(plain_.packet), plain_.packet->pos});
            av_packet_unref(plain_.packet);
        }
        plain_.openCodec();
    }

    void seek(REFERENCE_TIME position)
    {
        const AVStream* s = plain_.format->streams[plain_.stream];
        const int64_t target = first_ + av_rescale_q(position, {1, 10'000'000}, s->time_base);
        const auto after = std::upper_bound(keyframes_.begin(), keyframes_.end(), target,
                                            [](int64_t t, const Keyframe& k) { return t < k.ts; });
        const Keyframe& key = after == keyframes_.begin() ? keyframes_.front() : *std::prev(after);
        if (!(plain_.format->iformat->flags & AVFMT_TS_DISCONT) ||
            av_seek_frame(plain_.format.get(), -1, key.pos, AVSEEK_FLAG_BYTE) < 0)
            av_seek_frame(plain_.format.get(), plain_.stream, key.ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(plain_.codec);
        plain_.decodeUntil(key.ts, target, false);
    }

    // Pictures decoded so far.
    int64_t decoded() const { return plain_.decoded; }

private:
    struct Keyframe
    {
        int64_t ts;
        int64_t pos;
    };

    Plain plain_;
    int64_t first_ = 0;
    std::vector<Keyframe> keyframes_;
};

void BM_Seek(benchmark::State& state)
{
    const Container& c = containerOf(state);
    Graph g = open(c);
    const auto sink = renderVideo(g);
    g.graph->Pause();
    OAFilterState s;
    g.graph->GetState(LONG{10'000}, &s);
    SeekFloor floor(c.clip);
    Side graph("Seek", "graph"), plain("Seek", "floor");
    std::size_t n = 0;
    for (auto _ : state) {
        const REFERENCE_TIME target = kTargets[n % kTargets.size()] * kFrame;
        alternate(
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
    // From the keyframe before each target to the target.
    state.counters["floor_pictures"] =
        benchmark::Counter(static_cast<double>(floor.decoded()), benchmark::Counter::kAvgIterations);
    state.SetLabel(c.clip);
}

void BM_Decode(benchmark::State& state)
{
    const Container& c = containerOf(state);
    Side graph("Decode", "graph"), plain("Decode", "plain");
    int64_t graphFrames = 0, plainFrames = 0;
    std::size_t n = 0;
    for (auto _ : state) {
        // The containers are open on both sides before the timing; from
        // there each pays for its decoder, every picture and its teardown.
        std::optional<Graph> g = open(c);
        ComPtr<NullSink> sink = renderVideo(*g);
        auto p = std::make_unique<Plain>(c.clip);
        alternate(
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
    const auto perRound = [&](int64_t frames) {
        return benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kAvgIterations);
    };
    state.counters["graph_frames"] = perRound(graphFrames);
    state.counters["plain_frames"] = perRound(plainFrames);
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
