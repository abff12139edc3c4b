// The decoders' worker threads: started as batch threads, so that waking
// one never takes the core from the thread handing out a picture's slices,
// while the thread that opens a codec keeps its own policy.

#include "platform/filters/av_util.h"
#include "tests/platform/filters/harness.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <QDir>

#include <set>
#include <thread>

namespace {

// The threads of this process.
std::set<pid_t> threads()
{
    std::set<pid_t> ids;
    for (const QString& name : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ids.insert(name.toInt());
    return ids;
}

// The policies of the threads started since `before`: the codec's workers,
// and any thread a tool starts with them.
std::multiset<int> policiesOfNew(const std::set<pid_t>& before)
{
    std::multiset<int> policies;
    for (const pid_t id : threads())
        if (!before.count(id))
            policies.insert(sched_getscheduler(id));
    return policies;
}

int ownPolicy()
{
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy;
}

// Whether this machine lets a thread take another policy (a sandbox may
// forbid it; the decoders then start ordinary workers).
bool policiesCanChange()
{
    bool changed = false;
    std::thread([&] {
        sched_param param{};
        changed = pthread_setschedparam(pthread_self(), SCHED_BATCH, &param) == 0;
    }).join();
    return changed;
}

// A DV decoder with three slice threads, whatever the processors.
av::CodecPtr dvCodec()
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    av::CodecPtr context(avcodec_alloc_context3(codec));
    context->width = 720;
    context->height = 576;
    context->thread_count = 3;
    context->thread_type = FF_THREAD_SLICE;
    return context;
}

TEST(CodecThreads, SliceWorkersStartAsBatchThreadsAndTheOpenerKeepsItsPolicy)
{
    if (!policiesCanChange())
        GTEST_SKIP() << "threads cannot change their policy here";
    ASSERT_EQ(ownPolicy(), SCHED_OTHER);
    const std::set<pid_t> before = threads();
    av::CodecPtr context = dvCodec();
    ASSERT_EQ(av::openCodec(context.get(), avcodec_find_decoder(AV_CODEC_ID_DVVIDEO)), 0);
    EXPECT_EQ(context->active_thread_type, FF_THREAD_SLICE);
    const std::multiset<int> workers = policiesOfNew(before);
    EXPECT_GE(workers.count(SCHED_BATCH), 2u);
    EXPECT_EQ(workers.count(SCHED_BATCH), workers.size());
    EXPECT_EQ(ownPolicy(), SCHED_OTHER);

    // A thread with a policy of its own keeps it, and so do its workers.
    std::multiset<int> idleWorkers;
    int idleAfter = -1;
    std::thread([&] {
        sched_param param{};
        ASSERT_EQ(pthread_setschedparam(pthread_self(), SCHED_IDLE, &param), 0);
        const std::set<pid_t> beforeIdle = threads();
        av::CodecPtr idle = dvCodec();
        ASSERT_EQ(av::openCodec(idle.get(), avcodec_find_decoder(AV_CODEC_ID_DVVIDEO)), 0);
        idleWorkers = policiesOfNew(beforeIdle);
        idleAfter = ownPolicy();
    }).join();
    EXPECT_GE(idleWorkers.count(SCHED_IDLE), 2u);
    EXPECT_EQ(idleWorkers.count(SCHED_IDLE), idleWorkers.size());
    EXPECT_EQ(idleAfter, SCHED_IDLE);
}

TEST(CodecThreads, TheGraphsPictureDecoderStartsBatchWorkers)
{
    cpu_set_t cpus;
    ASSERT_EQ(sched_getaffinity(0, sizeof cpus, &cpus), 0);
    if (CPU_COUNT(&cpus) < 2)
        GTEST_SKIP() << "one processor: the decoder starts no workers";
    if (!policiesCanChange())
        GTEST_SKIP() << "threads cannot change their policy here";
    const harness::Opened opened = harness::open(CLSID_AviSplitter, "dv_pal.avi");
    ASSERT_EQ(opened.result, S_OK);
    const ComPtr<harness::Sink> sink = harness::render(
        opened.graph.get(), harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Video).get(), MEDIATYPE_Video);
    ASSERT_TRUE(sink);
    const std::set<pid_t> before = threads();
    // The decoder opens its codec as the graph pauses.
    ASSERT_TRUE(SUCCEEDED(opened.graph->Pause()));
    OAFilterState state;
    ASSERT_EQ(opened.graph->GetState(10'000, &state), S_OK);
    EXPECT_EQ(sink->cued, 0);
    const std::multiset<int> started = policiesOfNew(before);
    opened.graph->Stop();
    EXPECT_GE(started.count(SCHED_BATCH), 1u);
    EXPECT_EQ(ownPolicy(), SCHED_OTHER);
}

} // namespace
