#include "media/filters/resampler.h"

#include "media/filters/copy_filter.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/source.h"
#include "sink.h"
#include "tests/platform/graph/fakes.h"

#include <gtest/gtest.h>

#include <random>

using namespace testing_filters;

namespace {

using Samples = std::vector<std::int16_t>;

std::vector<BYTE> bytesOf(const Samples& samples)
{
    std::vector<BYTE> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

Samples samplesOf(const std::vector<BYTE>& bytes)
{
    Samples samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

Samples noise(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
    Samples samples(count);
    for (auto& s : samples)
        s = static_cast<std::int16_t>(value(random));
    return samples;
}

// Converts `in` in pieces of the given sizes (the rest in one piece).
std::vector<BYTE> convert(LinearResampler& resampler, const std::vector<BYTE>& in,
                          const std::vector<std::size_t>& pieces)
{
    std::vector<BYTE> out;
    std::size_t at = 0;
    auto feed = [&](std::size_t size) {
        std::vector<BYTE> buffer(resampler.maxOutput(size));
        const std::size_t written = resampler.process({in.data() + at, size}, buffer);
        out.insert(out.end(), buffer.begin(), buffer.begin() + std::ptrdiff_t(written));
        at += size;
    };
    for (const std::size_t size : pieces)
        feed(std::min(size, in.size() - at));
    feed(in.size() - at);
    return out;
}

Samples resample(std::int32_t inRate, std::int32_t inChannels, std::int32_t outRate, std::int32_t outChannels,
                 const Samples& in)
{
    LinearResampler resampler;
    EXPECT_TRUE(resampler.configure(inRate, inChannels, outRate, outChannels));
    return samplesOf(convert(resampler, bytesOf(in), {}));
}

} // namespace

// The output does not depend on where the input buffers break, even inside
// a sample.
TEST(LinearResampler, SameOutputInOneBufferOrInPieces)
{
    struct Setup
    {
        std::int32_t inRate, inChannels, outRate, outChannels;
    };
    for (const Setup s :
         {Setup{48000, 2, 44100, 2}, Setup{22050, 1, 44100, 2}, Setup{44100, 2, 32000, 1}, Setup{8000, 1, 44100, 1}}) {
        SCOPED_TRACE(testing::Message() << s.inRate << "x" << s.inChannels << " to " << s.outRate << "x"
                                        << s.outChannels);
        const std::vector<BYTE> in = bytesOf(noise(4000 * std::size_t(s.inChannels), 7));
        LinearResampler whole;
        whole.configure(s.inRate, s.inChannels, s.outRate, s.outChannels);
        const std::vector<BYTE> expected = convert(whole, in, {});

        std::mt19937 random(11);
        std::uniform_int_distribution<std::size_t> size(0, 37);
        std::vector<std::size_t> pieces(600);
        for (auto& p : pieces)
            p = size(random);
        LinearResampler pieced;
        pieced.configure(s.inRate, s.inChannels, s.outRate, s.outChannels);
        EXPECT_EQ(convert(pieced, in, pieces), expected);
    }
}

TEST(LinearResampler, RatesAndChannels)
{
    // Same rate and channels: frame for frame.
    const Samples stereo = noise(2000, 3);
    EXPECT_EQ(resample(44100, 2, 44100, 2, stereo), stereo);

    // 48 kHz to 44.1 kHz: about 44,100 / 48,000 as many frames.
    const std::size_t frames = 48000;
    const Samples down = resample(48000, 2, 44100, 2, noise(frames * 2, 5));
    EXPECT_NEAR(double(down.size() / 2), 44100.0, 2.0);

    // Mono to stereo at twice the rate: each value on both channels, twice
    // as many frames, interpolated halfway between.
    const Samples up = resample(22050, 1, 44100, 2, {0, 100, 200, -200});
    EXPECT_EQ(up, (Samples{0, 0, 50, 50, 100, 100, 150, 150, 200, 200, 0, 0, -200, -200}));

    // Stereo to mono: the mean, truncated toward zero.
    EXPECT_EQ(resample(44100, 2, 44100, 1, {1000, -1001, 7, 8, -7, -8}), (Samples{0, 7, -7}));

    // Stereo up: both channels interpolate between the right frames.
    EXPECT_EQ(resample(22050, 2, 44100, 2, {0, 10, 100, 110, 200, 210}),
              (Samples{0, 10, 50, 60, 100, 110, 150, 160, 200, 210}));

    // More than two channels are refused.
    LinearResampler resampler;
    EXPECT_FALSE(resampler.configure(48000, 6, 44100, 2));
    EXPECT_FALSE(resampler.configure(48000, 2, 0, 2));
}

namespace {

ComPtr<TResampler> connectedResampler(const AM_MEDIA_TYPE& in, bool enabled, std::int32_t rate, std::int32_t channels)
{
    auto filter = makeCom<TResampler>();
    filter->SetEnabled(enabled);
    filter->SetOutputRate(rate);
    filter->SetOutputChannels(channels);
    filter->SetMediaType(PINDIR_INPUT, &in);
    AM_MEDIA_TYPE out = in;
    if (enabled) {
        auto* wave = out.formatAs<WAVEFORMATEX>();
        wave->nSamplesPerSec = static_cast<DWORD>(rate);
        wave->nChannels = static_cast<WORD>(channels);
    }
    filter->SetMediaType(PINDIR_OUTPUT, &out);
    filter->StartStreaming();
    return filter;
}

std::vector<BYTE> transform(TResampler* filter, const std::vector<BYTE>& in, LONG outSize)
{
    auto input = makeSample(QByteArray(reinterpret_cast<const char*>(in.data()), qsizetype(in.size())));
    auto output = makeCom<MediaSample>(outSize);
    EXPECT_EQ(filter->Transform(input.get(), output.get()), S_OK);
    BYTE* data = nullptr;
    output->GetPointer(&data);
    return {data, data + output->GetActualDataLength()};
}

} // namespace

TEST(Resampler, AcceptsSixteenBitPcm)
{
    auto filter = makeCom<TResampler>();
    const AM_MEDIA_TYPE pcm = waveType(WAVE_FORMAT_PCM, 2, 48000, 16);
    EXPECT_EQ(filter->CheckInputType(&pcm), S_OK);
    const AM_MEDIA_TYPE eight = waveType(WAVE_FORMAT_PCM, 2, 48000, 8);
    EXPECT_EQ(filter->CheckInputType(&eight), VFW_E_TYPE_NOT_ACCEPTED);
    const AM_MEDIA_TYPE mp3 = waveType(85, 2, 48000, 16);
    EXPECT_EQ(filter->CheckInputType(&mp3), VFW_E_TYPE_NOT_ACCEPTED);
    const AM_MEDIA_TYPE six = waveType(WAVE_FORMAT_PCM, 6, 48000, 16);
    EXPECT_EQ(filter->CheckInputType(&six), S_OK);
    filter->SetEnabled(true);
    EXPECT_EQ(filter->CheckInputType(&six), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_TRUE(filter.as<IPersist>());
}

TEST(Resampler, DisabledCopiesEnabledConverts)
{
    const AM_MEDIA_TYPE pcm = waveType(WAVE_FORMAT_PCM, 2, 48000, 16);
    const std::vector<BYTE> in = bytesOf(noise(4801 * 2, 9));
    auto copier = connectedResampler(pcm, false, 44100, 2);
    EXPECT_EQ(transform(copier.get(), in, LONG(in.size())), in);

    // Converted buffer by buffer, as one stream.
    auto filter = connectedResampler(pcm, true, 44100, 1);
    std::vector<BYTE> out;
    for (std::size_t at = 0; at < in.size(); at += 1000) {
        const std::vector<BYTE> piece(in.begin() + std::ptrdiff_t(at),
                                      in.begin() + std::ptrdiff_t(std::min(at + 1000, in.size())));
        const auto converted = transform(filter.get(), piece, 2000);
        out.insert(out.end(), converted.begin(), converted.end());
    }
    LinearResampler reference;
    reference.configure(48000, 2, 44100, 1);
    EXPECT_EQ(out, convert(reference, in, {}));
}

TEST(AVDummy, CopiesVideoAndAudio)
{
    auto dummy = makeCom<TAVDummy>();
    const AM_MEDIA_TYPE pcm = waveType(WAVE_FORMAT_PCM, 2, 48000, 16);
    EXPECT_EQ(dummy->CheckInputType(&pcm), S_OK);
    AM_MEDIA_TYPE text;
    text.majortype = MEDIATYPE_Text;
    EXPECT_EQ(dummy->CheckInputType(&text), E_FAIL);
    AM_MEDIA_TYPE other = pcm;
    other.formattype = FORMAT_None;
    EXPECT_EQ(dummy->CheckTransform(&pcm, &other), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(dummy->CheckTransform(&pcm, &pcm), S_OK);

    auto in = makeSample(QByteArray("pass me on"));
    auto out = makeCom<MediaSample>(64);
    EXPECT_EQ(dummy->Transform(in.get(), out.get()), S_OK);
    BYTE* data = nullptr;
    out->GetPointer(&data);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data), out->GetActualDataLength()), "pass me on");
}

namespace {

// A source of one PCM stream whose buffers have a given size; it delivers
// nothing.
class PcmSource final : public SourceFilter
{
public:
    PcmSource(const AM_MEDIA_TYPE& type, LONG bufferSize)
        : SourceFilter("{4C1E0002-0000-4000-8000-000000000001}"_guid, u"PCM Source")
    {
        addStream(std::make_unique<Stream>(this, type, bufferSize));
    }

private:
    class Stream final : public OneTypeStream
    {
    public:
        Stream(PcmSource* filter, const AM_MEDIA_TYPE& type, LONG bufferSize)
            : OneTypeStream(filter, type, 1, bufferSize)
        {
        }
        HRESULT FillBuffer(IMediaSample*) override { return S_FALSE; }
    };
    ~PcmSource() override = default;
};

} // namespace

// The output buffers hold one converted input buffer and 256 bytes more,
// computed without overflow for large buffers.
TEST(Resampler, SizesItsBuffersForOneInputBuffer)
{
    for (const LONG upstream : {LONG(19'200), LONG(50'000'000)}) {
        SCOPED_TRACE(upstream);
        auto graph = makeCom<FilterGraph>();
        auto source = makeCom<PcmSource>(waveType(WAVE_FORMAT_PCM, 2, 48000, 16), upstream);
        auto resampler = makeCom<TResampler>();
        resampler->SetEnabled(true);
        resampler->SetOutputRate(96000);
        resampler->SetOutputChannels(2);
        auto sink = makeCom<fakes::Sink>(MEDIASUBTYPE_PCM, MEDIATYPE_Audio);
        graph->AddFilter(source.get(), u"Source");
        graph->AddFilter(resampler.get(), u"Resampler");
        graph->AddFilter(sink.get(), u"Sink");
        ASSERT_EQ(graph->ConnectDirect(source->GetPin(0), resampler->input(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(resampler->output(), sink->GetPin(0), nullptr), S_OK);

        const auto* wave = resampler->output()->mediaType().formatAs<WAVEFORMATEX>();
        ASSERT_TRUE(wave);
        EXPECT_EQ(wave->nSamplesPerSec, 96000u);
        EXPECT_EQ(wave->nAvgBytesPerSec, 96000u * 4);
        EXPECT_EQ(resampler->output()->mediaType().lSampleSize, 4u); // bytes of a stereo frame
        ALLOCATOR_PROPERTIES properties;
        ASSERT_EQ(resampler->output()->allocator()->GetProperties(&properties), S_OK);
        EXPECT_EQ(properties.cbBuffer, upstream * 2 + 256);
        EXPECT_GE(properties.cBuffers, 2);
    }
}
