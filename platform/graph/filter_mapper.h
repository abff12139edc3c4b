#pragma once
// The filter mapper: which registered filter classes take which media types,
// with their merits. The graph builder asks it for candidates when two pins
// cannot connect directly or a pin must be rendered; the classes themselves
// are created through the class registry.

#include "platform/graph/interfaces.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct RegPinType
{
    GUID majortype; // GUID_NULL: any
    GUID subtype;   // GUID_NULL: any
};

struct RegisteredFilter
{
    CLSID classId;
    std::u16string name;
    DWORD merit = MERIT_NORMAL;
    // Types the input pin takes; a filter without input types is never a
    // candidate.
    std::vector<RegPinType> inputTypes;
    // True for a filter that renders what it takes (no output pin).
    bool renderer = false;
};

class FilterMapper
{
public:
    static FilterMapper& instance();

    // Registers a class, replacing an earlier registration of its id.
    void registerFilter(RegisteredFilter filter);
    void unregisterFilter(const CLSID& classId);
    // The classes whose input takes `type`, highest merit first (equal
    // merits in registration order); MERIT_DO_NOT_USE and below are left out.
    std::vector<RegisteredFilter> matchingFilters(const AM_MEDIA_TYPE& type) const;
    std::optional<RegisteredFilter> find(const CLSID& classId) const;

private:
    mutable std::mutex mutex_;
    std::vector<RegisteredFilter> filters_;
};

// Names a registered class for the graph-builder callback; binding makes the
// instance (through the class registry) once and hands the same one to every
// later bind.
class FilterMoniker final : public ComObject<IMoniker>
{
public:
    explicit FilterMoniker(const CLSID& classId) : classId_(classId) {}

    HRESULT BindToObject(IBindCtx* context, IMoniker* left, REFIID riid, void** object) override;

    const CLSID& classId() const { return classId_; }

private:
    const CLSID classId_;
    ComPtr<IBaseFilter> instance_;
};
