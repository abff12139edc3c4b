#pragma once
// Enumerators over a snapshot taken when they are made: pins, filters and
// media types.

#include "platform/graph/interfaces.h"

#include <algorithm>
#include <vector>

namespace enum_detail {
// What Next hands out: a new reference, or a heap copy of a media type.
template <ComInterface T> T* handOut(const ComPtr<T>& item)
{
    item->AddRef();
    return item.get();
}
inline AM_MEDIA_TYPE* handOut(const AM_MEDIA_TYPE& item)
{
    return CreateMediaType(item);
}
} // namespace enum_detail

template <ComInterface Enum, class Stored, class Out> class SnapshotEnum final : public ComObject<Enum>
{
public:
    explicit SnapshotEnum(std::vector<Stored> items, std::size_t position = 0)
        : items_(std::move(items)), position_(position)
    {
    }

    HRESULT Next(ULONG count, Out** out, ULONG* fetched) override
    {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && position_ < items_.size(); ++n, ++position_)
            out[n] = enum_detail::handOut(items_[position_]);
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        position_ = std::min(items_.size(), position_ + count);
        return position_ < items_.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(Enum** copy) override { return copyOut<Enum>(makeCom<SnapshotEnum>(items_, position_).get(), copy); }

private:
    std::vector<Stored> items_;
    std::size_t position_;
};

using PinEnum = SnapshotEnum<IEnumPins, ComPtr<IPin>, IPin>;
using FilterEnum = SnapshotEnum<IEnumFilters, ComPtr<IBaseFilter>, IBaseFilter>;
using MediaTypeEnum = SnapshotEnum<IEnumMediaTypes, AM_MEDIA_TYPE, AM_MEDIA_TYPE>;
