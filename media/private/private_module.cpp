// The private filter module: a source and splitter and the video and audio
// decoders, served by class id to a program that loads the module by path.
// The filters are the FFmpeg filters of the system set under class ids of
// their own, so that a graph tells them apart from the system filters.

#include "media/private/private_classes.h"
#include "platform/core/module_exports.h"
#include "platform/filters/decoders.h"
#include "platform/filters/demux_filter.h"
#include "platform/graph/media_guids.h"

#include <array>
#include <functional>

namespace {

// Every byte stream the file source offers, those whose container it does
// not name (raw DV, Matroska, MP4...) included: the splitter reads whatever
// FFmpeg reads.
constexpr std::array kSplitterInputs{MEDIASUBTYPE_Avi,
                                     MEDIASUBTYPE_MPEG2_PROGRAM,
                                     MEDIASUBTYPE_MPEG2_TRANSPORT,
                                     MEDIASUBTYPE_MPEG1System,
                                     MEDIASUBTYPE_MPEG1Video,
                                     MEDIASUBTYPE_WAVE,
                                     GUID_NULL};

const DemuxClass kSourceClass{CLSID_PrivateSplitterSource, u"Private Splitter Source", {}, {}};
const DemuxClass kSplitterClass{CLSID_PrivateSplitter, u"Private Splitter", kSplitterInputs, {}};

HRESULT factoryOf(std::function<ComPtr<IBaseFilter>()> make, REFIID riid, void** object)
{
    return makeCom<ClassFactory>([make = std::move(make)](REFIID iid, void** made) {
               const ComPtr<IBaseFilter> filter = make();
               return filter ? filter->QueryInterface(iid, made) : E_OUTOFMEMORY;
           })
        ->QueryInterface(riid, object);
}

} // namespace

KESTROVA_MODULE_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object)
{
    if (!clsid || !iid || !object)
        return E_POINTER;
    *object = nullptr;
    if (*clsid == CLSID_PrivateSplitterSource)
        return factoryOf([] { return createDemuxFilter(kSourceClass); }, *iid, object);
    if (*clsid == CLSID_PrivateSplitter)
        return factoryOf([] { return createDemuxFilter(kSplitterClass); }, *iid, object);
    if (*clsid == CLSID_PrivateVideoDecoder)
        return factoryOf(createVideoDecoder, *iid, object);
    if (*clsid == CLSID_PrivateAudioDecoder)
        return factoryOf(createAudioDecoder, *iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

KESTROVA_MODULE_EXPORT HRESULT DllCanUnloadNow()
{
    return moduleCanUnloadNow();
}
