#include "platform/renderers/audio_output.h"

#include <algorithm>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class NullOutput final : public AudioOutput
{
public:
    explicit NullOutput(const WAVEFORMATEX& format)
        : blockAlign_(std::max<WORD>(format.nBlockAlign, 1)), rate_(format.nSamplesPerSec),
          capacity_(static_cast<std::size_t>(rate_ * kAudioBuffer.count() / 1000) * blockAlign_)
    {
    }

    std::size_t writable() override { return capacity_ - std::min(capacity_, pending()); }

    void write(const BYTE*, std::size_t size) override
    {
        // After running dry the sink starts again from what it is given.
        if (!paused_ && pending() == 0) {
            playedBase_ = written_;
            started_ = Clock::now();
        }
        written_ += size / blockAlign_;
    }

    void waitWritable(std::chrono::milliseconds timeout) override
    {
        if (writable() > 0)
            return;
        // Room comes as the frames play.
        const auto perBlock = std::chrono::nanoseconds(1'000'000'000 / std::max<DWORD>(rate_, 1));
        const auto untilRoom = perBlock * ((pending() - capacity_) / blockAlign_ + 1);
        std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(timeout, untilRoom));
    }

    REFERENCE_TIME played() override { return toTime(playedFrames()); }

    void setPaused(bool paused) override
    {
        if (paused == paused_)
            return;
        if (paused)
            playedBase_ = playedFrames();
        else
            started_ = Clock::now();
        paused_ = paused;
    }

    void flush() override
    {
        playedBase_ = written_ = playedFrames();
        started_ = Clock::now();
    }

    void drain() override {}
    bool drained() override { return pending() == 0; }
    bool healthy() override { return true; }

private:
    std::size_t pending() { return static_cast<std::size_t>(written_ - playedFrames()) * blockAlign_; }

    // Frames heard: those played since the last start, up to what was written.
    std::uint64_t playedFrames()
    {
        if (paused_)
            return playedBase_;
        const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started_).count();
        const auto frames = static_cast<std::uint64_t>(elapsed * static_cast<long double>(rate_) / 1e9);
        return std::min(written_, playedBase_ + frames);
    }

    REFERENCE_TIME toTime(std::uint64_t frames) const
    {
        return rate_ ? static_cast<REFERENCE_TIME>(frames * 10'000'000 / rate_) : 0;
    }

    const std::size_t blockAlign_;
    const DWORD rate_;
    const std::size_t capacity_;
    std::uint64_t written_ = 0;    // frames
    std::uint64_t playedBase_ = 0; // frames heard before started_
    Clock::time_point started_ = Clock::now();
    bool paused_ = false;
};

} // namespace

std::unique_ptr<AudioOutput> openNullOutput(const WAVEFORMATEX& format)
{
    return std::make_unique<NullOutput>(format);
}
