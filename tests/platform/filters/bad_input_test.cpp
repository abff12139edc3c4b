// Subtitles, and files cut short: every splitter refuses what it cannot
// read or plays what it can to the end, without crashing or hanging.

#include "tests/common/param_name.h"
#include "tests/platform/filters/harness.h"

#include "platform/filters/demuxer.h"
#include "platform/filters/stream_types.h"

#include <QFile>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

TEST(Subtitles, TextSubtitlesComeOutOnASubtitlePinWithTheirTimes)
{
    const harness::Opened opened = harness::open(CLSID_PreferredSource, "subtitles.mkv");
    ASSERT_EQ(opened.result, S_OK);
    const ComPtr<IPin> pin = harness::pinOfMajor(opened.filter.get(), MEDIATYPE_Subtitle);
    ASSERT_TRUE(pin);
    const ComPtr<harness::Sink> sink =
        harness::render(opened.graph.get(), pin.get(), MEDIATYPE_Subtitle, MEDIASUBTYPE_UTF8);
    ASSERT_TRUE(sink);
    sink->keepData = true;
    static_cast<IMediaFilter*>(opened.graph.get())->SetSyncSource(nullptr);
    ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
    LONG code = 0;
    ASSERT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK);
    opened.graph->Stop();
    std::vector<std::string> texts;
    for (const auto& bytes : sink->kept())
        texts.emplace_back(bytes.begin(), bytes.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"First line", "Second line"}));
    EXPECT_EQ(sink->starts(), (std::vector<REFERENCE_TIME>{0, 10'000'000}));
}

const CLSID kEveryClass[] = {CLSID_AviSplitter, CLSID_MPEG2Splitter,   CLSID_MPEG1Splitter,
                             CLSID_WAVEParser,  CLSID_PreferredSource, CLSID_WMAsfReader};

class CutShort : public testing::TestWithParam<const char*>
{
};

TEST_P(CutShort, IsRefusedOrPlaysToItsEnd)
{
    const QString clip = QString::fromUtf8(GetParam());
    QFile whole(clips::path(clip));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    for (const double part : {0.002, 0.3, 0.7}) {
        // The cut copy stands in the clips folder under a name of its own.
        const QString name = QStringLiteral("cut-%1-%2").arg(part).arg(clip);
        QFile cut(clips::path(name));
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(static_cast<qsizetype>(bytes.size() * part)));
        cut.close();
        for (const CLSID& classId : kEveryClass) {
            const harness::Opened opened = harness::open(classId, name);
            if (FAILED(opened.result))
                continue;
            std::vector<ComPtr<harness::Sink>> sinks;
            for (const GUID& major : {MEDIATYPE_Video, MEDIATYPE_Audio}) {
                if (const ComPtr<IPin> pin = harness::pinOfMajor(opened.filter.get(), major))
                    sinks.push_back(harness::render(opened.graph.get(), pin.get(), major));
            }
            static_cast<IMediaFilter*>(opened.graph.get())->SetSyncSource(nullptr);
            ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
            LONG code = 0;
            EXPECT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK) << name.toStdString();
            opened.graph->Stop();
        }
        QFile::remove(cut.fileName());
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, CutShort,
                         testing::Values("dv_pal.avi", "mpeg1.mpg", "mpeg2.mpg", "mpeg2.ts", "h264.mp4", "h264.mkv",
                                         "wmv.wmv", "audio_only.wav"),
                         [](const testing::TestParamInfo<const char*>& info) { return TestNameOf(info.param); });

// Inputs the container fuzzer found harmful, kept in its corpus: every class
// that takes one plays it to its end, seeks into its middle and plays on.
class FuzzFinding : public testing::TestWithParam<const char*>
{
};

TEST_P(FuzzFinding, PlaysAndSeeksWithoutHarm)
{
    const QString name = QString::fromUtf8(GetParam());
    QFile::remove(clips::path(name));
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(KESTROVA_SOURCE_DIR "/fuzz/corpus/fuzz_demuxer/") + name, clips::path(name)));
    for (const CLSID& classId : kEveryClass) {
        const harness::Opened opened = harness::open(classId, name);
        if (FAILED(opened.result))
            continue;
        int sinks = 0;
        for (const GUID& major : {MEDIATYPE_Video, MEDIATYPE_Audio}) {
            if (const ComPtr<IPin> pin = harness::pinOfMajor(opened.filter.get(), major))
                sinks += harness::render(opened.graph.get(), pin.get(), major) ? 1 : 0;
        }
        if (!sinks)
            continue;
        static_cast<IMediaFilter*>(opened.graph.get())->SetSyncSource(nullptr);
        LONGLONG duration = 0;
        opened.graph->GetDuration(&duration);
        for (const LONGLONG position : {LONGLONG{0}, duration / 2}) {
            LONGLONG current = position;
            opened.graph->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
            ASSERT_TRUE(SUCCEEDED(opened.graph->Run()));
            LONG code = 0;
            EXPECT_EQ(opened.graph->WaitForCompletion(20'000, &code), S_OK) << name.toStdString();
            opened.graph->Stop();
        }
    }
    QFile::remove(clips::path(name));
}

INSTANTIATE_TEST_SUITE_P(Corpus, FuzzFinding, testing::Values("late-stream-after-seek.ts"));

// A transport stream that announces a stream only after a seek: packets
// come from the streams found on opening only, before and after seeks.
TEST(LateStreams, OnlyTheStreamsFoundOnOpeningDeliverPackets)
{
    HRESULT hr = E_FAIL;
    const auto demuxer =
        Demuxer::open(QStringLiteral(KESTROVA_SOURCE_DIR "/fuzz/corpus/fuzz_demuxer/late-stream-after-seek.ts"), &hr);
    ASSERT_TRUE(demuxer);
    const int streams = demuxer->streamCount();
    std::vector<int> seen;
    DemuxedPacket packet;
    for (const REFERENCE_TIME position : {REFERENCE_TIME{-1}, demuxer->duration() / 2, REFERENCE_TIME{0}}) {
        if (position >= 0)
            demuxer->seek(position);
        while (demuxer->read(packet))
            seen.push_back(packet.stream);
    }
    EXPECT_EQ(demuxer->streamCount(), streams);
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [&](int s) { return s >= 0 && s < streams; }));
}

} // namespace
