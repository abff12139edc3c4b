#pragma once
// The filter graph manager: holds the filters under unique names, connects
// pins (directly, or through registered filters chosen by merit, each
// candidate put to the site's IAMGraphBuilderCallback), changes the state of
// all filters together (downstream first), keeps the reference clock, routes
// seeking to the filter that can seek, and queues the filters' events.
//
// Every method is called on the GUI thread except Notify, which filters call
// from their streaming threads. Waits (state, events, joins of streaming
// threads) keep serving sends, and stopping fires the graph's cancel token so
// that a streaming thread blocked in a send gives up.

#include "platform/graph/interfaces.h"

#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

struct RegisteredFilter;

class FilterGraph final
    : public ComObject<IGraphBuilder, IMediaControl, IMediaSeeking, IMediaEventEx, IMediaEventSink, IMediaFilter,
                       IObjectWithSite, IBasicAudio, IGraphCancelToken, IVideoFrameStep, IFilterGraphTransfer>
{
public:
    FilterGraph();

    HRESULT QueryInterface(REFIID riid, void** object) override;

    // IFilterGraph, IGraphBuilder
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(IEnumFilters** filters) override;
    HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
    HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) override;
    HRESULT Reconnect(IPin* pin) override;
    HRESULT Disconnect(IPin* pin) override;
    HRESULT SetDefaultSyncSource() override;
    HRESULT Connect(IPin* output, IPin* input) override;
    HRESULT Render(IPin* output) override;
    HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) override;
    HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** filter) override;
    HRESULT Abort() override;
    HRESULT ShouldOperationContinue() override;

    // IMediaControl, IMediaFilter
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* state) override;
    HRESULT RenderFile(LPCWSTR file) override;
    HRESULT StopWhenReady() override;
    HRESULT GetClassID(CLSID* classId) override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    // A null clock makes the graph run free; SetDefaultSyncSource restores one.
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    // IMediaSeeking, routed to the seeking filter.
    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                              const GUID* sourceFormat) override;
    // Pauses a running graph, moves the seeking filter (which flushes and
    // starts a new segment), restarts stream time and runs again.
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

    // IMediaEvent(Ex), IMediaEventSink
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) override;
    HRESULT WaitForCompletion(LONG msTimeout, LONG* code) override;
    HRESULT CancelDefaultHandling(LONG code) override;
    HRESULT RestoreDefaultHandling(LONG code) override;
    HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData) override;
    HRESULT SetNotifyFlags(LONG flags) override;
    HRESULT GetNotifyFlags(LONG* flags) override;
    // EC_COMPLETE from each renderer becomes one EC_COMPLETE of the graph
    // once every renderer has finished.
    HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override;

    // IObjectWithSite: the site may answer IAMGraphBuilderCallback.
    HRESULT SetSite(IUnknown* site) override;
    HRESULT GetSite(REFIID riid, void** site) override;

    // IBasicAudio, passed to the filters that have it.
    HRESULT put_Volume(LONG volume) override;
    HRESULT get_Volume(LONG* volume) override;
    HRESULT put_Balance(LONG balance) override;
    HRESULT get_Balance(LONG* balance) override;

    CancelTokenPtr GetCancelToken() override { return cancel_; }

    // IVideoFrameStep: a paused graph steps its first video renderer that
    // can step, or the one named; S_FALSE once it has stepped so far from
    // its last seek that what the other streams hold back should go (a seek
    // there serves better). Running or stopping after steps moves the
    // source to the picture shown first.
    HRESULT Step(DWORD frames, IUnknown* stepObject) override;
    HRESULT CanStep(LONG multiple, IUnknown* stepObject) override;
    HRESULT GetStillTime(REFERENCE_TIME* start) override;

    // IFilterGraphTransfer
    HRESULT TakeOutFilters(IBaseFilter* const* filters, ULONG count) override;

private:
    struct Entry
    {
        ComPtr<IBaseFilter> filter;
        std::u16string name;
    };
    struct Event
    {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    ~FilterGraph() override;

    std::vector<ComPtr<IBaseFilter>> snapshot();
    // The filters ordered so that each comes before the filters upstream of it.
    std::vector<ComPtr<IBaseFilter>> downstreamFirst();
    // Stops `filter` and, first, every filter it feeds: a streaming thread
    // the filter owns may be held downstream (by a paused renderer, say),
    // and stopping the filter waits for that thread.
    void stopWithDownstream(IBaseFilter* filter);
    bool contains(IBaseFilter* filter);
    // Takes a stopped, disconnected (or moving) filter out of the list.
    void leave(IBaseFilter* filter);
    // The renderer a step goes to: the one named, or the first that steps.
    ComPtr<IVideoFrameStep> stepper(IUnknown* stepObject);
    // The media position of the picture a stepped renderer shows; false
    // when no step was made since the last seek.
    bool steppedPosition(LONGLONG* position);
    // Moves the source to the picture a step showed, so that every stream
    // goes on from there.
    void seekToSteppedPicture();
    bool nameTaken(const std::u16string& name);
    // Adds under `name`, or under name + " 0001", " 0002"... when taken.
    HRESULT addWithFreeName(IBaseFilter* filter, const std::u16string& name);
    // Connects `output` to `target` (or renders it when target is null)
    // through registered filters.
    HRESULT connectThroughRegistered(IPin* output, IPin* target, int depth);
    HRESULT tryCandidate(IPin* output, IPin* target, const RegisteredFilter& candidate, int depth);
    // Brings the order below up to date with the connections; a filter
    // added or removed forgets it.
    void refreshOrder();
    void forgetOrder();
    std::vector<ComPtr<IBaseFilter>> orderFilters();
    ComPtr<IMediaSeeking> seeker();
    ComPtr<IMediaSeeking> findSeeker();
    REFERENCE_TIME clockTime();
    void distributeClock();
    void resetCompletion();
    HRESULT pauseFilters();
    // Whether every filter is settled, when every filter is paused; nothing
    // when one is not paused. Under the lock.
    std::optional<bool> settledIfEveryFilterPaused();
    HRESULT runFilters();
    void queueEvent(const Event& event);
    // Calls every filter with IBasicAudio (all), or the first one.
    template <typename Call> HRESULT toAudio(bool all, Call call);

    std::recursive_mutex lock_;
    std::vector<Entry> filters_;
    // The filters downstream first and the filter that seeks, as worked out
    // for the connections counted in orderedFor_.
    std::optional<std::uint64_t> orderedFor_;
    std::vector<ComPtr<IBaseFilter>> ordered_;
    std::optional<ComPtr<IMediaSeeking>> seeker_;
    FILTER_STATE state_ = State_Stopped;
    CancelTokenPtr cancel_;
    ComPtr<IUnknown> site_;

    // Clock and stream time: stream time 0 is due at runStart_; while
    // paused, stream time stands at pausedAt_.
    ComPtr<IReferenceClock> clock_;
    ComPtr<IReferenceClock> systemClock_;
    bool defaultClock_ = true;
    REFERENCE_TIME runStart_ = 0;
    REFERENCE_TIME pausedAt_ = 0;
    // The media position that stream time 0 shows (the last seek's target).
    REFERENCE_TIME segmentStart_ = 0;
    // The renderer that stepped since the last seek, and how often.
    ComPtr<IVideoFrameStep> stepped_;
    int steps_ = 0;

    // Events, written by streaming threads.
    std::mutex eventLock_;
    std::deque<Event> events_;
    HWND notifyWindow_ = 0;
    LONG notifyMessage_ = 0;
    LONG_PTR notifyInstance_ = 0;
    LONG notifyFlags_ = 0;
    std::set<LONG_PTR> completed_;
    std::size_t renderers_ = 0;
    bool completeQueued_ = false;
    LONG completion_ = 0;
};
