// The media factory on the generated clips and the real system filters:
// which source and splitter each extension gets, the pieces each clip
// gives, the device cache, and files that no source takes.

#include "engine_fixture.h"

#include "media/engine/private_filters.h"
#include "media/private/private_classes.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/pin_walk.h"
#include "platform/win/messages.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <malloc.h>

using namespace testing_engine;

namespace {

struct Expected
{
    const char* clip;     // a clip, or a copy of it under `name`
    const char* name;     // null: the clip itself
    bool noPreferred;     // the preferred source is one that cannot be made
    const char* source;   // "" when nothing takes the file
    const char* splitter; // "" for none
    int video, audio, subtitles;
};

// A record the class registry does not know: the tries that use the
// preferred source fail, so that the later tries show.
TFilterRec unknownSource("{0D1E2F30-4152-6374-8596-A7B8C9DAEBFC}"_guid, fkRegistered, QStringLiteral("Nobody"));

std::vector<QString> filterNames(TGrapheMan& man)
{
    std::vector<QString> names;
    ComPtr<IEnumFilters> filters;
    man.GraphBuilder()->EnumFilters(filters.put());
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        FILTER_INFO info;
        filter->QueryFilterInfo(&info);
        names.push_back(QString::fromStdU16String(info.achName));
    }
    return names;
}

} // namespace

TEST(MediaFactory, ChoosesTheSourceByExtensionAndListsTheStreams)
{
    const Expected rows[] = {
        // The containers the preferred source reads first.
        {"h264.m2ts", nullptr, false, "LAV Splitter Source", "", 1, 1, 0},
        {"h264.mkv", nullptr, false, "LAV Splitter Source", "", 1, 1, 0},
        {"h264.mp4", nullptr, false, "LAV Splitter Source", "", 1, 1, 0},
        {"h264.mp4", "Clip.MP4", false, "LAV Splitter Source", "", 1, 1, 0},
        {"mpeg2.ts", nullptr, false, "LAV Splitter Source", "", 1, 1, 0},
        {"mpeg1.mpg", nullptr, false, "LAV Splitter Source", "", 1, 1, 0},
        {"mpeg2.mpg", "mpeg2.vob", false, "LAV Splitter Source", "", 1, 1, 0},
        {"subtitles.mkv", nullptr, false, "LAV Splitter Source", "", 1, 0, 1},
        // One audio pin, whose stream the stream selection chooses.
        {"two_sounds.mkv", nullptr, false, "LAV Splitter Source", "", 1, 1, 0},
        {"h264.mp4", "vidéo ñ 日本.mp4", false, "LAV Splitter Source", "", 1, 1, 0},
        // Without the preferred source, the MPEG splitters behind the file source.
        {"mpeg2.mpg", nullptr, true, "File Source (Async.)", "MPEG-2 Splitter", 1, 1, 0},
        {"mpeg2.ts", nullptr, true, "File Source (Async.)", "MPEG-2 Splitter", 1, 1, 0},
        {"mpeg1.mpg", nullptr, true, "File Source (Async.)", "MPEG-I Stream Splitter", 1, 1, 0},
        {"h264.mkv", nullptr, true, "", "", 0, 0, 0},
        // AVI first through the AVI splitter, then the preferred source.
        {"dv_pal.avi", nullptr, false, "File Source (Async.)", "AVI Splitter", 1, 1, 0},
        {"dv_ntsc_wide.avi", "wide.IVF", false, "File Source (Async.)", "AVI Splitter", 1, 1, 0},
        {"h264.mkv", "matroska.avi", false, "LAV Splitter Source", "", 1, 1, 0},
        {"garbage.avi", nullptr, false, "", "", 0, 0, 0},
        // Windows Media: the preferred source, then the ASF reader.
        {"wmv.wmv", nullptr, false, "LAV Splitter Source", "", 1, 1, 0},
        {"wmv.wmv", nullptr, true, "WM ASF Reader", "", 1, 1, 0},
        {"wmv.wmv", "wmv.asf", true, "WM ASF Reader", "", 1, 1, 0},
        // Wave: the wave parser only.
        {"audio_only.wav", nullptr, false, "File Source (Async.)", "Wave Parser", 0, 1, 0},
        {"garbage.avi", "noise.wav", false, "", "", 0, 0, 0},
        {"h264.mp4", "notwave.wav", false, "", "", 0, 0, 0},
        // Another extension: the file source alone, whose byte stream no
        // piece below takes.
        {"dv_pal.dv", nullptr, false, "File Source (Async.)", "", 0, 0, 0},
    };
    // Every extension of the MPEG row: the preferred source first, then the
    // MPEG-2 splitter behind the file source.
    std::vector<Expected> table(std::begin(rows), std::end(rows));
    std::vector<QByteArray> names;
    for (const char* extension : {".mts", ".m2ts", ".mkv", ".mov", ".mp4", ".3g2", ".ts", ".mpg", ".mpeg", ".m1v",
                                  ".mp2", ".mpe", ".vob", ".m4v", ".m2v"}) {
        names.push_back(QByteArray("matroska") + extension);
        names.push_back(QByteArray("program") + extension);
    }
    for (size_t i = 0; i < names.size(); i += 2) {
        table.push_back({"h264.mkv", names[i].constData(), false, "LAV Splitter Source", "", 1, 1, 0});
        table.push_back(
            {"mpeg2.mpg", names[i + 1].constData(), true, "File Source (Async.)", "MPEG-2 Splitter", 1, 1, 0});
    }
    const Expected more[] = {
        // The third MPEG try, for a system stream the MPEG-2 splitter leaves.
        {"mpeg1.mpg", "system.mpeg", true, "File Source (Async.)", "MPEG-I Stream Splitter", 1, 1, 0},
        {"mpeg1.m1v", "elementary.m1v", true, "File Source (Async.)", "MPEG-I Stream Splitter", 1, 0, 0},
        // The second tries of the AVI and Windows Media rows.
        {"h264.mkv", "matroska.ivf", false, "LAV Splitter Source", "", 1, 1, 0},
        {"wmv.wmv", "windows.asf", false, "LAV Splitter Source", "", 1, 1, 0},
        // Any other extension, and none: the file source, whose byte stream
        // nothing below takes without the private splitter.
        {"h264.mkv", "matroska.mkv2", false, "File Source (Async.)", "", 0, 0, 0},
        {"h264.mkv", "matroska", false, "File Source (Async.)", "", 0, 0, 0},
    };
    table.insert(table.end(), std::begin(more), std::end(more));

    QTemporaryDir dir;
    for (const Expected& row : table) {
        const QString file = row.name ? copyClip(dir, row.clip, QString::fromUtf8(row.name)) : clip(row.clip);
        SCOPED_TRACE(file.toStdString());
        Engine engine;
        engine.factory->SetSourceFilter(row.noPreferred ? &unknownSource : nullptr);
        TFileDevice* device = engine.factory->GetFileDevice(file);
        ASSERT_TRUE(device);
        const bool built = *row.source != 0;
        EXPECT_EQ(device->Built(), built);
        if (built) {
            EXPECT_EQ(device->SourceRec()->Name(), row.source);
            EXPECT_EQ(device->SplitterFilter() ? device->SplitterRec()->Name() : QString(), row.splitter);
        }
        EXPECT_EQ(device->VideoCount(), row.video);
        EXPECT_EQ(device->AudioCount(), row.audio);
        EXPECT_EQ(device->SubtitleCount(), row.subtitles);
        EXPECT_EQ(device->DVCount(), 0);
        // Trying a file leaves the program's graph alone.
        EXPECT_TRUE(filterNames(*engine.man).empty());
    }
}

TEST(MediaFactory, SourcesBuildTheirNotifiersOnTheGraph)
{
    Engine engine;
    TFileDevice* device = engine.factory->GetFileDevice(clip("dv_pal.avi"));
    ASSERT_TRUE(device && device->Built());
    EXPECT_EQ(device->Name(), "dv_pal.avi");
    TVideoSource* video = device->VideoSource(0);
    TAudioSource* audio = device->AudioSource(0);
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(video->LastChunk(), device);
    EXPECT_EQ(video->LastChunk()->GrapheMan(), engine.man.get());
    EXPECT_FALSE(device->VideoSource(1));
    EXPECT_FALSE(device->VideoSource(-1));

    ASSERT_TRUE(video->BuildOn(engine.man.get(), 0));
    ASSERT_TRUE(audio->BuildOn(engine.man.get(), 0));
    EXPECT_EQ(filterNames(*engine.man), (std::vector<QString>{"File Source (Async.)", "AVI Splitter",
                                                              "Video Source Notifier", "Audio Source Notifier"}));
    EXPECT_TRUE(video->Subtype() == MEDIASUBTYPE_dvsd);
    EXPECT_TRUE(peerOf(video->Pin()));
    EXPECT_EQ(audio->Notifier()->GetAudioData().audioFormatName, "PCM");
    EXPECT_EQ(engine.man->Chunks(TGrapheMan::clVideoSources).size(), 1);
    EXPECT_EQ(engine.man->Chunks(TGrapheMan::clDevices).size(), 1);

    // Tearing one source down leaves the other and the device.
    video->Unbuild();
    EXPECT_EQ(filterNames(*engine.man),
              (std::vector<QString>{"File Source (Async.)", "AVI Splitter", "Audio Source Notifier"}));

    engine.man->ClearGraph();
    EXPECT_TRUE(filterNames(*engine.man).empty());
    EXPECT_TRUE(engine.man->Chunks(TGrapheMan::clDevices).isEmpty());
    // The cached device builds again on the cleared graph.
    ASSERT_TRUE(video->BuildOn(engine.man.get(), 0));
    EXPECT_EQ(filterNames(*engine.man).size(), 3u);
}

TEST(MediaFactory, PlaceholdersStandForNoneAndBuildNothing)
{
    Engine engine;
    const std::pair<TGraphChunk*, const char*> pieces[] = {
        {NoVideoSource(), "No Video"}, {NoAudioSource(), "No Audio"},   {NoSubtitleSource(), "No Subtitles"},
        {NoDVDevice(), "No DV"},       {NoStreamDevice(), "No Stream"},
    };
    for (const auto& [piece, name] : pieces) {
        EXPECT_EQ(piece->Name(), name);
        EXPECT_EQ(piece->DisplayName(), name);
        EXPECT_FALSE(piece->Built());
        EXPECT_FALSE(piece->SetGraph(engine.man.get()));
    }
    EXPECT_TRUE(filterNames(*engine.man).empty());
    // From the second piece of a kind on, the display name carries the index.
    EXPECT_EQ(TAudioSource(nullptr, QStringLiteral("Audio"), 2).DisplayName(), "Audio #2");
}

TEST(MediaFactory, KeepsOneDeviceAFileUntilTheSourceChanges)
{
    Engine engine;
    const QString file = clip("h264.mp4");
    TFileDevice* first = engine.factory->GetFileDevice(file);
    EXPECT_EQ(engine.factory->GetFileDevice(file), first);
    EXPECT_NE(engine.factory->GetFileDevice(clip("h264.mkv")), first);

    TFilterRec fileSource(CLSID_AsyncReader, fkRegistered, QStringLiteral("File Source (Async.)"));
    engine.factory->SetSourceFilter(&fileSource);
    EXPECT_EQ(engine.factory->SourceFilter(), &fileSource);
    TFileDevice* again = engine.factory->GetFileDevice(file);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->SourceRec(), &fileSource);
    EXPECT_EQ(engine.factory->GetFileDevice(file), again);

    // A record without a class id means the default again.
    TFilterRec none(GUID_NULL, fkRegistered, QStringLiteral("None"));
    engine.factory->SetSourceFilter(&none);
    EXPECT_EQ(engine.factory->SourceFilter(), engine.factory->DefaultSourceRec());
    engine.factory->SetSourceFilter(nullptr);
    EXPECT_EQ(engine.factory->SourceFilter(), engine.factory->DefaultSourceRec());

    // No graph manager, no device.
    TMediaFactory lone;
    EXPECT_FALSE(lone.GetFileDevice(file));
}

TEST(MediaFactory, SecondSourceOfTheSameKindIsNamedOn)
{
    Engine engine;
    QTemporaryDir dir;
    TFileDevice* first = engine.factory->GetFileDevice(clip("h264.mp4"));
    TFileDevice* second = engine.factory->GetFileDevice(copyClip(dir, "h264.mp4", QStringLiteral("other.mp4")));
    ASSERT_TRUE(first && second && first != second);
    ASSERT_TRUE(first->VideoSource(0) && second->VideoSource(0));
    ASSERT_TRUE(first->VideoSource(0)->BuildOn(engine.man.get(), 0));
    ASSERT_TRUE(second->VideoSource(0)->BuildOn(engine.man.get(), 0));
    EXPECT_EQ(first->SourceName(), "LAV Splitter Source");
    EXPECT_EQ(second->SourceName(), "LAV Splitter Source_1");
    // Each device holds a filter of its own.
    EXPECT_NE(first->SourceFilter(), second->SourceFilter());
    EXPECT_EQ(second->VideoSource(0)->Notifier()->GetVideoData().width, 320);
}

TEST(MediaFactory, StreamSelectionNamesAndChoosesTheSoundTracks)
{
    Engine engine;
    TFileDevice* device = engine.factory->GetFileDevice(clip("two_sounds.mkv"));
    ASSERT_TRUE(device && device->VideoSource(0) && device->AudioSource(0));
    TStreamList audio, subtitles;
    // The streams are known once the device is on the graph.
    device->GetAudioStreams(audio);
    EXPECT_TRUE(audio.isEmpty());
    ASSERT_TRUE(device->VideoSource(0)->BuildOn(engine.man.get(), 0));
    device->GetAudioStreams(audio);
    device->GetSubtitleStreams(subtitles);
    ASSERT_EQ(audio.size(), 2);
    EXPECT_TRUE(subtitles.isEmpty());
    EXPECT_NE(audio[0].index, audio[1].index);

    // The second track (AC-3) reaches the audio source built after it.
    EXPECT_TRUE(device->EnableStream(audio[1].index));
    EXPECT_EQ(engine.man->GraphState(), kGraphStateStopped);
    ASSERT_TRUE(device->AudioSource(0)->BuildOn(engine.man.get(), 0));
    EXPECT_TRUE(device->AudioSource(0)->Notifier()->GetAudioData().audioFormatName.contains(QStringLiteral("AC3")))
        << device->AudioSource(0)->Notifier()->GetAudioData().audioFormatName.toStdString();

    TFileDevice* withText = engine.factory->GetFileDevice(clip("subtitles.mkv"));
    ASSERT_TRUE(withText && withText->SubtitleSource(0));
    ASSERT_TRUE(withText->SubtitleSource(0)->BuildOn(engine.man.get(), 0));
    EXPECT_TRUE(withText->SubtitleSource(0)->Pin());
    withText->GetSubtitleStreams(subtitles);
    EXPECT_EQ(subtitles.size(), 1);
}

TEST(MediaFactory, FilesThatNothingOpensFailWithoutHarm)
{
    QTemporaryDir dir;
    const QString files[] = {
        dir.filePath(QStringLiteral("missing.mp4")),
        writeFile(dir, QStringLiteral("empty.mkv"), {}),
        writeFile(dir, QStringLiteral("empty.avi"), {}),
        writeFile(dir, QStringLiteral("short.wmv"), QByteArray("0&\xb2u", 4)),
        dir.path() + QStringLiteral("/"),
        clip("garbage.avi"),
    };
    Engine engine;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        TFileDevice* device = engine.factory->GetFileDevice(file);
        ASSERT_TRUE(device);
        EXPECT_FALSE(device->Built());
        EXPECT_FALSE(device->VideoSource(0));
        EXPECT_TRUE(filterNames(*engine.man).empty());
    }
}

namespace {

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

bool fileIsOpen(const QString& file)
{
    const QString target = QFileInfo(file).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries))
        if (QFile::symLinkTarget(fds.filePath(fd)) == target)
            return true;
    return false;
}

std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace

// Opening builds the sources on the graph; closing clears the graph, and
// every other time also drops the factory's devices.
TEST(MediaFactory, OpeningAndClosingLeavesNoFileOpenAndNoMemory)
{
    Engine engine;
    const QString file = clip("h264.mp4");
    const auto openAndClose = [&](int round) {
        TFileDevice* device = engine.factory->GetFileDevice(file);
        ASSERT_TRUE(device && device->VideoSource(0) && device->AudioSource(0));
        ASSERT_TRUE(device->VideoSource(0)->BuildOn(engine.man.get(), 0));
        ASSERT_TRUE(device->AudioSource(0)->BuildOn(engine.man.get(), 0));
        ASSERT_TRUE(fileIsOpen(file));
        engine.man->ClearGraph();
        if (round % 2)
            engine.factory->SetSourceFilter(nullptr);
        ProcessMessages();
        ASSERT_FALSE(fileIsOpen(file)) << "round " << round;
    };
    constexpr int kWarmUp = 20;
    constexpr int kRounds = 200;
    for (int round = 0; round < kWarmUp; ++round)
        openAndClose(round);
    const int descriptors = openDescriptors();
    const std::size_t heap = heapInUse();
    for (int round = kWarmUp; round < kRounds; ++round)
        openAndClose(round);
    EXPECT_EQ(openDescriptors(), descriptors);
    // A leak of one demuxer a round would be megabytes; allocator slack
    // stays far below this.
    const std::size_t grown = heapInUse() > heap ? heapInUse() - heap : 0;
    EXPECT_LT(grown, std::size_t(1) << 20) << "heap grew by " << grown << " bytes";
}

// A file is tried on a graph of its own, with nothing that runs the event
// loop: timers and posted messages wait for the open to finish. The filters
// that took the file move into the program's graph as they are.
TEST(MediaFactory, ATrialRunsNoEventLoopAndItsFiltersMoveIntoTheGraph)
{
    Engine engine;
    QTemporaryDir dir;
    PendingEvents pending;

    const struct
    {
        QString file;
        bool opens;
    } files[] = {
        {clip("h264.mp4"), true},
        {clip("dv_pal.avi"), true},
        {clip("garbage.avi"), false},
        {copyClip(dir, "h264.mkv", QStringLiteral("matroska.mpg")), true},
        {dir.filePath(QStringLiteral("missing.mkv")), false},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.file.toStdString());
        TFileDevice* device = engine.factory->GetFileDevice(f.file);
        ASSERT_TRUE(device);
        EXPECT_EQ(device->Built(), f.opens);
        EXPECT_TRUE(pending.waiting());
        if (!f.opens) {
            EXPECT_FALSE(device->SourceFilter());
            EXPECT_FALSE(QFile::exists(f.file) && fileIsOpen(f.file));
            continue;
        }
        // The same filters, already loaded, are what the graph gets.
        IBaseFilter* source = device->SourceFilter();
        IBaseFilter* splitter = device->SplitterFilter();
        ASSERT_TRUE(source);
        EXPECT_TRUE(fileIsOpen(f.file));
        ASSERT_TRUE(device->VideoSource(0));
        ASSERT_TRUE(device->VideoSource(0)->BuildOn(engine.man.get(), 0));
        EXPECT_EQ(device->SourceFilter(), source);
        EXPECT_EQ(device->SplitterFilter(), splitter);
        EXPECT_GT(device->VideoSource(0)->Notifier()->GetVideoData().width, 0);
        // Closed, the file is let go; built again, it is opened anew.
        engine.man->ClearGraph();
        EXPECT_FALSE(device->SourceFilter());
        EXPECT_FALSE(fileIsOpen(f.file));
        ASSERT_TRUE(device->VideoSource(0)->BuildOn(engine.man.get(), 0));
        EXPECT_TRUE(fileIsOpen(f.file));
        engine.man->ClearGraph();
    }
    EXPECT_TRUE(pending.run());
}

// A splitter that took the file in the trial keeps what it read: it comes
// into the graph still connected to its source, with the pins it made. A
// device tried and never built lets the file go.
TEST(MediaFactory, ASplitterReadsTheFileOnceAndADeviceNeverBuiltLetsItGo)
{
    Engine engine;
    const QString file = clip("dv_pal.avi");
    TFileDevice* tried = engine.factory->GetFileDevice(file);
    ASSERT_TRUE(tried && tried->Built() && tried->SplitterFilter());
    EXPECT_TRUE(fileIsOpen(file));
    engine.factory->SetSourceFilter(nullptr);
    EXPECT_FALSE(fileIsOpen(file));

    TFileDevice* device = engine.factory->GetFileDevice(file);
    ASSERT_TRUE(device && device->VideoSource(0));
    IBaseFilter* splitter = device->SplitterFilter();
    const ComPtr<IPin> video = FindOutputPin(splitter, MEDIATYPE_Video, 0, true);
    ASSERT_TRUE(video);
    ASSERT_TRUE(device->VideoSource(0)->BuildOn(engine.man.get(), 0));
    EXPECT_EQ(device->SplitterFilter(), splitter);
    EXPECT_EQ(FindOutputPin(splitter, MEDIATYPE_Video, 0, false), video);
    EXPECT_EQ(filterOf(peerOf(firstPin(splitter, PINDIR_INPUT).get()).get()).get(), device->SourceFilter());
    engine.man->ClearGraph();
    EXPECT_FALSE(fileIsOpen(file));
}

// With the private filters, what the table leaves to "any other" goes to the
// private splitter behind the file source, and plays: raw DV, and a file
// without an extension.
TEST(MediaFactory, AnyOtherExtensionPlaysThroughThePrivateSplitter)
{
    TPrivateFactories::Instance().Clear();
    RegisterPrivateLAVFilters(QStringLiteral(KESTROVA_PRIVATE_FOLDER));
    QTemporaryDir dir;
    const struct
    {
        QString file;
        int width;
    } files[] = {
        {clip("dv_pal.dv"), 720},
        {copyClip(dir, "h264.mkv", QStringLiteral("holidays")), 320},
        {copyClip(dir, "mpeg1.mpg", QStringLiteral("holidays.mpg.part")), 320},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.file.toStdString());
        Engine engine;
        TFileDevice* device = engine.factory->GetFileDevice(f.file);
        ASSERT_TRUE(device && device->Built());
        EXPECT_EQ(device->SourceRec(), engine.factory->FileSourceRec());
        EXPECT_EQ(device->SplitterRec(), &PrivateFilterRecs().LAVSplitter);
        ASSERT_TRUE(device->SplitterFilter());
        CLSID splitter = GUID_NULL;
        device->SplitterFilter()->GetClassID(&splitter);
        EXPECT_EQ(splitter, CLSID_PrivateSplitter);
        EXPECT_EQ(device->VideoCount(), 1);
        EXPECT_EQ(device->AudioCount(), 1);

        TVideoSource* video = engine.connectVideo(device, device->VideoSource(0));
        ASSERT_TRUE(video);
        EXPECT_EQ(video->Notifier()->GetVideoData().width, f.width);
        ASSERT_TRUE(engine.man->Pause());
        EXPECT_EQ(shownFrame(engine.videoRenderer.get()), 0);
        engine.playToEnd();
        EXPECT_TRUE(engine.completed);
    }
    TPrivateFactories::Instance().Clear();
}
