#pragma once
// Graphs of the system filters over the generated clips, and a sink that
// keeps what reaches it.

#include "platform/core/class_registry.h"
#include "platform/filters/system_filters.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/formats.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/renderer.h"
#include "tests/media/clip_reader.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace harness {

// The splitters read through the file source; the sources load by name.
bool isSource(const CLSID& classId);

// A graph holding `classId` with the clip loaded: for a splitter, the file
// source connected to it.
struct Opened
{
    ComPtr<FilterGraph> graph;
    ComPtr<IBaseFilter> filter;
    HRESULT result = E_FAIL;
};
Opened open(const CLSID& classId, const QString& clip);

// The output pins of a filter, in order.
std::vector<ComPtr<IPin>> outputPins(IBaseFilter* filter);
// The type a pin offers first.
AM_MEDIA_TYPE offeredType(IPin* pin);
// The first output pin whose type has this major type, or null.
ComPtr<IPin> pinOfMajor(IBaseFilter* filter, const GUID& major);

// Keeps the samples it is given: the barcode of each picture, or the bytes
// of sound and DV frames.
class Sink final : public BaseRenderer
{
public:
    // Takes `subtype` of `major`: decoded pictures and sound by default.
    Sink(const GUID& major, const GUID& subtype);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;
    void OnReceiveFirstSample(IMediaSample* sample) override;

    // The barcode of the picture that cued the sink last (-1 unreadable,
    // -2 none yet).
    std::atomic<int> cued{-2};
    std::atomic<long long> bytes{0};
    std::atomic<int> samples{0};
    // Samples that showed a packet's bytes rather than their own.
    std::atomic<int> packets{0};
    std::vector<int> frames() const;
    // The start time of every sample rendered, and which were marked as
    // preroll.
    std::vector<REFERENCE_TIME> starts() const;
    std::vector<bool> prerolls() const;
    std::vector<std::vector<BYTE>> kept() const;
    bool keepData = false;

private:
    int barcodeOf(IMediaSample* sample) const;

    const GUID major_;
    const GUID subtype_;
    AM_MEDIA_TYPE type_;
    mutable std::mutex mutex_;
    std::vector<int> frames_;
    std::vector<REFERENCE_TIME> starts_;
    std::vector<bool> prerolls_;
    std::vector<std::vector<BYTE>> kept_;
};

// Connects `pin` to a new sink (through a decoder when needed) and returns
// the sink, or null. The sink takes RGB32 pictures or PCM sound unless
// another subtype is given.
ComPtr<Sink> render(FilterGraph* graph, IPin* pin, const GUID& major, const GUID& subtype = GUID_NULL);

} // namespace harness
