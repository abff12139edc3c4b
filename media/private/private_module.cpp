// The private filter module: a source and splitter and the video and audio
// decoders, served by class id to a program that loads the module by path.
// The filters are the FFmpeg filters of the system set under class ids of
// their own, so that a graph tells them apart from the system filters.

#include "platform/core/module_exports.h"
#include "platform/filters/decoders.h"
#include "platform/filters/demux_filter.h"
#include "platform/graph/media_guids.h"

#include <array>
#include <functional>

namespace {

constexpr CLSID kSplitterSource = "{B98D13E7-55DB-4385-A33D-09FD1BA26338}"_guid;
constexpr CLSID kSplitter = "{171252A0-8820-4AFE-9DF8-5C92B2D66B04}"_guid;
constexpr CLSID kAudioDecoder = "{E8E73B6B-4CB3-44A4-BE99-4F7BCB96E491}"_guid;
constexpr CLSID kVideoDecoder = "{EE30215D-164F-4A92-A4EB-9D4C13390F9F}"_guid;

// Every byte stream the file source offers.
constexpr std::array kSplitterInputs{MEDIASUBTYPE_Avi,         MEDIASUBTYPE_MPEG2_PROGRAM, MEDIASUBTYPE_MPEG2_TRANSPORT,
                                     MEDIASUBTYPE_MPEG1System, MEDIASUBTYPE_MPEG1Video,    MEDIASUBTYPE_WAVE};

const DemuxClass kSourceClass{kSplitterSource, u"Private Splitter Source", {}, {}};
const DemuxClass kSplitterClass{kSplitter, u"Private Splitter", kSplitterInputs, {}};

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
    if (*clsid == kSplitterSource)
        return factoryOf([] { return createDemuxFilter(kSourceClass); }, *iid, object);
    if (*clsid == kSplitter)
        return factoryOf([] { return createDemuxFilter(kSplitterClass); }, *iid, object);
    if (*clsid == kVideoDecoder)
        return factoryOf(createVideoDecoder, *iid, object);
    if (*clsid == kAudioDecoder)
        return factoryOf(createAudioDecoder, *iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

KESTROVA_MODULE_EXPORT HRESULT DllCanUnloadNow()
{
    return moduleCanUnloadNow();
}
