#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/sample.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

TEST(MediaType, PartialMatchAndFormatBlocks)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.formattype = FORMAT_VideoInfo;
    EXPECT_EQ(type.formatAs<VIDEOINFOHEADER>(), nullptr);
    type.allocFormat<VIDEOINFOHEADER>()->AvgTimePerFrame = 400'000;
    ASSERT_NE(type.formatAs<VIDEOINFOHEADER>(), nullptr);
    EXPECT_EQ(type.cbFormat(), 88u);
    // A block shorter than the structure is not read as one.
    EXPECT_EQ(type.formatAs<VIDEOINFOHEADER2>(), nullptr);

    AM_MEDIA_TYPE pattern;
    EXPECT_TRUE(type.matchesPartial(pattern));
    pattern.majortype = MEDIATYPE_Video;
    EXPECT_TRUE(type.matchesPartial(pattern));
    pattern.subtype = MEDIASUBTYPE_RGB32;
    EXPECT_FALSE(type.matchesPartial(pattern));
    pattern.subtype = GUID_NULL;
    pattern.formattype = FORMAT_VideoInfo;
    EXPECT_TRUE(type.matchesPartial(pattern));
    pattern.allocFormat<VIDEOINFOHEADER>()->AvgTimePerFrame = 333'667;
    EXPECT_FALSE(type.matchesPartial(pattern));

    AM_MEDIA_TYPE copy = type;
    EXPECT_EQ(copy, type);
    copy.formatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 720;
    EXPECT_NE(copy, type);
    EXPECT_EQ(MEDIASUBTYPE_dvsd.fourCC(), makeFourCC('d', 'v', 's', 'd'));
}

TEST(MediaSample, TimesFlagsAndLengths)
{
    auto sample = makeCom<MediaSample>(16);
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME t0 = 100, t1 = 200;
    sample->SetTime(&t0, &t1);
    EXPECT_EQ(sample->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 200);
    sample->SetTime(&t0, nullptr);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 100);
    EXPECT_EQ(stop, 101);
    sample->SetTime(nullptr, nullptr);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);

    LONGLONG m0 = 0, m1 = 0;
    EXPECT_EQ(sample->GetMediaTime(&m0, &m1), VFW_E_MEDIA_TIME_NOT_SET);
    EXPECT_EQ(sample->SetActualDataLength(17), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(16), S_OK);

    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(type, nullptr);
    AM_MEDIA_TYPE video;
    video.majortype = MEDIATYPE_Video;
    sample->SetMediaType(&video);
    ASSERT_EQ(sample->GetMediaType(&type), S_OK);
    EXPECT_EQ(*type, video);
    DeleteMediaType(type);
}

TEST(MemAllocator, PoolWaitsForFreeBuffersAndDecommitReleasesWaiters)
{
    auto allocator = makeCom<MemAllocator>();
    ComPtr<IMediaSample> none;
    EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
    ALLOCATOR_PROPERTIES request{2, 100, 16, 0}, actual;
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 2);
    EXPECT_EQ(allocator->GetBuffer(none.put(), nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(allocator->Commit(), S_OK);
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);

    ComPtr<IMediaSample> a, b;
    ASSERT_EQ(allocator->GetBuffer(a.put(), nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(allocator->GetBuffer(b.put(), nullptr, nullptr, 0), S_OK);
    BYTE* data = nullptr;
    a->GetPointer(&data);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 16, 0u);
    EXPECT_EQ(a->GetSize(), 100);
    EXPECT_EQ(allocator->GetBuffer(none.put(), nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

    // A buffer comes back when its last reference goes, without its
    // properties, and gives back what it was lent: it shows its own bytes
    // again, and the lender's bytes are freed.
    struct Lent final : LentBuffer
    {
        std::vector<BYTE> bytes = std::vector<BYTE>(300, 7);
    };
    auto lent = std::make_shared<Lent>();
    const std::weak_ptr<Lent> watch = lent;
    MediaSample::of(a.get())->lend(lent, lent->bytes.data(), 300);
    lent.reset();
    BYTE* shown = nullptr;
    a->GetPointer(&shown);
    EXPECT_EQ(a->GetSize(), 300);
    EXPECT_EQ(a->SetActualDataLength(300), S_OK);
    EXPECT_EQ(shown[299], 7);
    a->SetSyncPoint(TRUE);
    a.reset();
    EXPECT_TRUE(watch.expired());
    ASSERT_EQ(allocator->GetBuffer(a.put(), nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(a->IsSyncPoint(), S_FALSE);
    a->GetPointer(&shown);
    EXPECT_EQ(a->GetSize(), 100);

    std::atomic<HRESULT> waited{S_OK};
    std::thread waiter([&] {
        ComPtr<IMediaSample> c;
        waited = allocator->GetBuffer(c.put(), nullptr, nullptr, 0);
    });
    allocator->Decommit();
    waiter.join();
    EXPECT_EQ(waited, VFW_E_NOT_COMMITTED);
    // Out samples keep the allocator alive.
    IMemAllocator* raw = allocator.get();
    allocator.reset();
    a.reset();
    b.reset();
    (void)raw;
}

namespace {

struct Times
{
    HRESULT time;
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT mediaTime;
    LONGLONG mediaStart = 0, mediaStop = 0;
    bool sync, preroll, discontinuity;
};

Times timesOf(IMediaSample* s)
{
    Times t{};
    t.time = s->GetTime(&t.start, &t.stop);
    t.mediaTime = s->GetMediaTime(&t.mediaStart, &t.mediaStop);
    t.sync = s->IsSyncPoint() == S_OK;
    t.preroll = s->IsPreroll() == S_OK;
    t.discontinuity = s->IsDiscontinuity() == S_OK;
    return t;
}

TEST(CopySampleProperties, CopiesWhatTheSourceHasAndClearsTheRest)
{
    const auto source = makeCom<MediaSample>(16);
    const auto dest = makeCom<MediaSample>(16);
    REFERENCE_TIME start = 400'000, stop = 800'000;
    LONGLONG mediaStart = 1, mediaStop = 2;
    source->SetTime(&start, &stop);
    source->SetMediaTime(&mediaStart, &mediaStop);
    source->SetSyncPoint(TRUE);
    source->SetDiscontinuity(TRUE);
    CopySampleProperties(source.get(), dest.get());
    Times t = timesOf(dest.get());
    EXPECT_EQ(t.time, S_OK);
    EXPECT_EQ(t.start, 400'000);
    EXPECT_EQ(t.stop, 800'000);
    EXPECT_EQ(t.mediaTime, S_OK);
    EXPECT_EQ(t.mediaStart, 1);
    EXPECT_EQ(t.mediaStop, 2);
    EXPECT_TRUE(t.sync);
    EXPECT_FALSE(t.preroll);
    EXPECT_TRUE(t.discontinuity);

    // A start without a stop stays so; no media time and no flags clear them.
    const auto startOnly = makeCom<MediaSample>(16);
    startOnly->SetTime(&start, nullptr);
    startOnly->SetPreroll(TRUE);
    CopySampleProperties(startOnly.get(), dest.get());
    t = timesOf(dest.get());
    EXPECT_EQ(t.time, VFW_S_NO_STOP_TIME);
    EXPECT_EQ(t.start, 400'000);
    EXPECT_NE(t.mediaTime, S_OK);
    EXPECT_FALSE(t.sync);
    EXPECT_TRUE(t.preroll);
    EXPECT_FALSE(t.discontinuity);

    CopySampleProperties(makeCom<MediaSample>(16).get(), dest.get());
    EXPECT_TRUE(FAILED(timesOf(dest.get()).time));
}

} // namespace
