#include "platform/renderers/renderers.h"

#include "platform/core/class_registry.h"
#include "platform/graph/filter_mapper.h"
#include "platform/graph/media_guids.h"

namespace {

void registerRenderer(const CLSID& classId, std::u16string name, ComPtr<IBaseFilter> (*make)(), const GUID& major)
{
    registerClass(classId, makeCom<ClassFactory>(
                               [make](REFIID riid, void** object) { return make()->QueryInterface(riid, object); }));
    RegisteredFilter entry;
    entry.classId = classId;
    entry.name = std::move(name);
    entry.inputTypes = {{major, GUID_NULL}};
    entry.renderer = true;
    FilterMapper::instance().registerFilter(std::move(entry));
}

} // namespace

void RegisterRenderers()
{
    registerRenderer(CLSID_VideoMixingRenderer9, u"Video Mixing Renderer 9", createVideoRenderer, MEDIATYPE_Video);
    registerRenderer(CLSID_DSoundRender, u"Default DirectSound Device", createAudioRenderer, MEDIATYPE_Audio);
}
