// The notifiers where the program puts them: behind the video pin of a DV
// file opened by the system source, and before and after its decoder.

#include "notifier_chain.h"
#include "platform/core/class_registry.h"
#include "platform/filters/system_filters.h"
#include "tests/media/clip_reader.h"

using namespace testing_filters;

namespace {

ComPtr<IBaseFilter> create(const CLSID& classId)
{
    static const bool registered = (RegisterSystemFilters(), true);
    (void)registered;
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, filter.putVoid());
    return filter;
}

ComPtr<IPin> videoPin(IBaseFilter* filter)
{
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.put());
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        ComPtr<IEnumMediaTypes> types;
        AM_MEDIA_TYPE* offered = nullptr;
        if (direction == PINDIR_OUTPUT && SUCCEEDED(pin->EnumMediaTypes(types.put())) &&
            types->Next(1, &offered, nullptr) == S_OK) {
            const bool video = offered->majortype == MEDIATYPE_Video;
            DeleteMediaType(offered);
            if (video)
                return pin;
        }
    }
    return nullptr;
}

void playFile(NotifierChain& chain, const char* clip)
{
    const ComPtr<IBaseFilter> source = create(CLSID_PreferredSource);
    ASSERT_TRUE(source);
    chain.graph->AddFilter(source.get(), u"Source");
    const std::u16string name = clips::path(QString::fromLatin1(clip)).toStdU16String();
    ASSERT_EQ(source.as<IFileSourceFilter>()->Load(name.c_str(), nullptr), S_OK);
    const ComPtr<IPin> pin = videoPin(source.get());
    ASSERT_TRUE(pin);
    const ComPtr<IBaseFilter> decoder = create(CLSID_KestrovaVideoDecoder);
    ASSERT_TRUE(decoder);
    chain.connect(pin.get(), decoder.get());
    chain.play();
}

} // namespace

TEST(NotifierFile, TimeCodesAndPositionsOfEveryFrame)
{
    NotifierChain chain;
    playFile(chain, "dv_pal.dv");
    const auto frames = clips::videoPackets(clips::path(QStringLiteral("dv_pal.dv")), 1000);
    chain.expectEveryFrameOfThePalClip(int(frames.size()));
    EXPECT_EQ(chain.video->GetVideoData().description, "DV Type 2 Pal (4x3)");
}

TEST(NotifierFile, DateGapGivesASceneEndAndStart)
{
    NotifierChain chain;
    playFile(chain, "dv_joined.dv");
    chain.expectTheScenesOfTheJoinedClip();
}

// A DV device's stream: interleaved DV through the DV notifier and the DV
// splitter, whose video pin the chain follows.
TEST(NotifierFile, DVThroughTheSplitter)
{
    NotifierChain chain;
    chain.video->SetDVDevice(true);
    auto source = makeCom<DVClipSource>("dv_pal.avi", 50, dvDataType());
    auto dvNotifier = makeCom<TDVCodeNotifier>();
    const ComPtr<IBaseFilter> splitter = create(CLSID_DVSplitter);
    ASSERT_TRUE(splitter);
    chain.graph->AddFilter(source.get(), u"Source");
    chain.graph->AddFilter(dvNotifier.get(), u"DV Notifier");
    chain.graph->AddFilter(splitter.get(), u"DV Splitter");
    ASSERT_EQ(chain.graph->ConnectDirect(source->GetPin(0), dvNotifier->input(), nullptr), S_OK);
    ASSERT_EQ(chain.graph->ConnectDirect(dvNotifier->output(), firstPin(splitter.get(), PINDIR_INPUT).get(), nullptr),
              S_OK);
    const ComPtr<IPin> pin = videoPin(splitter.get());
    ASSERT_TRUE(pin);
    chain.connect(pin.get());
    chain.play();
    chain.expectEveryFrameOfThePalClip(50);
    EXPECT_EQ(chain.video->GetVideoData().description, "DV type 1 Pal (4x3)");
}
