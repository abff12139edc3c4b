// Interval capture to JPEG against the ffmpeg tool making the same pictures.
//
// The clip is made at start in a temporary folder (make-clips.sh --pal95):
// 95 seconds of numbered PAL, 720 x 576 shown at 4:3, MPEG-2 in groups of 12
// frames, with sound. Every iteration runs both sides in turn, the first
// side alternating:
//  - the program: the main window opens the clip, captures a picture every
//    N seconds from the start to the end as JPEG at quality 75 into an empty
//    folder, and the capture ends;
//  - the tool: ffmpeg opens the clip, selects the frames whose number is a
//    multiple of 25 N, scales them to the same 720 x 540 and writes them as
//    JPEG into an empty folder, at the quantiser whose pictures come
//    closest in bytes to the program's (chosen once, before the timing).
// Before the timing, both sides' pictures are read back: the same count, the
// same size, and in each the barcode of the same frame.
//
// The time reported is the program's wall time; the counters give the
// median wall and processor milliseconds of each side, the ratios of the
// tool's to the program's, and the work: pictures written, frames each side
// decoded for them (the tool decodes every frame to select from them; the
// program's decoder leaves pictures that nothing refers to undecoded before
// a target, so it is handed more packets than it decodes pictures), and the
// mean bytes of a picture on each side.

#include "app/main_form.h"
#include "media/filters/video_notifier.h"
#include "platform/filters/decoders.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/pin_walk.h"
#include "platform/renderers/renderers.h"
#include "platform/win/messages.h"
#include "platform/win/registry.h"
#include "tests/media/clip_reader.h"

#include <QApplication>
#include <QDir>
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
        const QStringList args{QStringLiteral("-nostdin"),
                               QStringLiteral("-hide_banner"),
                               QStringLiteral("-loglevel"),
                               QStringLiteral("error"),
                               QStringLiteral("-i"),
                               FClip,
                               QStringLiteral("-vf"),
                               QStringLiteral("select='not(mod(n\\,%1))',scale=720:540").arg(seconds * kRate),
                               QStringLiteral("-fps_mode"),
                               QStringLiteral("passthrough"),
                               QStringLiteral("-q:v"),
                               QString::number(quantiser),
                               folder + QStringLiteral("/%03d.jpg")};
        Run run;
        const double cpu = cpuMs(RUSAGE_CHILDREN);
        const Clock::time_point start = Clock::now();
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), args);
        ffmpeg.waitForFinished(600'000);
        run.wallMs = msSince(start);
        run.cpuMs = cpuMs(RUSAGE_CHILDREN) - cpu;
        if (ffmpeg.exitCode() != 0)
            std::fprintf(stderr, "ffmpeg: %s\n", ffmpeg.readAllStandardError().constData());
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

    std::vector<double> programWall, programCpu, toolWall, toolCpu, programDecoded, programPackets;
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
    state.counters["ffmpeg_frames_decoded"] = kFrames;
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
