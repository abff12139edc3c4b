#include "media/filters/resampler.h"

#include "media/filters/copy_filter.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int32_t kBits = 16;
constexpr std::size_t kSampleBytes = 2;
constexpr LONG kBufferMargin = 256;

bool monoOrStereo(std::int32_t channels)
{
    return channels == 1 || channels == 2;
}

} // namespace

// --- the conversion ------------------------------------------------------------

bool LinearResampler::configure(std::int32_t inRate, std::int32_t inChannels, std::int32_t outRate,
                                std::int32_t outChannels)
{
    if (inRate <= 0 || outRate <= 0 || !monoOrStereo(inChannels) || !monoOrStereo(outChannels))
        return false;
    inChannels_ = inChannels;
    outChannels_ = outChannels;
    stepWhole_ = inRate / outRate;
    stepFraction_ = double(inRate % outRate) / outRate;
    reset();
    return true;
}

void LinearResampler::reset()
{
    phase_ = 0;
    a_ = b_ = {};
    haveA_ = haveB_ = false;
    skip_ = 0;
    partialBytes_ = 0;
}

std::size_t LinearResampler::maxOutput(std::size_t inBytes) const
{
    const std::size_t frames = (partialBytes_ + inBytes) / (kSampleBytes * std::size_t(inChannels_));
    const double step = stepWhole_ + stepFraction_;
    // The frame held from the last piece counts as one more.
    const auto outFrames = static_cast<std::size_t>(std::ceil(double(frames + 1) / step)) + 1;
    return outFrames * kSampleBytes * std::size_t(outChannels_);
}

LinearResampler::Frame LinearResampler::frameAt(std::span<const BYTE> in, std::size_t index) const
{
    const std::size_t offset = index * kSampleBytes * std::size_t(inChannels_);
    const auto byte = [&](std::size_t i) { return i < partialBytes_ ? partial_[i] : in[i - partialBytes_]; };
    Frame frame{};
    for (std::size_t c = 0; c < std::size_t(inChannels_); ++c) {
        const std::size_t at = offset + c * kSampleBytes;
        frame[c] = static_cast<std::int16_t>(byte(at) | (byte(at + 1) << 8));
    }
    return frame;
}

void LinearResampler::writeFrame(BYTE* out) const
{
    const auto mix = [this](std::size_t c) -> int {
        return phase_ <= 0 ? a_[c] : static_cast<int>(std::lrint((1 - phase_) * a_[c] + phase_ * b_[c]));
    };
    std::array<int, 2> values{};
    if (inChannels_ == 2 && outChannels_ == 1)
        values[0] = (mix(0) + mix(1)) / 2;
    else if (inChannels_ == 2)
        values = {mix(0), mix(1)};
    else
        values = {mix(0), mix(0)};
    for (std::size_t c = 0; c < std::size_t(outChannels_); ++c) {
        const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(values[c]));
        out[c * kSampleBytes] = static_cast<BYTE>(sample & 0xFF);
        out[c * kSampleBytes + 1] = static_cast<BYTE>(sample >> 8);
    }
}

std::size_t LinearResampler::process(std::span<const BYTE> in, std::span<BYTE> out)
{
    const std::size_t frameBytes = kSampleBytes * std::size_t(inChannels_);
    const std::size_t outFrameBytes = kSampleBytes * std::size_t(outChannels_);
    const std::size_t totalBytes = partialBytes_ + in.size();
    const std::size_t frames = totalBytes / frameBytes;
    std::size_t pos = 0; // frames of the stream consumed
    std::size_t written = 0;
    for (;;) {
        if (skip_ > 0) {
            const auto passed = std::min<std::size_t>(static_cast<std::size_t>(skip_), frames - pos);
            pos += passed;
            skip_ -= static_cast<std::int64_t>(passed);
            if (skip_ > 0)
                break;
        }
        if (!haveA_) {
            if (pos >= frames)
                break;
            a_ = frameAt(in, pos++);
            haveA_ = true;
            haveB_ = false;
        }
        // B is the frame after A, needed only between the two; it stays in
        // the stream.
        if (phase_ > 0 && !haveB_) {
            if (pos >= frames)
                break;
            b_ = frameAt(in, pos);
            haveB_ = true;
        }
        if (written + outFrameBytes > out.size())
            break;
        writeFrame(out.data() + written);
        written += outFrameBytes;
        phase_ += stepFraction_;
        std::int64_t advance = stepWhole_;
        if (phase_ >= 1) {
            phase_ -= 1;
            ++advance;
        }
        if (advance > 0) {
            // A was consumed when it was loaded.
            skip_ = advance - 1;
            haveA_ = false;
        }
    }
    // Keep the bytes of a frame that the piece cut.
    const std::size_t rest = totalBytes % frameBytes;
    std::array<BYTE, 4> kept{};
    for (std::size_t i = 0; i < rest; ++i) {
        const std::size_t at = totalBytes - rest + i;
        kept[i] = at < partialBytes_ ? partial_[at] : in[at - partialBytes_];
    }
    partial_ = kept;
    partialBytes_ = rest;
    return written;
}

// --- the filter ------------------------------------------------------------------

TResampler::TResampler() : TBCTransformFilter(classId, filterName) {}

void TResampler::SetRatePair(std::int32_t first, std::int32_t second)
{
    rateFirst_.store(first);
    rateSecond_.store(second);
}

TResampler::WaveFormat TResampler::waveFormat(const AM_MEDIA_TYPE& type)
{
    const auto* wave = type.formattype == FORMAT_WaveFormatEx ? type.formatAs<WAVEFORMATEX>() : nullptr;
    if (!wave)
        return {};
    return {static_cast<std::int32_t>(wave->nSamplesPerSec), wave->nChannels, wave->wBitsPerSample};
}

HRESULT TResampler::CheckInputType(const AM_MEDIA_TYPE* typeIn)
{
    if (typeIn->majortype != MEDIATYPE_Audio || typeIn->subtype != MEDIASUBTYPE_PCM ||
        typeIn->formattype != FORMAT_WaveFormatEx)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const auto* wave = typeIn->formatAs<WAVEFORMATEX>();
    if (!wave || wave->wBitsPerSample != kBits || wave->wFormatTag != WAVE_FORMAT_PCM)
        return VFW_E_TYPE_NOT_ACCEPTED;
    // Only mono and stereo are converted.
    if (enabled() && !monoOrStereo(wave->nChannels))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TResampler::CheckTransform(const AM_MEDIA_TYPE* typeIn, const AM_MEDIA_TYPE* typeOut)
{
    return SameTypeGuids(*typeIn, *typeOut) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TResampler::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    const HRESULT hr = TransformFilterBase::GetMediaType(position, type);
    if (hr != S_OK || !enabled())
        return hr;
    auto* wave = type->formatAs<WAVEFORMATEX>();
    const std::int32_t channels = outputChannels();
    if (!wave || !monoOrStereo(wave->nChannels) || !monoOrStereo(channels))
        return hr;
    wave->nSamplesPerSec = static_cast<DWORD>(outputRate());
    wave->nChannels = static_cast<WORD>(channels);
    wave->wBitsPerSample = kBits;
    wave->nBlockAlign = static_cast<WORD>(channels * kBits / 8);
    wave->nAvgBytesPerSec = wave->nBlockAlign * wave->nSamplesPerSec;
    // The sample size is in bytes, as every allocator downstream reads it.
    type->lSampleSize = wave->nBlockAlign;
    return S_OK;
}

HRESULT TResampler::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES upstream;
    if (!input()->isConnected() || !UpstreamProperties(this, upstream))
        return E_FAIL;
    const WaveFormat in = waveFormat(input()->mediaType());
    const WaveFormat out = waveFormat(output()->mediaType());
    if (in.rate <= 0 || in.channels <= 0)
        return E_FAIL;
    const std::int64_t outChannels = out.channels > 0 ? out.channels : in.channels;
    const std::int64_t outRate = out.rate > 0 ? out.rate : in.rate;
    const std::int64_t size =
        outChannels * upstream.cbBuffer * outRate / (std::int64_t(in.channels) * in.rate) + kBufferMargin;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max<LONG>(std::max(wanted.cBuffers, upstream.cBuffers), 2);
    wanted.cbBuffer =
        static_cast<LONG>(std::clamp<std::int64_t>(size, upstream.cbBuffer, std::numeric_limits<LONG>::max()));
    return SetAllocatorAtLeast(allocator, wanted, upstream.cbBuffer);
}

HRESULT TResampler::SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type)
{
    (direction == PINDIR_INPUT ? input_ : output_) = waveFormat(*type);
    configure();
    return S_OK;
}

bool TResampler::configure()
{
    converting_ = enabled() && input_.bits == kBits && output_.bits == kBits &&
                  resampler_.configure(input_.rate, input_.channels, output_.rate, output_.channels);
    return converting_;
}

HRESULT TResampler::StartStreaming()
{
    configure();
    return S_OK;
}

HRESULT TResampler::Transform(IMediaSample* in, IMediaSample* out)
{
    AM_MEDIA_TYPE* type = nullptr;
    if (in->GetMediaType(&type) == S_OK) {
        input_ = waveFormat(*type);
        DeleteMediaType(type);
        configure();
    }
    if (!converting_)
        return CopySampleData(in, out);
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target)))
        return E_FAIL;
    const LONG length = std::clamp<LONG>(in->GetActualDataLength(), 0, in->GetSize());
    const std::size_t written = resampler_.process({source, static_cast<std::size_t>(length)},
                                                   {target, static_cast<std::size_t>(out->GetSize())});
    return out->SetActualDataLength(static_cast<LONG>(written));
}
