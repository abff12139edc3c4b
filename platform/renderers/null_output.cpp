#include "platform/renderers/audio_output.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

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

    std::size_t writable() override
    {
        std::lock_guard lock(mutex_);
        return room();
    }

    void write(const BYTE*, std::size_t size) override
    {
        std::lock_guard lock(mutex_);
        // After running dry the sink starts again from what it is given.
        if (!paused_ && pending() == 0) {
            playedBase_ = written_;
            started_ = Clock::now();
        }
        written_ += size / blockAlign_;
    }

    void waitWritable() override
    {
        waitUntil([this] { return room() > 0; }, [this] { return (pending() - capacity_) / blockAlign_ + 1; });
    }
    void waitDrained() override
    {
        waitUntil([this] { return pending() == 0; }, [this] { return pending() / blockAlign_; });
    }

    void interrupt() override
    {
        {
            std::lock_guard lock(mutex_);
            interrupted_ = true;
        }
        changed_.notify_all();
    }

    REFERENCE_TIME played() override
    {
        std::lock_guard lock(mutex_);
        return toTime(playedFrames());
    }
    bool ownTime() const override { return false; }

    void setPaused(bool paused) override
    {
        {
            std::lock_guard lock(mutex_);
            if (paused == paused_)
                return;
            if (paused)
                playedBase_ = playedFrames();
            else
                started_ = Clock::now();
            paused_ = paused;
        }
        changed_.notify_all();
    }

    void flush() override
    {
        {
            std::lock_guard lock(mutex_);
            playedBase_ = written_ = playedFrames();
            started_ = Clock::now();
        }
        changed_.notify_all();
    }

    void drain() override {}
    bool drained() override
    {
        std::lock_guard lock(mutex_);
        return pending() == 0;
    }
    bool healthy() override { return true; }

private:
    // With the mutex held.
    std::size_t pending() { return static_cast<std::size_t>(written_ - playedFrames()) * blockAlign_; }
    std::size_t room() { return capacity_ - std::min(capacity_, pending()); }

    // Waits, as the frames play, until `done`, or an interrupt; `frames`
    // tells how many frames must be heard before `done` can be true.
    template <typename Done, typename Frames> void waitUntil(Done done, Frames frames)
    {
        std::unique_lock lock(mutex_);
        const auto perFrame = std::chrono::nanoseconds(1'000'000'000 / std::max<DWORD>(rate_, 1));
        while (!std::exchange(interrupted_, false) && !done()) {
            if (paused_)
                changed_.wait(lock);
            else
                changed_.wait_for(lock, perFrame * static_cast<long long>(std::max<std::size_t>(frames(), 1)));
        }
    }

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
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t written_ = 0;    // frames
    std::uint64_t playedBase_ = 0; // frames heard before started_
    Clock::time_point started_ = Clock::now();
    bool paused_ = false;
    bool interrupted_ = false;
};

} // namespace

std::unique_ptr<AudioOutput> openNullOutput(const WAVEFORMATEX& format)
{
    return std::make_unique<NullOutput>(format);
}
