// What a picture costs the video renderer: taking a full-HD frame in (copy
// out of the sample), and composing it with an overlay onto a window.

#include "tests/platform/renderers/push_source.h"

#include "platform/graph/filter_graph.h"
#include "platform/renderers/video_renderer.h"
#include "platform/renderers/video_scene.h"

#include <QPainter>

#include <benchmark/benchmark.h>

using namespace testing_renderers;

static void BM_PicturesIntoTheRenderer(benchmark::State& state)
{
    const int frames = static_cast<int>(state.range(0));
    QImage picture(1920, 1080, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const std::vector<QImage> pictures(frames, picture);
    for (auto _ : state) {
        state.PauseTiming();
        const auto graph = makeCom<FilterGraph>();
        const auto source = pictureSource(pictures, 400'000);
        const ComPtr<IBaseFilter> renderer = createVideoRenderer();
        graph->AddFilter(source.get(), u"Source");
        graph->AddFilter(renderer.get(), u"Renderer");
        ComPtr<IPin> input;
        renderer->FindPin(u"Input", input.put());
        graph->ConnectDirect(source->output(), input.get(), nullptr);
        graph->SetSyncSource(nullptr);
        state.ResumeTiming();

        graph->Run();
        LONG code = 0;
        graph->WaitForCompletion(-1, &code);
        graph->Stop();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_PicturesIntoTheRenderer)->Arg(50)->UseRealTime()->Unit(benchmark::kMillisecond);

static void BM_ComposeWithOverlay(benchmark::State& state)
{
    SceneLayout layout;
    layout.picture = QImage(1920, 1080, QImage::Format_RGB32);
    layout.picture.fill(Qt::darkCyan);
    layout.source = layout.picture.rect();
    layout.aspect = QSizeF(16, 9);
    layout.letterBox = true;
    layout.output = VMR9NormalizedRect{1, 0, 0, 1};
    layout.overlay = QImage(1920, 1080, QImage::Format_ARGB32);
    layout.overlay.fill(Qt::transparent);
    layout.overlaySource = layout.overlay.rect();
    layout.overlayAlpha = 0.5f;
    QImage window(1280, 800, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&window);
        paintScene(painter, window.rect(), layout);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComposeWithOverlay)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
