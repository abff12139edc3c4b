#pragma once
// The video and audio managers on a navigation manager, wired as the main
// window wires them, with the video shown in an offscreen host.

#include "engine_fixture.h"

#include "media/engine/audio_man.h"
#include "media/engine/video_man.h"
#include "platform/renderers/renderers.h"

#include <QTemporaryDir>
#include <QWidget>

#include <functional>

namespace testing_engine {

struct AVManagers
{
    AVManagers();
    ~AVManagers();

    // The clip's device on the navigation manager's graph.
    TFileDevice* open(const char* clipName);
    TFileDevice* open(const QString& path);
    // The first video and audio sources of the clip, or the placeholders.
    static TVideoSource* videoOf(TFileDevice* device);
    static TAudioSource* audioOf(TFileDevice* device);
    // What the main window does for a pattern with DV codes: the stream's
    // DV codes go to the video manager.
    void wireInlay(TVideoSource* source);
    // Pauses and waits for the paused picture, serving the messages.
    void pause();
    // Serves the messages until `done` or the limit.
    bool serveUntil(const std::function<bool()>& done, int limitMs = 10'000);
    // The filters in the graph now.
    int filterCount();

    Engine engine;
    TNavMan* nav;
    QWidget host;
    std::unique_ptr<TVideoMan> video;
    std::unique_ptr<TAudioMan> audio;
};

// A copy of a clip with every `from` before `before` replaced by `to` (a
// header field, say); the bytes from `before` on stay as they are.
QString patchedClip(const QTemporaryDir& dir, const char* clipName, const QByteArray& from, const QByteArray& to,
                    const QByteArray& before);

// The filter feeding the first input pin of `filter`.
ComPtr<IBaseFilter> upstreamOf(IBaseFilter* filter);
// A filter is in some graph.
bool inGraph(IBaseFilter* filter);

} // namespace testing_engine
