#include "platform/graph/base_filter.h"

#include "platform/graph/enumerators.h"

BaseFilter::BaseFilter(const CLSID& classId, std::u16string name) : classId_(classId), name_(std::move(name)) {}

BaseFilter::~BaseFilter() = default;

HRESULT BaseFilter::QueryInterface(REFIID riid, void** object)
{
    if (object && (riid == IMediaFilter::iid || riid == IPersist::iid)) {
        *object = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    return ComObject::QueryInterface(riid, object);
}

HRESULT BaseFilter::GetClassID(CLSID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = classId_;
    return S_OK;
}

HRESULT BaseFilter::Stop()
{
    std::lock_guard lock(lock_);
    if (state() == State_Stopped)
        return S_OK;
    state_.store(State_Stopped, std::memory_order_release);
    HRESULT result = S_OK;
    for (int i = 0; i < GetPinCount(); ++i) {
        const HRESULT hr = GetPin(i)->Inactive();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}

HRESULT BaseFilter::Pause()
{
    std::lock_guard lock(lock_);
    if (state() == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            const HRESULT hr = GetPin(i)->Active();
            if (FAILED(hr)) {
                for (int j = 0; j < i; ++j)
                    GetPin(j)->Inactive();
                return hr;
            }
        }
    }
    state_.store(State_Paused, std::memory_order_release);
    return S_OK;
}

HRESULT BaseFilter::Run(REFERENCE_TIME start)
{
    std::lock_guard lock(lock_);
    if (state() == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    streamStart_.store(start, std::memory_order_release);
    state_.store(State_Running, std::memory_order_release);
    for (int i = 0; i < GetPinCount(); ++i)
        GetPin(i)->Running();
    return S_OK;
}

HRESULT BaseFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = this->state();
    return S_OK;
}

HRESULT BaseFilter::SetSyncSource(IReferenceClock* clock)
{
    std::lock_guard lock(clockLock_);
    clock_ = clock;
    return S_OK;
}

HRESULT BaseFilter::GetSyncSource(IReferenceClock** clock)
{
    std::lock_guard lock(clockLock_);
    return copyOutOrNull<IReferenceClock>(clock_.get(), clock);
}

ComPtr<IReferenceClock> BaseFilter::clock()
{
    std::lock_guard lock(clockLock_);
    return clock_;
}

HRESULT BaseFilter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    std::vector<ComPtr<IPin>> list;
    for (int i = 0; i < GetPinCount(); ++i)
        list.emplace_back(GetPin(i));
    return copyOut<IEnumPins>(makeCom<PinEnum>(std::move(list)).get(), pins);
}

HRESULT BaseFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    for (int i = 0; i < GetPinCount(); ++i) {
        if (GetPin(i)->name() == id)
            return copyOut<IPin>(GetPin(i), pin);
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT BaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    std::lock_guard lock(lock_);
    info->achName = name_;
    info->pGraph = graph();
    return S_OK;
}

HRESULT BaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    std::lock_guard lock(lock_);
    graph_.store(graph, std::memory_order_release);
    name_ = name ? name : u"";
    cancelToken_.reset();
    IMediaEventSink* events = nullptr;
    if (graph) {
        if (auto cancel = ComPtr<IFilterGraph>(graph).as<IGraphCancelToken>())
            cancelToken_ = cancel->GetCancelToken();
        // Held weakly: the graph outlives its filters' membership.
        events = ComPtr<IFilterGraph>(graph).as<IMediaEventSink>().get();
    }
    events_.store(events, std::memory_order_release);
    return S_OK;
}

HRESULT BaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    IMediaEventSink* events = events_.load(std::memory_order_acquire);
    return events ? events->Notify(code, param1, param2) : E_NOTIMPL;
}
