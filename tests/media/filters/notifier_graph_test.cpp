// The notifiers in a running graph, fed the frames of the DV clips by a
// source of their own.

#include "notifier_chain.h"

using namespace testing_filters;

namespace {

void playClip(NotifierChain& chain, const char* clip)
{
    auto source = makeCom<DVClipSource>(clip, 50, dvVideoType());
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
