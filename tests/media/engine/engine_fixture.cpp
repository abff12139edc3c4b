#include "engine_fixture.h"

#include "platform/core/class_registry.h"
#include "platform/core/task_memory.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/pin_walk.h"
#include "platform/renderers/renderers.h"
#include "platform/win/messages.h"
#include "tests/media/clip_reader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>

namespace testing_engine {

QString clip(const char* name)
{
    return clips::path(QString::fromUtf8(name));
}

ComPtr<IBaseFilter> createFilter(const CLSID& classId)
{
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, filter.putVoid());
    return filter;
}

Engine::Engine(std::unique_ptr<TDVMan> manager) : man(std::move(manager))
{
    static const bool registered = (RegisterSystemFilters(), RegisterRenderers(), true);
    (void)registered;
    factory->SetGrapheMan(man.get());
    decoders.SetGrapheMan(man.get());
    man->OnGraphCompleted = [this] { completed = true; };
}

Engine::~Engine()
{
    factory.reset();
    man.reset();
}

TVideoSource* Engine::connectVideo(const QString& file)
{
    TFileDevice* device = factory->GetFileDevice(file);
    return connectVideo(device, device ? device->VideoSource(0) : nullptr);
}

TVideoSource* Engine::connectVideo(TFileDevice* device, TVideoSource* source)
{
    if (!device || !source || !source->BuildOn(man.get(), 0))
        return nullptr;
    videoRenderer = createFilter(CLSID_VideoMixingRenderer9);
    IGraphBuilder* graph = man->GraphBuilder();
    graph->AddFilter(frames.get(), TFramesNotifier::filterName);
    graph->AddFilter(videoRenderer.get(), u"Video Renderer");
    frames->SetFrameDataLink(source->Notifier());
    frames->SetVideoDataLink(source->Notifier());
    // The frames notifier takes any type, so it goes in behind the decoder
    // that the renderer needs, where it sees the pictures shown.
    if (!decoders.ConnectWithDecoder(source->Notifier(), videoRenderer.get()))
        return nullptr;
    const ComPtr<IPin> rendererIn = firstPin(videoRenderer.get(), PINDIR_INPUT);
    const ComPtr<IPin> decoded = peerOf(rendererIn.get());
    if (!decoded || FAILED(graph->Disconnect(decoded.get())) || FAILED(graph->Disconnect(rendererIn.get())) ||
        FAILED(graph->Connect(decoded.get(), firstPin(frames.get(), PINDIR_INPUT).get())) ||
        FAILED(graph->Connect(firstPin(frames.get(), PINDIR_OUTPUT).get(), rendererIn.get())))
        return nullptr;
    man->SetWaitFilter(videoRenderer.get());
    return source;
}

TAudioSource* Engine::connectAudio(const QString& file)
{
    TFileDevice* device = factory->GetFileDevice(file);
    TAudioSource* source = device ? device->AudioSource(0) : nullptr;
    if (!source || !source->BuildOn(man.get(), 0))
        return nullptr;
    audioRenderer = createFilter(CLSID_DSoundRender);
    man->GraphBuilder()->AddFilter(audioRenderer.get(), u"Audio Renderer");
    return decoders.ConnectWithDecoder(source->Notifier(), audioRenderer.get()) ? source : nullptr;
}

void Engine::playToEnd()
{
    man->GraphBuilder()->SetDefaultSyncSource();
    const auto filter = ComPtr<IGraphBuilder>(man->GraphBuilder()).as<IMediaFilter>();
    filter->SetSyncSource(nullptr);
    completed = false;
    ASSERT_TRUE(man->Play());
    // A limit for a graph that hangs, not a measure of speed.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!completed) {
        WaitServingMessages([this] { return completed; }, 5);
        ProcessMessages();
        ASSERT_LT(std::chrono::steady_clock::now(), until) << "the graph never completed";
    }
    ProcessMessages();
    man->Stop();
    ProcessMessages();
}

NavEngine::NavEngine(const char* clipName, bool reportFrameDuration) : NavEngine()
{
    open(clipName, reportFrameDuration);
}

NavEngine::NavEngine()
    : engine(std::unique_ptr<TDVMan>(TKvActionComponent::Create<TNavMan>(nullptr))),
      nav(static_cast<TNavMan*>(engine.man.get()))
{
    nav->ShiftDown = [this] { return shift; };
}

bool NavEngine::open(const char* clipName, bool reportFrameDuration)
{
    source = engine.connectVideo(clip(clipName));
    if (!source)
        return false;
    nav->SetFramesNotifier(engine.frames.get());
    engine.frames->SetTextMessages(true);
    nav->SetDVCodeSource(source);
    nav->InitDuration();
    if (reportFrameDuration) {
        engine.frames->SetFrameWindow(nav->Handle());
        nav->SetFrameSource(source);
    }
    nav->Pause();
    settle();
    return true;
}

NavEngine::~NavEngine()
{
    nav->Stop();
    ProcessMessages();
}

PictureCounter::PictureCounter()
    : TBCTransInPlaceFilter("{0D7B7E2A-5C1F-4A36-9E0B-7C4D2F61A903}"_guid, u"Picture Counter")
{
}

HRESULT PictureCounter::Transform(IMediaSample*)
{
    count_.fetch_add(1, std::memory_order_relaxed);
    thread_.store(std::this_thread::get_id());
    return S_OK;
}

bool NavEngine::countPictures()
{
    if (!source)
        return false;
    const REFERENCE_TIME shown = nav->GetPosition();
    nav->Stop();
    IGraphBuilder* graph = nav->GraphBuilder();
    const ComPtr<IPin> out = source->Notifier()->output();
    const ComPtr<IPin> decoder = peerOf(out.get());
    AM_MEDIA_TYPE type;
    out->ConnectionMediaType(&type);
    graph->Disconnect(out.get());
    graph->Disconnect(decoder.get());
    const bool in = SUCCEEDED(graph->AddFilter(counter.get(), u"Picture Counter")) &&
                    SUCCEEDED(graph->ConnectDirect(out.get(), counter->input(), &type)) &&
                    SUCCEEDED(graph->ConnectDirect(counter->output(), decoder.get(), &type));
    nav->SeekTo(true, shown);
    settle();
    return in;
}

void NavEngine::settle()
{
    const auto filter = engine.videoRenderer.as<IMediaFilter>();
    WaitServingMessages(
        [&] {
            FILTER_STATE state;
            return filter->GetState(0, &state) != VFW_S_STATE_INTERMEDIATE;
        },
        10'000);
    ProcessMessages();
}

int NavEngine::shown()
{
    return shownFrame(engine.videoRenderer.get());
}

PendingEvents::PendingEvents()
{
    wnd = AllocateHWnd([this](UINT msg, WPARAM, LPARAM) -> LRESULT {
        posted += msg == WM_USER;
        return 0;
    });
    QTimer::singleShot(0, &context, [this] { timed = true; });
    PostMessage(wnd, WM_USER, 0, 0);
}

PendingEvents::~PendingEvents()
{
    DeallocateHWnd(wnd);
}

bool PendingEvents::run()
{
    ProcessMessages();
    QCoreApplication::processEvents();
    return posted == 1 && timed;
}

int shownFrame(IBaseFilter* renderer)
{
    const auto control = ComPtr<IBaseFilter>(renderer).as<IVMRWindowlessControl9>();
    BYTE* dib = nullptr;
    if (!control || control->GetCurrentImage(&dib) != S_OK)
        return -2;
    CoTaskMemPtr<BYTE> owned(dib);
    return clips::readBarcodeFromDib(dib);
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QString copyClip(const QTemporaryDir& dir, const char* clipName, const QString& name)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(QFile::copy(clip(clipName), path));
    return path;
}

} // namespace testing_engine
