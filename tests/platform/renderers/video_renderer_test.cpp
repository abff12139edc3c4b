#include "push_source.h"

#include "tests/media/clip_reader.h"

#include "platform/core/task_memory.h"
#include "platform/graph/filter_graph.h"
#include "platform/renderers/video_renderer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace testing_renderers;

namespace {

constexpr REFERENCE_TIME kFrame = 400'000; // 25 per second

// A graph of a push source and a video renderer, connected.
struct Playback
{
    explicit Playback(ComPtr<PushSource> pushed) : source(std::move(pushed))
    {
        EXPECT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
        EXPECT_EQ(graph->AddFilter(renderer.get(), u"Kv VideoWindow"), S_OK);
        ComPtr<IPin> input;
        EXPECT_EQ(renderer->FindPin(u"Input", input.put()), S_OK);
        EXPECT_EQ(graph->ConnectDirect(source->output(), input.get(), nullptr), S_OK);
    }
    ~Playback() { graph->Stop(); }

    void playToEnd()
    {
        ASSERT_TRUE(SUCCEEDED(graph->Run()));
        LONG code = 0;
        ASSERT_EQ(graph->WaitForCompletion(20'000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
    }

    template <typename I> ComPtr<I> as() { return renderer.as<I>(); }

    // Shows the video over the whole of `window`, sized width × height.
    void showIn(QWidget& window, int width, int height)
    {
        window.resize(width, height);
        window.show();
        const auto control = as<IVMRWindowlessControl9>();
        EXPECT_EQ(control->SetVideoClippingWindow(&window), S_OK);
        const RECT whole{0, 0, width, height};
        EXPECT_EQ(control->SetVideoPosition(nullptr, &whole), S_OK);
    }

    // Pauses and waits until a picture is cued.
    bool cue()
    {
        graph->Pause();
        OAFilterState state = 0;
        return graph->GetState(5000, &state) == S_OK;
    }

    ComPtr<PushSource> source;
    ComPtr<IBaseFilter> renderer = createVideoRenderer();
    ComPtr<FilterGraph> graph = makeCom<FilterGraph>();
};

// The current image of the renderer, or a null image.
QImage currentImage(IVMRWindowlessControl9* control)
{
    BYTE* dib = nullptr;
    if (control->GetCurrentImage(&dib) != S_OK)
        return QImage();
    CoTaskMemPtr<BYTE> owned(dib);
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(header.biSizeImage, DWORD(header.biWidth * header.biHeight * 4));
    // Bottom-up rows of B, G, R, X.
    const QImage image(dib + header.biSize, header.biWidth, header.biHeight, header.biWidth * 4, QImage::Format_RGB32);
    return image.mirrored();
}

QImage filled(int width, int height, QColor left, QColor right)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(left);
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            image.setPixelColor(x, y, right);
    return image;
}

// Counts the events of one type that reach the watched object.
class EventCounter final : public QObject
{
public:
    explicit EventCounter(QEvent::Type type) : type_(type) {}
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == type_ ? 1 : 0;
        return false;
    }

private:
    QEvent::Type type_;
};

// A child widget that paints itself in one colour.
class Filled final : public QWidget
{
public:
    Filled(QColor colour, QWidget* parent) : QWidget(parent)
    {
        QPalette palette;
        palette.setColor(QPalette::Window, colour);
        setPalette(palette);
        setAutoFillBackground(true);
    }
};

void expectNear(QColor actual, QColor expected, const char* where)
{
    SCOPED_TRACE(where);
    EXPECT_NEAR(actual.red(), expected.red(), 3);
    EXPECT_NEAR(actual.green(), expected.green(), 3);
    EXPECT_NEAR(actual.blue(), expected.blue(), 3);
}

} // namespace

TEST(VideoRenderer, CurrentImageIsTheDecodedFrameAtNativeSizeCuedWhenPausedAndLastWhenDone)
{
    const std::vector<QImage> frames = clips::decodeFrames(clips::path("h264.mp4"), 10);
    ASSERT_EQ(frames.size(), 10u);
    for (const bool bottomUp : {false, true}) {
        SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
        Playback playback(pictureSource(frames, kFrame, bottomUp));
        const auto control = playback.as<IVMRWindowlessControl9>();
        LONG width = 0, height = 0, arX = 0, arY = 0;
        ASSERT_EQ(control->GetNativeVideoSize(&width, &height, &arX, &arY), S_OK);
        EXPECT_EQ(QSize(width, height), frames[0].size());
        EXPECT_TRUE(currentImage(control.get()).isNull());

        // Paused with the source held back: the graph is not ready until a
        // picture is cued.
        playback.source->gateOpen = false;
        playback.graph->Pause();
        OAFilterState state = 0;
        EXPECT_EQ(playback.graph->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
        playback.source->gateOpen = true;
        ASSERT_EQ(playback.graph->GetState(5000, &state), S_OK);
        EXPECT_EQ(state, State_Paused);
        const QImage cued = currentImage(control.get());
        EXPECT_EQ(cued, frames[0].convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(clips::readBarcode(cued), 0);

        playback.playToEnd();
        const QImage last = currentImage(control.get());
        EXPECT_EQ(last, frames.back().convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(clips::readBarcode(last), 9);
        int drawn = 0;
        EXPECT_EQ(playback.as<IQualProp>()->get_FramesDrawn(&drawn), S_OK);
        EXPECT_EQ(drawn, 10);

        // Taken out of the graph, it no longer hands out the old picture.
        playback.graph->Stop();
        ASSERT_EQ(playback.graph->RemoveFilter(playback.renderer.get()), S_OK);
        EXPECT_TRUE(currentImage(control.get()).isNull());
    }
}

// Every sample goes back to its allocator once its picture is drawn: a source
// with a single sample plays all its pictures, either way up, and the last
// stays on show.
TEST(VideoRenderer, ASourceWithOneSamplePlaysEveryPicture)
{
    const std::vector<QImage> frames = clips::decodeFrames(clips::path("h264.mp4"), 10);
    ASSERT_EQ(frames.size(), 10u);
    for (const bool bottomUp : {false, true}) {
        SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
        Playback playback(pictureSource(frames, kFrame / 10, bottomUp, 1));
        playback.playToEnd();
        int drawn = 0;
        EXPECT_EQ(playback.as<IQualProp>()->get_FramesDrawn(&drawn), S_OK);
        EXPECT_EQ(drawn, 10);
        EXPECT_EQ(clips::readBarcode(currentImage(playback.as<IVMRWindowlessControl9>().get())), 9);
    }
}

// Buffers the source's allocator has free, taken and given back at once.
LONG freeBuffers(PushSource* source)
{
    IMemAllocator* allocator = source->stream()->allocator();
    ALLOCATOR_PROPERTIES properties;
    if (!allocator || FAILED(allocator->GetProperties(&properties)) || FAILED(allocator->Commit()))
        return -1;
    std::vector<ComPtr<IMediaSample>> taken;
    for (ComPtr<IMediaSample> sample; allocator->GetBuffer(sample.put(), nullptr, nullptr, AM_GBF_NOWAIT) == S_OK;)
        taken.push_back(std::move(sample));
    allocator->Decommit();
    return static_cast<LONG>(taken.size());
}

// A source with buffers to spare has its picture shown from the buffer it
// came in: every step and every picture played is still the exact frame,
// none is written over while shown, and a stop hands every buffer back to
// the source while the picture stays on show. A picture stored bottom row
// first comes out the right way up all the same.
TEST(VideoRenderer, APictureShownFromItsOwnBufferIsExactAndStoppingGivesTheBufferBack)
{
    const std::vector<QImage> frames = clips::decodeFrames(clips::path("h264.mp4"), 10);
    ASSERT_EQ(frames.size(), 10u);
    for (const auto& [buffers, bottomUp] : {std::pair{3, false}, std::pair{5, false}, std::pair{3, true}}) {
        SCOPED_TRACE(buffers);
        SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
        Playback playback(pictureSource(frames, kFrame / 10, bottomUp, buffers));
        const auto control = playback.as<IVMRWindowlessControl9>();
        ASSERT_TRUE(playback.cue());
        EXPECT_EQ(currentImage(control.get()), frames[0].convertToFormat(QImage::Format_RGB32));
        const auto step = playback.as<IVideoFrameStep>();
        for (int i = 1; i <= 4; ++i) {
            ASSERT_EQ(step->Step(1, nullptr), S_OK);
            OAFilterState state = 0;
            ASSERT_EQ(playback.graph->GetState(5000, &state), S_OK);
            EXPECT_EQ(currentImage(control.get()), frames[i].convertToFormat(QImage::Format_RGB32)) << i;
        }
        // Stopped while paused on a picture, and again after playing out.
        playback.graph->Stop();
        EXPECT_EQ(freeBuffers(playback.source.get()), buffers);
        EXPECT_EQ(clips::readBarcode(currentImage(control.get())), 4);

        playback.playToEnd();
        EXPECT_EQ(currentImage(control.get()), frames.back().convertToFormat(QImage::Format_RGB32));
        playback.graph->Stop();
        EXPECT_EQ(freeBuffers(playback.source.get()), buffers);
        EXPECT_EQ(currentImage(control.get()), frames.back().convertToFormat(QImage::Format_RGB32));
    }
}

TEST(VideoRenderer, FramesDrawnGrowWhilePlayingAndTheSyncOffsetIsMeasured)
{
    const std::vector<QImage> frames(25, filled(16, 16, Qt::red, Qt::blue));
    Playback playback(pictureSource(frames, kFrame));
    QWidget window;
    playback.showIn(window, 16, 16);
    QCoreApplication::processEvents();
    EventCounter paints(QEvent::Paint);
    window.findChild<QWidget*>()->installEventFilter(&paints);
    const auto quality = playback.as<IQualProp>();
    ASSERT_TRUE(SUCCEEDED(playback.graph->Run()));
    int first = 0;
    while (first == 0) {
        quality->get_FramesDrawn(&first);
        std::this_thread::yield();
    }
    EXPECT_LT(first, 25);
    LONG code = 0;
    ASSERT_EQ(playback.graph->WaitForCompletion(20'000, &code), S_OK);
    int drawn = 0, rate = 0, offset = -1;
    quality->get_FramesDrawn(&drawn);
    quality->get_AvgFrameRate(&rate);
    quality->get_AvgSyncOffset(&offset);
    EXPECT_EQ(drawn, 25);
    // The pictures drawn on the streaming thread reach the surface.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_GT(paints.count, 0);
    // Frames per hundred seconds: shown on time at 25 per second.
    EXPECT_GT(rate, 1500);
    EXPECT_LT(rate, 3500);
    EXPECT_GE(offset, 0);
}

TEST(VideoRenderer, OverlayKeyAndAlphaBlendOverTheVideoAndFlipsMirrorOnlyTheVideo)
{
    // The video: red left half, blue right half.
    const std::vector<QImage> frames{filled(64, 32, Qt::red, Qt::blue)};
    Playback playback(pictureSource(frames, kFrame));
    QWidget window;
    playback.showIn(window, 64, 32);
    ASSERT_TRUE(playback.cue());

    // The overlay: the key colour except its lower left quarter, green. Its
    // alpha bytes are zero, as in a bitmap drawn without alpha: they do not
    // count.
    QImage overlay(64, 32, QImage::Format_ARGB32);
    overlay.fill(QColor(255, 0, 255, 0));
    for (int y = 16; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            overlay.setPixelColor(x, y, QColor(0, 255, 0, 0));
    VMR9AlphaBitmap bitmap;
    bitmap.dwFlags = VMR9AlphaBitmap_hDC | VMR9AlphaBitmap_SrcColorKey | VMR9AlphaBitmap_FilterMode;
    bitmap.hdc = &overlay;
    bitmap.rSrc = {0, 0, 64, 32};
    bitmap.fAlpha = 0.5f;
    bitmap.clrSrcKey = 0xFF00FF;
    bitmap.dwFilterMode = MixerPref9_PointFiltering;
    const auto mixerBitmap = playback.as<IVMRMixerBitmap9>();
    ASSERT_EQ(mixerBitmap->SetAlphaBitmap(&bitmap), S_OK);
    // The renderer keeps its own copy.
    overlay.fill(Qt::white);

    QImage shown = window.grab().toImage();
    expectNear(shown.pixelColor(8, 4), Qt::red, "key shows the video");
    expectNear(shown.pixelColor(56, 28), Qt::blue, "key shows the video");
    expectNear(shown.pixelColor(8, 28), QColor(128, 128, 0), "half red, half green");

    const auto mixer = playback.as<IVMRMixerControl9>();
    const VMR9NormalizedRect mirrored{1, 0, 0, 1};
    ASSERT_EQ(mixer->SetOutputRect(0, &mirrored), S_OK);
    shown = window.grab().toImage();
    expectNear(shown.pixelColor(8, 4), Qt::blue, "video mirrored");
    expectNear(shown.pixelColor(56, 28), Qt::red, "video mirrored");
    expectNear(shown.pixelColor(8, 28), QColor(0, 128, 128), "overlay stays at the left");

    // The current image is the picture as decoded, without flip or overlay.
    EXPECT_EQ(currentImage(playback.as<IVMRWindowlessControl9>().get()), frames[0]);

    bitmap = VMR9AlphaBitmap{};
    bitmap.dwFlags = VMR9AlphaBitmap_Disable;
    ASSERT_EQ(mixerBitmap->SetAlphaBitmap(&bitmap), S_OK);
    expectNear(window.grab().toImage().pixelColor(8, 28), Qt::blue, "overlay gone");
}

// The overlay's opaque part is found wherever it lies: here only in the last
// columns of an odd width and in rows inside, drawn exactly there, the key
// around it showing the video.
TEST(VideoRenderer, OverlayOpaqueOnlyInItsLastColumnsIsDrawnExactlyThere)
{
    constexpr int kWidth = 61, kHeight = 20;
    Playback playback(pictureSource({filled(kWidth, kHeight, Qt::red, Qt::red)}, kFrame));
    QWidget window;
    playback.showIn(window, kWidth, kHeight);
    ASSERT_TRUE(playback.cue());

    QImage overlay(kWidth, kHeight, QImage::Format_RGB32);
    overlay.fill(QColor(255, 0, 255));
    for (int y = 3; y <= 16; ++y)
        for (int x = 57; x < kWidth; ++x)
            overlay.setPixelColor(x, y, Qt::green);
    VMR9AlphaBitmap bitmap;
    bitmap.dwFlags = VMR9AlphaBitmap_hDC | VMR9AlphaBitmap_SrcColorKey | VMR9AlphaBitmap_FilterMode;
    bitmap.hdc = &overlay;
    bitmap.rSrc = {0, 0, kWidth, kHeight};
    bitmap.fAlpha = 1.0f;
    bitmap.clrSrcKey = 0xFF00FF;
    bitmap.dwFilterMode = MixerPref9_PointFiltering;
    ASSERT_EQ(playback.as<IVMRMixerBitmap9>()->SetAlphaBitmap(&bitmap), S_OK);

    const QImage shown = window.grab().toImage();
    for (const QPoint& inside : {QPoint(57, 3), QPoint(60, 3), QPoint(57, 16), QPoint(60, 16), QPoint(59, 10)})
        expectNear(shown.pixelColor(inside), Qt::green, "opaque overlay");
    for (const QPoint& outside : {QPoint(56, 10), QPoint(59, 2), QPoint(59, 17), QPoint(8, 10)})
        expectNear(shown.pixelColor(outside), Qt::red, "key shows the video");
}

TEST(VideoRenderer, LetterBoxKeepsThePictureAspectInBordersAndStretchFills)
{
    Playback playback(pictureSource({filled(64, 32, Qt::red, Qt::red)}, kFrame));
    QWidget window;
    playback.showIn(window, 64, 64);
    const auto control = playback.as<IVMRWindowlessControl9>();
    control->SetBorderColor(0x00FF00); // green as $00BBGGRR
    ASSERT_TRUE(playback.cue());

    ASSERT_EQ(playback.as<IVMRAspectRatioControl9>()->SetAspectRatioMode(VMR9ARMode_LetterBox), S_OK);
    QImage shown = window.grab().toImage();
    expectNear(shown.pixelColor(32, 4), QColor(0, 255, 0), "band above");
    expectNear(shown.pixelColor(32, 32), Qt::red, "picture in the middle");
    expectNear(shown.pixelColor(32, 60), QColor(0, 255, 0), "band below");

    ASSERT_EQ(control->SetAspectRatioMode(VMR9ARMode_None), S_OK);
    shown = window.grab().toImage();
    expectNear(shown.pixelColor(32, 4), Qt::red, "stretched");

    // The surface follows the destination and moves to another window.
    QWidget preview;
    preview.resize(100, 100);
    preview.show();
    ASSERT_EQ(control->SetVideoClippingWindow(&preview), S_OK);
    const RECT inner{10, 20, 74, 84};
    control->SetVideoPosition(nullptr, &inner);
    shown = preview.grab().toImage();
    expectNear(shown.pixelColor(40, 50), Qt::red, "inside the destination");
    EXPECT_NE(shown.pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(window.findChildren<QWidget*>().size(), 0);
}

TEST(VideoRenderer, RefusesBadSettingsAndKeepsTheOldOnes)
{
    Playback playback(pictureSource({filled(64, 32, Qt::red, Qt::red)}, kFrame));
    const auto control = playback.as<IVMRWindowlessControl9>();
    const RECT outside{0, 0, 65, 32};
    EXPECT_EQ(control->SetVideoPosition(&outside, nullptr), E_INVALIDARG);
    const RECT reversed{10, 0, 0, 10};
    EXPECT_EQ(control->SetVideoPosition(nullptr, &reversed), E_INVALIDARG);
    EXPECT_EQ(control->SetAspectRatioMode(7), E_INVALIDARG);

    const auto config = playback.as<IVMRFilterConfig9>();
    EXPECT_EQ(config->SetRenderingMode(VMR9Mode_Windowless), S_OK);
    EXPECT_EQ(config->SetNumberOfStreams(0), E_INVALIDARG);
    // Connected already: the number of streams is settled.
    EXPECT_EQ(config->SetNumberOfStreams(4), VFW_E_WRONG_STATE);

    const auto mixer = playback.as<IVMRMixerBitmap9>();
    VMR9AlphaBitmap bitmap;
    bitmap.dwFlags = VMR9AlphaBitmap_hDC;
    EXPECT_EQ(mixer->SetAlphaBitmap(&bitmap), E_INVALIDARG); // no image
    EXPECT_EQ(mixer->UpdateAlphaBitmapParameters(&bitmap), E_INVALIDARG);
    bitmap.dwFlags = 0;
    EXPECT_EQ(mixer->UpdateAlphaBitmapParameters(&bitmap), E_UNEXPECTED); // no overlay yet
    QImage overlay(8, 8, QImage::Format_RGB32);
    bitmap.dwFlags = VMR9AlphaBitmap_hDC | VMR9AlphaBitmap_SrcRect;
    bitmap.hdc = &overlay;
    bitmap.rSrc = {0, 0, 9, 8};
    EXPECT_EQ(mixer->SetAlphaBitmap(&bitmap), E_INVALIDARG);
    bitmap.rSrc = {0, 0, 8, 8};
    bitmap.fAlpha = 1.5f;
    EXPECT_EQ(mixer->SetAlphaBitmap(&bitmap), E_INVALIDARG);
    bitmap.fAlpha = 0.25f;
    EXPECT_EQ(mixer->SetAlphaBitmap(&bitmap), S_OK);
    VMR9AlphaBitmap read;
    EXPECT_EQ(mixer->GetAlphaBitmapParameters(&read), S_OK);
    EXPECT_EQ(read.fAlpha, 0.25f);

    const VMR9NormalizedRect rect;
    EXPECT_EQ(playback.as<IVMRMixerControl9>()->SetOutputRect(1, &rect), E_INVALIDARG);
    EXPECT_EQ(playback.as<IVMRMonitorConfig9>()->SetMonitor(99), E_INVALIDARG);
}

TEST(VideoRenderer, TheVideoIsDrawnAsIfOnTheClippingWindowItself)
{
    Playback playback(pictureSource({filled(64, 32, Qt::red, Qt::red)}, kFrame));
    const auto control = playback.as<IVMRWindowlessControl9>();
    // The window shows a notice (green) where the video goes while there is
    // none, and follows the mouse.
    QWidget window;
    window.setMouseTracking(true);
    Filled notice(Qt::green, &window);
    notice.setGeometry(0, 0, 64, 64);
    playback.showIn(window, 64, 64);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    expectNear(window.grab().toImage().pixelColor(32, 32), Qt::green, "no picture yet: the notice");

    ASSERT_TRUE(playback.cue());
    QCoreApplication::processEvents();
    expectNear(window.grab().toImage().pixelColor(32, 32), Qt::red, "the cued picture");

    // The mouse over the video reaches the window, moves included.
    EventCounter moves(QEvent::MouseMove);
    notice.hide();
    window.installEventFilter(&moves);
    QTest::mouseMove(window.windowHandle(), QPoint(20, 20));
    QTest::mouseMove(window.windowHandle(), QPoint(30, 30));
    EXPECT_GT(moves.count, 0);
    EXPECT_EQ(window.childAt(30, 30), nullptr);

    // Attached again after the window brought a child to the front (the
    // full-screen plate does so with its border shape): the video is over it.
    Filled shape(Qt::blue, &window);
    shape.setGeometry(0, 0, 64, 64);
    shape.show();
    expectNear(window.grab().toImage().pixelColor(32, 32), Qt::blue, "the shape in front");
    ASSERT_EQ(control->SetVideoClippingWindow(&window), S_OK);
    expectNear(window.grab().toImage().pixelColor(32, 32), Qt::red, "the video over the shape");

    // Taken out of the graph: the window's own drawing shows again.
    shape.hide();
    notice.show();
    playback.graph->Stop();
    ASSERT_EQ(playback.graph->RemoveFilter(playback.renderer.get()), S_OK);
    QCoreApplication::processEvents();
    expectNear(window.grab().toImage().pixelColor(32, 32), Qt::green, "no picture: the notice again");

    // A window destroyed takes the surface with it; the next one gets another.
    auto* preview = new QWidget;
    preview->resize(64, 64);
    ASSERT_EQ(control->SetVideoClippingWindow(preview), S_OK);
    delete preview;
    ASSERT_EQ(control->RepaintVideo(), S_OK);
    ASSERT_EQ(control->SetVideoClippingWindow(&window), S_OK);
    EXPECT_EQ(window.findChildren<QWidget*>().size(), 3); // the notice, the shape, the video
}
