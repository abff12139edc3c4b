#pragma once
// The asynchronous file source: loads a file by name and offers its bytes on
// one output pin, read on request by the filter downstream (a splitter).
// The pin's subtype says what the first bytes look like (AVI, wave, MPEG
// program or transport stream...), so that a splitter can refuse a file
// before it reads further.

#include "platform/graph/base_filter.h"

#include <memory>

constexpr CLSID CLSID_AsyncReader = "{E436EBB5-524F-11CE-9F53-0020AF0BA770}"_guid;

// Random access to a byte stream, answered by the file source's pin.
struct IAsyncReader : IUnknown
{
    static constexpr GUID iid = "{56A868AA-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    // Reads up to `length` bytes at `position`; `read` receives the count.
    // S_OK for a full read, S_FALSE for a short one (the end of the file).
    // Safe to call from any thread.
    virtual HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer, LONG* read) = 0;
    virtual HRESULT Length(LONGLONG* total, LONGLONG* available) = 0;
};

extern "C" {
struct AVInputFormat;
}

// What the first bytes of a stream are, as the subtype of a byte-stream
// media type; GUID_NULL when FFmpeg does not know them.
GUID streamSubtypeOf(IAsyncReader* reader);
// The container that such a subtype names, so that a splitter reading the
// stream does not probe it again; null for GUID_NULL or a subtype not named
// here.
const AVInputFormat* streamFormatOf(const GUID& subtype);

ComPtr<IBaseFilter> createAsyncFileSource();
