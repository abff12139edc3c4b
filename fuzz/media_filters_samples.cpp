// Any bytes as the samples of a stream: the video notifier reads them as DV
// in a video format, as DV data or as MPEG-2, with scene detection on; the
// resampler converts them in pieces and gives the same as in one piece.
#include "media/filters/resampler.h"
#include "media/filters/video_notifier.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/sample.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace {

AM_MEDIA_TYPE videoType(std::uint8_t mode)
{
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    switch (mode % 3) {
    case 0:
        type.subtype = MEDIASUBTYPE_dvsd;
        type.formattype = FORMAT_VideoInfo;
        type.allocFormat<VIDEOINFOHEADER>()->AvgTimePerFrame = 400'000;
        break;
    case 1:
        type.majortype = MEDIATYPE_Interleaved;
        type.subtype = MEDIASUBTYPE_dvsd;
        type.formattype = FORMAT_DvInfo;
        type.allocFormat<DVINFO>();
        break;
    default:
        type.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
        type.formattype = FORMAT_MPEG2Video;
        type.allocFormat<MPEG2VIDEOINFO>()->hdr.AvgTimePerFrame = 400'000;
        break;
    }
    return type;
}

void notify(std::uint8_t mode, std::span<const std::uint8_t> bytes)
{
    auto notifier = makeCom<TVideoNotifier>();
    notifier->SetNotifyFrameData(true);
    notifier->SetNotifyScenes(true);
    notifier->SetSceneDelay(0);
    notifier->SetMaxSceneLength(1);
    const AM_MEDIA_TYPE type = videoType(mode);
    notifier->SetMediaType(PINDIR_INPUT, &type);
    notifier->StartStreaming();
    // DV in a video format is read only at the sizes of a frame.
    const std::size_t size = mode % 3 == 0 ? (mode & 0x80 ? 144'000 : 120'000) : bytes.size();
    for (int n = 0; n < 3; ++n) {
        auto sample = makeCom<MediaSample>(static_cast<LONG>(std::max<std::size_t>(size, 1)));
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, bytes.data(), std::min(size, bytes.size()));
        sample->SetActualDataLength(static_cast<LONG>(size));
        notifier->Transform(sample.get());
    }
    notifier->Stop();
}

std::vector<BYTE> convert(LinearResampler& resampler, std::span<const std::uint8_t> in, std::size_t piece)
{
    std::vector<BYTE> out;
    std::size_t at = 0;
    do {
        const auto part = in.subspan(at, std::min(piece, in.size() - at));
        std::vector<BYTE> buffer(resampler.maxOutput(part.size()));
        const std::size_t written = resampler.process(part, buffer);
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(written));
        at += part.size();
    } while (at < in.size());
    return out;
}

void resample(std::uint8_t mode, std::span<const std::uint8_t> bytes)
{
    static constexpr std::int32_t rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000};
    const std::int32_t inRate = rates[mode & 7], outRate = rates[(mode >> 3) & 7];
    const std::int32_t inChannels = 1 + ((mode >> 6) & 1), outChannels = 1 + (mode >> 7);
    LinearResampler whole, pieced;
    if (!whole.configure(inRate, inChannels, outRate, outChannels) ||
        !pieced.configure(inRate, inChannels, outRate, outChannels))
        std::abort();
    const std::size_t piece = bytes.empty() ? 1 : 1 + bytes[0] % 29;
    if (convert(whole, bytes, bytes.size() + 1) != convert(pieced, bytes, piece))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::span<const std::uint8_t> bytes(data + 2, size - 2);
    if (data[0] & 1)
        resample(data[1], bytes);
    else
        notify(data[1], bytes);
    return 0;
}
