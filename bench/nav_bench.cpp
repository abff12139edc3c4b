// The navigation manager against FFmpeg's floor, per container, the two
// sides taking turns in every round (bench/rounds.h):
//  - StepForward: on a paused graph, one frame forward until the picture is
//    shown, from a frame inside a group of pictures (neither it nor the next
//    one a keyframe) or at a keyframe (one of the two is); the floor is the
//    exact seek to the next frame: from the keyframe before it, packets
//    before that keyframe dropped, decoded up to it and converted to RGB32
//    (what stepping saves);
//  - StepNext: the same step against the like-for-like floor: FFmpeg
//    standing on the frame (sought there before the round, untimed) decodes
//    and converts the next picture;
//  - StepBack: one frame back, against the exact seek to that frame;
//  - PreciseSeek: from the start to a far frame until it is shown, with the
//    default pre-roll of one second and without one (its argument in
//    milliseconds), against the exact seek to that frame;
//  - Open: a file opened until its first picture is shown (media factory,
//    file device, decoder, renderer, paused graph), against FFmpeg opening
//    and probing the file, opening the decoder and decoding and converting
//    the first picture.
// Next to the times, each side's pictures decoded per round (what the codec
// gave back: pictures left undecoded before a target are not counted),
// packets handed to the decoder per round (the graph's counted by its
// decoder) and bytes read from files per round. Every picture
// the manager and the floor show is checked by its barcode; a wrong one
// fails the benchmark. Under
// callgrind (bench/count-instructions.sh bench_nav) each side's work is
// dumped on its own.

#include "bench/plain_video.h"
#include "bench/rounds.h"
#include "platform/filters/decoders.h"
#include "platform/graph/pin_walk.h"
#include "platform/win/messages.h"
#include "tests/media/engine/engine_fixture.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::array kClips{"dv_pal.avi", "mpeg1.mpg", "mpeg2.mpg", "mpeg2.ts",
                            "h264.mp4",   "h264.mkv",  "h264.m2ts", "wmv.wmv"};
constexpr REFERENCE_TIME kFrame = 400'000;
constexpr int kLastStart = 70;
// Frames started from in turn, at most.
constexpr std::size_t kStarts = 5;
// Far frames, each the last before a keyframe or well inside a group.
constexpr std::array kFarFrames{70, 62, 49};
// Frames stepped back to: each side of the keyframe distances.
constexpr std::array kBackFrames{11, 24, 37, 49, 62};
enum StepKind : int { insideGroup = 0, atKeyframe = 1 };

const char* clipOf(const benchmark::State& state)
{
    return kClips[static_cast<std::size_t>(state.range(0))];
}

// Which side goes first in round `round` of frames taken in turn from a
// cycle of `cycle`: the other one each round, and each frame in both orders
// over two cycles.
std::size_t turn(std::size_t round, std::size_t cycle)
{
    return round + (cycle % 2 == 0 ? round / cycle : 0);
}

// A navigation manager paused on a clip, and its video decoder, which
// counts what it takes in and gives back: no filter is added to the graph
// to count, as the floor counts in its own loop.
struct Navigation
{
    explicit Navigation(const char* clip) : n(clip)
    {
        ok = n.source && n.nav->FrameDuration() == kFrame && n.shown() == 0;
        if (ok)
            decoder = filterOf(peerOf(n.source->Notifier()->output()).get()).as<IDecoderCounts>();
        ok = ok && decoder;
    }

    testing_engine::NavEngine n;
    ComPtr<IDecoderCounts> decoder;
    bool ok = false;
};

// The clip's start frames of a kind, spread over it; empty when it has none
// (every DV picture is a keyframe).
std::vector<int> startFrames(const bench::SeekFloor& floor, StepKind kind)
{
    std::vector<int> all;
    for (int from = 1; from <= kLastStart; ++from) {
        const bool key = floor.isKeyframe(from * kFrame) || floor.isKeyframe((from + 1) * kFrame);
        if (key == (kind == atKeyframe))
            all.push_back(from);
    }
    std::vector<int> spread;
    for (std::size_t i = 0; i < std::min(kStarts, all.size()); ++i)
        spread.push_back(all[i * all.size() / std::min(kStarts, all.size())]);
    return spread;
}

// Each side's time, pictures and the check of what the manager showed.
class Comparison
{
public:
    // `name` without spaces: it labels callgrind's dumps.
    Comparison(const std::string& name, Navigation& nav, bench::SeekFloor& floor)
        : nav_(nav), floor_(floor), navSide_(name, "nav"), floorSide_(name, "floor")
    {
    }

    // One round: `move` on the manager, which is to show `frame`, and the
    // floor's exact seek to the same frame, in turn.
    template <typename Move> void round(benchmark::State& state, std::size_t n, int frame, Move&& move)
    {
        round(state, n, frame, std::forward<Move>(move), [&] { floor_.seek(frame * kFrame); });
    }

    // One round: `move` on the manager and `floorMove` on the floor, which
    // are both to show `frame`, in turn.
    template <typename Move, typename FloorMove>
    void round(benchmark::State& state, std::size_t n, int frame, Move&& move, FloorMove&& floorMove)
    {
        const LONGLONG sent = nav_.decoder->SamplesReceived();
        const LONGLONG decoded = nav_.decoder->FramesDecoded();
        const int64_t floorSent = floor_.sent();
        const int64_t floorDecoded = floor_.decoded();
        bench::alternate(
            n, clipOf(state), navSide_,
            [&] {
                move();
                nav_.n.settle();
            },
            floorSide_, floorMove);
        navPackets_ += static_cast<double>(nav_.decoder->SamplesReceived() - sent);
        navPictures_ += static_cast<double>(nav_.decoder->FramesDecoded() - decoded);
        floorPackets_ += static_cast<double>(floor_.sent() - floorSent);
        floorPictures_ += static_cast<double>(floor_.decoded() - floorDecoded);
        wrong_ += nav_.n.shown() != frame;
        floorWrong_ += floor_.shown() != frame;
        state.SetIterationTime(navSide_.last() + floorSide_.last());
    }

    void report(benchmark::State& state) const
    {
        navSide_.report(state, floorSide_);
        state.counters["nav_pictures"] = bench::perRound(navPictures_);
        state.counters["floor_pictures"] = bench::perRound(floorPictures_);
        state.counters["nav_packets"] = bench::perRound(navPackets_);
        state.counters["floor_packets"] = bench::perRound(floorPackets_);
        state.SetLabel(clipOf(state));
        state.counters["floor_missed_keyframes"] = bench::perRound(static_cast<double>(floor_.missed()));
        if (wrong_)
            state.SkipWithError("the manager showed a wrong picture");
        else if (floorWrong_)
            state.SkipWithError("the floor showed a wrong picture");
    }

private:
    Navigation& nav_;
    bench::SeekFloor& floor_;
    bench::Side navSide_;
    bench::Side floorSide_;
    double navPictures_ = 0;
    double floorPictures_ = 0;
    double navPackets_ = 0;
    double floorPackets_ = 0;
    int wrong_ = 0;
    int floorWrong_ = 0;
};

// Both sides on the benchmark's clip; null when it did not open.
std::unique_ptr<Navigation> open(benchmark::State& state)
{
    auto nav = std::make_unique<Navigation>(clipOf(state));
    if (nav->ok)
        return nav;
    state.SkipWithError("the clip did not open");
    return nullptr;
}

// One frame forward from the clip's start frames of the benchmark's kind.
// The floor seeks exactly to the next frame or, `standing`, is sought to
// the frame before the round and decodes the next one in it.
void stepForward(benchmark::State& state, const std::string& name, bool standing)
{
    const auto nav = open(state);
    if (!nav)
        return;
    bench::SeekFloor floor(clipOf(state));
    const std::vector<int> starts = startFrames(floor, static_cast<StepKind>(state.range(1)));
    if (starts.empty()) {
        state.SkipWithError("no such frames in this clip");
        return;
    }
    Comparison c(name + (state.range(1) == insideGroup ? "-inside" : "-keyframe"), *nav, floor);
    std::size_t i = 0;
    for (auto _ : state) {
        const int from = starts[i % starts.size()];
        nav->n.nav->SeekTo(true, from * kFrame);
        nav->n.settle();
        const auto step = [&] { nav->n.nav->naAvanceFrame->Execute(); };
        if (standing) {
            floor.seek(from * kFrame);
            c.round(state, turn(i++, starts.size()), from + 1, step, [&] { floor.next(); });
        } else {
            c.round(state, turn(i++, starts.size()), from + 1, step);
        }
    }
    c.report(state);
}

void BM_StepForward(benchmark::State& state)
{
    stepForward(state, "StepForward", false);
}

// The same steps against FFmpeg standing on the frame and decoding the next.
void BM_StepNext(benchmark::State& state)
{
    stepForward(state, "StepNext", true);
}

void BM_StepBack(benchmark::State& state)
{
    const auto nav = open(state);
    if (!nav)
        return;
    bench::SeekFloor floor(clipOf(state));
    Comparison c("StepBack", *nav, floor);
    std::size_t i = 0;
    for (auto _ : state) {
        const int to = kBackFrames[i % kBackFrames.size()];
        nav->n.nav->SeekTo(true, (to + 1) * kFrame);
        nav->n.settle();
        c.round(state, turn(i++, kBackFrames.size()), to, [&] { nav->n.nav->naReculeFrame->Execute(); });
    }
    c.report(state);
}

void BM_PreciseSeek(benchmark::State& state)
{
    const auto nav = open(state);
    if (!nav)
        return;
    nav->n.nav->iaSeekPrepos->SetValue(static_cast<int>(state.range(1)));
    bench::SeekFloor floor(clipOf(state));
    Comparison c("PreciseSeek-" + std::to_string(state.range(1)), *nav, floor);
    std::size_t i = 0;
    for (auto _ : state) {
        const int target = kFarFrames[i % kFarFrames.size()];
        nav->n.nav->ReculeDebut();
        nav->n.settle();
        c.round(state, turn(i++, kFarFrames.size()), target, [&] { nav->n.nav->PreciseSeekTo(target * kFrame); });
    }
    c.report(state);
}

void BM_Open(benchmark::State& state)
{
    const char* clip = clipOf(state);
    bench::Side navSide("Open", "nav"), plainSide("Open", "plain");
    int wrong = 0;
    const auto round = [&](std::size_t n, bool measured) {
        // Each side's objects are made before, and go after, its timing.
        std::optional<testing_engine::NavEngine> nav(std::in_place);
        std::optional<bench::PlainVideo> plain;
        const auto openNav = [&] { nav->open(clip); };
        const auto openPlain = [&] {
            plain.emplace(clip);
            plain->openCodec();
            plain->decodeUntil(INT64_MIN, INT64_MIN, false);
        };
        if (measured) {
            bench::alternate(n, clip, navSide, openNav, plainSide, openPlain);
        } else {
            openNav();
            openPlain();
        }
        wrong += nav->shown() != 0;
    };
    // Whatever is made once per process (tables, fonts) is made before.
    round(0, false);
    std::size_t n = 0;
    for (auto _ : state) {
        round(n++, true);
        state.SetIterationTime(navSide.last() + plainSide.last());
    }
    navSide.report(state, plainSide);
    state.SetLabel(clip);
    if (wrong)
        state.SkipWithError("the first picture shown is not frame 0");
}

// Every clip, with each second argument; under callgrind a fixed number of
// rounds: every frame of the benchmark in both orders. Otherwise rounds
// enough for their medians to hold while a shared machine's load comes and
// goes.
void perClip(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> seconds, int counted, int rounds)
{
    for (std::size_t i = 0; i < kClips.size(); ++i) {
        if (seconds.size() == 0)
            b->Arg(static_cast<int64_t>(i));
        for (int64_t second : seconds)
            b->Args({static_cast<int64_t>(i), second});
    }
    b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(RUNNING_ON_VALGRIND ? counted : rounds);
}

void stepsForward(benchmark::internal::Benchmark* b)
{
    perClip(b, {insideGroup, atKeyframe}, 2 * kStarts, 150);
}
void stepsBack(benchmark::internal::Benchmark* b)
{
    perClip(b, {}, 2 * kBackFrames.size(), 150);
}
void preciseSeeks(benchmark::internal::Benchmark* b)
{
    perClip(b, {1000, 0}, 2 * kFarFrames.size(), 90);
}
void opens(benchmark::internal::Benchmark* b)
{
    perClip(b, {}, 2, 20);
}

} // namespace

BENCHMARK(BM_StepForward)->Apply(stepsForward);
BENCHMARK(BM_StepNext)->Apply(stepsForward);
BENCHMARK(BM_StepBack)->Apply(stepsBack);
BENCHMARK(BM_PreciseSeek)->Apply(preciseSeeks);
BENCHMARK(BM_Open)->Apply(opens);

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
