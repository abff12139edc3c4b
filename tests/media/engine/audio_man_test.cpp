// The audio manager: the volume and its controls, muting and the fast rate
// on the graph's real volume, the status pictures, saving, a stream that
// cannot be decoded, and the sound reaching PulseAudio or the null output.

#include "av_fixture.h"

#include "framework/preferences/morvek_preferences.h"
#include "framework/widgets/text_gauge.h"
#include "media/filters/notify_messages.h"
#include "platform/renderers/audio/audio_output.h"
#include "platform/win/messages.h"
#include "platform/win/registry.h"

#include <gtest/gtest.h>

using namespace testing_engine;

namespace {

// What the graph plays at.
LONG graphVolume(TNavMan& nav)
{
    LONG volume = -1;
    ComPtr<IGraphBuilder>(nav.GraphBuilder()).as<IBasicAudio>()->get_Volume(&volume);
    return volume;
}

// An environment variable set, or unset with null, for one scope.
struct ScopedEnv
{
    ScopedEnv(const char* name, const char* value)
        : name(name), old(qgetenv(name)), was(qEnvironmentVariableIsSet(name))
    {
        value ? qputenv(name, value) : qunsetenv(name);
    }
    ~ScopedEnv() { was ? qputenv(name, old) : qunsetenv(name); }
    const char* name;
    QByteArray old;
    bool was;
};

// The sound of a clip plays until the output has played `played` (100 ns).
AudioRenderer* playSound(AVManagers& m, const char* clipName, REFERENCE_TIME played)
{
    EXPECT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(m.open(clipName))));
    auto* renderer = dynamic_cast<AudioRenderer*>(m.audio->Renderer());
    EXPECT_TRUE(renderer);
    if (!renderer)
        return nullptr;
    m.nav->Pause();
    m.nav->Play();
    EXPECT_TRUE(m.serveUntil([&] { return renderer->playedTime() >= played; }));
    return renderer;
}

} // namespace

TEST(AudioMan, VolumeStepsClampAndShowOnTheControls)
{
    std::unique_ptr<TAudioMan> audio(TKvActionComponent::Create<TAudioMan>(nullptr));
    TTextGauge gauge;
    QSlider slider;
    audio->SetAudioGauge(&gauge);
    audio->SetAudioSlider(&slider);
    EXPECT_EQ(gauge.MaxValue(), 10000);
    EXPECT_EQ(gauge.AlertValue(), 11000);
    EXPECT_EQ(slider.maximum(), 10000);
    QList<int> reported;
    audio->OnVolume = [&](int volume) { reported.append(volume); };

    audio->iaVolume->SetValue(9500);
    audio->naIncVolume->Execute();
    EXPECT_EQ(audio->Volume(), 10000);
    EXPECT_EQ(audio->iaVolume->Value(), 10000);
    audio->iaVolume->SetValue(500);
    audio->naDecVolume->Execute();
    EXPECT_EQ(audio->Volume(), 0);
    EXPECT_EQ(audio->iaVolume->Value(), 0);
    audio->naIncVolume->Execute();
    audio->naIncVolume->Execute();
    EXPECT_EQ(audio->iaVolume->Value(), 2000);
    EXPECT_EQ(gauge.Progress(), 2000);
    EXPECT_EQ(slider.value(), 2000);
    audio->SetVolume(-5);
    EXPECT_EQ(audio->Volume(), 0);
    audio->SetVolume(20000);
    EXPECT_EQ(audio->Volume(), 10000);
    // The slider moved by hand sets the action, the one volume.
    slider.setValue(3000);
    EXPECT_EQ(audio->Volume(), 3000);
    EXPECT_EQ(audio->iaVolume->Value(), 3000);
    EXPECT_EQ(gauge.Progress(), 3000);
    EXPECT_EQ(reported.mid(reported.size() - 3), (QList<int>{0, 10000, 3000}));

    // Controls that go are forgotten.
    {
        QSlider gone;
        audio->SetAudioSlider(&gone);
    }
    audio->SetVolume(4000);
    EXPECT_EQ(slider.value(), 3000);
}

// Muted or at the fast rate the graph plays at 0, the controls keep the
// volume, and the volume comes back with the sound.
TEST(AudioMan, MuteAndTheFastRateSilenceTheGraphOnly)
{
    AVManagers m;
    TTextGauge gauge;
    QSlider slider;
    m.audio->SetAudioGauge(&gauge);
    m.audio->SetAudioSlider(&slider);
    m.audio->iaVolume->SetValue(6000);
    ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(m.open("h264.mp4"))));
    EXPECT_EQ(graphVolume(*m.nav), 6000);

    m.audio->caMute->SetChecked(true);
    EXPECT_EQ(m.audio->Status(), asMuted);
    EXPECT_EQ(graphVolume(*m.nav), 0);
    EXPECT_EQ(gauge.Progress(), 6000);
    EXPECT_EQ(slider.value(), 6000);
    m.audio->naIncVolume->Execute();
    EXPECT_EQ(graphVolume(*m.nav), 0);
    EXPECT_EQ(gauge.Progress(), 7000);
    m.audio->caMute->SetChecked(false);
    EXPECT_EQ(m.audio->Status(), asAudioOn);
    EXPECT_EQ(graphVolume(*m.nav), 7000);

    m.nav->VitesseRapide();
    EXPECT_EQ(graphVolume(*m.nav), 0);
    EXPECT_EQ(gauge.Progress(), 7000);
    m.audio->naDecVolume->Execute();
    EXPECT_EQ(graphVolume(*m.nav), 0);
    m.nav->VitesseNormale();
    EXPECT_EQ(graphVolume(*m.nav), 6000);
    // A file connected while the rate is fast starts silent too.
    m.audio->DisconnectAudio();
    m.nav->VitesseRapide();
    ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(m.open("mpeg1.mpg"))));
    EXPECT_EQ(graphVolume(*m.nav), 0);
    m.nav->VitesseNormale();
    EXPECT_EQ(graphVolume(*m.nav), 6000);
}

// What is saved is what the user hears at normal rate: the graph's volume
// only while the graph plays at it.
TEST(AudioMan, PreferencesKeepTheVolumeAndTheDecoderChoices)
{
    QTemporaryDir dir;
    RegistryStore registry(dir.filePath(QStringLiteral("registry.reg")));
    TMorvekPreferences gp(nullptr, &registry);
    gp.SetProgramFolder(dir.path());
    gp.SetTitre(QStringLiteral("Kestrova"));
    gp.SetMode(spPortable);
    const auto saved = [&](AVManagers& m) {
        EXPECT_TRUE(gp.OpenKey(QStringLiteral("MainForm")));
        EXPECT_TRUE(m.audio->SavePrefs(gp));
        EXPECT_TRUE(m.video->SavePrefs(gp));
        const int volume = gp.ReadInteger(QStringLiteral("Volume"), -1);
        gp.CloseKey();
        return volume;
    };

    QString videoDecoder, audioDecoder;
    {
        AVManagers m;
        m.audio->iaVolume->SetValue(4000);
        EXPECT_EQ(saved(m), 4000);
        TFileDevice* device = m.open("h264.mp4");
        ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(device)));
        ASSERT_TRUE(m.video->ConnectVideo(AVManagers::videoOf(device)));
        videoDecoder = m.video->Decoders().CurrentDecoder()->Name();
        audioDecoder = m.audio->Decoders().CurrentDecoder()->Name();
        ComPtr<IGraphBuilder>(m.nav->GraphBuilder()).as<IBasicAudio>()->put_Volume(2500);
        EXPECT_EQ(saved(m), 2500);
        m.audio->SetVolume(4000);
        m.audio->caMute->SetChecked(true);
        EXPECT_EQ(saved(m), 4000);
        m.audio->caMute->SetChecked(false);
        m.nav->VitesseRapide();
        EXPECT_EQ(saved(m), 4000);
        m.nav->VitesseNormale();
        m.audio->DisconnectAudio();
        EXPECT_EQ(saved(m), 4000);
    }
    ASSERT_EQ(UserVideoLinks().Count(), 0);
    {
        AVManagers m;
        ASSERT_TRUE(gp.OpenKey(QStringLiteral("MainForm")));
        EXPECT_TRUE(m.audio->LoadPrefs(gp));
        EXPECT_TRUE(m.video->LoadPrefs(gp));
        gp.CloseKey();
        EXPECT_EQ(m.audio->Volume(), 4000);
        ASSERT_EQ(UserVideoLinks().Count(), 1);
        ASSERT_EQ(UserAudioLinks().Count(), 1);
        EXPECT_EQ(UserVideoLinks().Link(0).Rec->Name(), videoDecoder);
        EXPECT_EQ(UserAudioLinks().Link(0).Rec->Name(), audioDecoder);
    }
}

TEST(AudioMan, TheStatusPictureFollowsTheSound)
{
    TCustomImageList images;
    FillAudioStatusImages(images);
    ASSERT_EQ(images.Count(), 5);
    QLabel picture;
    picture.resize(16, 16);
    const auto shows = [&](int index) {
        return picture.pixmap().toImage() == images.Icon(index).pixmap(picture.size()).toImage();
    };

    QTemporaryDir dir;
    // The wave's format tag made one that nothing decodes.
    const QString unreadable = patchedClip(dir, "audio_only.wav", QByteArray("fmt \x10\0\0\0\x01\0", 10),
                                           QByteArray("fmt \x10\0\0\0\x77\x77", 10), "data");
    AVManagers m;
    QList<TAudioStatus> statuses;
    QStringList events;
    m.audio->OnStatus = [&](TAudioStatus status) { statuses.append(status); };
    m.audio->OnNotifyAudioDecoder = [&](const QString& text) { events.append(text); };
    m.audio->OnNotifyAudioFormat = [&](const QString& text) { events.append(text); };
    m.audio->SetAudioImage(&picture);
    m.audio->SetAudioImages(&images);
    EXPECT_TRUE(shows(0));

    EXPECT_FALSE(m.audio->ConnectAudio(AVManagers::audioOf(m.open(unreadable))));
    EXPECT_TRUE(shows(1));
    EXPECT_EQ(m.audio->Status(), asBadAudio);
    EXPECT_EQ(events, (QStringList{"No Audio decoder", "No Audio"}));
    EXPECT_FALSE(inGraph(m.audio->Renderer()));

    ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(m.open("audio_only.wav"))));
    EXPECT_TRUE(shows(4));
    m.audio->caMute->SetChecked(true);
    EXPECT_TRUE(shows(3));
    m.audio->DisconnectAudio();
    EXPECT_TRUE(shows(0));
    // Muting without sound changes no status.
    m.audio->caMute->SetChecked(false);
    EXPECT_EQ(statuses,
              (QList<TAudioStatus>{asNoAudio, asNoAudio, asNoAudio, asBadAudio, asAudioOn, asMuted, asNoAudio}));
}

TEST(AudioMan, OnlyTheFormatRecordReportsTheFormat)
{
    std::unique_ptr<TAudioMan> audio(TKvActionComponent::Create<TAudioMan>(nullptr));
    QStringList reports;
    audio->OnNotifyAudioFormat = [&](const QString& text) { reports.append(text); };
    TframeData data;
    data.audioText = QStringLiteral("PCM 48000Hz 16bits  stereo");
    for (WPARAM kind : {WPARAM(0), WPARAM(2), WPARAM(4), kAudioDataFormat})
        SendMessage(audio->Handle(), WM_AUDIODATA, kind, reinterpret_cast<LPARAM>(&data));
    SendMessage(audio->Handle(), WM_AUDIODATA, kAudioDataFormat, 0);
    EXPECT_EQ(reports, QStringList{data.audioText});
}

TEST(AudioMan, TheNextDecoderKeepsTheResampler)
{
    AVManagers m;
    ASSERT_TRUE(m.audio->ConnectAudio(AVManagers::audioOf(m.open("mpeg2.ts"))));
    QStringList decoders;
    m.audio->OnNotifyAudioDecoder = [&](const QString& text) { decoders.append(text); };
    m.audio->naNextDecoderAudio->Execute();
    ASSERT_EQ(decoders.size(), 1);
    EXPECT_EQ(decoders[0], m.audio->Decoders().CurrentDecoder()->Name());
    EXPECT_EQ(upstreamOf(m.audio->Renderer()).get(), static_cast<IBaseFilter*>(m.audio->Resampler()));
    EXPECT_EQ(m.audio->Resampler()->outputRate(), 44100);
}

TEST(AudioMan, SoundReachesThePulseAudioNullSink)
{
    if (!openPulseOutput(WAVEFORMATEX{1, 2, 44100, 44100 * 4, 4, 16, 0}))
        GTEST_SKIP() << "no PulseAudio server answers; scripts/pulse.sh starts one";
    const ScopedEnv automatic("KESTROVA_AUDIO", nullptr);
    AVManagers m;
    AudioRenderer* renderer = playSound(m, "dv_pal.avi", 3'000'000);
    ASSERT_TRUE(renderer);
    EXPECT_TRUE(renderer->playsThroughPulse());
    // The renderer's clock, the graph's, keeps the sound's pace.
    const auto clock = ComPtr<IBaseFilter>(m.audio->Renderer()).as<IReferenceClock>();
    REFERENCE_TIME before = 0, after = 0;
    clock->GetTime(&before);
    const REFERENCE_TIME played = renderer->playedTime();
    m.serveUntil([&] { return renderer->playedTime() >= played + 2'000'000; });
    clock->GetTime(&after);
    EXPECT_GE(after - before, 1'500'000);
    m.nav->Stop();
}

TEST(AudioMan, WithoutAServerTheSoundGoesToTheNullOutput)
{
    QTemporaryDir dir;
    const QByteArray nowhere = "unix:" + QFile::encodeName(dir.filePath(QStringLiteral("no-server")));
    const ScopedEnv automatic("KESTROVA_AUDIO", nullptr);
    const ScopedEnv server("PULSE_SERVER", nowhere.constData());
    AVManagers m;
    AudioRenderer* renderer = playSound(m, "audio_only.wav", 3'000'000);
    ASSERT_TRUE(renderer);
    EXPECT_FALSE(renderer->playsThroughPulse());
    m.nav->Stop();
}
