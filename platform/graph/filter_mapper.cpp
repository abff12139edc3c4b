#include "platform/graph/filter_mapper.h"

#include "platform/core/class_registry.h"

#include <algorithm>

FilterMapper& FilterMapper::instance()
{
    static FilterMapper mapper;
    return mapper;
}

void FilterMapper::registerFilter(RegisteredFilter filter)
{
    std::lock_guard lock(mutex_);
    std::erase_if(filters_, [&](const RegisteredFilter& f) { return f.classId == filter.classId; });
    filters_.push_back(std::move(filter));
}

void FilterMapper::unregisterFilter(const CLSID& classId)
{
    std::lock_guard lock(mutex_);
    std::erase_if(filters_, [&](const RegisteredFilter& f) { return f.classId == classId; });
}

std::vector<RegisteredFilter> FilterMapper::matchingFilters(const AM_MEDIA_TYPE& type) const
{
    const auto takes = [&](const RegPinType& pin) {
        return (pin.majortype.isNull() || pin.majortype == type.majortype) &&
               (pin.subtype.isNull() || pin.subtype == type.subtype);
    };
    std::vector<RegisteredFilter> found;
    {
        std::lock_guard lock(mutex_);
        for (const RegisteredFilter& f : filters_) {
            if (f.merit > MERIT_DO_NOT_USE && std::any_of(f.inputTypes.begin(), f.inputTypes.end(), takes))
                found.push_back(f);
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const RegisteredFilter& a, const RegisteredFilter& b) { return a.merit > b.merit; });
    return found;
}

std::optional<RegisteredFilter> FilterMapper::find(const CLSID& classId) const
{
    std::lock_guard lock(mutex_);
    const auto it =
        std::find_if(filters_.begin(), filters_.end(), [&](const RegisteredFilter& f) { return f.classId == classId; });
    return it == filters_.end() ? std::nullopt : std::optional(*it);
}

HRESULT FilterMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!instance_) {
        const HRESULT hr =
            CoCreateInstance(classId_, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, instance_.putVoid());
        if (FAILED(hr))
            return hr;
    }
    return instance_->QueryInterface(riid, object);
}
