#pragma once
// The filter graph's interfaces, queried by id. Methods return the usual
// result codes and never throw. Out-parameters of interface type hand over a
// reference; media types handed out on the heap are freed with
// DeleteMediaType.

#include "platform/core/cancel_token.h"
#include "platform/core/unknown.h"
#include "platform/graph/media_type.h"

#include <string>

using WCHAR = char16_t;
using LPCWSTR = const char16_t*;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using LCID = DWORD;
using OAFilterState = LONG;
using OAHWND = HWND;

// Writes a new reference to `p`, which may be null, into an out-parameter.
template <ComInterface T> HRESULT copyOutOrNull(T* p, T** out)
{
    if (!out)
        return E_POINTER;
    *out = p;
    if (p)
        p->AddRef();
    return S_OK;
}

struct IBaseFilter;
struct IFilterGraph;
struct IGraphBuilder;
struct IMediaSample;
struct IPin;

enum FILTER_STATE : LONG { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION : LONG { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct PIN_INFO
{
    ComPtr<IBaseFilter> pFilter;
    PIN_DIRECTION dir = PINDIR_INPUT;
    std::u16string achName;
};

struct FILTER_INFO
{
    std::u16string achName;
    ComPtr<IFilterGraph> pGraph;
};

struct ALLOCATOR_PROPERTIES
{
    LONG cBuffers = 0;
    LONG cbBuffer = 0;
    LONG cbAlign = 0;
    LONG cbPrefix = 0;
};

// Event codes of IMediaEvent.
constexpr LONG EC_COMPLETE = 0x01;
constexpr LONG EC_USERABORT = 0x02;
constexpr LONG EC_ERRORABORT = 0x03;
constexpr LONG EC_STREAM_ERROR_STOPPED = 0x06;
constexpr LONG EC_CLOCK_CHANGED = 0x0D;
constexpr LONG EC_PAUSED = 0x0E;

// Seeking capabilities and positioning flags.
constexpr DWORD AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr DWORD AM_SEEKING_CanSeekForwards = 0x2;
constexpr DWORD AM_SEEKING_CanSeekBackwards = 0x4;
constexpr DWORD AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr DWORD AM_SEEKING_CanGetStopPos = 0x10;
constexpr DWORD AM_SEEKING_CanGetDuration = 0x20;
constexpr DWORD AM_SEEKING_CanPlayBackwards = 0x40;
constexpr DWORD AM_SEEKING_CanDoSegments = 0x80;
constexpr DWORD AM_SEEKING_Source = 0x100;

// Beside those: a seek lands exactly on the frame asked for (the stream
// starts at the keyframe before it and what lies before the target is marked
// preroll, decoded and dropped), so that nothing needs to start earlier.
constexpr DWORD AM_SEEKING_FrameAccurate = 0x10000;

constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
constexpr DWORD AM_SEEKING_IncrementalPositioning = 0x3;
constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;
constexpr DWORD AM_SEEKING_SeekToKeyFrame = 0x4;
constexpr DWORD AM_SEEKING_ReturnTime = 0x8;
constexpr DWORD AM_SEEKING_Segment = 0x10;
constexpr DWORD AM_SEEKING_NoFlush = 0x20;

// GetBuffer flags.
constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 0x1;
constexpr DWORD AM_GBF_NOTASYNCPOINT = 0x2;
constexpr DWORD AM_GBF_NOWAIT = 0x4;

// Stream selection.
constexpr DWORD AMSTREAMSELECTINFO_ENABLED = 0x1;
constexpr DWORD AMSTREAMSELECTINFO_EXCLUSIVE = 0x2;
constexpr DWORD AMSTREAMSELECTENABLE_ENABLE = 0x1;
constexpr DWORD AMSTREAMSELECTENABLE_ENABLEALL = 0x2;

// Merits of registered filters: higher is tried first.
constexpr DWORD MERIT_PREFERRED = 0x800000;
constexpr DWORD MERIT_NORMAL = 0x600000;
constexpr DWORD MERIT_UNLIKELY = 0x400000;
constexpr DWORD MERIT_DO_NOT_USE = 0x200000;

// Time in 100-ns units that a reference clock measures.
struct IReferenceClock : IUnknown
{
    static constexpr GUID iid = "{56A86897-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

struct IPersist : IUnknown
{
    static constexpr GUID iid = "{0000010C-0000-0000-C000-000000000046}"_guid;
    virtual HRESULT GetClassID(CLSID* classId) = 0;
};

struct IMediaFilter : IPersist
{
    static constexpr GUID iid = "{56A86899-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    // `start` is the reference time at which stream time 0 is due.
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    // VFW_S_STATE_INTERMEDIATE while a transition is not complete after
    // `msTimeout` milliseconds.
    virtual HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) = 0;
    // A null clock makes the filter run free, as fast as data comes.
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IEnumPins : IUnknown
{
    static constexpr GUID iid = "{56A86892-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** copy) = 0;
};

struct IEnumMediaTypes : IUnknown
{
    static constexpr GUID iid = "{89C31040-846B-11CE-97D3-00AA0055595A}"_guid;
    virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** copy) = 0;
};

struct IEnumFilters : IUnknown
{
    static constexpr GUID iid = "{56A86893-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** copy) = 0;
};

struct IBaseFilter : IMediaFilter
{
    static constexpr GUID iid = "{56A86895-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    // Called by the graph when the filter is added (with its name) and
    // removed (with a null graph).
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
};

struct IPin : IUnknown
{
    static constexpr GUID iid = "{56A86891-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    // Called on an output pin: connects it to `receiver`, with `type` when
    // given (partly specified types are completed from the candidates).
    virtual HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* type) = 0;
    // Called on an input pin by the output pin that connects to it.
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    virtual HRESULT QueryId(std::u16string* id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** types) = 0;
    // Streaming calls, made on input pins by the upstream filter's thread.
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

struct IMediaSample : IUnknown
{
    static constexpr GUID iid = "{56A8689A-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual LONG GetSize() = 0;
    // S_OK with both times, VFW_S_NO_STOP_TIME with the start only (the stop
    // is then start + 1), VFW_E_SAMPLE_TIME_NOT_SET without times.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    // Null start clears the times; null stop keeps the start alone.
    virtual HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    virtual HRESULT IsSyncPoint() = 0;
    virtual HRESULT SetSyncPoint(BOOL syncPoint) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL preroll) = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(LONG length) = 0;
    // S_OK and a heap copy when the sample carries a new media type, else
    // S_FALSE and null.
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** type) = 0;
    virtual HRESULT SetMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL discontinuity) = 0;
    virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
    virtual HRESULT SetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
};

struct IMemAllocator : IUnknown
{
    static constexpr GUID iid = "{56A8689C-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT Commit() = 0;
    // Releases every thread waiting in GetBuffer with VFW_E_NOT_COMMITTED.
    virtual HRESULT Decommit() = 0;
    // Waits for a free buffer unless AM_GBF_NOWAIT is given.
    virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) = 0;
    virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

struct IMemInputPin : IUnknown
{
    static constexpr GUID iid = "{56A8689D-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) = 0;
    // S_OK to go on, S_FALSE to stop delivering (flushing or stopped), or
    // an error.
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;
};

struct IMediaEventSink : IUnknown
{
    static constexpr GUID iid = "{56A868A2-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IFilterGraph : IUnknown
{
    static constexpr GUID iid = "{56A8689F-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    // A null or empty name lets the graph choose one; a name already in the
    // graph gives VFW_E_DUPLICATE_NAME.
    virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;
    // Connects an output pin to an input pin without inserting filters.
    virtual HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Reconnect(IPin* pin) = 0;
    // Disconnects one side; callers disconnect both.
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

struct IGraphBuilder : IFilterGraph
{
    static constexpr GUID iid = "{56A868A9-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    // Connects directly when possible, else through registered filters.
    virtual HRESULT Connect(IPin* output, IPin* input) = 0;
    // Connects an output pin through registered filters to a renderer.
    virtual HRESULT Render(IPin* output) = 0;
    virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
    virtual HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** filter) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};

struct IMediaControl : IUnknown
{
    static constexpr GUID iid = "{56A868B1-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* state) = 0;
    virtual HRESULT RenderFile(LPCWSTR file) = 0;
    virtual HRESULT StopWhenReady() = 0;
};

struct IMediaSeeking : IUnknown
{
    static constexpr GUID iid = "{36B73880-C2C8-11CF-8B46-00805F6CEF60}"_guid;
    virtual HRESULT GetCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT CheckCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT IsFormatSupported(const GUID* format) = 0;
    virtual HRESULT QueryPreferredFormat(GUID* format) = 0;
    virtual HRESULT GetTimeFormat(GUID* format) = 0;
    virtual HRESULT IsUsingTimeFormat(const GUID* format) = 0;
    virtual HRESULT SetTimeFormat(const GUID* format) = 0;
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT GetStopPosition(LONGLONG* stop) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* current) = 0;
    virtual HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                      const GUID* sourceFormat) = 0;
    virtual HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) = 0;
    virtual HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) = 0;
    virtual HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
    virtual HRESULT SetRate(double rate) = 0;
    virtual HRESULT GetRate(double* rate) = 0;
    virtual HRESULT GetPreroll(LONGLONG* preroll) = 0;
};

struct IMediaEvent : IUnknown
{
    static constexpr GUID iid = "{56A868B6-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    // E_ABORT when no event arrives within `msTimeout`.
    virtual HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) = 0;
    virtual HRESULT WaitForCompletion(LONG msTimeout, LONG* code) = 0;
    virtual HRESULT CancelDefaultHandling(LONG code) = 0;
    virtual HRESULT RestoreDefaultHandling(LONG code) = 0;
    virtual HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IMediaEventEx : IMediaEvent
{
    static constexpr GUID iid = "{56A868C0-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    // Each queued event posts `message` (wParam 0, lParam `instanceData`)
    // to `window`; the handler reads the events with GetEvent.
    virtual HRESULT SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData) = 0;
    virtual HRESULT SetNotifyFlags(LONG flags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* flags) = 0;
};

struct IBindCtx;

// Names a registered filter class; binding creates an instance.
struct IMoniker : IUnknown
{
    static constexpr GUID iid = "{0000000F-0000-0000-C000-000000000046}"_guid;
    virtual HRESULT BindToObject(IBindCtx* context, IMoniker* left, REFIID riid, void** object) = 0;
};

struct IObjectWithSite : IUnknown
{
    static constexpr GUID iid = "{FC4801A3-2BA9-11CF-A229-00AA003D7352}"_guid;
    virtual HRESULT SetSite(IUnknown* site) = 0;
    virtual HRESULT GetSite(REFIID riid, void** site) = 0;
};

// Asked by the graph builder about every filter it is about to insert; a
// failure code vetoes the filter.
struct IAMGraphBuilderCallback : IUnknown
{
    static constexpr GUID iid = "{4995F511-9DDB-4F12-BD3B-F04611807B79}"_guid;
    virtual HRESULT SelectedFilter(IMoniker* moniker) = 0;
    virtual HRESULT CreatedFilter(IBaseFilter* filter) = 0;
};

struct ICaptureGraphBuilder2 : IUnknown
{
    static constexpr GUID iid = "{93E5A4E0-2D50-11D2-ABFA-00A0C9C6E38D}"_guid;
    virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
    virtual HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid,
                                  void** object) = 0;
    // Connects `source` (a pin, or a filter whose matching output pin is
    // found) through `intermediate` (optional) to `sink` (optional: rendered
    // when null).
    virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                                 IBaseFilter* sink) = 0;
    // The `index`-th pin of a filter (or the pin itself) with the direction,
    // category and major type given (null category or type: any).
    virtual HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                            BOOL unconnected, int index, IPin** pin) = 0;
};

struct IAMStreamSelect : IUnknown
{
    static constexpr GUID iid = "{C1960960-17F5-11D1-ABE1-00A0C905F375}"_guid;
    virtual HRESULT Count(DWORD* streams) = 0;
    virtual HRESULT Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* lcid, DWORD* group, std::u16string* name,
                         IUnknown** object, IUnknown** unknown) = 0;
    virtual HRESULT Enable(LONG index, DWORD flags) = 0;
};

struct IQualProp : IUnknown
{
    static constexpr GUID iid = "{1BD0ECB0-F8E2-11CE-AAC6-0020AF0B99A3}"_guid;
    virtual HRESULT get_FramesDroppedInRenderer(int* frames) = 0;
    virtual HRESULT get_FramesDrawn(int* frames) = 0;
    virtual HRESULT get_AvgFrameRate(int* rate) = 0;
    virtual HRESULT get_Jitter(int* jitter) = 0;
    virtual HRESULT get_AvgSyncOffset(int* offset) = 0;
    virtual HRESULT get_DevSyncOffset(int* deviation) = 0;
};

// Volume from 0 (silent) to 10000 (full), a linear gain, as the program sets
// it; balance from -10000 (left) to 10000 (right).
struct IBasicAudio : IUnknown
{
    static constexpr GUID iid = "{56A868B3-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT put_Volume(LONG volume) = 0;
    virtual HRESULT get_Volume(LONG* volume) = 0;
    virtual HRESULT put_Balance(LONG balance) = 0;
    virtual HRESULT get_Balance(LONG* balance) = 0;
};

struct IFileSourceFilter : IUnknown
{
    static constexpr GUID iid = "{56A868A6-0AD4-11CE-B03A-0020AF0BA770}"_guid;
    virtual HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT GetCurFile(std::u16string* fileName, AM_MEDIA_TYPE* type) = 0;
};

// The category of a pin (capture, preview...), answered by pins that have one.
struct IAMPinCategory : IUnknown
{
    static constexpr GUID iid = "{7149BF7A-FE39-41D9-81A1-83BA9081DC73}"_guid;
    virtual HRESULT GetCategory(GUID* category) = 0;
};

// Steps a paused graph one frame on: the video renderer lets the picture it
// holds go and shows the next one that comes, which the decoder makes from
// where it stands. The graph stays paused; the renderer answers
// VFW_S_STATE_INTERMEDIATE until the next picture (or the end) arrives.
// Other streams stay where they are until the graph runs or restarts, when
// it moves them all to the picture shown. Answered by the graph, which
// passes it to its video renderer, and by renderers that show video.
struct IVideoFrameStep : IUnknown
{
    static constexpr GUID iid = "{E46A9787-2B71-444D-A4B5-1FAB7B708D6A}"_guid;
    // One frame only: S_OK when the step began; VFW_E_WRONG_STATE when no
    // picture is held to step from (not paused, not cued, at the end of
    // the stream, flushing). `stepObject` names the renderer, or null for
    // the graph's own choice.
    virtual HRESULT Step(DWORD frames, IUnknown* stepObject) = 0;
    // S_OK when single frames can be stepped; steps of several are not.
    virtual HRESULT CanStep(LONG multiple, IUnknown* stepObject) = 0;
    // Beside those, answered by a renderer: the start (stream time) of the
    // picture it shows while paused; S_FALSE when it shows none.
    virtual HRESULT GetStillTime(REFERENCE_TIME* start) = 0;
};

// Takes filters out of a graph with the connections between them, for
// another graph to take as they are: a file opened and read on one graph
// goes on to the next without being read again.
struct IFilterGraphTransfer : IUnknown
{
    static constexpr GUID iid = "{3F0A6C14-7B2D-4E58-9A61-0C8E5D2B7F93}"_guid;
    // The filters leave the graph stopped. Connections between two of them
    // stay; every other connection is broken, as RemoveFilter breaks it.
    virtual HRESULT TakeOutFilters(IBaseFilter* const* filters, ULONG count) = 0;
};

// The graph's cancel token: fired when the graph stops or a stream flushes,
// so that a streaming thread blocked in a send to a window gives up.
struct IGraphCancelToken : IUnknown
{
    static constexpr GUID iid = "{8E9C37D2-885E-4AEB-95B2-9C9D9204B7BC}"_guid;
    virtual CancelTokenPtr GetCancelToken() = 0;
};
