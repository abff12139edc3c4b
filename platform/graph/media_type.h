#pragma once
// A media type as a value: major type, subtype, sample flags and size, and a
// format block identified by its format type and held as bytes.

#include "platform/core/guid.h"
#include "platform/core/types.h"

#include <cstddef>
#include <cstring>
#include <vector>

struct AM_MEDIA_TYPE
{
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples = TRUE;
    BOOL bTemporalCompression = FALSE;
    ULONG lSampleSize = 1;
    GUID formattype;
    std::vector<BYTE> format;

    ULONG cbFormat() const { return static_cast<ULONG>(format.size()); }
    const BYTE* pbFormat() const { return format.empty() ? nullptr : format.data(); }
    BYTE* pbFormat() { return format.empty() ? nullptr : format.data(); }

    // The format block seen as T, or null when the block is shorter than T.
    // Format blocks are packed, so any byte address is aligned for them.
    template <typename T> const T* formatAs() const
    {
        return format.size() >= sizeof(T) ? reinterpret_cast<const T*>(format.data()) : nullptr;
    }
    template <typename T> T* formatAs()
    {
        return format.size() >= sizeof(T) ? reinterpret_cast<T*>(format.data()) : nullptr;
    }

    // Replaces the format block with `size` zeroed bytes (at least sizeof(T))
    // and returns it as T.
    template <typename T> T* allocFormat(std::size_t size = sizeof(T))
    {
        format.assign(size < sizeof(T) ? sizeof(T) : size, 0);
        return reinterpret_cast<T*>(format.data());
    }
    void setFormat(const void* data, std::size_t size)
    {
        const auto* bytes = static_cast<const BYTE*>(data);
        format.assign(bytes, bytes + size);
    }

    // Every field and the format bytes are equal.
    friend bool operator==(const AM_MEDIA_TYPE&, const AM_MEDIA_TYPE&) = default;

    // True when each of major type, subtype and format type of `pattern` is
    // GUID_NULL or equal to this type's; a pattern with a format type and a
    // format block also needs equal format bytes.
    bool matchesPartial(const AM_MEDIA_TYPE& pattern) const;
    // Major type and subtype and format type are all set.
    bool isFullySpecified() const { return !majortype.isNull() && !subtype.isNull() && !formattype.isNull(); }
};

// Heap copies for out-parameters (enumerators, samples, stream selection):
// the receiver frees them with DeleteMediaType.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& source);
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Empties the format block.
void FreeMediaType(AM_MEDIA_TYPE& type);
void CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// 16-bit PCM sound with a WAVEFORMATEX block, as decoders and splitters give it.
AM_MEDIA_TYPE pcmAudioType(WORD channels, DWORD samplesPerSec);
