// Samples per second through source, in-place transform, copy transform and
// renderer, free-running: the cost the graph adds to every frame.

#include "tests/platform/graph/fakes.h"

#include "platform/graph/filter_graph.h"

#include <benchmark/benchmark.h>

using namespace fakes;

static void BM_FreeRunningChain(benchmark::State& state)
{
    const LONGLONG frames = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        const auto graph = makeCom<FilterGraph>();
        const auto source = makeCom<CountingSource>(frames);
        const auto recorder = makeCom<Recorder>();
        const auto copier = makeCom<Copier>();
        const auto sink = makeCom<Sink>();
        graph->AddFilter(source.get(), u"Source");
        graph->AddFilter(recorder.get(), u"Recorder");
        graph->AddFilter(copier.get(), u"Copier");
        graph->AddFilter(sink.get(), u"Sink");
        graph->ConnectDirect(source->video, recorder->input(), nullptr);
        graph->ConnectDirect(recorder->output(), copier->input(), nullptr);
        graph->ConnectDirect(copier->output(), sink->input(), nullptr);
        graph->SetSyncSource(nullptr);
        state.ResumeTiming();

        graph->Run();
        LONG code = 0;
        graph->WaitForCompletion(-1, &code);
        graph->Stop();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_FreeRunningChain)->Arg(1000)->Arg(10000)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
