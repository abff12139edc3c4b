#pragma once
// The base filter with its states, and the pins that filters are built from.
//
// Threads: connections and state changes are made on the GUI thread under the
// filter's lock. Samples, end of stream and new segments arrive on the
// upstream filter's streaming thread and take no filter lock; flushes come
// from the thread that seeks. A pin's reference count is its filter's.

#include "platform/graph/interfaces.h"

#include <atomic>
#include <limits>
#include <mutex>
#include <string>

class BasePin;

// Adds interfaces to a class that already implements IUnknown: the extra
// interfaces are answered first, everything else by the base.
template <class Base, class... Extra> class WithInterfaces : public Base, public Extra...
{
public:
    using Base::Base;

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        void* found = nullptr;
        ((found = found ? found : riid == Extra::iid ? static_cast<Extra*>(this) : nullptr), ...);
        if (!found)
            return Base::QueryInterface(riid, object);
        *object = found;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return Base::AddRef(); }
    ULONG Release() override { return Base::Release(); }
};

class BaseFilter : public ComObject<IBaseFilter>
{
public:
    BaseFilter(const CLSID& classId, std::u16string name);

    HRESULT QueryInterface(REFIID riid, void** object) override;

    HRESULT GetClassID(CLSID* classId) override;

    // Stopped to paused activates the pins (allocators committed, source
    // threads started); paused or running to stopped deactivates them.
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    // The pins, by index; stable while the filter lives.
    virtual int GetPinCount() = 0;
    virtual BasePin* GetPin(int index) = 0;

    FILTER_STATE state() const { return state_.load(std::memory_order_acquire); }
    // The graph the filter is in (not held), or null.
    IFilterGraph* graph() const { return graph_.load(std::memory_order_acquire); }
    // The graph's cancel token: a send from a streaming thread passes it so
    // that a stop or flush releases the thread. Null outside a graph.
    CancelToken* cancelToken() const { return cancelToken_.get(); }
    // Passes an event to the graph (EC_COMPLETE, EC_ERRORABORT...).
    HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    // The reference time at which stream time 0 is due while running.
    REFERENCE_TIME streamStart() const { return streamStart_.load(std::memory_order_acquire); }
    // The reference clock, or null while the graph runs free.
    ComPtr<IReferenceClock> clock();

    std::recursive_mutex& filterLock() { return lock_; }

protected:
    ~BaseFilter() override;

private:
    const CLSID classId_;
    std::u16string name_;
    std::recursive_mutex lock_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    std::atomic<REFERENCE_TIME> streamStart_{0};
    // The graph holds its filters, so a filter does not hold its graph.
    std::atomic<IFilterGraph*> graph_{nullptr};
    std::atomic<IMediaEventSink*> events_{nullptr};
    CancelTokenPtr cancelToken_;
    // A streaming thread reads the clock while the GUI thread may hold the
    // filter lock, so the clock has a lock of its own.
    std::mutex clockLock_;
    ComPtr<IReferenceClock> clock_;
};

// Counts the connections made and broken by every pin of the process; what
// was worked out from the connections holds while the count stands.
std::uint64_t PinConnectionChanges();

class BasePin : public IPin, public IAMPinCategory
{
public:
    BasePin(BaseFilter* filter, std::u16string name, PIN_DIRECTION direction);
    virtual ~BasePin() = default;
    BasePin(const BasePin&) = delete;
    BasePin& operator=(const BasePin&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return filter_->AddRef(); }
    ULONG Release() override { return filter_->Release(); }

    HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(std::u16string* id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    HRESULT GetCategory(GUID* category) override;

    // Overridables of the connection.
    // S_OK when the pin accepts the type, else an error.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    // The type offered at `position` from 0: S_OK, or VFW_S_NO_MORE_ITEMS.
    virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type);
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT CompleteConnect(IPin* receivePin);
    virtual HRESULT BreakConnect();
    // Called as the filter leaves and enters the stopped state.
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    // Called once the filter runs.
    virtual void Running() {}

    bool isConnected() const { return connected_ != nullptr; }
    IPin* connected() const { return connected_.get(); }
    const AM_MEDIA_TYPE& mediaType() const { return mediaType_; }
    PIN_DIRECTION direction() const { return direction_; }
    const std::u16string& name() const { return name_; }
    BaseFilter* filter() const { return filter_; }
    void setCategory(const GUID& category) { category_ = category; }
    REFERENCE_TIME segmentStart() const { return segmentStart_; }
    REFERENCE_TIME segmentStop() const { return segmentStop_; }
    double segmentRate() const { return segmentRate_; }

protected:
    // Settles the connection's type from `type` (complete or partial) and
    // the two pins' offers; an output pin's own work.
    HRESULT AgreeMediaType(IPin* receiver, const AM_MEDIA_TYPE* type);
    HRESULT AttemptConnection(IPin* receiver, const AM_MEDIA_TYPE& type);
    HRESULT TryMediaTypes(IPin* receiver, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types);
    // S_OK while unconnected and stopped.
    HRESULT connectable() const;
    // Drops the connection on this side only.
    void clearConnection();

    BaseFilter* const filter_;
    const std::u16string name_;
    const PIN_DIRECTION direction_;
    ComPtr<IPin> connected_;
    AM_MEDIA_TYPE mediaType_;
    GUID category_;
    REFERENCE_TIME segmentStart_ = 0;
    REFERENCE_TIME segmentStop_ = std::numeric_limits<REFERENCE_TIME>::max();
    double segmentRate_ = 1.0;
};

class BaseInputPin : public BasePin, public IMemInputPin
{
public:
    BaseInputPin(BaseFilter* filter, std::u16string name);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return filter_->AddRef(); }
    ULONG Release() override { return filter_->Release(); }

    // Not an output pin: Connect is refused.
    HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT EndOfStream() override;

    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    // Checks the state, the flush and a media type carried by the sample;
    // subclasses call it first and go on when it returns S_OK.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT ReceiveCanBlock() override { return S_OK; }

    HRESULT BreakConnect() override;
    HRESULT Inactive() override;

    // The allocator of the connection, as chosen by the upstream pin (not
    // held), or null; its properties say what upstream delivers.
    IMemAllocator* PeekAllocator() const { return allocator_.get(); }
    bool isReadOnly() const { return readOnly_; }
    bool isFlushing() const { return flushing_.load(std::memory_order_acquire); }

protected:
    ComPtr<IMemAllocator> allocator_;
    bool readOnly_ = false;
    std::atomic<bool> flushing_{false};
};

class BaseOutputPin : public BasePin
{
public:
    BaseOutputPin(BaseFilter* filter, std::u16string name);

    // Streaming calls are for input pins.
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Sizes the buffers of the allocator chosen for the connection; `request`
    // holds the downstream pin's requirements.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // Chooses the connection's allocator: the downstream pin's when it
    // offers one that takes our sizes, else a pool of our own.
    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);

    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    IMemAllocator* allocator() const { return allocator_.get(); }

protected:
    ComPtr<IMemAllocator> allocator_;
    ComPtr<IMemInputPin> input_;
};
