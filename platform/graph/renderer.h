#pragma once
// The base of renderers: one input pin; samples are shown at their
// presentation time by the filter's reference clock (at once without one).
//
// Pausing from stopped cues the renderer: GetState answers
// VFW_S_STATE_INTERMEDIATE until the first sample (or the end of the stream)
// arrives, and a paused renderer holds the streaming thread in Receive until
// it runs, stops or flushes. A run straight from stopped is cued by the
// first sample that comes while running, so that a pause after it finds the
// renderer ready. The end of the stream is reported to the graph as
// EC_COMPLETE once the renderer runs.
//
// A paused video renderer steps (IVideoFrameStep): it lets the sample it
// holds go without showing it again, and cues on the next one, so that
// exactly one more picture is decoded and brought.
//
// A paused video renderer that cues a picture delivered by a source stream
// that may park (SourceStream::delivering) keeps the sample and answers
// S_PARKED: the streaming thread waits at the top of its loop, and a step
// takes the stream's next turns on the calling thread, so that the picture
// is decoded there with no other thread woken. When the graph runs, the
// streaming thread has the kept sample shown when it is due, as if it had
// waited for it here.

#include "platform/graph/base_filter.h"
#include "platform/graph/forwarding_pin.h"
#include "platform/graph/source.h"

#include <condition_variable>
#include <memory>

class BaseRenderer;
using RendererInputPin = ForwardingInputPin<BaseRenderer>;

class BaseRenderer : public WithInterfaces<BaseFilter, IVideoFrameStep>
{
public:
    BaseRenderer(const CLSID& classId, std::u16string name);

    // IVideoFrameStep, for a renderer whose input is video.
    HRESULT Step(DWORD frames, IUnknown* stepObject) override;
    HRESULT CanStep(LONG multiple, IUnknown* stepObject) override;
    HRESULT GetStillTime(REFERENCE_TIME* start) override;

    // Connection.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
    virtual HRESULT CompleteConnect(IPin* receivePin);
    virtual HRESULT BreakConnect();
    // Streaming, on the upstream streaming thread. DoRenderSample shows the
    // sample when it is due; OnReceiveFirstSample sees the sample that cues
    // a paused renderer (a video renderer draws it as the still picture).
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
    virtual void OnReceiveFirstSample(IMediaSample* sample);
    // The stream has ended; completion is reported when this returns (an
    // audio renderer first plays out what its device still holds).
    virtual void OnEndOfStream();
    // A new segment starts; sample times count from its start.
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    // A flush begins (on the thread that flushes): a streaming thread waiting
    // in the renderer's own code is to give up.
    virtual void OnBeginFlush();
    // On the GUI thread when streaming starts (stopped to paused) and stops.
    virtual HRESULT OnStartStreaming();
    virtual HRESULT OnStopStreaming();

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;

    int GetPinCount() override { return 1; }
    BasePin* GetPin(int index) override;

    RendererInputPin* input() const { return input_.get(); }
    // Samples rendered since streaming started.
    LONG framesDrawn() const { return framesDrawn_.load(std::memory_order_relaxed); }

protected:
    ~BaseRenderer() override;

private:
    friend RendererInputPin;
    HRESULT checkInput(const AM_MEDIA_TYPE* type) { return CheckMediaType(type); }
    HRESULT setInputType(const AM_MEDIA_TYPE* type) { return SetMediaType(type); }
    HRESULT completeInputConnect(IPin* receivePin) { return CompleteConnect(receivePin); }
    HRESULT breakInputConnect() { return BreakConnect(); }
    HRESULT newSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) { return NewSegment(start, stop, rate); }
    HRESULT receive(IMediaSample* sample);
    HRESULT endOfStream();
    HRESULT beginFlush();
    HRESULT endFlush();
    enum class Wait { due, abandoned, stepped };
    // Waits until running and the sample is due; abandoned on a stop or
    // flush, stepped when a step lets the sample go.
    Wait waitUntilDue(std::unique_lock<std::mutex>& lock, IMediaSample* sample);
    Wait waitHolding(std::unique_lock<std::mutex>& lock, IMediaSample* sample);
    // On the streaming thread of a parked stream once it runs.
    void renderKept();
    // Lets the kept sample go; with mutex_ held. The caller releases it
    // outside the lock.
    ComPtr<IMediaSample> dropKept();
    bool aborting() const { return flushing_ || state() == State_Stopped; }
    // Wakes waiters after a change of state made outside the mutex.
    void wake();
    void sendCompleteIfDue();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool cued_ = true;
    bool endOfStream_ = false;
    bool completeSent_ = false;
    bool flushing_ = false;
    // A paused sample waits in Receive; a step asked to let it go.
    bool holding_ = false;
    bool stepping_ = false;
    // A cued sample kept while its stream waits at the top of its loop, and
    // that stream (its filter held with it).
    ComPtr<IMediaSample> kept_;
    SourceStream* keptBy_ = nullptr;
    ComPtr<IBaseFilter> keptSource_;
    // The start of the picture that cued the renderer, while it stands.
    bool still_ = false;
    REFERENCE_TIME stillStart_ = 0;
    std::atomic<LONG> framesDrawn_{0};
    std::unique_ptr<RendererInputPin> input_;
};
