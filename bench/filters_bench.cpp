// The system filters against FFmpeg alone, per container:
//  - Open: the container opened and its pins made;
//  - Seek/Graph: an exact seek in a paused graph until the target picture
//    is shown, against Seek/Floor: FFmpeg seeking to the keyframe before the
//    target and decoding up to it;
//  - Decode/Graph: a whole clip through splitter, decoder and a null
//    renderer, free-running, against Decode/Plain: a read, decode and RGB32
//    conversion loop.
// Besides the wall time, each reports process_cpu_ms: the CPU time of the
// whole process per iteration (the graph's streaming threads and FFmpeg's
// own threads included), which a loaded machine stretches far less.

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

#include <time.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <iterator>
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

void label(benchmark::State& state)
{
    state.SetLabel(kContainers[static_cast<std::size_t>(state.range(0))].clip);
}

double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void reportProcessCpu(benchmark::State& state, double seconds)
{
    state.counters["process_cpu_ms"] = benchmark::Counter(seconds * 1e3, benchmark::Counter::kAvgIterations);
}

void BM_Open(benchmark::State& state)
{
    const Container& c = kContainers[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state) {
        Graph g = open(c);
        benchmark::DoNotOptimize(g.demuxer.get());
    }
    label(state);
}

void BM_SeekGraph(benchmark::State& state)
{
    Graph g = open(kContainers[static_cast<std::size_t>(state.range(0))]);
    const auto sink = renderVideo(g);
    g.graph->Pause();
    OAFilterState s;
    g.graph->GetState(LONG{10'000}, &s);
    std::size_t n = 0;
    const double cpu = processSeconds();
    for (auto _ : state) {
        LONGLONG target = kTargets[n++ % kTargets.size()] * kFrame;
        g.graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        g.graph->GetState(LONG{10'000}, &s);
    }
    reportProcessCpu(state, processSeconds() - cpu);
    g.graph->Stop();
    label(state);
}

struct FormatClose
{
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

// FFmpeg alone: the file, its video stream and a decoder for it.
struct Plain
{
    std::unique_ptr<AVFormatContext, FormatClose> format;
    AVCodecContext* codec = nullptr;
    int stream = -1;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scale = nullptr;
    std::vector<uint8_t> picture;

    explicit Plain(const char* clip)
    {
        AVFormatContext* f = nullptr;
        avformat_open_input(&f, QFile::encodeName(clips::path(QString::fromUtf8(clip))).constData(), nullptr, nullptr);
        format.reset(f);
        avformat_find_stream_info(f, nullptr);
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, f->streams[stream]->codecpar);
        // Threads as the graph's decoder has them.
        codec->thread_count = 0;
        codec->thread_type = FF_THREAD_SLICE;
        avcodec_open2(codec, decoder, nullptr);
        picture.resize(static_cast<std::size_t>(codec->width) * codec->height * 4);
    }
    ~Plain()
    {
        sws_freeContext(scale);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    void toRgb()
    {
        scale =
            sws_getCachedContext(scale, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                 frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {picture.data()};
        int strides[4] = {frame->width * 4};
        sws_scale(scale, frame->data, frame->linesize, 0, frame->height, planes, strides);
    }

    // Decodes on until a picture at or after `until` (stream time base),
    // which is converted; earlier pictures are converted when `showAll`, as
    // a graph playing shows them, and else only decoded, as a graph seeking
    // drops them. False at the end.
    bool decodeUntil(int64_t until, bool showAll)
    {
        for (;;) {
            while (avcodec_receive_frame(codec, frame) == 0) {
                const int64_t t = frame->best_effort_timestamp;
                if (showAll || t >= until)
                    toRgb();
                if (t >= until)
                    return true;
            }
            if (av_read_frame(format.get(), packet) < 0) {
                avcodec_send_packet(codec, nullptr);
                while (avcodec_receive_frame(codec, frame) == 0)
                    toRgb();
                return false;
            }
            if (packet->stream_index == stream)
                avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
        }
    }
};

// Where each keyframe of the video stream starts: its time and byte.
struct Keyframe
{
    int64_t ts;
    int64_t pos;
};

std::vector<Keyframe> keyframesOf(Plain& p)
{
    std::vector<Keyframe> found;
    while (av_read_frame(p.format.get(), p.packet) >= 0) {
        if (p.packet->stream_index == p.stream && (p.packet->flags & AV_PKT_FLAG_KEY))
            found.push_back({p.packet->pts != AV_NOPTS_VALUE ? p.packet->pts : p.packet->dts, p.packet->pos});
        av_packet_unref(p.packet);
    }
    return found;
}

void BM_SeekFloor(benchmark::State& state)
{
    Plain p(kContainers[static_cast<std::size_t>(state.range(0))].clip);
    const AVStream* s = p.format->streams[p.stream];
    const int64_t first = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
    const std::vector<Keyframe> keyframes = keyframesOf(p);
    std::size_t n = 0;
    const double cpu = processSeconds();
    for (auto _ : state) {
        const int64_t target =
            first + av_rescale_q(kTargets[n++ % kTargets.size()] * kFrame, {1, 10'000'000}, s->time_base);
        // FFmpeg told exactly where the keyframe before the target is: by its
        // byte in program and transport streams, else by its time.
        const auto after = std::upper_bound(keyframes.begin(), keyframes.end(), target,
                                            [](int64_t t, const Keyframe& k) { return t < k.ts; });
        const Keyframe& key = after == keyframes.begin() ? keyframes.front() : *std::prev(after);
        if (!(p.format->iformat->flags & AVFMT_TS_DISCONT) ||
            av_seek_frame(p.format.get(), -1, key.pos, AVSEEK_FLAG_BYTE) < 0)
            av_seek_frame(p.format.get(), p.stream, key.ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(p.codec);
        p.decodeUntil(target, false);
    }
    reportProcessCpu(state, processSeconds() - cpu);
    label(state);
}

void BM_DecodeGraph(benchmark::State& state)
{
    const Container& c = kContainers[static_cast<std::size_t>(state.range(0))];
    int64_t frames = 0;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Graph g = open(c);
        const auto sink = renderVideo(g);
        // Decoders open and streams start, as the plain loop's are made
        // before its timing starts.
        g.graph->Pause();
        OAFilterState s;
        g.graph->GetState(LONG{10'000}, &s);
        state.ResumeTiming();
        const double before = processSeconds();
        g.graph->Run();
        LONG code = 0;
        g.graph->WaitForCompletion(-1, &code);
        g.graph->Stop();
        cpu += processSeconds() - before;
        frames += sink->framesDrawn();
    }
    reportProcessCpu(state, cpu);
    state.SetItemsProcessed(frames);
    label(state);
}

void BM_DecodePlain(benchmark::State& state)
{
    const char* clip = kContainers[static_cast<std::size_t>(state.range(0))].clip;
    int64_t frames = 0;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Plain p(clip);
        state.ResumeTiming();
        const double before = processSeconds();
        p.decodeUntil(INT64_MAX, true);
        cpu += processSeconds() - before;
        frames += p.codec->frame_number;
    }
    reportProcessCpu(state, cpu);
    state.SetItemsProcessed(frames);
    label(state);
}

void containers(benchmark::internal::Benchmark* b)
{
    for (std::size_t i = 0; i < kContainers.size(); ++i)
        b->Arg(static_cast<int64_t>(i));
    b->UseRealTime()->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_Open)->Apply(containers);
BENCHMARK(BM_SeekGraph)->Apply(containers);
BENCHMARK(BM_SeekFloor)->Apply(containers);
BENCHMARK(BM_DecodeGraph)->Apply(containers);
BENCHMARK(BM_DecodePlain)->Apply(containers);

BENCHMARK_MAIN();
