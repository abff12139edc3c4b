// Picture sizes from a container are outside data: the video decoder sizes
// its buffers for ordinary pictures and refuses absurd ones instead of
// computing a buffer that wraps around.

#include "platform/core/class_registry.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/pin_walk.h"
#include "tests/platform/renderers/push_source.h"

#include <gtest/gtest.h>

namespace {

struct SizeCase
{
    LONG width;
    LONG height;
    // The bytes of one decoded picture, 0 for a refused size.
    LONG bytes;
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height;
}

class PictureSize : public testing::TestWithParam<SizeCase>
{
};

TEST_P(PictureSize, DecoderTakesOrdinaryPicturesAndRefusesAbsurdOnes)
{
    const SizeCase& c = GetParam();
    RegisterSystemFilters();
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = GUID::fromFourCC(makeFourCC('M', 'J', 'P', 'G'));
    type.formattype = FORMAT_VideoInfo;
    auto* vih = type.allocFormat<VIDEOINFOHEADER>();
    vih->AvgTimePerFrame = 400'000;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = c.width;
    vih->bmiHeader.biHeight = c.height;
    vih->bmiHeader.biCompression = type.subtype.fourCC();
    const auto source = makeCom<testing_renderers::PushSource>(type, std::vector<QByteArray>{QByteArray(16, 0)}, 1);
    ComPtr<IBaseFilter> decoder;
    ASSERT_EQ(CoCreateInstance(CLSID_KestrovaVideoDecoder, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid,
                               decoder.putVoid()),
              S_OK);
    const auto graph = makeCom<FilterGraph>();
    graph->AddFilter(source.get(), u"Source");
    graph->AddFilter(decoder.get(), u"Decoder");
    const HRESULT hr = graph->ConnectDirect(source->output(), firstPin(decoder.get(), PINDIR_INPUT).get(), &type);
    if (!c.bytes) {
        EXPECT_EQ(hr, VFW_E_INVALIDMEDIATYPE);
        return;
    }
    ASSERT_EQ(hr, S_OK);
    ComPtr<IEnumMediaTypes> offered;
    ASSERT_EQ(firstPin(decoder.get(), PINDIR_OUTPUT)->EnumMediaTypes(offered.put()), S_OK);
    AM_MEDIA_TYPE* out = nullptr;
    ASSERT_EQ(offered->Next(1, &out, nullptr), S_OK);
    EXPECT_EQ(out->lSampleSize, static_cast<ULONG>(c.bytes));
    DeleteMediaType(out);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PictureSize,
                         testing::Values(SizeCase{720, 576, 720 * 576 * 4}, SizeCase{720, -576, 720 * 576 * 4},
                                         SizeCase{16384, 4096, 16384 * 4096 * 4}, SizeCase{16384, 4097, 0},
                                         SizeCase{46341, 46341, 0}, SizeCase{65536, 65536, 0}, SizeCase{16385, 2, 0},
                                         SizeCase{0, 576, 0}));

} // namespace
