#include "platform/graph/source.h"

#include "platform/graph/media_guids.h"
#include "platform/graph/pin_walk.h"

#include "platform/win/messages.h"

#include <utility>

// --- SourceStream ------------------------------------------------------------

namespace {

// The stream whose sample this thread delivers, while it may be parked,
// and whether the thread delivers in a turn taken from the stream's own.
thread_local SourceStream* deliveringStream = nullptr;
thread_local bool onTurn = false;

// Marks the thread as delivering for `stream` during one Deliver.
class Delivering
{
public:
    Delivering(SourceStream* stream, bool turn)
        : stream_(std::exchange(deliveringStream, stream)), turn_(std::exchange(onTurn, turn))
    {
    }
    ~Delivering()
    {
        deliveringStream = stream_;
        onTurn = turn_;
    }
    Delivering(const Delivering&) = delete;
    Delivering& operator=(const Delivering&) = delete;

private:
    SourceStream* stream_;
    bool turn_;
};

} // namespace

SourceStream* SourceStream::delivering()
{
    return deliveringStream;
}

SourceStream::SourceStream(BaseFilter* filter, std::u16string name) : BaseOutputPin(filter, std::move(name)) {}

SourceStream::~SourceStream()
{
    endThread();
}

HRESULT SourceStream::OnThreadStartPlay()
{
    return S_OK;
}

void SourceStream::OnThreadDestroy() {}

HRESULT SourceStream::Active()
{
    if (!isConnected())
        return S_OK;
    const HRESULT hr = BaseOutputPin::Active();
    // Connections stand while the filter is active; they are walked here,
    // on the thread that activates it, not by the streaming thread.
    parks_ = feedsOneChain();
    if (SUCCEEDED(hr))
        startRun();
    return hr;
}

HRESULT SourceStream::Inactive()
{
    endThread();
    return BaseOutputPin::Inactive();
}

void SourceStream::startRun()
{
    {
        std::lock_guard lock(runLock_);
        stop_.store(false, std::memory_order_release);
        run_ = Run::wanted;
    }
    if (thread_.joinable())
        runChanged_.notify_all();
    else
        thread_ = std::thread([this] { threadMain(); });
}

void SourceStream::endThread()
{
    if (!thread_.joinable())
        return;
    bool streaming = false;
    {
        std::lock_guard lock(runLock_);
        stop_.store(true, std::memory_order_release);
        exit_ = true;
        streaming = run_ == Run::streaming;
    }
    runChanged_.notify_all();
    if (streaming) {
        // Releases the thread from a wait for a free buffer; it may be
        // blocked in a send to this thread, too.
        if (allocator_)
            allocator_->Decommit();
        WaitServingMessages(
            [this] {
                std::lock_guard lock(runLock_);
                return run_ == Run::parked;
            },
            -1);
    }
    thread_.join();
    std::lock_guard lock(runLock_);
    exit_ = false;
    run_ = Run::parked;
    resume_ = nullptr;
    parkPending_.store(false, std::memory_order_relaxed);
    handedBack_.reset();
    // The stream stays where it was last moved to, and downstream flushes
    // no more.
    if (move_)
        makeMove();
}

void SourceStream::makeMove()
{
    Move move = std::move(*move_);
    move_.reset();
    for (const auto& reposition : move.repositions)
        reposition();
    DeliverEndFlush();
    NewSegment(move.start, move.stop, move.rate);
}

void SourceStream::threadMain()
{
    std::unique_lock lock(runLock_);
    for (;;) {
        runChanged_.wait(lock, [this] { return exit_ || run_ == Run::wanted; });
        if (exit_)
            return;
        run_ = Run::streaming;
        for (;;) {
            // Nothing of the run before is left to deliver: the move is made
            // here, and Reposition, which holds the lock while it begins a
            // flush, cannot come in between.
            if (move_)
                makeMove();
            stop_.store(false, std::memory_order_release);
            lock.unlock();
            run();
            lock.lock();
            // A move asked for during the run starts the next one, unless
            // the thread is to end.
            if (!move_ || exit_)
                break;
        }
        run_ = Run::parked;
        lock.unlock();
        // Whoever ends the thread waits for this.
        WakeWaits();
        lock.lock();
    }
}

bool SourceStream::feedsOneChain() const
{
    // A stream that shares its filter, or a filter downstream that hands
    // what it gets to more than one output (a splitter pushed to), would
    // hold up another branch while this one waits.
    ComPtr<IBaseFilter> filter(filter_);
    // A chain longer than any graph builds is not walked to its end.
    for (int depth = 0; filter && depth < 64; ++depth) {
        ComPtr<IPin> next;
        for (const ComPtr<IPin>& pin : pinsOf(filter.get())) {
            if (directionOf(pin.get()) != PINDIR_OUTPUT || !peerOf(pin.get()))
                continue;
            if (next)
                return false;
            next = pin;
        }
        if (!next)
            return true;
        const ComPtr<IPin> in = peerOf(next.get());
        filter = in ? filterOf(in.get()) : nullptr;
    }
    return !filter;
}

void SourceStream::park(std::function<void()> resume)
{
    // Only the thread that has the turn comes here.
    resume_ = std::move(resume);
    // Parked from a turn taken elsewhere, the thread waits already.
    if (!onTurn)
        parkPending_.store(true, std::memory_order_release);
}

void SourceStream::parkAborted()
{
    resume_ = nullptr;
    {
        std::lock_guard lock(runLock_);
        parkPending_.store(false, std::memory_order_relaxed);
    }
    runChanged_.notify_all();
    WakeWaits();
}

void SourceStream::Running()
{
    {
        std::lock_guard lock(runLock_);
        if (!parked_)
            return;
    }
    runChanged_.notify_all();
}

SourceStream::HandBack SourceStream::waitParked()
{
    std::unique_lock lock(runLock_);
    parked_ = true;
    if (parkPending_.exchange(false, std::memory_order_acq_rel)) {
        // A step may wait for this, and a wait for the pause: woken without
        // the lock, which the step would otherwise wait for in turn.
        lock.unlock();
        runChanged_.notify_all();
        WakeWaits();
        lock.lock();
    }
    runChanged_.wait(
        lock, [this] { return !turnTaken_ && (stopRequested() || handedBack_ || filter_->state() == State_Running); });
    parked_ = false;
    std::function<void()> resume = std::exchange(resume_, nullptr);
    if (handedBack_ && !stopRequested())
        return *std::exchange(handedBack_, std::nullopt);
    handedBack_.reset();
    lock.unlock();
    // Running: what downstream kept is shown when it is due, first.
    if (resume && !stopRequested())
        resume();
    return {HandBack::fill, S_OK};
}

SourceStream::Turn SourceStream::takeTurn()
{
    {
        std::unique_lock lock(runLock_);
        // The thread whose delivery parked comes here at once: the rest of
        // its way up the stream waits for nobody.
        runChanged_.wait(lock, [this] { return !parkPending_.load(std::memory_order_acquire) || stopRequested(); });
        if (!parked_ || turnTaken_ || handedBack_ || stopRequested() || filter_->state() != State_Paused)
            return Turn::notTaken;
        turnTaken_ = true;
    }
    std::optional<HandBack> stoppedAt;
    for (;;) {
        ComPtr<IMediaSample> sample;
        // The thread waits for buffers, not this one.
        if (FAILED(GetDeliveryBuffer(sample.put(), nullptr, nullptr, AM_GBF_NOWAIT))) {
            stoppedAt = {HandBack::fill, S_OK};
            break;
        }
        const HRESULT filled = FillBuffer(sample.get());
        if (filled != S_OK) {
            stoppedAt = {HandBack::filled, filled};
            break;
        }
        HRESULT hr;
        {
            Delivering delivering(this, true);
            hr = Deliver(sample.get());
        }
        if (hr == S_PARKED)
            break;
        if (hr != S_OK) {
            stoppedAt = {HandBack::delivered, hr};
            break;
        }
    }
    {
        std::lock_guard lock(runLock_);
        turnTaken_ = false;
        handedBack_ = stoppedAt;
    }
    // A thread that stays parked is not woken.
    if (!stoppedAt)
        return Turn::parked;
    runChanged_.notify_all();
    return Turn::handedBack;
}

void SourceStream::run()
{
    // Nothing thrown by the filter's code may leave the thread.
    try {
        DeliverNewSegment(segmentStart(), segmentStop(), segmentRate());
        HRESULT hr = OnThreadStartPlay();
        bool told = false;
        const auto tellError = [&] {
            if (FAILED(hr) && !stopRequested() && !std::exchange(told, true))
                filter_->NotifyEvent(EC_ERRORABORT, hr, 0);
        };
        const bool parks = parks_;
        HandBack next{HandBack::fill, S_OK};
        while (SUCCEEDED(hr) && !stopRequested()) {
            ComPtr<IMediaSample> sample;
            const HandBack from = std::exchange(next, {HandBack::fill, S_OK});
            hr = from.hr;
            if (from.at == HandBack::delivered)
                break;
            if (from.at == HandBack::fill) {
                if (FAILED(GetDeliveryBuffer(sample.put(), nullptr, nullptr, 0)))
                    break;
                hr = FillBuffer(sample.get());
            }
            if (hr == S_OK) {
                {
                    std::optional<Delivering> delivering;
                    if (parks)
                        delivering.emplace(this, false);
                    hr = Deliver(sample.get());
                }
                sample.reset();
                if (hr == S_PARKED) {
                    hr = S_OK;
                    next = waitParked();
                    continue;
                }
                // Parked further down, but not told so up here.
                if (parkPending_.load(std::memory_order_relaxed))
                    parkAborted();
                // S_FALSE: downstream flushes or stops; wait to be moved.
                if (hr != S_OK)
                    break;
            } else {
                // The error goes before the end it causes, so that it is
                // what ends a wait for completion. A run ended by a move or
                // a stop is no end of the stream.
                tellError();
                if (!stopRequested())
                    DeliverEndOfStream();
                break;
            }
        }
        tellError();
        OnThreadDestroy();
    } catch (...) {
        filter_->NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
    }
}

HRESULT SourceStream::Reposition(std::function<void()> reposition, REFERENCE_TIME start, REFERENCE_TIME stop,
                                 double rate)
{
    std::lock_guard lock(filter_->filterLock());
    if (!thread_.joinable()) {
        if (reposition)
            reposition();
        // The next run delivers the new segment first.
        NewSegment(start, stop, rate);
        return S_OK;
    }
    {
        std::lock_guard run(runLock_);
        stop_.store(true, std::memory_order_release);
        if (!move_) {
            // Downstream drops what it holds, which releases the thread from
            // a delivery; the thread ends the flush when its run is over. A
            // thread blocked in a send is not released: the GUI thread does
            // not wait for it and serves the send later.
            DeliverBeginFlush();
            move_ = Move{{}, start, stop, rate};
        }
        if (reposition)
            move_->repositions.push_back(std::move(reposition));
        move_->start = start;
        move_->stop = stop;
        move_->rate = rate;
        // A thread whose stream had ended streams again from the new place.
        if (run_ == Run::parked && allocator_ && SUCCEEDED(allocator_->Commit()))
            run_ = Run::wanted;
    }
    runChanged_.notify_all();
    return S_OK;
}

// --- SourceFilter ------------------------------------------------------------

SourceFilter::~SourceFilter() = default;

BasePin* SourceFilter::GetPin(int index)
{
    return index >= 0 && index < GetPinCount() ? streams_[static_cast<std::size_t>(index)].get() : nullptr;
}

SourceStream* SourceFilter::addStream(std::unique_ptr<SourceStream> stream)
{
    std::lock_guard lock(filterLock());
    streams_.push_back(std::move(stream));
    return streams_.back().get();
}

// --- SourceSeeking -----------------------------------------------------------

HRESULT SourceSeeking::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    *capabilities = capabilities_;
    return S_OK;
}

HRESULT SourceSeeking::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    const DWORD asked = *capabilities;
    *capabilities &= capabilities_;
    if (*capabilities == asked)
        return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT SourceSeeking::IsFormatSupported(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT SourceSeeking::QueryPreferredFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT SourceSeeking::GetTimeFormat(GUID* format)
{
    return QueryPreferredFormat(format);
}

HRESULT SourceSeeking::IsUsingTimeFormat(const GUID* format)
{
    return IsFormatSupported(format);
}

HRESULT SourceSeeking::SetTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : VFW_E_NO_TIME_FORMAT;
}

HRESULT SourceSeeking::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    if (!(capabilities_ & AM_SEEKING_CanGetDuration))
        return E_NOTIMPL;
    *duration = duration_;
    return S_OK;
}

HRESULT SourceSeeking::GetStopPosition(LONGLONG* stop)
{
    if (!stop)
        return E_POINTER;
    *stop = stop_;
    return S_OK;
}

HRESULT SourceSeeking::GetCurrentPosition(LONGLONG*)
{
    return E_NOTIMPL;
}

HRESULT SourceSeeking::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                         const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    const auto isMediaTime = [](const GUID* f) { return !f || *f == TIME_FORMAT_MEDIA_TIME; };
    if (!isMediaTime(targetFormat) || !isMediaTime(sourceFormat))
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

namespace {
// The new value of a position under its positioning flags.
LONGLONG positioned(LONGLONG current, LONGLONG base, const LONGLONG* value, DWORD flags)
{
    switch (flags & AM_SEEKING_PositioningBitsMask) {
    case AM_SEEKING_AbsolutePositioning:
        return *value;
    case AM_SEEKING_RelativePositioning:
        return current + *value;
    case AM_SEEKING_IncrementalPositioning:
        return base + *value;
    default:
        return current;
    }
}
} // namespace

HRESULT SourceSeeking::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    const bool moveStart = (currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    const bool moveStop = (stopFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    if ((moveStart && !current) || (moveStop && !stop))
        return E_POINTER;
    const LONGLONG newStart =
        moveStart ? std::min<LONGLONG>(positioned(start_, start_, current, currentFlags), lastStart_) : start_;
    const LONGLONG newStop = moveStop ? positioned(stop_, newStart, stop, stopFlags) : stop_;
    if (newStart < 0 || newStop < newStart)
        return E_INVALIDARG;
    start_ = newStart;
    stop_ = newStop;
    HRESULT hr = S_OK;
    if (moveStop)
        hr = ChangeStop();
    if (moveStart && SUCCEEDED(hr))
        hr = ChangeStart();
    if (current && (currentFlags & AM_SEEKING_ReturnTime))
        *current = start_;
    if (stop && (stopFlags & AM_SEEKING_ReturnTime))
        *stop = stop_;
    return hr;
}

HRESULT SourceSeeking::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (current)
        *current = start_;
    if (stop)
        *stop = stop_;
    return S_OK;
}

HRESULT SourceSeeking::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    if (earliest)
        *earliest = 0;
    if (latest)
        *latest = duration_;
    return S_OK;
}

HRESULT SourceSeeking::SetRate(double rate)
{
    if (rate <= 0.0)
        return E_INVALIDARG;
    rate_ = rate;
    return ChangeRate();
}

HRESULT SourceSeeking::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    *rate = rate_;
    return S_OK;
}

HRESULT SourceSeeking::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    *preroll = 0;
    return S_OK;
}

void SourceSeeking::setDuration(REFERENCE_TIME duration)
{
    if (duration <= 0) {
        duration = kUnknownEnd;
        capabilities_ &= ~AM_SEEKING_CanGetDuration;
    } else {
        capabilities_ |= AM_SEEKING_CanGetDuration;
    }
    if (stop_ == duration_ || stop_ > duration)
        stop_ = duration;
    duration_ = duration;
}
