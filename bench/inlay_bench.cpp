// What the inlay costs playback, on a 720 x 576 picture: one update of the
// inlay (new text: the lines drawn, outlined, and handed to the renderer)
// against one frame shown with the inlay unchanged (the video widget
// repainted: the picture composed with the overlay the renderer already
// holds). The two alternate in one
// loop, so that both meet the same machine state.

#include "tests/platform/renderers/push_source.h"

#include "media/engine/windowless_man.h"
#include "platform/graph/filter_graph.h"
#include "platform/renderers/renderers.h"
#include "platform/win/messages.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <ctime>

using namespace testing_renderers;

namespace {

// The thread's own processor time: on a shared machine, time spent waiting
// for a processor would fall on either side at random.
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

static void BM_InlayUpdateAgainstUnchangedFrame(benchmark::State& state)
{
    RegisterRenderers();
    QWidget host;
    host.resize(720 + 16, 576 + 16);
    host.show();
    std::unique_ptr<TWindowLessMan> man(TKvActionComponent::Create<TWindowLessMan>(nullptr));
    man->SetWindow(&host);
    man->SetVideoAspect(720, 576);

    // One picture, cued in the renderer.
    QImage picture(720, 576, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const auto graph = makeCom<FilterGraph>();
    const auto source = pictureSource({picture}, 400'000);
    graph->AddFilter(source.get(), u"Source");
    graph->AddFilter(man->Renderer(), u"Renderer");
    ComPtr<IPin> input;
    man->Renderer()->FindPin(u"Input", input.put());
    graph->ConnectDirect(source->output(), input.get(), nullptr);
    graph->SetSyncSource(nullptr);
    graph->Pause();
    OAFilterState filterState = 0;
    graph->GetState(5000, &filterState);

    // Two lines, the look of a time code under a title.
    TFont font;
    font.Name = QStringLiteral("Arial");
    font.Color = clYellow;
    font.Style = {fsBold};
    man->SetInsertFont(font);
    man->SetInsertAutoSize(true);
    man->SetInsertPosition(TPoint{500, 7800});
    TInsertLine second = man->InsertLine(1);
    second.Text = QStringLiteral("Holidays 2024 - Camera 1");
    second.Visible = true;
    man->SetInsertLine(1, second);
    man->SetInsertTextOn(true);

    // A shown frame repaints the video's own widget; the host around it is
    // left alone.
    QWidget* video = nullptr;
    for (QWidget* child : host.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->objectName() != QStringLiteral("VideoBands"))
            video = child;
    }
    if (!video) {
        state.SkipWithError("no video surface");
        return;
    }
    QImage window(video->size(), QImage::Format_RGB32);
    double updates = 0, frames = 0;
    int n = 0;
    for (auto _ : state) {
        TInsertLine first = man->InsertLine(0);
        first.Text = QStringLiteral("10:20:30:%1").arg(n++ % 25, 2, 10, QLatin1Char('0'));
        double start = threadSeconds();
        man->SetInsertLine(0, first);
        const double update = threadSeconds() - start;

        start = threadSeconds();
        {
            QPainter painter(&window);
            video->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        }
        const double frame = threadSeconds() - start;
        benchmark::DoNotOptimize(window.constBits());

        updates += update;
        frames += frame;
        state.SetIterationTime(update + frame);
    }
    graph->Stop();
    state.counters["update_ms"] = updates * 1000 / state.iterations();
    state.counters["frame_ms"] = frames * 1000 / state.iterations();
    state.counters["frame_per_update"] = frames / updates;
}
BENCHMARK(BM_InlayUpdateAgainstUnchangedFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

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
