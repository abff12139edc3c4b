#pragma once
// Source filters: each output pin runs its own streaming thread, started when
// the filter leaves the stopped state and joined when it stops. A run of the
// thread takes a buffer, has FillBuffer fill it and delivers it downstream
// until FillBuffer reports the end of the stream or the pin is moved; between
// runs the thread waits, parked, so that a seek needs no new thread. A move
// is made by the thread itself between two runs, so that a seek costs the
// GUI thread no wait for the streaming thread.
//
// A paused video renderer that cues a picture may answer S_PARKED: it keeps
// the picture, and the thread waits at the top of its loop instead of in
// the renderer, with nothing of the stream on its stack. A one-frame step
// then runs the loop's next turns on the calling thread (takeTurn), and the
// graph's run wakes the thread, which has the renderer show what it kept
// when it is due before it goes on.

#include "platform/graph/base_filter.h"

#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Success from a delivery: downstream keeps the sample and holds the stream
// at the top of its loop (a paused renderer that keeps the picture it cued).
constexpr HRESULT S_PARKED = hresultOf(0x0004F001);

class SourceStream : public BaseOutputPin
{
public:
    SourceStream(BaseFilter* filter, std::u16string name);
    ~SourceStream() override;

    // Runs on the streaming thread: S_OK delivers the sample, S_FALSE ends
    // the run (and the stream, with an end of stream delivered, unless the
    // pin is being stopped or moved), an error aborts it (EC_ERRORABORT).
    // Long work should poll stopRequested().
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
    // On the streaming thread, before the first buffer and after the last
    // of each run.
    virtual HRESULT OnThreadStartPlay();
    virtual void OnThreadDestroy();

    HRESULT Active() override;
    HRESULT Inactive() override;

    // Moves the stream. With a streaming thread (an active filter): flushes
    // downstream, has the thread end its run and returns; the thread then
    // runs `reposition`, ends the flush and starts a new run. Moves asked for before the thread makes them are
    // made together, their `reposition`s in order. Without a thread,
    // `reposition` runs at once. Every run first delivers the segment
    // (start, stop, rate) of the last move. Called on the GUI thread;
    // `reposition` may run on the streaming thread after the call.
    HRESULT Reposition(std::function<void()> reposition, REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    bool stopRequested() const { return stop_.load(std::memory_order_acquire); }

    // The stream whose sample the current thread delivers, while it may be
    // parked (it feeds one chain of filters alone); null elsewhere and while
    // an end of stream goes down.
    static SourceStream* delivering();
    // On the delivering thread, by what answers S_PARKED, before anyone can
    // see that it did: `resume` runs on the streaming thread once the filter
    // runs, before the loop goes on.
    void park(std::function<void()> resume);
    // Undoes park when the delivery failed further up.
    void parkAborted();
    // Parked by a delivery on the streaming thread, which is on its way to
    // wait at the top of its loop; any thread.
    bool parkPending() const { return parkPending_.load(std::memory_order_acquire); }

    enum class Turn {
        notTaken,   // the thread is not parked: nothing was done
        parked,     // delivered here until downstream parked the stream again
        handedBack, // the thread goes on from where this turn stopped
    };
    // On the calling thread, while the graph is paused and the thread parked:
    // runs the loop's turns (a buffer filled and delivered) here until
    // downstream parks the stream again. A turn that ends the run (the end
    // of the stream, an error, no free buffer) is handed back to the thread,
    // which acts on it as if it had been its own.
    Turn takeTurn();
    // The filter runs: a parked thread goes on.
    void Running() override;

private:
    enum class Run { parked, wanted, streaming };

    // Moves asked for and not made yet: downstream flushes until they are.
    struct Move
    {
        std::vector<std::function<void()>> repositions;
        REFERENCE_TIME start;
        REFERENCE_TIME stop;
        double rate;
    };

    // Starts a run, making the thread first when there is none.
    void startRun();
    // Ends the run in progress, ends and joins the thread, and makes the
    // move it left.
    void endThread();
    // With runLock_ held, between runs.
    void makeMove();
    void threadMain();
    void run();
    // Whether this is its filter's only connected stream and every filter
    // downstream passes it to one output at most, so that a parked thread
    // holds back nobody else's data.
    bool feedsOneChain() const;
    // Where a turn taken on another thread stopped, for the thread to go on
    // from: the next buffer to fill, a fill's result other than S_OK, or a
    // delivery's result other than S_OK and S_PARKED.
    struct HandBack
    {
        enum { fill, filled, delivered } at;
        HRESULT hr;
    };
    // With the thread parked at the top of its loop: waits until it is to
    // go on, and returns where from.
    HandBack waitParked();

    // Made and ended on the GUI thread only.
    std::thread thread_;
    std::mutex runLock_;
    std::condition_variable runChanged_;
    Run run_ = Run::parked;    // guarded by runLock_
    bool exit_ = false;        // guarded by runLock_
    std::optional<Move> move_; // guarded by runLock_
    std::atomic<bool> stop_{false};
    // Set while the filter is activated, before the thread's runs.
    bool parks_ = false;
    // The thread waits at the top of its loop; another thread has its turn.
    bool parked_ = false;                // guarded by runLock_
    bool turnTaken_ = false;             // guarded by runLock_
    std::optional<HandBack> handedBack_; // guarded by runLock_
    // Downstream parked the thread, which is on its way to wait: set by the
    // thread that delivers, cleared under runLock_.
    std::atomic<bool> parkPending_{false};
    // Written by the thread that has the turn, read once it is handed over.
    std::function<void()> resume_;
};

class SourceFilter : public BaseFilter
{
public:
    using BaseFilter::BaseFilter;

    int GetPinCount() override { return static_cast<int>(streams_.size()); }
    BasePin* GetPin(int index) override;

protected:
    ~SourceFilter() override;
    // Takes ownership of a stream (an output pin made with this filter).
    SourceStream* addStream(std::unique_ptr<SourceStream> stream);

private:
    std::vector<std::unique_ptr<SourceStream>> streams_;
};

// IMediaSeeking in media time for a source filter (or pin): positions,
// duration and rate live here; the owner moves its streams in ChangeStart,
// ChangeStop and ChangeRate (with SourceStream::Reposition). Used as an extra
// interface: WithInterfaces<SourceFilter, SourceSeeking>.
class SourceSeeking : public IMediaSeeking
{
public:
    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    // The graph reckons the current position from its clock.
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                              const GUID* sourceFormat) override;
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

protected:
    virtual HRESULT ChangeStart() = 0;
    virtual HRESULT ChangeStop() = 0;
    virtual HRESULT ChangeRate() = 0;

    // Set by the owner when it knows the stream; read on the GUI thread.
    // A duration of 0 or less is unknown: GetDuration fails, and the stop
    // stays at the end of the stream, wherever that turns out to be.
    void setDuration(REFERENCE_TIME duration);
    // Where the last frame starts, once the owner knows it: a start at or
    // past it is taken as that frame's start, so that going to the end, or
    // beyond it, shows the last frame.
    void setLastFrameStart(REFERENCE_TIME start) { lastStart_ = start > 0 ? start : kUnknownEnd; }

    // The stop of a stream whose end is not known.
    static constexpr REFERENCE_TIME kUnknownEnd = std::numeric_limits<REFERENCE_TIME>::max();

    // Written by SetPositions and SetRate on the GUI thread before the
    // Change operations run. duration_ is kUnknownEnd when unknown.
    REFERENCE_TIME duration_ = 0;
    REFERENCE_TIME lastStart_ = kUnknownEnd;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME stop_ = 0;
    double rate_ = 1.0;
    DWORD capabilities_ = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                          AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
};
