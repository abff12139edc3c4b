#include "av_fixture.h"

#include "platform/graph/pin_walk.h"
#include "platform/win/messages.h"

#include <QFile>
#include <gtest/gtest.h>

#include <chrono>

namespace testing_engine {

AVManagers::AVManagers()
    : engine(std::unique_ptr<TDVMan>(TKvActionComponent::Create<TNavMan>(nullptr))),
      nav(static_cast<TNavMan*>(engine.man.get())), video(TKvActionComponent::Create<TVideoMan>(nullptr)),
      audio(TKvActionComponent::Create<TAudioMan>(nullptr))
{
    host.resize(400, 300);
    host.show();
    video->SetWindow(&host);
}

AVManagers::~AVManagers()
{
    // The tests' handlers go with their tests' variables.
    video->OnNotifyVideoDecoder = nullptr;
    video->OnNotifyVideoFormat = nullptr;
    audio->OnNotifyAudioDecoder = nullptr;
    audio->OnNotifyAudioFormat = nullptr;
    audio->OnStatus = nullptr;
    audio->OnVolume = nullptr;
    nav->Stop();
    ProcessMessages();
    audio->DisconnectAudio();
    video->DisconnectVideoDevice(false);
    ProcessMessages();
    // The decoder choices of one test are not the next one's.
    UserVideoLinks().Clear();
    UserAudioLinks().Clear();
}

TFileDevice* AVManagers::open(const char* clipName)
{
    return open(clip(clipName));
}

TFileDevice* AVManagers::open(const QString& path)
{
    return engine.factory->GetFileDevice(path);
}

TVideoSource* AVManagers::videoOf(TFileDevice* device)
{
    return device && device->VideoSource(0) ? device->VideoSource(0) : NoVideoSource();
}

TAudioSource* AVManagers::audioOf(TFileDevice* device)
{
    return device && device->AudioSource(0) ? device->AudioSource(0) : NoAudioSource();
}

void AVManagers::wireInlay(TVideoSource* source)
{
    source->Notifier()->SetDVCodeWindow(video->Handle());
    source->Notifier()->SetNotifyDVCode(true);
}

void AVManagers::pause()
{
    nav->Pause();
    if (const auto filter = ComPtr<IBaseFilter>(video->Renderer()).as<IMediaFilter>())
        serveUntil([&] {
            FILTER_STATE state;
            return filter->GetState(0, &state) != VFW_S_STATE_INTERMEDIATE;
        });
    ProcessMessages();
}

bool AVManagers::serveUntil(const std::function<bool()>& done, int limitMs)
{
    // A limit for a graph that hangs, not a measure of speed.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        WaitServingMessages(done, 5);
        ProcessMessages();
    }
    return true;
}

int AVManagers::filterCount()
{
    ComPtr<IEnumFilters> filters;
    int count = 0;
    if (SUCCEEDED(nav->GraphBuilder()->EnumFilters(filters.put()))) {
        ComPtr<IBaseFilter> filter;
        while (filters->Next(1, filter.put(), nullptr) == S_OK)
            ++count;
    }
    return count;
}

QString patchedClip(const QTemporaryDir& dir, const char* clipName, const QByteArray& from, const QByteArray& to,
                    const QByteArray& before)
{
    QFile in(clip(clipName));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    const qsizetype end = bytes.indexOf(before);
    EXPECT_GT(end, 0);
    QByteArray head = bytes.left(end);
    EXPECT_TRUE(head.contains(from));
    head.replace(from, to);
    return writeFile(dir, QString::fromLatin1(clipName), head + bytes.mid(end));
}

ComPtr<IBaseFilter> upstreamOf(IBaseFilter* filter)
{
    const ComPtr<IPin> peer = peerOf(firstPin(filter, PINDIR_INPUT).get());
    return peer ? filterOf(peer.get()) : nullptr;
}

bool inGraph(IBaseFilter* filter)
{
    FILTER_INFO info;
    return filter && SUCCEEDED(filter->QueryFilterInfo(&info)) && info.pGraph;
}

} // namespace testing_engine
