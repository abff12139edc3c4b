// Interval capture to JPEG against FFmpeg making the same pictures.
//
// The clip is made at start in a temporary folder (make-clips.sh --pal95):
// 95 seconds of numbered PAL, 720 x 576 shown at 4:3, MPEG-2 in groups of 12
// frames, with sound. Every iteration runs both sides in turn, in this one
// process and timed alike (wall clock and the process's processor time), the
// first side alternating:
//  - the program: the main window opens the clip, captures a picture every
//    N seconds from the start to the end as JPEG at quality 75 into an empty
//    folder, and the capture ends;
//  - FFmpeg: its libraries do what the ffmpeg tool does with
//    "-vf select='not(mod(n,25 N))',scale=720:540 -q:v Q": open the clip,
//    decode every frame of its video, select those whose number is a
//    multiple of 25 N, scale them to the same 720 x 540 and write them as
//    JPEG into an empty folder, at the quantiser Q whose pictures come
//    closest in bytes to the program's (chosen once, before the timing).
// Before the timing, both sides' pictures are read back: the same count, the
// same size, and in each the barcode of the same frame.
//
// The time reported is the program's wall time; the counters give the
// median wall and processor milliseconds of each side, the ratios of
// FFmpeg's to the program's, and the work: pictures written, pictures each
// side decoded for them (FFmpeg decodes every frame to select from them; the
// program's decoder leaves pictures that nothing refers to undecoded before
// a target, so it is handed more packets than it decodes pictures), packets
// each side handed its decoder, and the mean bytes of a picture on each
// side.

#include "app/main_form.h"
#include "media/filters/video_notifier.h"
#include "platform/filters/decoders.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/pin_walk.h"
#include "platform/renderers/renderers.h"
#include "platform/win/messages.h"
#include "platform/win/registry.h"
#include "tests/media/clip_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kFrames = 2375;
constexpr int kRate = 25;
constexpr int kQuality = 75;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// A run of one side: what it took and what it made.
struct Run
{
    double wallMs = 0;
    double cpuMs = 0;
    std::int64_t framesDecoded = 0;
    std::int64_t packetsDecoded = 0;
    QStringList pictures;
    qint64 bytes = 0;
};

QStringList Pictures(const QString& folder, qint64* bytes)
{
    QStringList files;
    *bytes = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
        files.append(file.filePath());
        *bytes += file.size();
    }
    return files;
}

void Empty(const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

// No window asks or tells anything while the benchmark runs: what would be
// told goes to the error output.
class QuietFileUi final : public TFileManUi
{
public:
    std::optional<QString> OpenFileName(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> SaveFileName(const QString&, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    TAnswer Question(const QString&, bool) override { return mrNo; }
    void ShowError(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    bool ShowInFolder(const QString&) override { return true; }
    std::optional<QString> FolderName(const QString&, const QString&) override { return {}; }
};

class QuietGrabUi final : public TGrabUi
{
public:
    TOverwriteAnswer AskOverwrite(const QString&) override { return oaYes; }
    void ShowError(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void ShowInFolder(const QString&) override {}
};

class Sides
{
public:
    Sides()
    {
        qputenv("KESTROVA_REGISTRY", FDir.filePath(QStringLiteral("program-registry.reg")).toUtf8());
        FClip = FDir.filePath(QStringLiteral("pal95.mpg"));
        QProcess make;
        make.start(QStringLiteral("bash"), {QStringLiteral(KESTROVA_SOURCE_DIR "/tests/media/make-clips.sh"),
                                            QStringLiteral("--pal95"), FClip});
        if (!make.waitForFinished(600'000) || make.exitCode() != 0 || !QFileInfo::exists(FClip)) {
            std::fprintf(stderr, "the clip could not be made: %s\n", make.readAllStandardError().constData());
            return;
        }
        RegisterSystemFilters();
        RegisterRenderers();
        FRegistry = std::make_unique<RegistryStore>(FDir.filePath(QStringLiteral("registry.reg")));
        TMainFormOptions options;
        options.Registry = FRegistry.get();
        options.ProgramFolder = FDir.path();
        FForm = std::make_unique<TMainForm>(options);
        FForm->ficman->SetUi(std::make_unique<QuietFileUi>());
        FForm->SetGrabUi(std::make_unique<QuietGrabUi>());
        FForm->resize(1025, 644);
        FForm->show();
        ProcessMessages();
        TMainActions& a = FForm->A;
        a.iaImageExtension->SetValue(1);
        a.iaJpegCompressionQuality->SetValue(kQuality);
        a.iaImageAjouter->SetValue(1);
        a.iaNomFichierImage->SetValue(0);
        a.baConfirmerImage->SetValue(false);
        a.baImageDeinterlacer->SetValue(false);
        FOk = true;
    }

    bool Ok() const { return FOk; }
    QString Folder(const char* side) const { return FDir.filePath(QString::fromLatin1(side)); }

    Run Program(int seconds)
    {
        const QString folder = Folder("program");
        Empty(folder);
        TMainActions& a = FForm->A;
        a.waDossierSave->SetValue(folder + u'/');
        a.iaNextNum->SetValue(1);
        Run run;
        const double cpu = cpuMs(RUSAGE_SELF);
        const Clock::time_point start = Clock::now();
        FForm->ficman->OpenFile(FClip);
        // The stream's notifier stands in front of its decoder.
        TVideoNotifier* notifier = FForm->vidman->CurrentSource()->Notifier();
        const auto decoder =
            notifier ? filterOf(peerOf(notifier->output()).get()).as<IDecoderCounts>() : ComPtr<IDecoderCounts>();
        const std::int64_t decoded = decoder ? decoder->FramesDecoded() : 0;
        const std::int64_t sent = notifier ? notifier->samplesPassed() : 0;
        a.iaIntervalloUnit->SetValue(1);
        a.iaIntervalloDelai->SetValue(seconds);
        a.naIntervalloStart->Execute();
        WaitServingMessages(
            [&] {
                ProcessMessages();
                return !FForm->IntervalRunning();
            },
            600'000);
        run.wallMs = msSince(start);
        run.cpuMs = cpuMs(RUSAGE_SELF) - cpu;
        run.framesDecoded = decoder ? decoder->FramesDecoded() - decoded : 0;
        run.packetsDecoded = notifier ? notifier->samplesPassed() - sent : 0;
        FForm->ficman->naCloseFile->Execute();
        ProcessMessages();
        run.pictures = Pictures(folder, &run.bytes);
        return run;
    }

    Run Tool(int seconds, int quantiser)
    {
        const QString folder = Folder("tool");
        Empty(folder);
        Run run;
        const double cpu = cpuMs(RUSAGE_SELF);
        const Clock::time_point start = Clock::now();
        if (!SelectScaleAndWrite(seconds * kRate, quantiser, folder, run))
            std::fprintf(stderr, "FFmpeg could not make the pictures\n");
        run.wallMs = msSince(start);
        run.cpuMs = cpuMs(RUSAGE_SELF) - cpu;
        run.pictures = Pictures(folder, &run.bytes);
        return run;
    }

    // The tool's quantiser whose pictures come closest in bytes to the
    // program's at its quality; once, on the ten-second pictures.
    int Quantiser()
    {
        if (FQuantiser)
            return FQuantiser;
        const Run program = Program(10);
        const double target = program.pictures.isEmpty() ? 0 : double(program.bytes) / program.pictures.size();
        double best = -1;
        for (int q = 2; q <= 12; ++q) {
            const Run tool = Tool(10, q);
            const double mean = tool.pictures.isEmpty() ? 0 : double(tool.bytes) / tool.pictures.size();
            if (best < 0 || std::abs(mean - target) < best) {
                best = std::abs(mean - target);
                FQuantiser = q;
            }
        }
        return FQuantiser;
    }

private:
    // What the ffmpeg tool does for the same pictures, with its default
    // threads: every frame of the video decoded, every `every`-th scaled to
    // 720 x 540 and written as JPEG at the quantiser.
    bool SelectScaleAndWrite(int every, int quantiser, const QString& folder, Run& run) const
    {
        AVFormatContext* opened = nullptr;
        if (avformat_open_input(&opened, QFile::encodeName(FClip).constData(), nullptr, nullptr) < 0)
            return false;
        const std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
            opened, [](AVFormatContext* f) { avformat_close_input(&f); });
        if (avformat_find_stream_info(opened, nullptr) < 0)
            return false;
        const AVCodec* decoder = nullptr;
        const int stream = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (stream < 0)
            return false;
        for (unsigned i = 0; i < opened->nb_streams; ++i)
            opened->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        using Codec = std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)>;
        const auto freeCodec = [](AVCodecContext* c) { avcodec_free_context(&c); };
        const Codec decoding(avcodec_alloc_context3(decoder), freeCodec);
        avcodec_parameters_to_context(decoding.get(), opened->streams[stream]->codecpar);
        if (avcodec_open2(decoding.get(), decoder, nullptr) < 0)
            return false;
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        const Codec encoding(avcodec_alloc_context3(encoder), freeCodec);
        encoding->width = 720;
        encoding->height = 540;
        encoding->pix_fmt = AV_PIX_FMT_YUVJ420P;
        encoding->time_base = {1, kRate};
        encoding->flags |= AV_CODEC_FLAG_QSCALE;
        encoding->global_quality = quantiser * FF_QP2LAMBDA;
        if (avcodec_open2(encoding.get(), encoder, nullptr) < 0)
            return false;
        const std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                                 [](AVFrame* f) { av_frame_free(&f); });
        const std::unique_ptr<AVFrame, void (*)(AVFrame*)> scaled(av_frame_alloc(),
                                                                  [](AVFrame* f) { av_frame_free(&f); });
        const std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                                    [](AVPacket* p) { av_packet_free(&p); });
        scaled->width = 720;
        scaled->height = 540;
        scaled->format = AV_PIX_FMT_YUVJ420P;
        scaled->quality = encoding->global_quality;
        if (av_frame_get_buffer(scaled.get(), 0) < 0)
            return false;
        SwsContext* scale = nullptr;
        std::int64_t number = 0;
        int written = 0;
        const auto take = [&]() -> bool {
            while (avcodec_receive_frame(decoding.get(), frame.get()) == 0) {
                ++run.framesDecoded;
                if (number++ % every != 0)
                    continue;
                scale = sws_getCachedContext(scale, frame->width, frame->height, AVPixelFormat(frame->format), 720, 540,
                                             AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
                if (!scale || av_frame_make_writable(scaled.get()) < 0)
                    return false;
                sws_scale(scale, frame->data, frame->linesize, 0, frame->height, scaled->data, scaled->linesize);
                scaled->pts = number - 1;
                if (avcodec_send_frame(encoding.get(), scaled.get()) < 0)
                    return false;
                while (avcodec_receive_packet(encoding.get(), packet.get()) == 0) {
                    QFile file(folder + QString::asprintf("/%03d.jpg", ++written));
                    const bool ok =
                        file.open(QIODevice::WriteOnly) &&
                        file.write(reinterpret_cast<const char*>(packet->data), packet->size) == packet->size;
                    av_packet_unref(packet.get());
                    if (!ok)
                        return false;
                }
            }
            return true;
        };
        bool ok = true;
        while (ok && av_read_frame(opened, packet.get()) >= 0) {
            if (packet->stream_index == stream) {
                ++run.packetsDecoded;
                // A damaged packet is passed over, as the tool does.
                avcodec_send_packet(decoding.get(), packet.get());
            }
            av_packet_unref(packet.get());
            ok = ok && take();
        }
        avcodec_send_packet(decoding.get(), nullptr);
        ok = ok && take();
        sws_freeContext(scale);
        return ok;
    }

    QTemporaryDir FDir;
    QString FClip;
    std::unique_ptr<RegistryStore> FRegistry;
    std::unique_ptr<TMainForm> FForm;
    bool FOk = false;
    int FQuantiser = 0;
};

// Made by the first benchmark; the window goes before the application does.
std::unique_ptr<Sides> TheSidesMade;

Sides& TheSides()
{
    if (!TheSidesMade)
        TheSidesMade = std::make_unique<Sides>();
    return *TheSidesMade;
}

// The frames in the pictures, in the order of their names; -1 for one
// without a readable barcode, -2 for one that is not 720 x 540.
std::vector<int> FramesIn(const QStringList& pictures)
{
    std::vector<int> frames;
    for (const QString& file : pictures) {
        const QImage image(file);
        frames.push_back(
            image.size() != QSize(720, 540) ? -2 : clips::readBarcode(image.convertToFormat(QImage::Format_RGB32)));
    }
    return frames;
}

void BM_IntervalCapture(benchmark::State& state)
{
    Sides& sides = TheSides();
    if (!sides.Ok()) {
        state.SkipWithError("no clip or no window");
        return;
    }
    const int seconds = int(state.range(0));
    const int quantiser = sides.Quantiser();

    // The same pictures on both sides, checked once.
    const Run program = sides.Program(seconds);
    const Run tool = sides.Tool(seconds, quantiser);
    std::vector<int> expected;
    for (int frame = 0; frame < kFrames - 1; frame += seconds * kRate)
        expected.push_back(frame);
    if (FramesIn(program.pictures) != expected || FramesIn(tool.pictures) != expected) {
        state.SkipWithError("the two sides do not make the same pictures");
        return;
    }

    std::vector<double> programWall, programCpu, toolWall, toolCpu, programDecoded, programPackets, toolDecoded,
        toolPackets;
    bool programFirst = true;
    for (auto _ : state) {
        Run a, b;
        if (programFirst) {
            a = sides.Program(seconds);
            b = sides.Tool(seconds, quantiser);
        } else {
            b = sides.Tool(seconds, quantiser);
            a = sides.Program(seconds);
        }
        programFirst = !programFirst;
        state.SetIterationTime(a.wallMs / 1e3);
        programWall.push_back(a.wallMs);
        programCpu.push_back(a.cpuMs);
        programDecoded.push_back(double(a.framesDecoded));
        programPackets.push_back(double(a.packetsDecoded));
        toolWall.push_back(b.wallMs);
        toolCpu.push_back(b.cpuMs);
        toolDecoded.push_back(double(b.framesDecoded));
        toolPackets.push_back(double(b.packetsDecoded));
    }
    const double pw = median(programWall), tw = median(toolWall);
    const double pc = median(programCpu), tc = median(toolCpu);
    state.counters["program_ms"] = pw;
    state.counters["ffmpeg_ms"] = tw;
    state.counters["ffmpeg/program"] = pw > 0 ? tw / pw : 0;
    state.counters["program_cpu_ms"] = pc;
    state.counters["ffmpeg_cpu_ms"] = tc;
    state.counters["ffmpeg/program_cpu"] = pc > 0 ? tc / pc : 0;
    state.counters["pictures"] = double(expected.size());
    state.counters["program_frames_decoded"] = median(programDecoded);
    state.counters["program_packets_decoded"] = median(programPackets);
    state.counters["ffmpeg_frames_decoded"] = median(toolDecoded);
    state.counters["ffmpeg_packets_decoded"] = median(toolPackets);
    state.counters["program_bytes"] = double(program.bytes) / program.pictures.size();
    state.counters["ffmpeg_bytes"] = double(tool.bytes) / tool.pictures.size();
    state.counters["ffmpeg_q"] = quantiser;
}

BENCHMARK(BM_IntervalCapture)->Arg(1)->Arg(10)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KESTROVA_AUDIO"))
        qputenv("KESTROVA_AUDIO", "null");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TheSidesMade.reset();
    return 0;
}
