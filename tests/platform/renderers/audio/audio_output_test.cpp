// The sound outputs' waits: each ends once the sound it waits for has had
// time to play, whatever the output's state, and a drain ends when the
// server goes away. The PulseAudio cases need a server (scripts/pulse.sh);
// the server that goes away is one of the test's own.

#include "platform/graph/media_type.h"
#include "platform/renderers/audio/audio_output.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The longest a wait may take: the buffer's sound and a margin for a busy
// machine.
constexpr auto kLongestWait = kAudioBuffer + std::chrono::milliseconds(150);

WAVEFORMATEX stereo48k()
{
    return *pcmAudioType(2, 48000).formatAs<WAVEFORMATEX>();
}

// Times the waits of the test's thread; a wait that hangs is interrupted
// after two seconds, so that the test fails instead of hanging.
class TimedWaits
{
public:
    explicit TimedWaits(AudioOutput* output)
        : output_(output), watchdog_([this] {
              std::unique_lock lock(mutex_);
              while (!done_) {
                  if (waiting_ && Clock::now() - since_ > std::chrono::seconds(2))
                      output_->interrupt();
                  changed_.wait_for(lock, std::chrono::milliseconds(50));
              }
          })
    {
    }
    ~TimedWaits()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        watchdog_.join();
    }

    // How long `wait` took.
    template <typename Wait> Clock::duration time(Wait wait)
    {
        const auto start = Clock::now();
        {
            std::lock_guard lock(mutex_);
            waiting_ = true;
            since_ = start;
        }
        wait();
        std::lock_guard lock(mutex_);
        waiting_ = false;
        return Clock::now() - start;
    }

private:
    AudioOutput* output_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool waiting_ = false;
    bool done_ = false;
    Clock::time_point since_;
    std::thread watchdog_;
};

// Runs scripts/pulse.sh VERB DIR and returns its exit status. Spawned, not
// forked: a fork of this threaded process would trouble the thread
// sanitizer.
int pulseScript(const char* verb, const QString& dir)
{
    QByteArray bash("bash"), script(KESTROVA_SOURCE_DIR "/scripts/pulse.sh"), command(verb),
        folder(QFile::encodeName(dir));
    char* argv[] = {bash.data(), script.data(), command.data(), folder.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "bash", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void fill(AudioOutput& output)
{
    static const std::vector<BYTE> silence(1 << 16);
    while (const std::size_t room = std::min(output.writable(), silence.size()))
        output.write(silence.data(), room);
}

// Waits for room, each as the buffer is full again, then waits for the
// drain while paused and while playing.
void expectBoundedWaits(AudioOutput& output, int rounds)
{
    TimedWaits waits(&output);
    output.setPaused(false);
    // With room already there, the wait for it ends at once.
    ASSERT_GT(output.writable(), 0u);
    EXPECT_LE(waits.time([&] { output.waitWritable(); }), kLongestWait);
    for (int round = 0; round < rounds; ++round) {
        fill(output);
        const auto took = waits.time([&] { output.waitWritable(); });
        ASSERT_LE(took, kLongestWait) << "round " << round;
    }
    // Paused, what is held cannot play: the wait still ends, and the caller
    // looks again.
    output.setPaused(true);
    fill(output);
    EXPECT_LE(waits.time([&] { output.waitWritable(); }), kLongestWait);
    EXPECT_LE(waits.time([&] { output.waitDrained(); }), kLongestWait);
    // Playing again, the drain ends; no wait for it outlasts the buffer.
    output.setPaused(false);
    output.drain();
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (!output.drained() && Clock::now() < deadline)
        ASSERT_LE(waits.time([&] { output.waitDrained(); }), kLongestWait);
    EXPECT_TRUE(output.drained());
}

} // namespace

TEST(AudioOutput, NoWaitOfTheNullSinkOutlastsTheSoundItWaitsFor)
{
    // Room comes a frame at a time: many rounds, so that frames play
    // between every step of a wait.
    const auto output = openNullOutput(stereo48k());
    expectBoundedWaits(*output, 5000);
}

TEST(AudioOutput, NoWaitOfAPulseAudioStreamOutlastsTheSoundItWaitsFor)
{
    const auto output = openPulseOutput(stereo48k());
    if (!output)
        GTEST_SKIP() << "no PulseAudio server answers; scripts/pulse.sh starts one";
    expectBoundedWaits(*output, 40);
}

TEST(AudioOutput, ADrainEndsWhenThePulseAudioServerGoesAway)
{
#if defined(__SANITIZE_THREAD__) || (defined(__has_feature) && __has_feature(thread_sanitizer))
    GTEST_SKIP() << "PulseAudio's library orders its threads by means the thread sanitizer does not see";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A server of the test's own, so that stopping it disturbs no other test.
    ASSERT_EQ(pulseScript("start", dir.path()), 0);
    const QString socket = dir.filePath(QStringLiteral("native"));
    if (!QFile::exists(socket))
        GTEST_SKIP() << "the pulseaudio program is not installed";
    const QByteArray previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(socket));
    auto output = openPulseOutput(stereo48k());
    qputenv("PULSE_SERVER", previous);
    if (!output) {
        pulseScript("stop", dir.path());
        FAIL() << "the test's own server did not answer";
    }

    output->setPaused(false);
    fill(*output);
    output->drain();
    pulseScript("stop", dir.path());
    // What the server held is gone with it: the drain is over, and no wait
    // for it lasts.
    TimedWaits waits(output.get());
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (!output->drained() && Clock::now() < deadline)
        EXPECT_LE(waits.time([&] { output->waitDrained(); }), kLongestWait);
    EXPECT_TRUE(output->drained());
    EXPECT_FALSE(output->healthy());
}
