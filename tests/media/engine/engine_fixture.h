#pragma once
// What the engine tests share: a DV manager with its graph and a media
// factory on it, the real system filters and renderers, playing a clip to
// its end while this thread serves the messages, and a navigation manager
// paused on a clip.

#include "media/engine/decoder_man.h"
#include "media/engine/dv_man.h"
#include "media/engine/media_factory.h"
#include "media/engine/nav_man.h"
#include "media/filters/frames_notifier.h"
#include "platform/graph/transform.h"

#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <thread>

namespace testing_engine {

QString clip(const char* name);
ComPtr<IBaseFilter> createFilter(const CLSID& classId);

struct Engine
{
    Engine() : Engine(std::make_unique<TDVMan>()) {}
    // The engine on a manager of a derived kind.
    explicit Engine(std::unique_ptr<TDVMan> manager);
    ~Engine();

    // The first video source of the clip built on the graph, its stream
    // decoded into the frames notifier and on to the video renderer.
    TVideoSource* connectVideo(const QString& file);
    TVideoSource* connectVideo(TFileDevice* device, TVideoSource* source);
    // The first audio source of the clip, decoded into the audio renderer.
    TAudioSource* connectAudio(const QString& file);
    // Runs the graph as fast as the frames come until it completes, then
    // stops it.
    void playToEnd();

    std::unique_ptr<TDVMan> man;
    std::unique_ptr<TMediaFactory> factory = std::make_unique<TMediaFactory>();
    TDecoderMan decoders;
    ComPtr<TFramesNotifier> frames = makeCom<TFramesNotifier>();
    ComPtr<IBaseFilter> videoRenderer;
    ComPtr<IBaseFilter> audioRenderer;
    bool completed = false;
};

// Counts the samples that pass: in front of a decoder, the pictures it
// decodes.
class PictureCounter final : public TBCTransInPlaceFilter
{
public:
    PictureCounter();
    HRESULT CheckInputType(const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT Transform(IMediaSample*) override;
    long count() const { return count_.load(std::memory_order_relaxed); }
    // The thread the last picture passed on.
    std::thread::id thread() const { return thread_.load(); }

private:
    std::atomic<long> count_{0};
    std::atomic<std::thread::id> thread_{};
};

// A navigation manager on a clip, paused on its first frame, wired as the
// video manager wires it; `source` is null when the clip did not connect.
struct NavEngine
{
    // Without the frame-duration report the manager keeps a frame duration
    // of 1.
    explicit NavEngine(const char* clipName, bool reportFrameDuration = true);
    // The manager alone, for open.
    NavEngine();
    // Connects the clip and pauses on its first frame; false when it did
    // not connect.
    bool open(const char* clipName, bool reportFrameDuration = true);
    // The pieces go with a stopped graph: a paused renderer holds the
    // streaming threads that their removal would wait for.
    ~NavEngine();

    // Until the renderer holds its picture and the messages are served.
    void settle();
    // Puts `counter` in front of the video decoder: the graph stops for it
    // and pauses again on the frame it showed. False when it did not go in.
    bool countPictures();
    // The frame number on the renderer's current picture.
    int shown();

    Engine engine;
    TNavMan* nav;
    TVideoSource* source = nullptr;
    ComPtr<PictureCounter> counter = makeCom<PictureCounter>();
    // What the manager reads as the Shift key.
    bool shift = false;
};

// A posted message and a zero timer, pending from construction on: what a
// run of the event loop would handle.
struct PendingEvents
{
    PendingEvents();
    ~PendingEvents();
    // Neither has run.
    bool waiting() const { return posted == 0 && !timed; }
    // Runs the event loop once; true when each has run once.
    bool run();

    QObject context;
    HWND wnd = 0;
    int posted = 0;
    bool timed = false;
};

// The frame number in the barcode of the renderer's current picture; -1
// without a readable barcode, -2 without a picture.
int shownFrame(IBaseFilter* renderer);

// A file of the given bytes, under a name of the test's choice.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);
QString copyClip(const QTemporaryDir& dir, const char* clipName, const QString& name);

} // namespace testing_engine
