#include "engine_fixture.h"
#include "framework/preferences/ini_preferences.h"
#include "framework/preferences/reg_preferences.h"
#include "media/engine/decoder_man.h"
#include "media/engine/private_filters.h"
#include "media/filters/frames_notifier.h"
#include "media/private/private_classes.h"
#include "platform/core/class_registry.h"
#include "platform/core/module.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/pin_walk.h"
#include "platform/renderers/renderers.h"
#include "platform/win/registry.h"
#include "tests/common/qt_warnings.h"
#include "tests/media/clip_reader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr CLSID kPrivateVideo = CLSID_PrivateVideoDecoder;
constexpr CLSID kPrivateAudio = CLSID_PrivateAudioDecoder;
constexpr CLSID kPrivateSource = CLSID_PrivateSplitterSource;

// The registry the settings files go into: a file of the test's own.
void UseTestRegistry()
{
    static QTemporaryDir dir;
    static const bool set = qputenv("KESTROVA_REGISTRY", dir.filePath(QStringLiteral("registry.reg")).toUtf8());
    (void)set;
}

QString BuiltPrivateFolder()
{
    return QStringLiteral(KESTROVA_PRIVATE_FOLDER);
}

bool IsMapped(const QString& path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(QFile::encodeName(path));
}

void RegisterFilters()
{
    static const bool registered = (RegisterSystemFilters(), RegisterRenderers(), true);
    (void)registered;
}

ComPtr<IBaseFilter> Create(const CLSID& classId)
{
    RegisterFilters();
    return testing_engine::createFilter(classId);
}

CLSID ClassOf(IBaseFilter* filter)
{
    CLSID classId = GUID_NULL;
    filter->GetClassID(&classId);
    return classId;
}

// The filter just upstream of the filter's first input, or null.
ComPtr<IBaseFilter> FeederOf(IBaseFilter* filter)
{
    const ComPtr<IPin> peer = peerOf(firstPin(filter, PINDIR_INPUT).get());
    return peer ? filterOf(peer.get()) : nullptr;
}

// A clip opened by a source on a graph manager, its video and its sound
// decoded into the renderers by two decoder managers.
struct Playback
{
    Playback()
    {
        RegisterFilters();
        video.SetGrapheMan(&man);
        audio.SetGrapheMan(&man);
        video.SetDecoderLinks(&videoDefaults, &videoUser, &NoVideoDecoderRec());
        audio.SetDecoderLinks(&audioDefaults, &audioUser, &NoAudioDecoderRec());
    }
    ~Playback()
    {
        man.ClearGraph();
        source = nullptr;
        // The records keep the instances they made; a graph taken down
        // drops them.
        TPrivateFilterRecs& recs = PrivateFilterRecs();
        for (TFilterRec* rec : {&recs.LAVSplitterSource, &recs.LAVVideo, &recs.LAVAudio})
            rec->SetFilter(nullptr);
    }

    bool Open(const QString& file, TFilterRec* sourceRec = nullptr)
    {
        source = sourceRec ? sourceRec->GetFilter() : Create(CLSID_PreferredSource);
        if (!source || FAILED(man.GraphBuilder()->AddFilter(source.get(), u"Source")))
            return false;
        const auto load = source.as<IFileSourceFilter>();
        return load && SUCCEEDED(load->Load(file.toStdU16String().c_str(), nullptr));
    }
    bool ConnectVideo()
    {
        renderer = Create(CLSID_VideoMixingRenderer9);
        man.GraphBuilder()->AddFilter(renderer.get(), u"Video Renderer");
        return video.ConnectWithDecoder(source.get(), renderer.get());
    }
    bool ConnectAudio()
    {
        sound = Create(CLSID_DSoundRender);
        man.GraphBuilder()->AddFilter(sound.get(), u"Audio Renderer");
        return audio.ConnectWithDecoder(source.get(), sound.get());
    }
    // The frame number the video renderer shows once paused; -1 without one.
    int ShownFrame()
    {
        man.Pause();
        man.WaitGraphState();
        return testing_engine::shownFrame(renderer.get());
    }

    TGrapheMan man;
    TDecoderLinks videoDefaults, videoUser, audioDefaults, audioUser;
    TDecoderMan video, audio;
    ComPtr<IBaseFilter> source, renderer, sound;
};

struct PrivateModule : ::testing::Test
{
    void SetUp() override
    {
        TPrivateFactories::Instance().Clear();
        RegisterPrivateLAVFilters(BuiltPrivateFolder());
    }
    void TearDown() override { TPrivateFactories::Instance().Clear(); }
};

} // namespace

TEST(DecoderChoice, EachStreamOfEachClipConnectsThroughTheDecoderTheRulesChoose)
{
    TFilterRec systemVideo(CLSID_KestrovaVideoDecoder, fkRegistered, QStringLiteral("System video"));
    TFilterRec systemAudio(CLSID_KestrovaAudioDecoder, fkRegistered, QStringLiteral("System audio"));
    TFilterRec unknown("{0D1E2C3B-0000-4000-8000-0000000000FF}"_guid, fkRegistered, QStringLiteral("Unknown"));
    TFilterRec& privateVideo = PrivateFilterRecs().LAVVideo;
    TFilterRec& privateAudio = PrivateFilterRecs().LAVAudio;
    TPrivateFactories::Instance().Clear();
    RegisterPrivateLAVFilters(BuiltPrivateFolder());

    struct Case
    {
        const char* name;
        TFilterRec* linked;
        std::vector<TFilterRec*> preferred;
        bool excludeSystem; // the system decoder is in the default links
        CLSID video;        // the decoder expected; null when none connects
        CLSID audio;
    };
    const Case cases[] = {
        {"automatic", nullptr, {}, false, CLSID_KestrovaVideoDecoder, CLSID_KestrovaAudioDecoder},
        {"linked first", &privateVideo, {&systemVideo}, false, kPrivateVideo, CLSID_KestrovaAudioDecoder},
        {"preferred in order",
         nullptr,
         {&unknown, &privateVideo, &systemVideo},
         false,
         kPrivateVideo,
         CLSID_KestrovaAudioDecoder},
        {"none record skipped",
         &NoVideoDecoderRec(),
         {&systemVideo},
         false,
         CLSID_KestrovaVideoDecoder,
         CLSID_KestrovaAudioDecoder},
        {"excluded never picked", nullptr, {}, true, GUID_NULL, GUID_NULL},
        {"excluded but preferred", nullptr, {&systemVideo}, true, CLSID_KestrovaVideoDecoder, GUID_NULL},
    };
    for (const char* clipName : {"h264.mp4", "h264.mkv", "mpeg1.mpg", "wmv.wmv"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(clipName) + ": " + c.name);
            Playback p;
            ASSERT_TRUE(p.Open(clips::path(QString::fromUtf8(clipName))));
            p.video.SetLinkedDecoder(c.linked);
            for (TFilterRec* rec : c.preferred)
                p.video.PreferredDecoders().append(rec);
            if (c.linked == &privateVideo)
                p.audio.SetLinkedDecoder(&privateAudio);
            if (c.excludeSystem) {
                p.videoDefaults.Add(MEDIATYPE_Video, GUID_NULL, GUID_NULL, &systemVideo);
                p.audioDefaults.Add(MEDIATYPE_Audio, GUID_NULL, GUID_NULL, &systemAudio);
            }
            const CLSID expectedAudio = c.linked == &privateVideo ? kPrivateAudio : c.audio;

            ASSERT_EQ(p.ConnectVideo(), c.video != GUID_NULL);
            ASSERT_EQ(p.ConnectAudio(), expectedAudio != GUID_NULL);
            if (c.video == GUID_NULL)
                continue;
            EXPECT_EQ(p.video.CurrentDecoder()->ClassId(), c.video);
            // The decoder in the graph is the one the record names, and the
            // choice is remembered under the stream's media type.
            const ComPtr<IBaseFilter> decoder = FeederOf(p.renderer.get());
            ASSERT_TRUE(decoder);
            EXPECT_EQ(ClassOf(decoder.get()), c.video == kPrivateVideo ? CLSID_KestrovaVideoDecoder : c.video);
            EXPECT_EQ(p.videoUser.GetDecoder(p.video.MajorType(), p.video.SubType(), p.video.FormatType()),
                      p.video.CurrentDecoder());
            EXPECT_EQ(p.video.MajorType(), MEDIATYPE_Video);
            if (expectedAudio != GUID_NULL) {
                EXPECT_EQ(p.audio.CurrentDecoder()->ClassId(), expectedAudio);
            }
            EXPECT_EQ(p.ShownFrame(), 0);
        }
    }
    TPrivateFactories::Instance().Clear();
}

TEST(DecoderChoice, NextDecoderCyclesThroughTheCandidatesAndThePictureStillPlays)
{
    TPrivateFactories::Instance().Clear();
    RegisterPrivateLAVFilters(BuiltPrivateFolder());
    TFilterRec systemVideo(CLSID_KestrovaVideoDecoder, fkRegistered, QStringLiteral("System video"));
    Playback p;
    ASSERT_TRUE(p.Open(clips::path(QStringLiteral("h264.mp4"))));
    p.video.PreferredDecoders() = {&PrivateFilterRecs().LAVVideo, &systemVideo};
    ASSERT_TRUE(p.ConnectVideo());

    // The preferred ones in order, then the automatic choice; once that is
    // excluded the search starts again from the top.
    const struct
    {
        CLSID decoder;
        int phase;
    } steps[] = {
        {kPrivateVideo, TDecoderMan::phChosen},
        {CLSID_KestrovaVideoDecoder, TDecoderMan::phChosen},
        {CLSID_KestrovaVideoDecoder, TDecoderMan::phAutomatic},
        {kPrivateVideo, TDecoderMan::phChosen},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            ASSERT_TRUE(p.video.NextDecoder());
            EXPECT_EQ(p.man.GraphState(), kGraphStatePaused);
        }
        EXPECT_EQ(p.video.CurrentDecoder()->ClassId(), steps[i].decoder);
        EXPECT_EQ(p.video.Phase(), steps[i].phase);
        EXPECT_EQ(p.ShownFrame(), 0);
    }
    // The automatic choice that was stepped away from is no longer linked.
    EXPECT_EQ(p.videoUser.GetDecoder(p.video.MajorType(), p.video.SubType(), p.video.FormatType()),
              &PrivateFilterRecs().LAVVideo);

    // Playing stays playing across a step.
    ASSERT_TRUE(p.man.Play());
    p.man.WaitGraphState();
    ASSERT_TRUE(p.video.NextDecoder());
    EXPECT_EQ(p.man.GraphState(), kGraphStatePlaying);
    p.man.Stop();
    p.video.ClearExcluded();
    EXPECT_TRUE(p.video.Excluded().isEmpty());
    EXPECT_EQ(p.video.Phase(), TDecoderMan::phNotStarted);
    TPrivateFactories::Instance().Clear();
}

TEST(DecoderChoice, FiltersAfterTheDecoderAreSplicedInWhileEachFits)
{
    const auto frames = makeCom<TFramesNotifier>();
    const ComPtr<IBaseFilter> onePin = Create(CLSID_VideoMixingRenderer9);
    ASSERT_TRUE(onePin);
    TFilterRec notifier(TFramesNotifier::classId, fkInstance, QStringLiteral("Frames"));
    TFilterRec misfit(CLSID_VideoMixingRenderer9, fkInstance, QStringLiteral("Misfit"));
    const struct
    {
        TFilterRec* post;
        bool spliced; // the notifier sits between the decoder and the renderer
    } cases[] = {{nullptr, true}, {&misfit, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spliced);
        notifier.SetFilter(frames.get());
        misfit.SetFilter(onePin.get());
        Playback p;
        p.video.SetPostDecoderFilter(c.post);
        p.video.SetFramesNotifier(&notifier);
        ASSERT_TRUE(p.Open(clips::path(QStringLiteral("h264.mp4"))));
        ASSERT_TRUE(p.ConnectVideo());
        const ComPtr<IBaseFilter> feeder = FeederOf(p.renderer.get());
        ASSERT_TRUE(feeder);
        EXPECT_EQ(feeder.get() == static_cast<IBaseFilter*>(frames.get()), c.spliced);
        if (!c.spliced) {
            // The filter that did not fit is excluded, out of the graph, and
            // the decoder feeds the renderer as before.
            EXPECT_TRUE(p.video.Excluded().contains(GuidText(CLSID_VideoMixingRenderer9)));
            EXPECT_EQ(ClassOf(feeder.get()), CLSID_KestrovaVideoDecoder);
            FILTER_INFO info;
            onePin->QueryFilterInfo(&info);
            EXPECT_FALSE(info.pGraph);
        }
        EXPECT_EQ(p.ShownFrame(), 0);
        // Stepping takes the spliced filters out and puts them back.
        if (c.spliced) {
            ASSERT_TRUE(p.video.NextDecoder());
            EXPECT_EQ(FeederOf(p.renderer.get()).get(), static_cast<IBaseFilter*>(frames.get()));
            EXPECT_EQ(p.ShownFrame(), 0);
        }
    }
}

TEST(DecoderChoice, TheDefaultLinksExcludeTheirDecodersForMatchingMediaTypesOnly)
{
    // An automatic connection of a stream whose subtype is listed excludes
    // the listed decoder.
    Playback p;
    p.video.SetDecoderLinks(&DefaultVideoLinks(), &p.videoUser, &NoVideoDecoderRec());
    ASSERT_TRUE(p.Open(clips::path(QStringLiteral("h264.mp4"))));
    ASSERT_TRUE(p.ConnectVideo());
    const bool listed = DefaultVideoLinks().GetDecoder(MEDIATYPE_Video, p.video.SubType(), GUID_NULL);
    EXPECT_EQ(p.video.Excluded().contains(GuidText(DtvDvdVideoDecoderRec().ClassId())), listed);
    p.audio.SetDecoderLinks(&DefaultAudioLinks(), &p.audioUser, &NoAudioDecoderRec());
    ASSERT_TRUE(p.ConnectAudio());
    EXPECT_TRUE(p.audio.Excluded().isEmpty()) << "AAC is no AC-3";
}

TEST(DecoderLinks, ChoicesSurviveASaveAndLoadThroughBothStores)
{
    QTemporaryDir dir;
    RegistryStore registry(dir.filePath(QStringLiteral("prefs.reg")));
    const QString iniFile = dir.filePath(QStringLiteral("prefs.ini"));
    const std::function<std::unique_ptr<TPreferencesMan>()> stores[] = {
        [&] { return std::make_unique<TRegPreferencesMan>(registry, QStringLiteral("Software\\Test")); },
        [&] { return std::make_unique<TIniPreferencesMan>(iniFile); },
    };
    const GUID subA = "{00000001-0000-0010-8000-00AA00389B71}"_guid;
    const GUID subB = "{00000002-0000-0010-8000-00AA00389B71}"_guid;
    const GUID subC = "{00000003-0000-0010-8000-00AA00389B71}"_guid;
    TFilterRec system(CLSID_KestrovaVideoDecoder, fkRegistered, QStringLiteral("Video Decoder"));
    TFilterRec held(GUID_NULL, fkInstance, QStringLiteral("Held"));
    const auto save = [](TPreferencesMan& store, const TDecoderLinks& links) {
        ASSERT_TRUE(store.OpenKey(QStringLiteral("VideoDecoders"), true));
        links.SaveToPrefs(store);
        store.CloseKey();
        QString error;
        ASSERT_TRUE(store.EndUpdate(error)) << error.toStdString();
    };
    const auto load = [](TPreferencesMan& store, TDecoderLinks& links) {
        ASSERT_TRUE(store.OpenKey(QStringLiteral("VideoDecoders"), false));
        links.LoadFromPrefs(store);
        store.CloseKey();
    };
    for (size_t s = 0; s < std::size(stores); ++s) {
        SCOPED_TRACE(s);
        TDecoderLinks links;
        links.Add(MEDIATYPE_Video, subA, GUID_NULL, &system);
        links.Add(MEDIATYPE_Video, subB, FORMAT_VideoInfo, &held); // not saved, leaves a gap
        links.Add(MEDIATYPE_Video, subC, FORMAT_VideoInfo, &PrivateFilterRecs().LAVVideo);
        save(*stores[s](), links);

        TDecoderLinks loaded;
        {
            const auto store = stores[s]();
            ASSERT_TRUE(store->OpenKey(QStringLiteral("VideoDecoders"), false));
            QStringList names;
            store->GetKeyNames(names);
            EXPECT_EQ(names, (QStringList{QStringLiteral("dc0"), QStringLiteral("dc2")}));
            store->CloseKey();
            load(*store, loaded);
        }
        ASSERT_EQ(loaded.Count(), 2);
        const TFilterRec* a = loaded.GetDecoder(MEDIATYPE_Video, subA, GUID_NULL);
        const TFilterRec* c = loaded.GetDecoder(MEDIATYPE_Video, subC, FORMAT_VideoInfo);
        ASSERT_TRUE(a && c);
        EXPECT_EQ(a->ClassId(), CLSID_KestrovaVideoDecoder);
        EXPECT_EQ(a->Kind(), fkRegistered);
        EXPECT_EQ(a->Name(), QStringLiteral("Video Decoder"));
        EXPECT_EQ(c->ClassId(), kPrivateVideo);
        EXPECT_EQ(c->Kind(), fkPrivate);
        EXPECT_FALSE(loaded.GetDecoder(MEDIATYPE_Video, subB, FORMAT_VideoInfo));

        // A choice the user removed stays removed after the next save.
        loaded.Remove(MEDIATYPE_Video, subA, GUID_NULL);
        save(*stores[s](), loaded);
        TDecoderLinks again;
        load(*stores[s](), again);
        ASSERT_EQ(again.Count(), 1);
        EXPECT_TRUE(again.GetDecoder(MEDIATYPE_Video, subC, FORMAT_VideoInfo));
    }
}

// The automatic search names the decoder it found by a record of the
// program's list: one record however often it is found, still there to be
// saved after its manager has gone, and the same record when it is loaded.
TEST(DecoderLinks, AFoundDecoderHasOneRecordThatOutlivesItsManager)
{
    TDecoderLinks user;
    const TFilterRec* found = nullptr;
    int records = 0;
    {
        Playback p;
        p.video.SetDecoderLinks(&p.videoDefaults, &user, &NoVideoDecoderRec());
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            ASSERT_TRUE(p.Open(clips::path(QStringLiteral("h264.mp4"))));
            ASSERT_TRUE(p.ConnectVideo());
            if (round == 0) {
                found = p.video.CurrentDecoder();
                records = TFilterRecs::Instance().Count();
            }
            ASSERT_TRUE(found);
            EXPECT_EQ(p.video.CurrentDecoder(), found);
            EXPECT_EQ(TFilterRecs::Instance().Count(), records);
            p.man.ClearGraph();
        }
        // Stepping on excludes it, and the search finds it again after the
        // exclusions are cleared.
        ASSERT_TRUE(p.Open(clips::path(QStringLiteral("h264.mp4"))));
        ASSERT_TRUE(p.ConnectVideo());
        EXPECT_TRUE(p.video.NextDecoder());
        EXPECT_EQ(TFilterRecs::Instance().Count(), records);
    }
    EXPECT_TRUE(TFilterRecs::Instance().Contains(found));
    EXPECT_EQ(found->ClassId(), CLSID_KestrovaVideoDecoder);
    const QString name = found->Name();
    EXPECT_FALSE(name.isEmpty());

    QTemporaryDir dir;
    TIniPreferencesMan store(dir.filePath(QStringLiteral("prefs.ini")));
    ASSERT_TRUE(store.OpenKey(QStringLiteral("VideoDecoders"), true));
    user.SaveToPrefs(store);
    store.CloseKey();
    QString error;
    ASSERT_TRUE(store.EndUpdate(error)) << error.toStdString();
    ASSERT_TRUE(store.OpenKey(QStringLiteral("VideoDecoders"), false));
    QStringList keys;
    store.GetKeyNames(keys);
    EXPECT_EQ(keys.size(), 1);
    // Loaded twice, the choice is still the one record.
    for (int load = 0; load < 2; ++load) {
        TDecoderLinks loaded;
        loaded.LoadFromPrefs(store);
        ASSERT_EQ(loaded.Count(), 1);
        EXPECT_EQ(loaded.Link(0).Rec, found);
    }
    store.CloseKey();
    EXPECT_EQ(TFilterRecs::Instance().Count(), records);
}

TEST(DecoderLinks, AddReplacesTheRecordOfAMediaTypeAndRemoveTakesOnlyThatType)
{
    TFilterRec one(CLSID_KestrovaVideoDecoder, fkRegistered, QStringLiteral("one"));
    TFilterRec two(CLSID_KestrovaAudioDecoder, fkRegistered, QStringLiteral("two"));
    TDecoderLinks links;
    links.Add(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL, &one);
    links.Add(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, &one);
    links.Add(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL, &two);
    EXPECT_EQ(links.Count(), 2);
    EXPECT_EQ(links.GetDecoder(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL), &two);
    links.Remove(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL);
    EXPECT_FALSE(links.GetDecoder(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL));
    EXPECT_EQ(links.GetDecoder(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo), &one);
}

TEST_F(PrivateModule, ThePrivateSplitterAndDecodersPlayAClip)
{
    Playback p;
    p.video.PreferredDecoders() = {&PrivateFilterRecs().LAVVideo};
    p.audio.PreferredDecoders() = {&PrivateFilterRecs().LAVAudio};
    ASSERT_TRUE(p.Open(clips::path(QStringLiteral("h264.mp4")), &PrivateFilterRecs().LAVSplitterSource));
    EXPECT_EQ(ClassOf(p.source.get()), kPrivateSource);
    ASSERT_TRUE(p.ConnectVideo());
    ASSERT_TRUE(p.ConnectAudio());
    EXPECT_EQ(p.video.CurrentDecoder(), &PrivateFilterRecs().LAVVideo);
    EXPECT_EQ(p.audio.CurrentDecoder(), &PrivateFilterRecs().LAVAudio);
    EXPECT_EQ(p.ShownFrame(), 0);
}

TEST_F(PrivateModule, SettingsAreImportedAndDeletedAgain)
{
    UseTestRegistry();
    const QString regFile = QDir(BuiltPrivateFolder()).filePath(QStringLiteral("LBV.reg"));
    EXPECT_EQ(InstallPrivateLAV(regFile), QString());
    EXPECT_TRUE(RegistryStore::instance().keyExists(QStringLiteral("Software\\LBV\\Splitter")));
    EXPECT_TRUE(UninstallPrivateLAV());
    EXPECT_FALSE(RegistryStore::instance().keyExists(QStringLiteral("Software\\LBV")));
}

TEST_F(PrivateModule, ASettingsFileThatCannotBeImportedIsReported)
{
    UseTestRegistry();
    UninstallPrivateLAV();
    QTemporaryDir dir;
    const QString regFile = dir.filePath(QStringLiteral("LBV.reg"));
    QFile file(regFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[HKEY_CURRENT_USER\\Software\\LBV]\r\nnot a registry file\r\n");
    file.close();
    const TExpectQtWarning told(QStringLiteral("not a registry file"));
    EXPECT_EQ(InstallPrivateLAV(regFile),
              QStringLiteral("Impossible to install the private  LAV filters.\r\nThe file %1 could not be imported")
                  .arg(regFile));
    EXPECT_FALSE(RegistryStore::instance().keyExists(QStringLiteral("Software\\LBV")));
    EXPECT_EQ(told.Count(), 1);
}

TEST_F(PrivateModule, WithTheModulesMovedAwayTheMessageAppearsAndTheSystemFiltersTakeOver)
{
    UseTestRegistry();
    QTemporaryDir dir;
    const QString moved = dir.filePath(QStringLiteral("LAV"));
    ASSERT_TRUE(QDir().mkpath(moved));
    const QString regFile = QDir(moved).filePath(QStringLiteral("LBV.reg"));
    const struct
    {
        QString message;
        QString expected;
    } texts[] = {
        {InstallPrivateLAV(regFile),
         QStringLiteral("Impossible to install the private  LAV filters.\r\nThe file %1 is missing").arg(regFile)},
        {InstallPrivateFfdshow(dir.filePath(QStringLiteral("ffdshow/KVR.reg"))),
         QStringLiteral("Impossible to install the private ffdshow filters.\r\nThe file %1 is missing")
             .arg(dir.filePath(QStringLiteral("ffdshow/KVR.reg")))},
        {InstallPrivateVSFilter(dir.filePath(QStringLiteral("VSFilter/VS.reg"))),
         QStringLiteral("Impossible to install the private VSFilter.\r\nThe file %1 is missing")
             .arg(dir.filePath(QStringLiteral("VSFilter/VS.reg")))},
    };
    for (const auto& t : texts)
        EXPECT_EQ(t.message, t.expected);

    TPrivateFactories::Instance().Clear();
    RegisterPrivateLAVFilters(moved);
    RegisterPrivateFfdshowFilters(dir.filePath(QStringLiteral("ffdshow/ffdshow.ax")));
    RegisterPrivateVSFilter(dir.filePath(QStringLiteral("VSFilter/VSFilter.dll")));
    for (TFilterRec* rec : {&PrivateFilterRecs().LAVSplitterSource, &PrivateFilterRecs().LAVVideo,
                            &PrivateFilterRecs().FfdshowVideo, &PrivateFilterRecs().VSFilter})
        EXPECT_FALSE(rec->GetFilter()) << rec->Name().toStdString();

    Playback p;
    p.video.PreferredDecoders() = {&PrivateFilterRecs().LAVVideo};
    ASSERT_FALSE(p.Open(clips::path(QStringLiteral("h264.mp4")), &PrivateFilterRecs().LAVSplitterSource));
    ASSERT_TRUE(p.Open(clips::path(QStringLiteral("h264.mp4"))));
    ASSERT_TRUE(p.ConnectVideo());
    EXPECT_EQ(p.video.CurrentDecoder()->ClassId(), CLSID_KestrovaVideoDecoder);
    EXPECT_EQ(p.ShownFrame(), 0);
}

TEST(PrivateFactories, AModuleThatMisbehavesIsReportedMissingAndUnloaded)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Misbehaving.ax"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTROVA_MISBEHAVING_MODULE), path));
    const CLSID classes[] = {
        "{0D1E2C3B-0000-4000-8000-000000000001}"_guid, // the entry point fails
        "{0D1E2C3B-0000-4000-8000-000000000002}"_guid, // success without a factory
        "{0D1E2C3B-0000-4000-8000-000000000003}"_guid, // the factory fails
        "{0D1E2C3B-0000-4000-8000-000000000004}"_guid, // the entry point throws
        "{0D1E2C3B-0000-4000-8000-000000000005}"_guid, // the factory throws
        "{0D1E2C3B-0000-4000-8000-000000000006}"_guid, // a class it lacks
    };
    TPrivateFactories::Instance().Clear();
    for (const CLSID& classId : classes) {
        SCOPED_TRACE(classId.toString());
        TPrivateFactories::Instance().Add(classId, path);
        TFilterRec rec(classId, fkPrivate, QStringLiteral("Misbehaving"));
        EXPECT_FALSE(rec.GetFilter());
    }
    TPrivateFactories::Instance().Add(classes[0], dir.filePath(QStringLiteral("Missing.ax")));
    EXPECT_FALSE(TPrivateFactories::Instance().Find(classes[0])->Factory());
    TPrivateFactories::Instance().Clear();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsMapped(path));
}

TEST(PrivateFactories, TheLaterEntryForAClassWins)
{
    TPrivateFactories::Instance().Clear();
    const QString module = QDir(BuiltPrivateFolder()).filePath(QStringLiteral("LAVVideo.ax"));
    TPrivateFactories::Instance().Add(kPrivateVideo, module);
    TPrivateFactories::Instance().Add(kPrivateVideo, module + QStringLiteral(".gone"));
    EXPECT_FALSE(TPrivateFactories::Instance().Find(kPrivateVideo)->Factory());
    EXPECT_FALSE(TFilterRec(kPrivateVideo, fkPrivate, QString()).GetFilter());
    TPrivateFactories::Instance().Add(kPrivateVideo, module);
    EXPECT_TRUE(TFilterRec(kPrivateVideo, fkPrivate, QString()).GetFilter());
    TPrivateFactories::Instance().Clear();
}
