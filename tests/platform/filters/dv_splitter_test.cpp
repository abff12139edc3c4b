// The DV splitter fed the frames of the DV clips as interleaved DV.

#include "tests/common/param_name.h"
#include "tests/platform/filters/harness.h"

#include "platform/filters/av_util.h"
#include "platform/filters/stream_types.h"

#include "media/parsers/dv_frame.h"
#include "platform/graph/source.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr CLSID CLSID_DVFeed = "{6A1F3C52-93D1-4E0B-8C41-2B7D5E90AF02}"_guid;

class DVFeed;

// Hands the frames on one per sample, 25 or 29.97 to the second.
class DVFeedStream final : public SourceStream
{
public:
    DVFeedStream(BaseFilter* filter, std::vector<QByteArray> frames, AM_MEDIA_TYPE type, REFERENCE_TIME frame,
                 bool packets)
        : SourceStream(filter, u"Output"), frames_(std::move(frames)), type_(std::move(type)), frame_(frame),
          packets_(packets)
    {
    }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type->majortype == type_.majortype && type->subtype == type_.subtype ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position != 0)
            return VFW_S_NO_MORE_ITEMS;
        *type = type_;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = 4;
        request->cbBuffer = 144'000;
        ALLOCATOR_PROPERTIES actual;
        return allocator->SetProperties(request, &actual);
    }
    HRESULT FillBuffer(IMediaSample* sample) override
    {
        if (next_ >= frames_.size())
            return S_FALSE;
        const QByteArray& frame = frames_[next_];
        BYTE* data = nullptr;
        MediaSample* own = MediaSample::of(sample);
        av::PacketPtr packet = packets_ && own ? av::makePacket() : nullptr;
        if (packet && av_new_packet(packet.get(), static_cast<int>(frame.size())) == 0) {
            // As a demuxer hands them on: the sample shows the packet.
            data = packet->data;
            own->lend(std::make_shared<av::LentPacket>(std::move(packet)), data, static_cast<LONG>(frame.size()));
        } else {
            sample->GetPointer(&data);
        }
        std::memcpy(data, frame.constData(), static_cast<std::size_t>(frame.size()));
        sample->SetActualDataLength(static_cast<LONG>(frame.size()));
        REFERENCE_TIME start = static_cast<REFERENCE_TIME>(next_) * frame_, stop = start + frame_;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        ++next_;
        return S_OK;
    }

private:
    std::vector<QByteArray> frames_;
    AM_MEDIA_TYPE type_;
    REFERENCE_TIME frame_;
    bool packets_;
    std::size_t next_ = 0;
};

class DVFeed final : public SourceFilter
{
public:
    DVFeed(std::vector<QByteArray> frames, AM_MEDIA_TYPE type, REFERENCE_TIME frame, bool packets)
        : SourceFilter(CLSID_DVFeed, u"DV Feed")
    {
        addStream(std::make_unique<DVFeedStream>(this, std::move(frames), std::move(type), frame, packets));
    }
};

// Interleaved DV, with the DVINFO block of the first frame when asked.
AM_MEDIA_TYPE interleaved(const QByteArray& first, bool withInfo)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Interleaved;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.formattype = FORMAT_DvInfo;
    auto* info = type.allocFormat<DVINFO>();
    if (withInfo) {
        const auto* bytes = reinterpret_cast<const BYTE*>(first.constData());
        // The source packs of the first sequence, past their headers.
        std::memcpy(&info->dwDVAAuxSrc, bytes + 4324, 4);
        std::memcpy(&info->dwDVVAuxSrc, bytes + 449, 4);
    }
    return type;
}

struct DVCase
{
    const char* clip;
    int frames;
    bool withInfo;
    LONG frameSize;
    REFERENCE_TIME frameDuration;
    int system;
    // The feed hands on packets, as a demuxer does: they pass the splitter
    // uncopied.
    bool packets;
};

void PrintTo(const DVCase& c, std::ostream* os)
{
    *os << c.clip << (c.packets ? " packets" : "");
}

class DVSplitting : public testing::TestWithParam<DVCase>
{
};

TEST_P(DVSplitting, WholeFramesGoOnAndTheirSoundComesOutAsPcm)
{
    const DVCase& c = GetParam();
    const std::vector<QByteArray> frames = clips::videoPackets(clips::path(c.clip), c.frames);
    ASSERT_EQ(static_cast<int>(frames.size()), c.frames);
    ASSERT_EQ(frames.front().size(), c.frameSize);

    RegisterSystemFilters();
    auto graph = makeCom<FilterGraph>();
    auto feed = makeCom<DVFeed>(frames, interleaved(frames.front(), c.withInfo), c.frameDuration, c.packets);
    ComPtr<IBaseFilter> splitter;
    ASSERT_EQ(CoCreateInstance(CLSID_DVSplitter, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, splitter.putVoid()),
              S_OK);
    graph->AddFilter(feed.get(), u"Feed");
    graph->AddFilter(splitter.get(), u"DV Splitter");
    ComPtr<IPin> in;
    ASSERT_EQ(splitter->FindPin(u"Input", in.put()), S_OK);
    ASSERT_EQ(graph->ConnectDirect(feed->GetPin(0), in.get(), nullptr), S_OK);

    const ComPtr<IPin> videoPin = harness::pinOfMajor(splitter.get(), MEDIATYPE_Video);
    const ComPtr<IPin> audioPin = harness::pinOfMajor(splitter.get(), MEDIATYPE_Audio);
    ASSERT_TRUE(videoPin && audioPin);
    const AM_MEDIA_TYPE video = harness::offeredType(videoPin.get());
    EXPECT_EQ(video.subtype, MEDIASUBTYPE_dvsd);
    EXPECT_EQ(video.lSampleSize, static_cast<ULONG>(c.frameSize));
    EXPECT_FALSE(video.bTemporalCompression);
    EXPECT_EQ(frameDurationOf(video), c.frameDuration);

    const ComPtr<harness::Sink> pictures =
        harness::render(graph.get(), videoPin.get(), MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    const ComPtr<harness::Sink> sound = harness::render(graph.get(), audioPin.get(), MEDIATYPE_Audio);
    ASSERT_TRUE(pictures && sound);
    pictures->keepData = true;
    static_cast<IMediaFilter*>(graph.get())->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(graph->Run()));
    LONG code = 0;
    ASSERT_EQ(graph->WaitForCompletion(20'000, &code), S_OK);
    graph->Stop();

    const auto kept = pictures->kept();
    ASSERT_EQ(static_cast<int>(kept.size()), c.frames);
    EXPECT_EQ(pictures->packets.load(), c.packets ? c.frames : 0);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        ASSERT_EQ(kept[i].size(), static_cast<std::size_t>(c.frameSize));
        EXPECT_TRUE(IsValidDVFrame(kept[i].data(), kept[i].size(), c.system)) << "frame " << i;
        EXPECT_EQ(std::memcmp(kept[i].data(), frames[i].constData(), kept[i].size()), 0) << "frame " << i;
    }
    // 48 kHz, two channels of 16 bits, for every frame's duration.
    const double seconds = static_cast<double>(sound->bytes) / (48'000 * 4);
    EXPECT_NEAR(seconds, c.frames * static_cast<double>(c.frameDuration) / 1e7, 0.002);
}

INSTANTIATE_TEST_SUITE_P(Clips, DVSplitting,
                         testing::Values(DVCase{"dv_pal.dv", 75, false, 144'000, 400'000, dvs625_50, false},
                                         DVCase{"dv_ntsc_wide.dv", 30, true, 120'000, 333'667, dvs525_60, true}),
                         NamedByClip());

TEST(DVSplitter, RefusesWhatIsNotInterleavedDV)
{
    RegisterSystemFilters();
    ComPtr<IBaseFilter> splitter;
    ASSERT_EQ(CoCreateInstance(CLSID_DVSplitter, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, splitter.putVoid()),
              S_OK);
    ComPtr<IPin> in;
    ASSERT_EQ(splitter->FindPin(u"Input", in.put()), S_OK);
    AM_MEDIA_TYPE video;
    video.majortype = MEDIATYPE_Video;
    video.subtype = MEDIASUBTYPE_dvsd;
    EXPECT_NE(in->QueryAccept(&video), S_OK);
    AM_MEDIA_TYPE other = interleaved(QByteArray(), false);
    other.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    EXPECT_NE(in->QueryAccept(&other), S_OK);
}

TEST(Decoder, AStreamThatStopsDecodingEndsAndIsReported)
{
    RegisterSystemFilters();
    // Frames of the right size that are not DV at all.
    std::vector<QByteArray> frames(100, QByteArray(144'000, '\x5A'));
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.formattype = FORMAT_VideoInfo;
    auto* vih = type.allocFormat<VIDEOINFOHEADER>();
    vih->AvgTimePerFrame = 400'000;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = 720;
    vih->bmiHeader.biHeight = 576;
    vih->bmiHeader.biCompression = makeFourCC('d', 'v', 's', 'd');

    auto graph = makeCom<FilterGraph>();
    auto feed = makeCom<DVFeed>(frames, type, 400'000, false);
    graph->AddFilter(feed.get(), u"Feed");
    const ComPtr<harness::Sink> sink = harness::render(graph.get(), feed->GetPin(0), MEDIATYPE_Video);
    ASSERT_TRUE(sink);
    static_cast<IMediaFilter*>(graph.get())->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(graph->Run()));
    LONG code = 0;
    ASSERT_EQ(graph->WaitForCompletion(20'000, &code), S_OK);
    graph->Stop();
    EXPECT_EQ(sink->samples, 0);
    std::vector<LONG> events;
    LONG_PTR p1 = 0, p2 = 0;
    while (graph->GetEvent(&code, &p1, &p2, 0) == S_OK)
        events.push_back(code);
    EXPECT_NE(std::find(events.begin(), events.end(), EC_STREAM_ERROR_STOPPED), events.end());
}

} // namespace
