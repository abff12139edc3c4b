// Grabbing and saving one 720 x 576 frame (an interlaced PAL clip's) as a
// JPEG at the 4:3 display size, against libjpeg's own encode of the same
// frame after the same scale, both measured in turn within each iteration.
// Arguments: the JPEG quality, and 1 to deinterlace first (the floor never
// does). Each side writes its picture to a file of its own in one folder.
//
// The time reported is the grab's processor time; the counters give the
// median of each side in milliseconds of processor time, their ratio, and the work each did: frames encoded and
// the bytes of the last picture each wrote.

#include "app/deinterlace.h"
#include "app/picture_writer.h"
#include "tests/media/clip_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <jpeglib.h>

namespace {

// The processor time of the whole process: the scale may run on Qt's
// worker threads, and on a shared machine time spent waiting for a
// processor would fall on either side at random.
double processMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// The floor: Qt's filtered scale into a picture kept from one round to the
// next, then libjpeg from its pixels straight into an open file, with the
// library's default error handling.
bool floorEncode(const QImage& frame, QImage& picture, int quality, const QByteArray& fileName)
{
    {
        QPainter painter(&picture);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(picture.rect(), frame);
    }
    FILE* file = std::fopen(fileName.constData(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(picture.width());
    info.image_height = JDIMENSION(picture.height());
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

// The grab as the window makes it, from the frame the renderer handed out:
// deinterlaced on request into the work picture, which the raw frame then
// becomes, stretched onto the grabbed picture at the display aspect, and
// written as the program writes pictures. The work and grabbed pictures are
// kept from one grab to the next, as the window keeps them.
struct Grab
{
    QImage work;
    QImage picture;
};

bool grabEncode(const QImage& frame, bool deinterlace, int quality, const QString& fileName, Grab& grab)
{
    QImage raw = frame;
    if (deinterlace) {
        DeinterlaceBitmap(raw, grab.work);
        raw = grab.work;
    }
    StretchOnto(raw, GrabImageSize(4, 3, raw.size()), grab.picture);
    return WriteJpegFile(grab.picture, fileName, quality, nullptr);
}

} // namespace

static void BM_GrabAndSaveJpeg(benchmark::State& state)
{
    const int quality = int(state.range(0));
    const bool deinterlace = state.range(1) != 0;
    const std::vector<QImage> frames = clips::decodeFrames(clips::path("interlaced_pal.mpg"), 4);
    QTemporaryDir dir;
    if (frames.size() != 4 || frames[3].size() != QSize(720, 576) || !dir.isValid()) {
        state.SkipWithError("the interlaced clip is missing: run `ctest -R make_clips` first");
        return;
    }
    const QImage& frame = frames[3];
    QImage scaled(GrabImageSize(4, 3, frame.size()), QImage::Format_RGB32);
    Grab kept;
    const QString grabName = dir.filePath("grab.jpg");
    const QByteArray floorName = QFile::encodeName(dir.filePath("floor.jpg"));

    std::vector<double> grab, floor;
    long long grabbed = 0, floored = 0;
    for (auto _ : state) {
        double start = processMs();
        grabbed += grabEncode(frame, deinterlace, quality, grabName, kept);
        const double grabMs = processMs() - start;
        start = processMs();
        floored += floorEncode(frame, scaled, quality, floorName);
        floor.push_back(processMs() - start);
        grab.push_back(grabMs);
        state.SetIterationTime(grabMs / 1e3);
    }
    const double grabMs = median(grab), floorMs = median(floor);
    state.counters["grab_ms"] = grabMs;
    state.counters["floor_ms"] = floorMs;
    state.counters["ratio"] = floorMs > 0 ? grabMs / floorMs : 0;
    state.counters["grab_frames"] = double(grabbed);
    state.counters["floor_frames"] = double(floored);
    state.counters["grab_bytes"] = double(QFileInfo(grabName).size());
    state.counters["floor_bytes"] = double(QFileInfo(QFile::decodeName(floorName)).size());
}
BENCHMARK(BM_GrabAndSaveJpeg)
    ->ArgNames({"quality", "deinterlace"})
    ->ArgsProduct({{50, 90}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(100);

BENCHMARK_MAIN();
