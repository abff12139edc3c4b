// The windowless renderer manager on the real renderer with the real clips:
// where the video lands in the host, the plate and the preview window, the
// flips, the inlay as mixed over the picture, and the current image. Pixels
// are read back from the composed widgets.

#include "engine_fixture.h"

#include "media/engine/video_forms.h"
#include "media/engine/windowless_man.h"
#include "media/filters/notify_messages.h"
#include "platform/win/messages.h"
#include "tests/media/clip_reader.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <ostream>

#include <functional>

using namespace testing_engine;

// Rectangles in failure messages.
inline std::ostream& operator<<(std::ostream& out, const QRect& r)
{
    return out << "(" << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ")";
}

namespace {

// Colours no clip frame holds exactly, so that each one tells what it is.
const QColor kWindowColour(40, 20, 60);
constexpr TColor kBorderColour = RGB(37, 201, 99);
constexpr COLORREF kLetterBoxColour = RGB(201, 37, 150);
constexpr TColor kTextColour = RGB(250, 130, 10);
constexpr TColor kOutlineColour = RGB(20, 90, 20);
constexpr TColor kBackColour = RGB(90, 30, 160);

QColor qcolour(TColor colour)
{
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

// A manager showing a clip's first frame, paused, in a host of the given
// size.
struct Shown
{
    explicit Shown(const char* clipName, QSize hostSize = QSize(400, 300))
    {
        man.reset(TKvActionComponent::Create<TWindowLessMan>(nullptr));
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, kWindowColour);
        host.setPalette(palette);
        host.setAutoFillBackground(true);
        host.resize(hostSize);
        host.show();
        man->SetWindow(&host);
        man->SetBorderColor(kBorderColour);
        if (const auto control = ComPtr<IBaseFilter>(man->Renderer()).as<IVMRWindowlessControl9>())
            control->SetBorderColor(kLetterBoxColour);
        cued = open(clipName);
    }

    // Connects the clip's video to the renderer as the video manager does,
    // and pauses on its first frame.
    bool open(const char* clipName)
    {
        TFileDevice* device = engine.factory->GetFileDevice(clip(clipName));
        TVideoSource* source = device ? device->VideoSource(0) : nullptr;
        if (!source || !source->BuildOn(engine.man.get(), 0))
            return false;
        man->SetGraphManager(engine.man.get());
        if (!engine.decoders.ConnectWithDecoder(source->Notifier(), man->Renderer()))
            return false;
        engine.man->SetWaitFilter(man->Renderer());
        engine.man->GraphBuilder()->SetDefaultSyncSource();
        const auto filter = ComPtr<IGraphBuilder>(engine.man->GraphBuilder()).as<IMediaFilter>();
        filter->SetSyncSource(nullptr);
        const bool paused = engine.man->Pause();
        settle();
        return paused;
    }

    ~Shown()
    {
        engine.man->Stop();
        man.reset();
    }

    void settle()
    {
        for (int i = 0; i < 5; ++i) {
            WaitServingMessages([] { return false; }, 10);
            ProcessMessages();
        }
    }

    QImage composed(QWidget* widget)
    {
        settle();
        return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QImage current()
    {
        QImage image;
        EXPECT_TRUE(man->GetCurrentImage(image));
        return image.convertToFormat(QImage::Format_RGB32);
    }

    Engine engine;
    QWidget host;
    std::unique_ptr<TWindowLessMan> man;
    bool cued = false;
};

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The bounds of the pixels of `image` that `test` picks.
QRect boundsOf(const QImage& image, const std::function<bool(int x, int y)>& test)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (test(x, y))
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

bool isBand(QRgb pixel)
{
    return pixel == kWindowColour.rgb() || pixel == qcolour(kBorderColour).rgb() ||
           pixel == qcolour(TColor(kLetterBoxColour)).rgb();
}

// Where `composed` differs from `picture` by more than the rounding of a
// scaled or mirrored draw.
QRect changedArea(const QImage& composed, const QImage& picture)
{
    return boundsOf(composed, [&](int x, int y) { return !near(composed.pixel(x, y), picture.pixel(x, y), 2); });
}

} // namespace

TEST(WindowLessMan, ComponentKeepsItsOwnValuesWhereActionsAreNotAppliedAtLoad)
{
    Engine engine;
    std::unique_ptr<TWindowLessMan> man(TKvActionComponent::Create<TWindowLessMan>(nullptr));
    // The actions carry other defaults (red border, white key, no borders),
    // which reach the component only when a user sets them.
    EXPECT_EQ(man->BorderColor(), clSilver);
    EXPECT_EQ(man->InsertTransparentColor(), clFuchsia);
    EXPECT_EQ(man->WinBorderWidth(), 8);
    EXPECT_EQ(man->FullBorderWidth(), 8);
    EXPECT_EQ(man->InsertTransparency(), 1.0);
    EXPECT_EQ(man->iaBorderColor->DefaultValue(), clRed);
    EXPECT_EQ(man->iaInsertTransparentColor->DefaultValue(), clWhite);
    EXPECT_EQ(man->InsertLine(0).Text, QStringLiteral("Write an inlay"));
    // Without a picture the current image is left as it was.
    QImage kept(3, 3, QImage::Format_RGB32);
    kept.fill(Qt::red);
    SendMessage(man->Handle(), WM_GRABIMAGE, reinterpret_cast<WPARAM>(&kept), 0);
    EXPECT_EQ(kept.size(), QSize(3, 3));
    EXPECT_EQ(kept.pixel(1, 1), QColor(Qt::red).rgb());
    // A host that goes away takes the video's place with it.
    auto* host = new QWidget;
    host->resize(200, 100);
    man->SetWindow(host);
    EXPECT_EQ(man->DisplayWindow(), host);
    delete host;
    EXPECT_EQ(man->window(), nullptr);
    EXPECT_EQ(man->DisplayWindow(), nullptr);
    man->UpdateVideoPosition();
}

TEST(WindowLessMan, VideoRectangleForEachAspectModeAndBorder)
{
    const struct
    {
        const char* clip;
        bool clipAspect; // the picture's aspect given to the manager, or none
        bool letterBox;
        int border;
        QRect window;  // the video rectangle in the 400 x 300 host
        QRect picture; // where the picture itself is drawn
    } cases[] = {
        // 4:3 in 384 x 284: full height, centred.
        {"mpeg1.mpg", true, true, 8, QRect(11, 8, 378, 284), QRect(11, 8, 378, 284)},
        {"mpeg1.mpg", true, false, 0, QRect(0, 0, 400, 300), QRect(0, 0, 400, 300)},
        // 16:9 in 384 x 284: full width, centred.
        {"mpeg2.mpg", true, true, 8, QRect(8, 42, 384, 216), QRect(8, 42, 384, 216)},
        {"mpeg2.mpg", true, false, 8, QRect(8, 42, 384, 216), QRect(8, 42, 384, 216)},
        // No aspect given: the whole host inside the border; stretched, the
        // picture fills it, letter-boxed the renderer keeps 16:9 in it.
        {"mpeg2.mpg", false, false, 20, QRect(20, 20, 360, 260), QRect(20, 20, 360, 260)},
        {"mpeg2.mpg", false, true, 20, QRect(20, 20, 360, 260), QRect(20, 49, 360, 203)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clip << " aspect " << c.clipAspect << " letter box " << c.letterBox
                                        << " border " << c.border);
        Shown shown(c.clip);
        ASSERT_TRUE(shown.cued);
        TWindowLessMan& man = *shown.man;
        man.SetWinBorderWidth(c.border);
        man.SetKeepAspectratio(c.letterBox);
        LONG arX = 0, arY = 0;
        ComPtr<IBaseFilter>(man.Renderer())
            .as<IVMRWindowlessControl9>()
            ->GetNativeVideoSize(nullptr, nullptr, &arX, &arY);
        man.SetVideoAspect(c.clipAspect ? arX : 0, c.clipAspect ? arY : 0);
        const RECT r = man.WindowVideoRect();
        EXPECT_EQ(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), c.window);

        const QImage image = shown.composed(&shown.host);
        const QRect picture = boundsOf(image, [&image](int x, int y) { return !isBand(image.pixel(x, y)); });
        // Scaling may smear the picture's last row or column by a pixel.
        EXPECT_LE(std::abs(picture.left() - c.picture.left()), 1) << picture.left();
        EXPECT_LE(std::abs(picture.top() - c.picture.top()), 1) << picture.top();
        EXPECT_LE(std::abs(picture.right() - c.picture.right()), 1) << picture.right();
        EXPECT_LE(std::abs(picture.bottom() - c.picture.bottom()), 1) << picture.bottom();
        // The border band around the video rectangle, the host's colour
        // beyond it.
        if (c.border > 0) {
            EXPECT_EQ(image.pixel(c.window.left() - c.border / 2, c.window.center().y()), qcolour(kBorderColour).rgb());
            EXPECT_EQ(image.pixel(c.window.center().x(), c.window.bottom() + c.border / 2),
                      qcolour(kBorderColour).rgb());
        }
        if (c.window.top() > c.border) {
            EXPECT_EQ(image.pixel(c.window.center().x(), c.window.top() - c.border - 1), kWindowColour.rgb());
        }
    }
}

namespace {

// A picture shown at its native size: 320 x 240 in a 336 x 256 host with an
// 8-pixel border, so composed pixels compare one to one.
struct NativeSize : Shown
{
    NativeSize() : Shown("mpeg1.mpg", QSize(336, 256))
    {
        man->SetVideoAspect(4, 3);
        TFont font;
        font.Name = QStringLiteral("Arial");
        font.Size = 16;
        font.Color = kTextColour;
        man->SetInsertFont(font);
        man->SetInsertBorderColor(kOutlineColour);
    }
    QImage video() { return composed(&host).copy(8, 8, 320, 240); }
};

} // namespace

TEST(WindowLessMan, CurrentImageIsTheDecodedFrameAtNativeSize)
{
    NativeSize shown;
    ASSERT_TRUE(shown.cued);
    const QImage image = shown.current();
    ASSERT_EQ(image.size(), QSize(320, 240));
    EXPECT_EQ(clips::readBarcode(image), 0);
    const std::vector<QImage> decoded = clips::decodeFrames(clip("mpeg1.mpg"), 1);
    ASSERT_EQ(decoded.size(), 1u);
    int differing = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x)
            differing += !near(image.pixel(x, y), decoded[0].pixel(x, y), 6);
    }
    EXPECT_LT(differing, 320 * 240 / 100);
    // The same through the window message; and it is what the host shows.
    QImage grabbed;
    SendMessage(shown.man->Handle(), WM_GRABIMAGE, reinterpret_cast<WPARAM>(&grabbed), 0);
    EXPECT_EQ(grabbed.convertToFormat(QImage::Format_RGB32), image);
    EXPECT_EQ(shown.video(), image);
}

TEST(WindowLessMan, FlipsMirrorThePictureAndNotTheInlay)
{
    NativeSize shown;
    ASSERT_TRUE(shown.cued);
    TWindowLessMan& man = *shown.man;
    man.SetInsertPosition(TPoint{500, 4000});
    man.SetInsertTextOn(true);
    const QImage picture = shown.current();
    const QImage plain = shown.video();
    const QRect inlay = changedArea(plain, picture);
    ASSERT_FALSE(inlay.isEmpty());
    // A pixel of the outline may match the picture under it.
    const QRect grown = inlay.adjusted(-2, -2, 2, 2);
    // The positions of the text's and the outline's colours.
    const auto inlayPixels = [&grown](const QImage& video) {
        QList<QPoint> pixels;
        for (int y = grown.top(); y <= grown.bottom(); ++y) {
            for (int x = grown.left(); x <= grown.right(); ++x) {
                const QRgb p = video.pixel(x, y);
                if (p == qcolour(kTextColour).rgb() || p == qcolour(kOutlineColour).rgb())
                    pixels.append(QPoint(x, y));
            }
        }
        return pixels;
    };

    const struct
    {
        bool horizontal;
        bool vertical;
    } flips[] = {{true, false}, {false, true}, {true, true}, {false, false}};
    for (const auto& f : flips) {
        SCOPED_TRACE(testing::Message() << "horizontal " << f.horizontal << " vertical " << f.vertical);
        man.SetFlipHorizontal(f.horizontal);
        man.SetFlipVertical(f.vertical);
        const QImage flipped = shown.video();
        // All that is not the mirrored picture is the inlay, where it was
        // and as it was.
        EXPECT_TRUE(grown.contains(changedArea(flipped, picture.mirrored(f.horizontal, f.vertical))));
        EXPECT_EQ(inlayPixels(flipped), inlayPixels(plain));
    }
}

TEST(WindowLessMan, InlayLandsWhereAlignmentAndPositionPutIt)
{
    NativeSize shown;
    ASSERT_TRUE(shown.cued);
    TWindowLessMan& man = *shown.man;
    const QImage picture = shown.current();
    // The inlay's own pixels of a colour: in that colour where the picture
    // has another.
    const auto pixelsOf = [&picture](const QImage& video, TColor colour) {
        return boundsOf(video, [&](int x, int y) {
            return video.pixel(x, y) == qcolour(colour).rgb() && !near(picture.pixel(x, y), qcolour(colour).rgb(), 2);
        });
    };
    man.SetInsertTextOn(true);

    // Position (5000, 5000) is (160, 120) in the picture; the text's cell
    // starts one outline width further.
    const struct
    {
        int alignment;
        int outline;
    } cases[] = {{0, 2}, {1, 2}, {2, 2}, {0, 1}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "alignment " << c.alignment << " outline " << c.outline);
        man.SetInsertBorderWidth(c.outline);
        man.SetInsertAlignLines(c.alignment);
        man.SetInsertPosition(TPoint{5000, 5000});
        const QImage video = shown.video();
        const QRect text = pixelsOf(video, kTextColour);
        ASSERT_FALSE(text.isEmpty());
        const int anchor = 160 + c.outline;
        // Glyphs stand a few pixels inside their advance.
        switch (c.alignment) {
        case 0:
            EXPECT_GE(text.left(), anchor);
            EXPECT_LE(text.left(), anchor + 4);
            break;
        case 1:
            EXPECT_LE(text.right(), anchor);
            EXPECT_GE(text.right(), anchor - 5);
            break;
        case 2:
            EXPECT_LE(std::abs(text.center().x() - anchor), 4);
            break;
        }
        EXPECT_GE(text.top(), 120 + c.outline);
        EXPECT_LE(text.top(), 120 + c.outline + 10);
        // The outline lies around the text and no further than its width.
        const QRect outline = pixelsOf(video, kOutlineColour);
        if (c.outline == 0) {
            EXPECT_TRUE(outline.isEmpty());
        } else {
            ASSERT_FALSE(outline.isEmpty());
            EXPECT_TRUE(outline.contains(text));
            EXPECT_LE(text.left() - outline.left(), c.outline);
            EXPECT_LE(outline.right() - text.right(), c.outline);
        }
        // Outside the inlay's lines the key colour lets the picture through.
        const QRect lines = outline.isEmpty() ? text : outline;
        EXPECT_TRUE(lines.contains(changedArea(video, picture)))
            << "text " << text << " outline " << outline << " changed " << changedArea(video, picture);
    }

    // Text beyond Latin-1 is measured as it is drawn: right-aligned, it
    // still ends at the position.
    TInsertLine wide = man.InsertLine(0);
    wide.Text = QStringLiteral("ЖШЩ ΩΨΦ ЖШЩ");
    man.SetInsertLine(0, wide);
    man.SetInsertAlignLines(1);
    const QRect wideText = pixelsOf(shown.video(), kTextColour);
    const int anchor = 160 + man.InsertBorderWidth();
    EXPECT_LE(wideText.right(), anchor);
    EXPECT_GE(wideText.right(), anchor - 5);

    // Half transparent: the text's colour mixed evenly with the picture.
    man.SetInsertAlignLines(0);
    const QImage opaque = shown.video();
    const QRect text = pixelsOf(opaque, kTextColour);
    man.SetInsertTransparency(0.5);
    const QImage half = shown.video();
    int checked = 0;
    for (int y = text.top(); y <= text.bottom(); ++y) {
        for (int x = text.left(); x <= text.right(); ++x) {
            if (opaque.pixel(x, y) != qcolour(kTextColour).rgb())
                continue;
            const QRgb under = picture.pixel(x, y);
            const QRgb mixed = qRgb((250 + qRed(under)) / 2, (130 + qGreen(under)) / 2, (10 + qBlue(under)) / 2);
            EXPECT_TRUE(near(half.pixel(x, y), mixed, 2)) << x << "," << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 20);
    // Off, the picture is whole again.
    man.SetInsertTextOn(false);
    EXPECT_TRUE(changedArea(shown.video(), picture).isEmpty());
}

TEST(WindowLessMan, PausedEditsRedrawTheInlayAtOnce)
{
    NativeSize shown;
    ASSERT_TRUE(shown.cued);
    TWindowLessMan& man = *shown.man;
    man.SetInsertTextOn(true);
    // Any average sync offset is past this limit; paused, it does not hold
    // the change back.
    man.MaxSyncOffset = -1;
    const QImage before = man.InlayBitmap();
    man.SetInsertPosition(TPoint{2000, 2000});
    EXPECT_NE(man.InlayBitmap(), before);
    TInsertLine second = man.InsertLine(1);
    second.Text = QStringLiteral("Ünïcode ŝtext");
    second.Visible = true;
    const QImage oneLine = man.InlayBitmap();
    man.SetInsertLine(1, second);
    EXPECT_NE(man.InlayBitmap(), oneLine);
}

TEST(WindowLessMan, FullScreenAndPreviewMoveTheVideoAndBack)
{
    Shown shown("mpeg1.mpg");
    ASSERT_TRUE(shown.cued);
    TWindowLessMan& man = *shown.man;
    man.SetVideoAspect(4, 3);
    const auto centreIsPicture = [&shown](QWidget* widget, const RECT& r) {
        const QImage image = shown.composed(widget);
        return !isBand(image.pixel((r.left + r.right) / 2, (r.top + r.bottom) / 2)) &&
               image.pixel((r.left + r.right) / 2, (r.top + r.bottom) / 2) != QColor(Qt::black).rgb();
    };
    const auto hostCentre = [&shown] {
        return shown.composed(&shown.host).pixel(shown.host.width() / 2, shown.host.height() / 2);
    };
    ASSERT_TRUE(centreIsPicture(&shown.host, man.WindowVideoRect()));

    for (int interval : {3000, 0}) {
        SCOPED_TRACE(testing::Message() << "notice " << interval);
        man.iaTimerInterval->SetValue(interval);
        man.caFullscreen->SetChecked(true);
        EXPECT_TRUE(man.Plaque()->isVisible());
        EXPECT_EQ(man.Plaque()->PanelQuit()->isVisible(), interval != 0);
        const RECT full = man.FullScreenVideoRect();
        EXPECT_EQ(full.left + full.right, man.Plaque()->width());
        EXPECT_TRUE(centreIsPicture(man.Plaque(), full));
        const QImage plate = shown.composed(man.Plaque());
        EXPECT_EQ(plate.pixel(full.left - 4, (full.top + full.bottom) / 2), qcolour(kBorderColour).rgb());
        EXPECT_EQ(hostCentre(), kWindowColour.rgb());
        // A click on the notice takes it away.
        QLabel* notice = man.Plaque()->PanelQuit();
        QMouseEvent click(QEvent::MouseButtonRelease, QPointF(2, 2), notice->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(notice, &click);
        EXPECT_FALSE(notice->isVisible());

        man.caFullscreen->SetChecked(false);
        EXPECT_FALSE(man.Plaque()->isVisible());
        EXPECT_TRUE(centreIsPicture(&shown.host, man.WindowVideoRect()));
    }

    // A tall picture leaves bands of the plate beside the border, in the
    // background colour.
    man.SetVideoAspect(1, 2);
    man.SetBackColor(kBackColour);
    man.caFullscreen->SetChecked(true);
    {
        const RECT full = man.FullScreenVideoRect();
        const int middle = (full.top + full.bottom) / 2;
        ASSERT_GT(full.left, 2 * man.FullBorderWidth());
        const QImage plate = shown.composed(man.Plaque());
        EXPECT_EQ(plate.pixel(full.left - man.FullBorderWidth() - 2, middle), qcolour(kBackColour).rgb());
        EXPECT_EQ(plate.pixel(full.left - man.FullBorderWidth() / 2, middle), qcolour(kBorderColour).rgb());
        EXPECT_TRUE(centreIsPicture(man.Plaque(), full));
    }
    man.caFullscreen->SetChecked(false);
    man.SetVideoAspect(4, 3);

    man.caExternalPreview->SetChecked(true);
    TPreviewForm* preview = man.PreviewForm();
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->size(), QSize(640, 480));
    EXPECT_EQ(man.DisplayWindow(), preview);
    EXPECT_TRUE(centreIsPicture(preview, man.WindowVideoRect()));
    EXPECT_EQ(hostCentre(), kWindowColour.rgb());
    // Closing the window brings the video home and unchecks the action.
    // The main window hears when a resize of the preview has come to rest.
    bool rested = false;
    const HWND mainForm = AllocateHWnd([&rested](UINT msg, WPARAM, LPARAM) -> LRESULT {
        rested = rested || msg == 0x0232;
        return 0;
    });
    man.MainFormHandle = mainForm;
    preview->resize(500, 400);
    EXPECT_TRUE(QTest::qWaitFor([&rested] { return rested; }, 5000));
    man.MainFormHandle = 0;
    DeallocateHWnd(mainForm);
    preview->close();
    EXPECT_FALSE(man.caExternalPreview->Checked());
    EXPECT_EQ(man.DisplayWindow(), &shown.host);
    EXPECT_TRUE(centreIsPicture(&shown.host, man.WindowVideoRect()));
    EXPECT_EQ(man.PreviewRect().Right - man.PreviewRect().Left, 500);
}

TEST(WindowLessMan, AutoSizeFollowsThePictureAndFramesDrawnCountThePlay)
{
    // 720 x 576 gives max(576 / 28, 720 / 36) = 20 points, whatever the
    // font's own size.
    Shown shown("dv_pal.avi");
    ASSERT_TRUE(shown.cued);
    TWindowLessMan& man = *shown.man;
    man.SetInsertTextOn(true);
    TFont font;
    font.Name = QStringLiteral("Arial");
    font.Size = 20;
    man.SetInsertFont(font);
    const QImage twenty = man.InlayBitmap();
    ASSERT_EQ(twenty.size(), QSize(720, 576));
    font.Size = 9;
    man.SetInsertFont(font);
    EXPECT_NE(man.InlayBitmap(), twenty);
    man.SetInsertAutoSize(true);
    EXPECT_EQ(man.InlayBitmap(), twenty);

    shown.engine.playToEnd();
    std::int32_t frames = -1;
    SendMessage(man.Handle(), WM_FRAMESDRAWN, 0, reinterpret_cast<LPARAM>(&frames));
    EXPECT_EQ(frames, 75);
}

TEST(WindowLessMan, TheNextFileAfterAClearedGraphShowsItsPictures)
{
    Shown shown("dv_pal.avi");
    ASSERT_TRUE(shown.cued);
    ASSERT_EQ(shown.current().size(), QSize(720, 576));
    const auto inGraph = [&shown] {
        FILTER_INFO info;
        shown.man->Renderer()->QueryFilterInfo(&info);
        return bool(info.pGraph);
    };

    // Closing the file takes the renderer out with every other filter.
    shown.engine.man->Stop();
    shown.engine.man->ClearGraph();
    EXPECT_FALSE(inGraph());
    EXPECT_EQ(shown.man->GraphManager(), nullptr);

    // The next file puts it back and shows its own first frame; so does one
    // more after the renderer was taken out by hand.
    for (const char* next : {"mpeg1.mpg", "h264.mp4"}) {
        SCOPED_TRACE(next);
        ASSERT_TRUE(shown.open(next));
        EXPECT_TRUE(inGraph());
        const QImage image = shown.current();
        EXPECT_EQ(image.size(), QSize(320, 240));
        EXPECT_EQ(clips::readBarcode(image), 0);
        shown.engine.man->Stop();
        shown.engine.man->GraphBuilder()->RemoveFilter(shown.man->Renderer());
    }
}

TEST(WindowLessMan, ASubtitleShowsAtTheFootWithOrWithoutTheInlay)
{
    NativeSize shown;
    ASSERT_TRUE(shown.cued);
    TWindowLessMan& man = *shown.man;
    const QImage picture = shown.current();
    // The letters: white where the picture is not.
    const auto letters = [&picture](const QImage& video) {
        return boundsOf(video, [&](int x, int y) {
            return video.pixel(x, y) == qRgb(255, 255, 255) && !near(picture.pixel(x, y), qRgb(255, 255, 255), 2);
        });
    };

    // Alone, the inlay off: opaque, centred low in the picture.
    man.SetSubtitleText(QStringLiteral("Subtitle"));
    const QImage alone = shown.video();
    const QRect text = letters(alone);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_LE(std::abs(text.center().x() - 160), 3);
    EXPECT_GT(text.top(), 160);
    EXPECT_TRUE(text.adjusted(-3, -3, 3, 3).contains(changedArea(alone, picture)));
    // With the inlay and after it, the same letters.
    man.SetInsertTextOn(true);
    EXPECT_EQ(letters(shown.video()), text);
    man.SetInsertTextOn(false);
    EXPECT_EQ(letters(shown.video()), text);
    EXPECT_EQ(man.SubtitleText(), QStringLiteral("Subtitle"));
    // Taken off, the picture is whole again.
    man.SetSubtitleText(QString());
    EXPECT_TRUE(changedArea(shown.video(), picture).isEmpty());
}
