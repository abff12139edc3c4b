// The navigation manager against FFmpeg's floor, per container, both sides
// measured in turn within each iteration:
//  - Step: on a paused graph, one frame forward and one back, each until
//    the picture is shown; the floor decodes each target from the keyframe
//    before it (as an exact seek must) and converts it to RGB32;
//  - PreciseSeek: from the start to a far frame, until it is shown; the
//    floor decodes from the keyframe before the target to the target.
// The time reported is the navigation's; the counters give the median of
// each side in milliseconds and their ratio, and for the steps the same
// seeks asked of the graph directly. The precise seek runs with the default
// pre-roll of one second and without one (its argument in milliseconds).

#include "bench/plain_video.h"
#include "platform/win/messages.h"
#include "tests/media/clip_reader.h"
#include "tests/media/engine/engine_fixture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <vector>

namespace {

constexpr std::array kClips{"dv_pal.avi", "mpeg1.mpg", "mpeg2.mpg", "mpeg2.ts",
                            "h264.mp4",   "h264.mkv",  "h264.m2ts", "wmv.wmv"};
constexpr REFERENCE_TIME kFrame = 400'000;
// Steps start on each side of the keyframe distances of 12 and 25.
constexpr std::array kStepFrames{11, 24, 37, 49, 62};
// Far frames, each the last before a keyframe or well inside a group.
constexpr std::array kFarFrames{70, 62, 49};

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// FFmpeg alone: seeks to the keyframe before a frame and decodes up to it.
// (The platform filter benchmark measures the same floor for its seeks.)
class Floor
{
public:
    explicit Floor(const char* clip) : plain_(clip)
    {
        plain_.openCodec();
        AVFormatContext* f = plain_.format.get();
        const AVStream* s = f->streams[plain_.stream];
        first_ = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
        while (av_read_frame(f, plain_.packet) >= 0) {
            const AVPacket* p = plain_.packet;
            if (p->stream_index == plain_.stream && (p->flags & AV_PKT_FLAG_KEY))
                keyframes_.push_back({p->pts != AV_NOPTS_VALUE ? p->pts : p->dts, p->pos});
            av_packet_unref(plain_.packet);
        }
    }

    // Shows frame n: from the keyframe before it, decoded up to it.
    void show(int n)
    {
        AVFormatContext* f = plain_.format.get();
        const AVStream* s = f->streams[plain_.stream];
        const int64_t target = first_ + av_rescale_q(n * kFrame, {1, 10'000'000}, s->time_base);
        const auto after = std::upper_bound(keyframes_.begin(), keyframes_.end(), target,
                                            [](int64_t t, const Keyframe& k) { return t < k.ts; });
        const Keyframe& key = after == keyframes_.begin() ? keyframes_.front() : *std::prev(after);
        if (!(f->iformat->flags & AVFMT_TS_DISCONT) || av_seek_frame(f, -1, key.pos, AVSEEK_FLAG_BYTE) < 0)
            av_seek_frame(f, plain_.stream, key.ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(plain_.codec);
        for (;;) {
            while (avcodec_receive_frame(plain_.codec, plain_.frame) == 0)
                if (plain_.frame->best_effort_timestamp >= target) {
                    plain_.toRgb();
                    return;
                }
            if (av_read_frame(f, plain_.packet) < 0)
                return;
            if (plain_.packet->stream_index == plain_.stream)
                avcodec_send_packet(plain_.codec, plain_.packet);
            av_packet_unref(plain_.packet);
        }
    }

private:
    struct Keyframe
    {
        int64_t ts;
        int64_t pos;
    };

    bench::PlainVideo plain_;
    int64_t first_ = 0;
    std::vector<Keyframe> keyframes_;
};

void report(benchmark::State& state, const std::vector<double>& nav, const std::vector<double>& floor,
            const std::vector<double>& graph = {})
{
    const double navMs = median(nav);
    const double floorMs = median(floor);
    state.counters["nav_ms"] = navMs;
    state.counters["floor_ms"] = floorMs;
    state.counters["ratio"] = floorMs > 0 ? navMs / floorMs : 0;
    if (!graph.empty())
        state.counters["graph_ms"] = median(graph);
    state.SetLabel(kClips[static_cast<std::size_t>(state.range(0))]);
}

// Both sides on the benchmark's clip; false when it did not open.
bool open(benchmark::State& state, std::unique_ptr<testing_engine::NavEngine>& n, std::unique_ptr<Floor>& floor)
{
    const char* clip = kClips[static_cast<std::size_t>(state.range(0))];
    n = std::make_unique<testing_engine::NavEngine>(clip);
    floor = std::make_unique<Floor>(clip);
    if (n->source && n->nav->FrameDuration() == kFrame)
        return true;
    state.SkipWithError("the clip did not open");
    return false;
}

void BM_Step(benchmark::State& state)
{
    std::unique_ptr<testing_engine::NavEngine> navigation;
    std::unique_ptr<Floor> floor;
    if (!open(state, navigation, floor))
        return;
    testing_engine::NavEngine& n = *navigation;
    std::vector<double> navMs, floorMs, graphMs;
    std::size_t i = 0;
    IMediaSeeking* seeking = n.nav->MediaSeeking();
    const auto seekGraph = [&](int frame) {
        LONGLONG at = frame * kFrame;
        seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        n.settle();
    };
    for (auto _ : state) {
        const int from = kStepFrames[i++ % kStepFrames.size()];
        n.nav->SeekTo(true, from * kFrame);
        n.settle();
        auto start = Clock::now();
        n.nav->naAvanceFrame->Execute();
        n.settle();
        n.nav->naReculeFrame->Execute();
        n.settle();
        const double nav = msSince(start);
        start = Clock::now();
        floor->show(from + 1);
        floor->show(from);
        floorMs.push_back(msSince(start));
        // The same two seeks asked of the graph directly: what the manager
        // adds is the difference.
        start = Clock::now();
        seekGraph(from + 1);
        seekGraph(from);
        graphMs.push_back(msSince(start));
        navMs.push_back(nav);
        state.SetIterationTime(nav / 1e3);
    }
    report(state, navMs, floorMs, graphMs);
}

void BM_PreciseSeek(benchmark::State& state)
{
    std::unique_ptr<testing_engine::NavEngine> navigation;
    std::unique_ptr<Floor> floor;
    if (!open(state, navigation, floor))
        return;
    testing_engine::NavEngine& n = *navigation;
    n.nav->iaSeekPrepos->SetValue(static_cast<int>(state.range(1)));
    std::vector<double> navMs, floorMs;
    std::size_t i = 0;
    for (auto _ : state) {
        const int target = kFarFrames[i++ % kFarFrames.size()];
        n.nav->ReculeDebut();
        n.settle();
        auto start = Clock::now();
        n.nav->PreciseSeekTo(target * kFrame);
        n.settle();
        const double nav = msSince(start);
        start = Clock::now();
        floor->show(target);
        floorMs.push_back(msSince(start));
        navMs.push_back(nav);
        state.SetIterationTime(nav / 1e3);
    }
    report(state, navMs, floorMs);
}

void clipsArgs(benchmark::internal::Benchmark* b)
{
    for (std::size_t i = 0; i < kClips.size(); ++i)
        b->Arg(static_cast<int64_t>(i));
    b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);
}

void clipsAndPrerolls(benchmark::internal::Benchmark* b)
{
    for (int64_t preroll : {1000, 0})
        for (std::size_t i = 0; i < kClips.size(); ++i)
            b->Args({static_cast<int64_t>(i), preroll});
    b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);
}

} // namespace

BENCHMARK(BM_Step)->Apply(clipsArgs);
BENCHMARK(BM_PreciseSeek)->Apply(clipsAndPrerolls);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
