#include "platform/graph/base_filter.h"
#include "platform/graph/enumerators.h"
#include "platform/graph/sample.h"

#include <atomic>

namespace {
std::atomic<std::uint64_t> connectionChanges{0};

void noteConnectionChange()
{
    connectionChanges.fetch_add(1, std::memory_order_acq_rel);
}
} // namespace

std::uint64_t PinConnectionChanges()
{
    return connectionChanges.load(std::memory_order_acquire);
}

// --- BasePin ---------------------------------------------------------------

BasePin::BasePin(BaseFilter* filter, std::u16string name, PIN_DIRECTION direction)
    : filter_(filter), name_(std::move(name)), direction_(direction)
{
}

HRESULT BasePin::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (riid == IUnknown::iid || riid == IPin::iid)
        *object = static_cast<IPin*>(this);
    else if (riid == IAMPinCategory::iid && !category_.isNull())
        *object = static_cast<IAMPinCategory*>(this);
    if (!*object)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT BasePin::GetCategory(GUID* category)
{
    if (!category)
        return E_POINTER;
    *category = category_;
    return category_.isNull() ? E_NOTIMPL : S_OK;
}

HRESULT BasePin::GetMediaType(int position, AM_MEDIA_TYPE*)
{
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT BasePin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    mediaType_ = *type;
    return S_OK;
}

HRESULT BasePin::CheckConnect(IPin* pin)
{
    PIN_DIRECTION other;
    if (FAILED(pin->QueryDirection(&other)))
        return E_FAIL;
    return other == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT BasePin::CompleteConnect(IPin*)
{
    return S_OK;
}
HRESULT BasePin::BreakConnect()
{
    return S_OK;
}
HRESULT BasePin::Active()
{
    return S_OK;
}
HRESULT BasePin::Inactive()
{
    return S_OK;
}

HRESULT BasePin::connectable() const
{
    if (connected_)
        return VFW_E_ALREADY_CONNECTED;
    return filter_->state() == State_Stopped ? S_OK : VFW_E_NOT_STOPPED;
}

void BasePin::clearConnection()
{
    connected_.reset();
    mediaType_ = AM_MEDIA_TYPE{};
    noteConnectionChange();
}

HRESULT BasePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (!receiver)
        return E_POINTER;
    std::lock_guard lock(filter_->filterLock());
    HRESULT hr = connectable();
    if (FAILED(hr))
        return hr;
    hr = CheckConnect(receiver);
    if (SUCCEEDED(hr))
        hr = AgreeMediaType(receiver, type);
    if (FAILED(hr))
        BreakConnect();
    return hr;
}

HRESULT BasePin::AgreeMediaType(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (type && type->isFullySpecified())
        return AttemptConnection(receiver, *type);
    // The receiver's preferences first, then ours.
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (IPin* offerer : {receiver, static_cast<IPin*>(this)}) {
        ComPtr<IEnumMediaTypes> types;
        if (FAILED(offerer->EnumMediaTypes(types.put())))
            continue;
        const HRESULT hr = TryMediaTypes(receiver, type, types.get());
        if (SUCCEEDED(hr))
            return hr;
        if (hr != VFW_E_NO_ACCEPTABLE_TYPES)
            last = hr;
    }
    return last;
}

HRESULT BasePin::TryMediaTypes(IPin* receiver, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types)
{
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    AM_MEDIA_TYPE* candidate = nullptr;
    while (types->Next(1, &candidate, nullptr) == S_OK) {
        const std::unique_ptr<AM_MEDIA_TYPE, void (*)(AM_MEDIA_TYPE*)> owned(candidate, DeleteMediaType);
        if (pattern && !candidate->matchesPartial(*pattern))
            continue;
        const HRESULT hr = AttemptConnection(receiver, *candidate);
        if (SUCCEEDED(hr))
            return hr;
        // A refused type is the normal case; other failures say more.
        if (hr != VFW_E_TYPE_NOT_ACCEPTED)
            last = hr;
    }
    return last;
}

HRESULT BasePin::AttemptConnection(IPin* receiver, const AM_MEDIA_TYPE& type)
{
    HRESULT hr = CheckMediaType(&type);
    if (hr != S_OK)
        return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    connected_ = receiver;
    hr = SetMediaType(&type);
    if (SUCCEEDED(hr)) {
        hr = receiver->ReceiveConnection(this, &type);
        if (SUCCEEDED(hr)) {
            hr = CompleteConnect(receiver);
            if (SUCCEEDED(hr)) {
                // Counted once whole, so that what was worked out from the
                // half-made connection is out of date; a failed one is
                // counted as it is cleared.
                noteConnectionChange();
                return S_OK;
            }
            receiver->Disconnect();
        }
    }
    clearConnection();
    return hr;
}

HRESULT BasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (!connector || !type)
        return E_POINTER;
    std::lock_guard lock(filter_->filterLock());
    HRESULT hr = connectable();
    if (FAILED(hr))
        return hr;
    hr = CheckConnect(connector);
    if (SUCCEEDED(hr)) {
        hr = CheckMediaType(type);
        if (hr == S_OK) {
            connected_ = connector;
            hr = SetMediaType(type);
            if (SUCCEEDED(hr))
                hr = CompleteConnect(connector);
            if (SUCCEEDED(hr)) {
                noteConnectionChange();
                return S_OK;
            }
            clearConnection();
        } else if (SUCCEEDED(hr)) {
            hr = VFW_E_TYPE_NOT_ACCEPTED;
        }
    }
    BreakConnect();
    return hr;
}

HRESULT BasePin::Disconnect()
{
    std::lock_guard lock(filter_->filterLock());
    if (filter_->state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!connected_)
        return S_FALSE;
    BreakConnect();
    clearConnection();
    return S_OK;
}

HRESULT BasePin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard lock(filter_->filterLock());
    copyOutOrNull<IPin>(connected_.get(), pin);
    return connected_ ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT BasePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    std::lock_guard lock(filter_->filterLock());
    if (!connected_) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    *type = mediaType_;
    return S_OK;
}

HRESULT BasePin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = filter_;
    info->dir = direction_;
    info->achName = name_;
    return S_OK;
}

HRESULT BasePin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT BasePin::QueryId(std::u16string* id)
{
    if (!id)
        return E_POINTER;
    *id = name_;
    return S_OK;
}

HRESULT BasePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    return CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
}

HRESULT BasePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    std::vector<AM_MEDIA_TYPE> list;
    {
        std::lock_guard lock(filter_->filterLock());
        for (int i = 0;; ++i) {
            AM_MEDIA_TYPE type;
            if (GetMediaType(i, &type) != S_OK)
                break;
            list.push_back(std::move(type));
        }
    }
    return copyOut<IEnumMediaTypes>(makeCom<MediaTypeEnum>(std::move(list)).get(), types);
}

HRESULT BasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    segmentStart_ = start;
    segmentStop_ = stop;
    segmentRate_ = rate;
    return S_OK;
}

// --- BaseInputPin ----------------------------------------------------------

BaseInputPin::BaseInputPin(BaseFilter* filter, std::u16string name) : BasePin(filter, std::move(name), PINDIR_INPUT) {}

HRESULT BaseInputPin::QueryInterface(REFIID riid, void** object)
{
    if (object && riid == IMemInputPin::iid) {
        *object = static_cast<IMemInputPin*>(this);
        AddRef();
        return S_OK;
    }
    return BasePin::QueryInterface(riid, object);
}

HRESULT BaseInputPin::Connect(IPin*, const AM_MEDIA_TYPE*)
{
    return VFW_E_INVALID_DIRECTION;
}

HRESULT BaseInputPin::BeginFlush()
{
    flushing_.store(true, std::memory_order_release);
    return S_OK;
}

HRESULT BaseInputPin::EndFlush()
{
    flushing_.store(false, std::memory_order_release);
    return S_OK;
}

HRESULT BaseInputPin::EndOfStream()
{
    if (filter_->state() == State_Stopped)
        return VFW_E_WRONG_STATE;
    return isFlushing() ? S_FALSE : S_OK;
}

HRESULT BaseInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    std::lock_guard lock(filter_->filterLock());
    if (!allocator_)
        allocator_ = makeCom<MemAllocator>();
    return copyOut<IMemAllocator>(allocator_.get(), allocator);
}

HRESULT BaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    std::lock_guard lock(filter_->filterLock());
    allocator_ = allocator;
    readOnly_ = readOnly != FALSE;
    return S_OK;
}

HRESULT BaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

HRESULT BaseInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    if (filter_->state() == State_Stopped)
        return VFW_E_WRONG_STATE;
    if (isFlushing())
        return S_FALSE;
    AM_MEDIA_TYPE* type = nullptr;
    if (sample->GetMediaType(&type) == S_OK) {
        const HRESULT hr = CheckMediaType(type);
        DeleteMediaType(type);
        if (hr != S_OK)
            return VFW_E_INVALIDMEDIATYPE;
    }
    return S_OK;
}

HRESULT BaseInputPin::BreakConnect()
{
    allocator_.reset();
    readOnly_ = false;
    return S_OK;
}

HRESULT BaseInputPin::Inactive()
{
    flushing_.store(false, std::memory_order_release);
    return allocator_ ? allocator_->Decommit() : S_OK;
}

// --- BaseOutputPin ---------------------------------------------------------

BaseOutputPin::BaseOutputPin(BaseFilter* filter, std::u16string name) : BasePin(filter, std::move(name), PINDIR_OUTPUT)
{
}

HRESULT BaseOutputPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*)
{
    return VFW_E_INVALID_DIRECTION;
}

HRESULT BaseOutputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = BasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    input_ = ComPtr<IPin>(pin).as<IMemInputPin>();
    return input_ ? S_OK : E_NOINTERFACE;
}

HRESULT BaseOutputPin::CompleteConnect(IPin*)
{
    return DecideAllocator(input_.get(), allocator_.put());
}

HRESULT BaseOutputPin::BreakConnect()
{
    if (allocator_)
        allocator_->Decommit();
    allocator_.reset();
    input_.reset();
    return S_OK;
}

HRESULT BaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    ALLOCATOR_PROPERTIES request;
    pin->GetAllocatorRequirements(&request);
    ComPtr<IMemAllocator> chosen;
    if (SUCCEEDED(pin->GetAllocator(chosen.put()))) {
        ALLOCATOR_PROPERTIES sizes = request;
        if (SUCCEEDED(DecideBufferSize(chosen.get(), &sizes)) && SUCCEEDED(pin->NotifyAllocator(chosen.get(), FALSE)))
            return copyOut<IMemAllocator>(chosen.get(), allocator);
    }
    chosen = makeCom<MemAllocator>();
    HRESULT hr = DecideBufferSize(chosen.get(), &request);
    if (SUCCEEDED(hr))
        hr = pin->NotifyAllocator(chosen.get(), FALSE);
    if (FAILED(hr))
        return hr;
    return copyOut<IMemAllocator>(chosen.get(), allocator);
}

HRESULT BaseOutputPin::Active()
{
    return allocator_ ? allocator_->Commit() : S_OK;
}

HRESULT BaseOutputPin::Inactive()
{
    return allocator_ ? allocator_->Decommit() : S_OK;
}

HRESULT BaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                         DWORD flags)
{
    if (!allocator_)
        return VFW_E_NO_ALLOCATOR;
    return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT BaseOutputPin::Deliver(IMediaSample* sample)
{
    return input_ ? input_->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT BaseOutputPin::DeliverEndOfStream()
{
    return connected_ ? connected_->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT BaseOutputPin::DeliverBeginFlush()
{
    return connected_ ? connected_->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT BaseOutputPin::DeliverEndFlush()
{
    return connected_ ? connected_->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT BaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    NewSegment(start, stop, rate);
    return connected_ ? connected_->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
