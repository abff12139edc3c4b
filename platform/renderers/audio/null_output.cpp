#include "platform/renderers/audio/audio_output.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

class NullOutput final : public AudioOutput
{
public:
    explicit NullOutput(const WAVEFORMATEX& format)
        : blockAlign_(std::max<WORD>(format.nBlockAlign, 1)), rate_(format.nSamplesPerSec),
          capacityFrames_(static_cast<std::uint64_t>(rate_) * kAudioBuffer.count() / 1000)
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
        if (!paused_ && pendingFrames() == 0) {
            playedBase_ = written_;
            started_ = Clock::now();
        }
        written_ += size / blockAlign_;
    }

    // Room comes once the frames beyond a full buffer, and one more, played.
    void waitWritable() override
    {
        waitFor(
            [this](std::uint64_t pending) { return pending < capacityFrames_ ? 0 : pending - capacityFrames_ + 1; });
    }
    void waitDrained() override
    {
        waitFor([](std::uint64_t pending) { return pending; });
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
        return pendingFrames() == 0;
    }
    bool healthy() override { return true; }

private:
    // With the mutex held.
    std::uint64_t pendingFrames() { return written_ - playedFrames(); }
    std::size_t room()
    {
        const std::uint64_t pending = pendingFrames();
        return pending < capacityFrames_ ? static_cast<std::size_t>(capacityFrames_ - pending) * blockAlign_ : 0;
    }

    // One wait, until none of the pending frames are `needed`, or an
    // interrupt, and never longer than the frames needed take to play: a
    // paused sink or a wake-up that came early sends the caller to look
    // again.
    template <typename Needed> void waitFor(Needed needed)
    {
        std::unique_lock lock(mutex_);
        // The frames pending are read once: as the clock moves on, a second
        // reading would hold fewer.
        const std::uint64_t pending = pendingFrames();
        const std::uint64_t frames = std::min(needed(pending), pending);
        if (!std::exchange(interrupted_, false) && frames > 0)
            changed_.wait_for(lock, durationOf(frames), [&] { return interrupted_ || needed(pendingFrames()) == 0; });
        interrupted_ = false;
    }

    // How long `frames` take to play, rounded up, so that a wait ends after
    // the last of them, not just before.
    std::chrono::nanoseconds durationOf(std::uint64_t frames) const
    {
        const long double ns = std::ceil(static_cast<long double>(frames) * 1e9L / std::max<DWORD>(rate_, 1));
        // Far more than any buffer, and still a number of nanoseconds that
        // the clock's arithmetic holds.
        return std::chrono::nanoseconds(static_cast<std::int64_t>(std::min<long double>(ns, 1e18L)));
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
    const std::uint64_t capacityFrames_;
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
