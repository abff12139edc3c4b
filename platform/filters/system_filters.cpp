#include "platform/filters/system_filters.h"

#include "platform/core/class_registry.h"
#include "platform/filters/demux_filter.h"
#include "platform/graph/filter_mapper.h"
#include "platform/graph/media_guids.h"

extern "C" {
#include <libavutil/log.h>
}

#include <array>
#include <string_view>

namespace {

constexpr std::array aviInputs{MEDIASUBTYPE_Avi};
constexpr std::array mpeg2Inputs{MEDIASUBTYPE_MPEG2_PROGRAM, MEDIASUBTYPE_MPEG2_TRANSPORT};
constexpr std::array mpeg1Inputs{MEDIASUBTYPE_MPEG1System, MEDIASUBTYPE_MPEG1Video};
constexpr std::array waveInputs{MEDIASUBTYPE_WAVE};

constexpr std::array<std::string_view, 1> aviFormats{"avi"};
constexpr std::array<std::string_view, 2> mpeg2Formats{"mpeg", "mpegts"};
constexpr std::array<std::string_view, 2> mpeg1Formats{"mpeg", "mpegvideo"};
constexpr std::array<std::string_view, 1> waveFormats{"wav"};
constexpr std::array<std::string_view, 1> asfFormats{"asf"};

const DemuxClass kDemuxClasses[] = {
    {CLSID_AviSplitter, u"AVI Splitter", aviInputs, aviFormats},
    {CLSID_MPEG2Splitter, u"MPEG-2 Splitter", mpeg2Inputs, mpeg2Formats},
    {CLSID_MPEG1Splitter, u"MPEG-I Stream Splitter", mpeg1Inputs, mpeg1Formats},
    {CLSID_WAVEParser, u"Wave Parser", waveInputs, waveFormats},
    {CLSID_PreferredSource, u"LAV Splitter Source", {}, {}},
    {CLSID_WMAsfReader, u"WM ASF Reader", {}, asfFormats},
};

void registerFilter(const CLSID& classId, std::u16string name, std::function<ComPtr<IBaseFilter>()> make,
                    std::vector<RegPinType> inputs, DWORD merit)
{
    registerClass(classId, makeCom<ClassFactory>([make](REFIID riid, void** object) {
                      const ComPtr<IBaseFilter> filter = make();
                      return filter ? filter->QueryInterface(riid, object) : E_OUTOFMEMORY;
                  }));
    RegisteredFilter entry;
    entry.classId = classId;
    entry.name = std::move(name);
    entry.merit = merit;
    entry.inputTypes = std::move(inputs);
    FilterMapper::instance().registerFilter(std::move(entry));
}

} // namespace

void RegisterSystemFilters()
{
    // Damaged streams are reported through results and graph events; the
    // libraries' own notes on them would only fill the terminal.
    av_log_set_level(AV_LOG_ERROR);
    registerFilter(CLSID_AsyncReader, u"File Source (Async.)", createAsyncFileSource, {}, MERIT_UNLIKELY);
    for (const DemuxClass& kind : kDemuxClasses) {
        std::vector<RegPinType> inputs;
        for (const GUID& subtype : kind.inputSubtypes)
            inputs.push_back({MEDIATYPE_Stream, subtype});
        registerFilter(
            kind.classId, kind.name, [&kind] { return createDemuxFilter(kind); }, std::move(inputs), MERIT_NORMAL);
    }
    registerFilter(CLSID_DVSplitter, u"DV Splitter", createDVSplitter,
                   {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}, {MEDIATYPE_Interleaved, MEDIASUBTYPE_dv25}},
                   MERIT_NORMAL);
    // The decoders look at the whole media type when they connect; below
    // the normal merit, so that a decoder the program prefers comes first.
    registerFilter(CLSID_KestrovaVideoDecoder, u"Video Decoder", createVideoDecoder, {{MEDIATYPE_Video, GUID_NULL}},
                   MERIT_NORMAL - 1);
    registerFilter(CLSID_KestrovaAudioDecoder, u"Audio Decoder", createAudioDecoder, {{MEDIATYPE_Audio, GUID_NULL}},
                   MERIT_NORMAL - 1);
}
