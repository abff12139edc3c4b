#include "platform/core/class_registry.h"
#include "platform/core/task_memory.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/filter_graph.h"
#include "platform/renderers/renderers.h"
#include "tests/media/clip_reader.h"

#include <gtest/gtest.h>

namespace {

template <ComInterface I> ComPtr<I> findInGraph(FilterGraph* graph)
{
    ComPtr<IEnumFilters> filters;
    graph->EnumFilters(filters.put());
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        if (auto found = filter.as<I>())
            return found;
    }
    return nullptr;
}

int shownFrame(IVMRWindowlessControl9* control)
{
    BYTE* dib = nullptr;
    if (control->GetCurrentImage(&dib) != S_OK)
        return -2;
    CoTaskMemPtr<BYTE> owned(dib);
    return clips::readBarcodeFromDib(dib);
}

} // namespace

TEST(Renderers, AFileRenderedThroughTheSystemFiltersIsShownCuedSeekedAndPlayedToTheEnd)
{
    RegisterSystemFilters();
    RegisterRenderers();
    const auto graph = makeCom<FilterGraph>();
    ComPtr<IBaseFilter> source;
    ASSERT_EQ(
        CoCreateInstance(CLSID_PreferredSource, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, source.putVoid()),
        S_OK);
    ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
    ASSERT_EQ(source.as<IFileSourceFilter>()->Load(clips::path("h264.mp4").toStdU16String().c_str(), nullptr), S_OK);
    // Each stream finds its decoder and renderer through the registrations.
    ComPtr<IEnumPins> pins;
    source->EnumPins(pins.put());
    for (ComPtr<IPin> pin; pins->Next(1, pin.put(), nullptr) == S_OK;)
        ASSERT_EQ(graph->Render(pin.get()), S_OK);
    const auto video = findInGraph<IVMRWindowlessControl9>(graph.get());
    ASSERT_TRUE(video);
    ASSERT_TRUE(findInGraph<IBasicAudio>(graph.get()));

    ASSERT_TRUE(SUCCEEDED(graph->Pause()));
    OAFilterState state = 0;
    ASSERT_EQ(graph->GetState(5000, &state), S_OK);
    EXPECT_EQ(shownFrame(video.get()), 0);
    // The sound keeps the graph's time.
    ComPtr<IReferenceClock> clock;
    graph->GetSyncSource(clock.put());
    EXPECT_TRUE(clock.as<IBasicAudio>());

    LONGLONG duration = 0;
    ASSERT_EQ(graph->GetDuration(&duration), S_OK);
    const LONGLONG frame = 400'000;
    LONGLONG target = duration - 10 * frame;
    ASSERT_TRUE(SUCCEEDED(graph->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, 0)));
    ASSERT_EQ(graph->GetState(5000, &state), S_OK);
    const int last = static_cast<int>(duration / frame) - 1;
    EXPECT_EQ(shownFrame(video.get()), last - 9);

    ASSERT_TRUE(SUCCEEDED(graph->Run()));
    LONG code = 0;
    ASSERT_EQ(graph->WaitForCompletion(10'000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(shownFrame(video.get()), last);
    int drawn = 0;
    video.as<IQualProp>()->get_FramesDrawn(&drawn);
    EXPECT_GE(drawn, 9);
    graph->Stop();
}
