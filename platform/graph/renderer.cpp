#include "platform/graph/renderer.h"

#include "platform/graph/media_guids.h"
#include "platform/win/messages.h"

#include <chrono>

// --- renderer ----------------------------------------------------------------

BaseRenderer::BaseRenderer(const CLSID& classId, std::u16string name)
    : WithInterfaces(classId, std::move(name)), input_(std::make_unique<RendererInputPin>(this))
{
}

BaseRenderer::~BaseRenderer() = default;

BasePin* BaseRenderer::GetPin(int index)
{
    return index == 0 ? input_.get() : nullptr;
}

HRESULT BaseRenderer::SetMediaType(const AM_MEDIA_TYPE*)
{
    return S_OK;
}
HRESULT BaseRenderer::CompleteConnect(IPin*)
{
    return S_OK;
}
HRESULT BaseRenderer::BreakConnect()
{
    return S_OK;
}
void BaseRenderer::OnReceiveFirstSample(IMediaSample*) {}
void BaseRenderer::OnEndOfStream() {}
void BaseRenderer::OnBeginFlush() {}
HRESULT BaseRenderer::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}
HRESULT BaseRenderer::OnStartStreaming()
{
    return S_OK;
}
HRESULT BaseRenderer::OnStopStreaming()
{
    return S_OK;
}

void BaseRenderer::wake()
{
    {
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
}

HRESULT BaseRenderer::Stop()
{
    std::lock_guard filterLock(this->filterLock());
    if (state() == State_Stopped)
        return S_OK;
    const HRESULT hr = BaseFilter::Stop();
    ComPtr<IMediaSample> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped = dropKept();
    }
    changed_.notify_all();
    OnStopStreaming();
    return hr;
}

HRESULT BaseRenderer::Pause()
{
    std::lock_guard filterLock(this->filterLock());
    if (state() == State_Stopped) {
        ComPtr<IMediaSample> dropped;
        {
            std::lock_guard lock(mutex_);
            // Without an upstream there is nothing to wait for.
            cued_ = !input_->isConnected();
            endOfStream_ = completeSent_ = flushing_ = stepping_ = still_ = false;
            dropped = dropKept();
        }
        framesDrawn_ = 0;
        const HRESULT hr = OnStartStreaming();
        if (FAILED(hr))
            return hr;
    }
    const bool paused = state() == State_Paused;
    const HRESULT hr = BaseFilter::Pause();
    // A sample waiting for the run looks again; a paused one has nothing new
    // to see.
    if (!paused)
        wake();
    return hr;
}

HRESULT BaseRenderer::Run(REFERENCE_TIME start)
{
    std::lock_guard filterLock(this->filterLock());
    const HRESULT hr = BaseFilter::Run(start);
    wake();
    sendCompleteIfDue();
    return hr;
}

HRESULT BaseRenderer::GetState(DWORD msTimeout, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    const auto cued = [this] {
        std::lock_guard lock(mutex_);
        // A parked stream is ready once its thread waits at the top of its
        // loop, so that nothing of the cue is left to the next step.
        return (cued_ && !(keptBy_ && keptBy_->parkPending())) || this->state() != State_Paused;
    };
    // The cue comes from a streaming thread that may be sending to the GUI
    // thread, so the wait serves sends.
    const bool done = msTimeout > 0 ? WaitServingMessages(cued, static_cast<int>(msTimeout)) : cued();
    *state = this->state();
    return done ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

void BaseRenderer::sendCompleteIfDue()
{
    {
        std::lock_guard lock(mutex_);
        if (!endOfStream_ || completeSent_ || flushing_ || state() != State_Running)
            return;
        completeSent_ = true;
    }
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

HRESULT BaseRenderer::CanStep(LONG multiple, IUnknown*)
{
    return multiple == 0 && input_->isConnected() && input_->mediaType().majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
}

HRESULT BaseRenderer::Step(DWORD frames, IUnknown*)
{
    if (frames != 1 || CanStep(0, nullptr) != S_OK)
        return E_INVALIDARG;
    SourceStream* parked = nullptr;
    ComPtr<IBaseFilter> source;
    ComPtr<IMediaSample> kept;
    {
        std::lock_guard lock(mutex_);
        if (state() != State_Paused || !cued_ || !(holding_ || kept_) || stepping_ || endOfStream_ || flushing_)
            return VFW_E_WRONG_STATE;
        // The state is intermediate until the next picture cues.
        cued_ = false;
        if (kept_) {
            parked = keptBy_;
            source = keptSource_;
            // Let go, as a held sample is, before the next is decoded
            // into a buffer it may need.
            kept = dropKept();
        } else {
            stepping_ = true;
        }
    }
    if (!parked) {
        changed_.notify_all();
        return S_OK;
    }
    kept.reset();
    // The stream waits at the top of its loop: its next picture is decoded
    // and delivered here. A stream that has begun to go on finds nothing
    // kept and brings the next picture itself.
    parked->takeTurn();
    return S_OK;
}

HRESULT BaseRenderer::GetStillTime(REFERENCE_TIME* start)
{
    if (!start)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    if (!still_)
        return S_FALSE;
    *start = stillStart_;
    return S_OK;
}

BaseRenderer::Wait BaseRenderer::waitUntilDue(std::unique_lock<std::mutex>& lock, IMediaSample* sample)
{
    holding_ = true;
    const Wait result = waitHolding(lock, sample);
    holding_ = false;
    return result;
}

BaseRenderer::Wait BaseRenderer::waitHolding(std::unique_lock<std::mutex>& lock, IMediaSample* sample)
{
    for (;;) {
        changed_.wait(lock, [&] { return aborting() || stepping_ || state() == State_Running; });
        if (aborting()) {
            // A step asked for is void with the sample it was to let go.
            stepping_ = false;
            return Wait::abandoned;
        }
        if (std::exchange(stepping_, false))
            return Wait::stepped;
        REFERENCE_TIME start = 0, stop = 0;
        const ComPtr<IReferenceClock> clock = this->clock();
        if (!clock || FAILED(sample->GetTime(&start, &stop)))
            return Wait::due;
        REFERENCE_TIME now = 0;
        if (FAILED(clock->GetTime(&now)))
            return Wait::due;
        const REFERENCE_TIME due = streamStart() + start;
        if (now >= due)
            return Wait::due;
        // Woken early by a change of state; the loop looks again.
        changed_.wait_for(lock, std::chrono::microseconds((due - now + 9) / 10),
                          [&] { return aborting() || state() != State_Running; });
    }
}

ComPtr<IMediaSample> BaseRenderer::dropKept()
{
    keptBy_ = nullptr;
    keptSource_.reset();
    return std::move(kept_);
}

void BaseRenderer::renderKept()
{
    std::unique_lock lock(mutex_);
    ComPtr<IMediaSample> sample = std::move(kept_);
    keptBy_ = nullptr;
    const ComPtr<IBaseFilter> source = std::move(keptSource_);
    if (!sample)
        return;
    if (waitUntilDue(lock, sample.get()) != Wait::due)
        return;
    lock.unlock();
    DoRenderSample(sample.get());
    ++framesDrawn_;
}

HRESULT BaseRenderer::receive(IMediaSample* sample)
{
    std::unique_lock lock(mutex_);
    if (!cued_ && state() == State_Running) {
        // Run straight from stopped cues nothing: the first sample that comes
        // while running is the one a later pause holds, so the renderer is
        // ready from here on.
        cued_ = true;
    } else if (!cued_ && state() == State_Paused) {
        // The cueing picture is in place before the state says paused, so
        // that whoever waited for the pause sees it.
        lock.unlock();
        OnReceiveFirstSample(sample);
        lock.lock();
        if (!flushing_ && state() == State_Paused) {
            REFERENCE_TIME stop = 0;
            still_ = SUCCEEDED(sample->GetTime(&stillStart_, &stop));
            cued_ = true;
            ComPtr<IMediaSample> before = dropKept();
            SourceStream* const stream = SourceStream::delivering();
            const bool park = stream && CanStep(0, nullptr) == S_OK;
            if (park) {
                // The stream waits at the top of its loop, not here.
                kept_ = sample;
                keptBy_ = stream;
                keptSource_ = stream->filter();
                // Before the cue shows: a step waits for the thread to park.
                stream->park([self = ComPtr<BaseRenderer>(this)] { self->renderKept(); });
            } else {
                // A step from here lets this sample go, whether or not its
                // wait has begun.
                holding_ = true;
            }
            changed_.notify_all();
            lock.unlock();
            before.reset();
            // GetState waits for the cue on the GUI thread.
            WakeWaits();
            if (park)
                return S_PARKED;
            lock.lock();
        }
    }
    switch (waitUntilDue(lock, sample)) {
    case Wait::abandoned:
        return S_FALSE;
    case Wait::stepped:
        // Shown already as the still picture.
        return S_OK;
    case Wait::due:
        break;
    }
    lock.unlock();
    const HRESULT hr = DoRenderSample(sample);
    ++framesDrawn_;
    return hr;
}

HRESULT BaseRenderer::endOfStream()
{
    OnEndOfStream();
    {
        std::lock_guard lock(mutex_);
        endOfStream_ = true;
        cued_ = true;
    }
    changed_.notify_all();
    WakeWaits();
    sendCompleteIfDue();
    return S_OK;
}

HRESULT BaseRenderer::beginFlush()
{
    ComPtr<IMediaSample> dropped;
    {
        std::lock_guard lock(mutex_);
        flushing_ = true;
        still_ = false;
        dropped = dropKept();
        // The picture a paused renderer held is gone: a wait for the pause
        // waits for the one that comes after the flush.
        if (state() == State_Paused && input_->isConnected())
            cued_ = false;
    }
    changed_.notify_all();
    OnBeginFlush();
    return S_OK;
}

HRESULT BaseRenderer::endFlush()
{
    std::lock_guard lock(mutex_);
    flushing_ = false;
    endOfStream_ = completeSent_ = false;
    // A paused renderer waits for the first sample after the flush again.
    cued_ = state() != State_Paused || !input_->isConnected();
    return S_OK;
}
