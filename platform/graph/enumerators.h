#pragma once
// Enumerators over a snapshot taken when they are made: pins, filters and
// media types.

#include "platform/graph/interfaces.h"

#include <vector>

template <ComInterface Enum, ComInterface Item> class SnapshotEnum final : public ComObject<Enum>
{
public:
    explicit SnapshotEnum(std::vector<ComPtr<Item>> items, std::size_t position = 0)
        : items_(std::move(items)), position_(position)
    {
    }

    HRESULT Next(ULONG count, Item** out, ULONG* fetched) override
    {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && position_ < items_.size(); ++n, ++position_) {
            out[n] = items_[position_].get();
            out[n]->AddRef();
        }
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
    std::vector<ComPtr<Item>> items_;
    std::size_t position_;
};

using PinEnum = SnapshotEnum<IEnumPins, IPin>;
using FilterEnum = SnapshotEnum<IEnumFilters, IBaseFilter>;

class MediaTypeEnum final : public ComObject<IEnumMediaTypes>
{
public:
    explicit MediaTypeEnum(std::vector<AM_MEDIA_TYPE> types, std::size_t position = 0)
        : types_(std::move(types)), position_(position)
    {
    }

    HRESULT Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override
    {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && position_ < types_.size(); ++n, ++position_)
            out[n] = CreateMediaType(types_[position_]);
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        position_ = std::min(types_.size(), position_ + count);
        return position_ < types_.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumMediaTypes** copy) override
    {
        return copyOut<IEnumMediaTypes>(makeCom<MediaTypeEnum>(types_, position_).get(), copy);
    }

private:
    std::vector<AM_MEDIA_TYPE> types_;
    std::size_t position_;
};
