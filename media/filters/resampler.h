#pragma once
// Converts 16-bit PCM to another sample rate and one or two channels by
// linear interpolation between neighbouring input frames.

#include "platform/graph/transform.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

// The conversion itself, over a stream of input bytes that may come in
// pieces of any size: the output does not depend on where the pieces break.
class LinearResampler
{
public:
    // Mono or stereo on both sides; rates above 0. False (and no change)
    // otherwise.
    bool configure(std::int32_t inRate, std::int32_t inChannels, std::int32_t outRate, std::int32_t outChannels);
    // Back to the start of a stream.
    void reset();

    // Converts `in`, writing whole output frames into `out` until the input
    // is used up or the output is full; returns the bytes written. Input
    // left when the output is full is dropped.
    std::size_t process(std::span<const BYTE> in, std::span<BYTE> out);

    // Output bytes that `inBytes` of input can give at most.
    std::size_t maxOutput(std::size_t inBytes) const;

private:
    using Frame = std::array<std::int16_t, 2>;

    // The input frame at `index` of the stream made of the held partial
    // frame and `in`.
    Frame frameAt(std::span<const BYTE> in, std::size_t index) const;
    void writeFrame(BYTE* out) const;

    std::int32_t inChannels_ = 2;
    std::int32_t outChannels_ = 2;
    std::int32_t stepWhole_ = 1;
    double stepFraction_ = 0;

    double phase_ = 0;
    Frame a_{};
    Frame b_{};
    bool haveA_ = false;
    bool haveB_ = false;
    // Input frames still to pass over before the next frame A.
    std::int64_t skip_ = 0;
    // The bytes of an input frame that the last piece cut.
    std::array<BYTE, 4> partial_{};
    std::size_t partialBytes_ = 0;
};

class TResampler final : public TBCTransformFilter
{
public:
    static constexpr CLSID classId = "{18BC11A5-B646-438D-A837-755D0EEDE20E}"_guid;
    static constexpr char16_t filterName[] = u"Morvek's Resampler";

    TResampler();

    // On: the output offers the output rate and channels. Off: a copy.
    void SetEnabled(bool on) { enabled_.store(on); }
    bool enabled() const { return enabled_.load(); }
    void SetOutputRate(std::int32_t hz) { outputRate_.store(hz); }
    std::int32_t outputRate() const { return outputRate_.load(); }
    // 1 or 2.
    void SetOutputChannels(std::int32_t channels) { outputChannels_.store(channels); }
    std::int32_t outputChannels() const { return outputChannels_.load(); }
    // Kept for the DV manager; nothing reads them here.
    void SetOption(bool on) { option_.store(on); }
    bool option() const { return option_.load(); }
    void SetRatePair(std::int32_t first, std::int32_t second);
    std::array<std::int32_t, 2> ratePair() const { return {rateFirst_.load(), rateSecond_.load()}; }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* typeIn) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override;
    HRESULT StartStreaming() override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    ~TResampler() override = default;

    struct WaveFormat
    {
        std::int32_t rate = 0;
        std::int32_t channels = 0;
        std::int32_t bits = 0;
    };
    static WaveFormat waveFormat(const AM_MEDIA_TYPE& type);
    // Sets the conversion up from the formats; false when it copies.
    bool configure();

    std::atomic<bool> enabled_{false};
    std::atomic<std::int32_t> outputRate_{44100};
    std::atomic<std::int32_t> outputChannels_{2};
    std::atomic<bool> option_{false};
    std::atomic<std::int32_t> rateFirst_{0};
    std::atomic<std::int32_t> rateSecond_{0};

    // Connection and streaming state.
    WaveFormat input_;
    WaveFormat output_;
    bool converting_ = false;
    LinearResampler resampler_;
};
