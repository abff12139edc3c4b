// The notifiers in a running graph, fed the frames of the DV clips by a
// source of their own.

#include "notifier_chain.h"
#include "tests/media/clip_reader.h"

using namespace testing_filters;

namespace {

// Delivers the frames of a DV clip as DV in a video format, frame n at
// n × 400,000.
class DVClipSource final : public SourceFilter
{
public:
    DVClipSource(const char* clip, int count) : SourceFilter("{4C1E0002-0000-4000-8000-000000000002}"_guid, u"DV Clip")
    {
        auto frames = clips::videoPackets(clips::path(QString::fromLatin1(clip)), count);
        EXPECT_EQ(frames.size(), std::size_t(count)) << clip;
        addStream(std::make_unique<Stream>(this, std::move(frames)));
    }

private:
    class Stream final : public OneTypeStream
    {
    public:
        Stream(DVClipSource* filter, std::vector<QByteArray> frames)
            : OneTypeStream(filter, dvVideoType(), 4, 144'000), frames_(std::move(frames))
        {
        }
        HRESULT OnThreadStartPlay() override
        {
            next_ = 0;
            return S_OK;
        }
        HRESULT FillBuffer(IMediaSample* sample) override
        {
            if (next_ >= frames_.size())
                return S_FALSE;
            const QByteArray& frame = frames_[next_];
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            std::memcpy(data, frame.constData(), std::size_t(frame.size()));
            sample->SetActualDataLength(LONG(frame.size()));
            REFERENCE_TIME start = REFERENCE_TIME(next_) * kPalFrame, stop = start + kPalFrame;
            sample->SetTime(&start, &stop);
            sample->SetSyncPoint(TRUE);
            ++next_;
            return S_OK;
        }

    private:
        std::vector<QByteArray> frames_;
        std::size_t next_ = 0;
    };
    ~DVClipSource() override = default;
};

void playClip(NotifierChain& chain, const char* clip)
{
    auto source = makeCom<DVClipSource>(clip, 50);
    chain.graph->AddFilter(source.get(), u"Source");
    chain.connect(source->GetPin(0));
    chain.play();
}

} // namespace

TEST(NotifierGraph, TimeCodesAndPositionsOfEveryFrame)
{
    NotifierChain chain;
    playClip(chain, "dv_pal.avi");
    chain.expectEveryFrameOfThePalClip(50);
}

TEST(NotifierGraph, DateGapGivesASceneEndAndStart)
{
    NotifierChain chain;
    playClip(chain, "dv_joined.avi");
    chain.expectTheScenesOfTheJoinedClip();
}
