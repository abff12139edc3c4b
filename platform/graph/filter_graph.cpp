#include "platform/graph/filter_graph.h"

#include "platform/graph/base_filter.h"
#include "platform/graph/clock.h"
#include "platform/graph/enumerators.h"
#include "platform/graph/filter_mapper.h"
#include "platform/graph/media_guids.h"
#include "platform/graph/pin_walk.h"

#include "platform/win/messages.h"

#include <algorithm>
#include <cstdio>

namespace {

// Stream time starts this far after Run, so that every filter is running
// before the first sample is due.
constexpr REFERENCE_TIME kRunLead = 100'000; // 10 ms
// Steps from one seek, at most: the streams that do not step (sound) keep
// what they read meanwhile, and the source waits once they hold this much.
constexpr int kMaxSteps = 1000;
// How long a run after steps waits for the renderers to hold the picture.
constexpr LONG kCueTimeoutMs = 5000;
// The graph builder tries chains of at most this many filters.
constexpr int kMaxChain = 4;

// A renderer takes data and hands none on: a connected input, no output.
bool isRenderer(IBaseFilter* filter)
{
    bool input = false;
    for (const ComPtr<IPin>& pin : pinsOf(filter)) {
        if (directionOf(pin.get()) == PINDIR_OUTPUT)
            return false;
        input = input || peerOf(pin.get());
    }
    return input;
}

} // namespace

FilterGraph::FilterGraph() : cancel_(std::make_shared<CancelToken>()) {}

FilterGraph::~FilterGraph()
{
    Stop();
    // Connected pins hold their peers' filters, and a filter may be the
    // clock of others: removal breaks both cycles.
    while (!filters_.empty())
        RemoveFilter(filters_.back().filter.get());
}

HRESULT FilterGraph::QueryInterface(REFIID riid, void** object)
{
    if (object) {
        if (riid == IFilterGraph::iid)
            *object = static_cast<IFilterGraph*>(this);
        else if (riid == IMediaEvent::iid)
            *object = static_cast<IMediaEvent*>(this);
        else if (riid == IPersist::iid)
            *object = static_cast<IPersist*>(this);
        else
            return ComObject::QueryInterface(riid, object);
        AddRef();
        return S_OK;
    }
    return E_POINTER;
}

// --- membership --------------------------------------------------------------

std::vector<ComPtr<IBaseFilter>> FilterGraph::snapshot()
{
    std::lock_guard lock(lock_);
    std::vector<ComPtr<IBaseFilter>> list;
    list.reserve(filters_.size());
    for (const Entry& entry : filters_)
        list.push_back(entry.filter);
    return list;
}

bool FilterGraph::contains(IBaseFilter* filter)
{
    std::lock_guard lock(lock_);
    return std::any_of(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.filter.get() == filter; });
}

bool FilterGraph::nameTaken(const std::u16string& name)
{
    std::lock_guard lock(lock_);
    return std::any_of(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.name == name; });
}

HRESULT FilterGraph::AddFilter(IBaseFilter* filter, LPCWSTR name)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard lock(lock_);
    if (contains(filter))
        return E_INVALIDARG;
    if (!name || !*name) {
        FILTER_INFO info;
        filter->QueryFilterInfo(&info);
        return addWithFreeName(filter, info.achName.empty() ? u"Filter" : info.achName);
    }
    if (nameTaken(name))
        return VFW_E_DUPLICATE_NAME;
    const HRESULT hr = filter->JoinFilterGraph(this, name);
    if (FAILED(hr))
        return hr;
    filters_.push_back({ComPtr<IBaseFilter>(filter), name});
    forgetOrder();
    return S_OK;
}

HRESULT FilterGraph::addWithFreeName(IBaseFilter* filter, const std::u16string& name)
{
    std::u16string free = name;
    for (int n = 1; nameTaken(free); ++n) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, " %04d", n % 10000);
        free = name + std::u16string(suffix, suffix + std::char_traits<char>::length(suffix));
    }
    return AddFilter(filter, free.c_str());
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* filter)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard lock(lock_);
    const auto it =
        std::find_if(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.filter.get() == filter; });
    if (it == filters_.end())
        return VFW_E_NOT_FOUND;
    const ComPtr<IBaseFilter> held = it->filter;
    stopWithDownstream(held.get());
    for (const ComPtr<IPin>& pin : pinsOf(held.get())) {
        if (const ComPtr<IPin> peer = peerOf(pin.get())) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    leave(held.get());
    return S_OK;
}

void FilterGraph::leave(IBaseFilter* filter)
{
    const auto it =
        std::find_if(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.filter.get() == filter; });
    if (it == filters_.end())
        return;
    const ComPtr<IBaseFilter> held = it->filter;
    filters_.erase(it);
    // Nothing here holds the filter any longer.
    forgetOrder();
    if (stepped_ && held.as<IVideoFrameStep>() == stepped_) {
        stepped_ = nullptr;
        steps_ = 0;
    }
    held->SetSyncSource(nullptr);
    held->JoinFilterGraph(nullptr, nullptr);
    if (clock_ && held.as<IReferenceClock>() == clock_) {
        clock_.reset();
        if (defaultClock_)
            SetDefaultSyncSource();
    }
}

HRESULT FilterGraph::TakeOutFilters(IBaseFilter* const* filters, ULONG count)
{
    if (!filters && count > 0)
        return E_POINTER;
    std::lock_guard lock(lock_);
    const std::vector<IBaseFilter*> leaving(filters, filters + count);
    for (IBaseFilter* filter : leaving)
        if (!filter || !contains(filter))
            return VFW_E_NOT_FOUND;
    const auto moves = [&](IBaseFilter* filter) {
        return std::find(leaving.begin(), leaving.end(), filter) != leaving.end();
    };
    for (IBaseFilter* filter : leaving) {
        stopWithDownstream(filter);
        for (const ComPtr<IPin>& pin : pinsOf(filter)) {
            const ComPtr<IPin> peer = peerOf(pin.get());
            if (peer && !moves(filterOf(peer.get()).get())) {
                peer->Disconnect();
                pin->Disconnect();
            }
        }
    }
    // Held while they leave: the list held them.
    std::vector<ComPtr<IBaseFilter>> held;
    for (IBaseFilter* filter : leaving) {
        held.emplace_back(filter);
        leave(filter);
    }
    return S_OK;
}

HRESULT FilterGraph::EnumFilters(IEnumFilters** filters)
{
    if (!filters)
        return E_POINTER;
    return copyOut<IEnumFilters>(makeCom<FilterEnum>(snapshot()).get(), filters);
}

HRESULT FilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter** filter)
{
    if (!name || !filter)
        return E_POINTER;
    std::lock_guard lock(lock_);
    for (const Entry& entry : filters_) {
        if (entry.name == name)
            return copyOut<IBaseFilter>(entry.filter.get(), filter);
    }
    *filter = nullptr;
    return VFW_E_NOT_FOUND;
}

// --- connections -------------------------------------------------------------

HRESULT FilterGraph::ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type)
{
    if (!output || !input)
        return E_POINTER;
    if (directionOf(output) != PINDIR_OUTPUT || directionOf(input) != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    return output->Connect(input, type);
}

HRESULT FilterGraph::Reconnect(IPin* pin)
{
    if (!pin)
        return E_POINTER;
    const ComPtr<IPin> peer = peerOf(pin);
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    AM_MEDIA_TYPE type;
    pin->ConnectionMediaType(&type);
    pin->Disconnect();
    peer->Disconnect();
    return directionOf(pin) == PINDIR_OUTPUT ? ConnectDirect(pin, peer.get(), &type)
                                             : ConnectDirect(peer.get(), pin, &type);
}

HRESULT FilterGraph::Disconnect(IPin* pin)
{
    return pin ? pin->Disconnect() : E_POINTER;
}

HRESULT FilterGraph::Connect(IPin* output, IPin* input)
{
    if (!output || !input)
        return E_POINTER;
    std::lock_guard lock(lock_);
    const HRESULT hr = ConnectDirect(output, input, nullptr);
    if (SUCCEEDED(hr) || hr == VFW_E_ALREADY_CONNECTED || hr == VFW_E_INVALID_DIRECTION || hr == VFW_E_NOT_STOPPED)
        return hr;
    return connectThroughRegistered(output, input, 0);
}

HRESULT FilterGraph::Render(IPin* output)
{
    if (!output)
        return E_POINTER;
    if (directionOf(output) != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    if (peerOf(output))
        return VFW_E_ALREADY_CONNECTED;
    std::lock_guard lock(lock_);
    return connectThroughRegistered(output, nullptr, 0);
}

HRESULT FilterGraph::connectThroughRegistered(IPin* output, IPin* target, int depth)
{
    if (depth >= kMaxChain)
        return target ? VFW_E_CANNOT_CONNECT : VFW_E_CANNOT_RENDER;
    // Candidates for every type the output offers, best merit first.
    std::vector<RegisteredFilter> candidates;
    ComPtr<IEnumMediaTypes> types;
    if (SUCCEEDED(output->EnumMediaTypes(types.put()))) {
        AM_MEDIA_TYPE* type = nullptr;
        while (types->Next(1, &type, nullptr) == S_OK) {
            for (RegisteredFilter& f : FilterMapper::instance().matchingFilters(*type)) {
                if (std::none_of(candidates.begin(), candidates.end(),
                                 [&](const RegisteredFilter& c) { return c.classId == f.classId; }))
                    candidates.push_back(std::move(f));
            }
            DeleteMediaType(type);
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const RegisteredFilter& a, const RegisteredFilter& b) { return a.merit > b.merit; });
    for (const RegisteredFilter& candidate : candidates) {
        if (SUCCEEDED(tryCandidate(output, target, candidate, depth)))
            return S_OK;
    }
    return target ? VFW_E_CANNOT_CONNECT : VFW_E_CANNOT_RENDER;
}

HRESULT FilterGraph::tryCandidate(IPin* output, IPin* target, const RegisteredFilter& candidate, int depth)
{
    // Rendering ends at a renderer; connecting to a target needs a filter
    // that hands data on.
    if (target && candidate.renderer)
        return E_FAIL;
    const auto callback = site_.as<IAMGraphBuilderCallback>();
    const auto moniker = makeCom<FilterMoniker>(candidate.classId);
    if (callback && FAILED(callback->SelectedFilter(moniker.get())))
        return E_FAIL;
    ComPtr<IBaseFilter> filter;
    if (FAILED(moniker->BindToObject(nullptr, nullptr, IBaseFilter::iid, filter.putVoid())))
        return E_FAIL;
    if (callback && FAILED(callback->CreatedFilter(filter.get())))
        return E_FAIL;
    if (FAILED(addWithFreeName(filter.get(), candidate.name)))
        return E_FAIL;
    const ComPtr<IPin> input = firstFreePin(filter.get(), PINDIR_INPUT);
    if (input && SUCCEEDED(ConnectDirect(output, input.get(), nullptr))) {
        bool outputs = false;
        for (const ComPtr<IPin>& pin : pinsOf(filter.get())) {
            if (directionOf(pin.get()) != PINDIR_OUTPUT || peerOf(pin.get()))
                continue;
            outputs = true;
            if (!target) {
                if (SUCCEEDED(connectThroughRegistered(pin.get(), nullptr, depth + 1)))
                    return S_OK;
            } else if (SUCCEEDED(ConnectDirect(pin.get(), target, nullptr)) ||
                       SUCCEEDED(connectThroughRegistered(pin.get(), target, depth + 1))) {
                return S_OK;
            }
        }
        if (!target && !outputs)
            return S_OK;
    }
    RemoveFilter(filter.get());
    return E_FAIL;
}

HRESULT FilterGraph::RenderFile(LPCWSTR, LPCWSTR)
{
    return E_NOTIMPL;
}
HRESULT FilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**)
{
    return E_NOTIMPL;
}
HRESULT FilterGraph::Abort()
{
    return S_OK;
}
HRESULT FilterGraph::ShouldOperationContinue()
{
    return S_OK;
}

// --- states ------------------------------------------------------------------

std::vector<ComPtr<IBaseFilter>> FilterGraph::downstreamFirst()
{
    std::lock_guard lock(lock_);
    refreshOrder();
    return ordered_;
}

void FilterGraph::refreshOrder()
{
    // Read before the connections are: a change while they are looked at
    // makes the order out of date at once.
    const std::uint64_t connections = PinConnectionChanges();
    if (orderedFor_ == connections)
        return;
    ordered_ = orderFilters();
    orderedFor_ = connections;
    seeker_.reset();
}

void FilterGraph::forgetOrder()
{
    orderedFor_.reset();
    ordered_.clear();
    seeker_.reset();
}

std::vector<ComPtr<IBaseFilter>> FilterGraph::orderFilters()
{
    std::vector<ComPtr<IBaseFilter>> left = snapshot();
    std::vector<ComPtr<IBaseFilter>> ordered;
    const auto placed = [&](IBaseFilter* f) {
        return std::any_of(ordered.begin(), ordered.end(), [&](const auto& o) { return o.get() == f; });
    };
    while (!left.empty()) {
        const std::size_t before = left.size();
        for (auto it = left.begin(); it != left.end();) {
            bool ready = true;
            for (const ComPtr<IPin>& pin : pinsOf(it->get())) {
                if (directionOf(pin.get()) != PINDIR_OUTPUT)
                    continue;
                const ComPtr<IPin> peer = peerOf(pin.get());
                const ComPtr<IBaseFilter> below = peer ? filterOf(peer.get()) : nullptr;
                if (below && contains(below.get()) && !placed(below.get()))
                    ready = false;
            }
            if (ready) {
                ordered.push_back(*it);
                it = left.erase(it);
            } else {
                ++it;
            }
        }
        // A cycle cannot be ordered; take the rest as they are.
        if (left.size() == before) {
            ordered.insert(ordered.end(), left.begin(), left.end());
            break;
        }
    }
    return ordered;
}

void FilterGraph::stopWithDownstream(IBaseFilter* filter)
{
    std::vector<IBaseFilter*> fed{filter};
    for (std::size_t i = 0; i < fed.size(); ++i)
        for (const ComPtr<IPin>& pin : pinsOf(fed[i])) {
            if (directionOf(pin.get()) != PINDIR_OUTPUT)
                continue;
            const ComPtr<IPin> peer = peerOf(pin.get());
            const ComPtr<IBaseFilter> below = peer ? filterOf(peer.get()) : nullptr;
            if (below && contains(below.get()) && std::find(fed.begin(), fed.end(), below.get()) == fed.end())
                fed.push_back(below.get());
        }
    for (const ComPtr<IBaseFilter>& each : downstreamFirst())
        if (std::find(fed.begin(), fed.end(), each.get()) != fed.end())
            each->Stop();
}

REFERENCE_TIME FilterGraph::clockTime()
{
    REFERENCE_TIME now = 0;
    if (clock_)
        clock_->GetTime(&now);
    return now;
}

void FilterGraph::distributeClock()
{
    for (const ComPtr<IBaseFilter>& filter : snapshot())
        filter->SetSyncSource(clock_.get());
}

void FilterGraph::resetCompletion()
{
    std::size_t renderers = 0;
    for (const ComPtr<IBaseFilter>& filter : snapshot())
        renderers += isRenderer(filter.get()) ? 1 : 0;
    std::lock_guard lock(eventLock_);
    renderers_ = renderers;
    completed_.clear();
    completeQueued_ = false;
    completion_ = 0;
}

HRESULT FilterGraph::pauseFilters()
{
    for (const ComPtr<IBaseFilter>& filter : downstreamFirst()) {
        const HRESULT hr = filter->Pause();
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

std::optional<bool> FilterGraph::settledIfEveryFilterPaused()
{
    // A filter added to a paused graph is stopped until the graph pauses again.
    bool settled = true;
    for (const Entry& entry : filters_) {
        FILTER_STATE state = State_Stopped;
        settled = entry.filter->GetState(0, &state) != VFW_S_STATE_INTERMEDIATE && settled;
        if (state != State_Paused)
            return std::nullopt;
    }
    return settled;
}

HRESULT FilterGraph::runFilters()
{
    runStart_ = clock_ ? clockTime() + kRunLead - pausedAt_ : 0;
    for (const ComPtr<IBaseFilter>& filter : downstreamFirst()) {
        const HRESULT hr = filter->Run(runStart_);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT FilterGraph::Pause()
{
    std::lock_guard lock(lock_);
    if (state_ == State_Stopped) {
        cancel_->reset();
        if (defaultClock_ && !clock_)
            SetDefaultSyncSource();
        distributeClock();
        resetCompletion();
        pausedAt_ = 0;
    } else if (state_ == State_Running) {
        pausedAt_ = clock_ ? clockTime() - runStart_ : 0;
    } else if (const std::optional<bool> settled = settledIfEveryFilterPaused()) {
        // Paused already (a seek or a step pauses first): nothing changes.
        return *settled ? S_OK : S_FALSE;
    }
    HRESULT hr = pauseFilters();
    if (FAILED(hr)) {
        Stop();
        return hr;
    }
    state_ = State_Paused;
    OAFilterState state;
    return GetState(0, &state) == VFW_S_STATE_INTERMEDIATE ? S_FALSE : S_OK;
}

HRESULT FilterGraph::Run()
{
    std::lock_guard lock(lock_);
    if (state_ == State_Running)
        return S_OK;
    // The sound waits where the steps began: every stream starts again
    // from the picture shown, and runs once the renderers hold it again.
    if (state_ == State_Paused && stepped_) {
        seekToSteppedPicture();
        OAFilterState cued;
        GetState(kCueTimeoutMs, &cued);
    }
    if (state_ == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    const HRESULT hr = runFilters();
    if (FAILED(hr)) {
        Stop();
        return hr;
    }
    state_ = State_Running;
    return S_OK;
}

HRESULT FilterGraph::Run(REFERENCE_TIME)
{
    return Run();
}

HRESULT FilterGraph::Stop()
{
    std::lock_guard lock(lock_);
    // Streaming threads blocked in sends give up before the filters wait
    // for them.
    cancel_->fire();
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter>& filter : downstreamFirst()) {
        const HRESULT hr = filter->Stop();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    state_ = State_Stopped;
    pausedAt_ = 0;
    // Started again, the graph shows the picture the steps showed.
    if (stepped_)
        seekToSteppedPicture();
    return result;
}

HRESULT FilterGraph::StopWhenReady()
{
    return Stop();
}

HRESULT FilterGraph::GetState(LONG msTimeout, OAFilterState* state)
{
    if (!state)
        return E_POINTER;
    const std::vector<ComPtr<IBaseFilter>> filters = snapshot();
    const auto settled = [&] {
        FILTER_STATE s;
        return std::none_of(filters.begin(), filters.end(),
                            [&](const auto& f) { return f->GetState(0, &s) == VFW_S_STATE_INTERMEDIATE; });
    };
    *state = state_;
    if (state_ == State_Stopped)
        return S_OK;
    const bool done = msTimeout == 0 ? settled() : WaitServingMessages(settled, msTimeout);
    return done ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT FilterGraph::GetState(DWORD msTimeout, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    OAFilterState s = State_Stopped;
    const HRESULT hr = GetState(static_cast<LONG>(msTimeout), &s);
    *state = static_cast<FILTER_STATE>(s);
    return hr;
}

HRESULT FilterGraph::RenderFile(LPCWSTR)
{
    return E_NOTIMPL;
}

HRESULT FilterGraph::GetClassID(CLSID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = CLSID_FilterGraph;
    return S_OK;
}

// --- clock -------------------------------------------------------------------

HRESULT FilterGraph::SetSyncSource(IReferenceClock* clock)
{
    std::lock_guard lock(lock_);
    clock_ = clock;
    defaultClock_ = false;
    distributeClock();
    return S_OK;
}

HRESULT FilterGraph::GetSyncSource(IReferenceClock** clock)
{
    std::lock_guard lock(lock_);
    return copyOutOrNull<IReferenceClock>(clock_.get(), clock);
}

HRESULT FilterGraph::SetDefaultSyncSource()
{
    std::lock_guard lock(lock_);
    // A filter that keeps time (an audio renderer) is the best clock.
    ComPtr<IReferenceClock> chosen;
    for (const ComPtr<IBaseFilter>& filter : snapshot()) {
        if ((chosen = filter.as<IReferenceClock>()))
            break;
    }
    if (!chosen) {
        if (!systemClock_)
            systemClock_ = makeCom<SystemClock>();
        chosen = systemClock_;
    }
    clock_ = chosen;
    defaultClock_ = true;
    distributeClock();
    return S_OK;
}

// --- seeking -----------------------------------------------------------------

ComPtr<IMediaSeeking> FilterGraph::seeker()
{
    std::lock_guard lock(lock_);
    refreshOrder();
    if (!seeker_)
        seeker_ = findSeeker();
    return *seeker_;
}

ComPtr<IMediaSeeking> FilterGraph::findSeeker()
{
    // The most upstream filter that seeks: sources and splitters move the
    // streams; its output pins may carry the interface instead.
    for (auto it = ordered_.rbegin(); it != ordered_.rend(); ++it) {
        if (auto seeking = it->as<IMediaSeeking>())
            return seeking;
        for (const ComPtr<IPin>& pin : pinsOf(it->get())) {
            if (directionOf(pin.get()) == PINDIR_OUTPUT) {
                if (auto seeking = pin.as<IMediaSeeking>())
                    return seeking;
            }
        }
    }
    return nullptr;
}

#define FORWARD_SEEKING(call)                                                                                          \
    const ComPtr<IMediaSeeking> seeking = seeker();                                                                    \
    return seeking ? seeking->call : E_NOTIMPL

HRESULT FilterGraph::GetCapabilities(DWORD* capabilities)
{
    FORWARD_SEEKING(GetCapabilities(capabilities));
}
HRESULT FilterGraph::CheckCapabilities(DWORD* capabilities)
{
    FORWARD_SEEKING(CheckCapabilities(capabilities));
}
HRESULT FilterGraph::IsFormatSupported(const GUID* format)
{
    FORWARD_SEEKING(IsFormatSupported(format));
}
HRESULT FilterGraph::QueryPreferredFormat(GUID* format)
{
    FORWARD_SEEKING(QueryPreferredFormat(format));
}
HRESULT FilterGraph::GetTimeFormat(GUID* format)
{
    FORWARD_SEEKING(GetTimeFormat(format));
}
HRESULT FilterGraph::IsUsingTimeFormat(const GUID* format)
{
    FORWARD_SEEKING(IsUsingTimeFormat(format));
}
HRESULT FilterGraph::SetTimeFormat(const GUID* format)
{
    FORWARD_SEEKING(SetTimeFormat(format));
}
HRESULT FilterGraph::GetDuration(LONGLONG* duration)
{
    FORWARD_SEEKING(GetDuration(duration));
}
HRESULT FilterGraph::GetStopPosition(LONGLONG* stop)
{
    FORWARD_SEEKING(GetStopPosition(stop));
}
HRESULT FilterGraph::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                       const GUID* sourceFormat)
{
    FORWARD_SEEKING(ConvertTimeFormat(target, targetFormat, source, sourceFormat));
}
HRESULT FilterGraph::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    FORWARD_SEEKING(GetAvailable(earliest, latest));
}
HRESULT FilterGraph::SetRate(double rate)
{
    FORWARD_SEEKING(SetRate(rate));
}
HRESULT FilterGraph::GetRate(double* rate)
{
    FORWARD_SEEKING(GetRate(rate));
}
HRESULT FilterGraph::GetPreroll(LONGLONG* preroll)
{
    FORWARD_SEEKING(GetPreroll(preroll));
}

#undef FORWARD_SEEKING

HRESULT FilterGraph::GetCurrentPosition(LONGLONG* current)
{
    if (!current)
        return E_POINTER;
    const ComPtr<IMediaSeeking> seeking = seeker();
    if (!seeking)
        return E_NOTIMPL;
    if (seeking->GetCurrentPosition(current) == S_OK)
        return S_OK;
    std::lock_guard lock(lock_);
    if (state_ == State_Paused && steppedPosition(current))
        return S_OK;
    REFERENCE_TIME streamTime = pausedAt_;
    if (state_ == State_Running && clock_)
        streamTime = std::max<REFERENCE_TIME>(clockTime() - runStart_, 0);
    else if (state_ == State_Stopped)
        streamTime = 0;
    double rate = 1.0;
    seeking->GetRate(&rate);
    LONGLONG position = segmentStart_ + static_cast<LONGLONG>(static_cast<double>(streamTime) * rate);
    LONGLONG duration = 0;
    if (SUCCEEDED(seeking->GetDuration(&duration)) && duration > 0)
        position = std::min(position, duration);
    *current = position;
    return S_OK;
}

HRESULT FilterGraph::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    const ComPtr<IMediaSeeking> seeking = seeker();
    if (!seeking)
        return E_NOTIMPL;
    if (current) {
        const HRESULT hr = GetCurrentPosition(current);
        if (FAILED(hr))
            return hr;
    }
    return stop ? seeking->GetStopPosition(stop) : S_OK;
}

HRESULT FilterGraph::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    const ComPtr<IMediaSeeking> seeking = seeker();
    if (!seeking)
        return E_NOTIMPL;
    std::lock_guard lock(lock_);
    const bool running = state_ == State_Running;
    if (running) {
        pausedAt_ = clock_ ? clockTime() - runStart_ : 0;
        const HRESULT paused = pauseFilters();
        if (FAILED(paused)) {
            Stop();
            return paused;
        }
    }
    const bool moveStart = (currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    if (moveStart) {
        stepped_ = nullptr;
        steps_ = 0;
    }
    // Sources move on their streaming threads: nothing here waits for a
    // thread that may be blocked in a send, and sends of the new position
    // go through.
    const HRESULT hr = seeking->SetPositions(current, currentFlags, stop, stopFlags);
    if (moveStart) {
        // A refused seek leaves the stream where it was, and its end with it.
        if (SUCCEEDED(hr)) {
            LONGLONG start = 0;
            if (SUCCEEDED(seeking->GetPositions(&start, nullptr)))
                segmentStart_ = start;
            pausedAt_ = 0;
            resetCompletion();
        }
    }
    if (running) {
        const HRESULT restarted = runFilters();
        if (FAILED(restarted)) {
            Stop();
            return restarted;
        }
    }
    return hr;
}

// --- frame steps -------------------------------------------------------------

ComPtr<IVideoFrameStep> FilterGraph::stepper(IUnknown* stepObject)
{
    if (stepObject) {
        ComPtr<IVideoFrameStep> named;
        stepObject->QueryInterface(IVideoFrameStep::iid, named.putVoid());
        return named;
    }
    for (const ComPtr<IBaseFilter>& filter : snapshot()) {
        const auto step = filter.as<IVideoFrameStep>();
        if (step && step->CanStep(0, nullptr) == S_OK)
            return step;
    }
    return nullptr;
}

HRESULT FilterGraph::Step(DWORD frames, IUnknown* stepObject)
{
    std::lock_guard lock(lock_);
    if (state_ != State_Paused)
        return VFW_E_WRONG_STATE;
    if (steps_ >= kMaxSteps)
        return S_FALSE;
    const ComPtr<IVideoFrameStep> step = stepper(stepObject);
    if (!step)
        return E_NOTIMPL;
    const HRESULT hr = step->Step(frames, nullptr);
    if (hr == S_OK) {
        stepped_ = step;
        ++steps_;
    }
    return hr;
}

HRESULT FilterGraph::CanStep(LONG multiple, IUnknown* stepObject)
{
    const ComPtr<IVideoFrameStep> step = stepper(stepObject);
    return step ? step->CanStep(multiple, nullptr) : S_FALSE;
}

HRESULT FilterGraph::GetStillTime(REFERENCE_TIME* start)
{
    const ComPtr<IVideoFrameStep> step = stepper(nullptr);
    return step ? step->GetStillTime(start) : S_FALSE;
}

bool FilterGraph::steppedPosition(LONGLONG* position)
{
    REFERENCE_TIME still = 0;
    const ComPtr<IMediaSeeking> seeking = seeker();
    if (!stepped_ || !seeking || stepped_->GetStillTime(&still) != S_OK)
        return false;
    double rate = 1.0;
    seeking->GetRate(&rate);
    *position = segmentStart_ + static_cast<LONGLONG>(static_cast<double>(still) * rate);
    return true;
}

void FilterGraph::seekToSteppedPicture()
{
    LONGLONG position = 0;
    if (steppedPosition(&position))
        SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    stepped_ = nullptr;
    steps_ = 0;
}

// --- events ------------------------------------------------------------------

void FilterGraph::queueEvent(const Event& event)
{
    HWND window = 0;
    LONG message = 0;
    LONG_PTR instance = 0;
    {
        std::lock_guard lock(eventLock_);
        events_.push_back(event);
        // The first of them is what ended the stream.
        if ((event.code == EC_COMPLETE || event.code == EC_ERRORABORT || event.code == EC_USERABORT) && !completion_)
            completion_ = event.code;
        window = notifyWindow_;
        message = notifyMessage_;
        instance = notifyInstance_;
    }
    // GetEvent and WaitForCompletion may be waiting for it.
    WakeWaits();
    if (window)
        PostMessage(window, static_cast<UINT>(message), 0, instance);
}

HRESULT FilterGraph::Notify(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    if (code == EC_COMPLETE) {
        std::lock_guard lock(eventLock_);
        if (renderers_ > 0) {
            completed_.insert(param2);
            if (completed_.size() < renderers_ || completeQueued_)
                return S_OK;
        }
        completeQueued_ = true;
    }
    queueEvent({code, param1, code == EC_COMPLETE ? 0 : param2});
    return S_OK;
}

HRESULT FilterGraph::GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout)
{
    if (!code || !param1 || !param2)
        return E_POINTER;
    const auto pending = [this] {
        std::lock_guard lock(eventLock_);
        return !events_.empty();
    };
    if (msTimeout != 0 && !pending())
        WaitServingMessages(pending, msTimeout);
    std::lock_guard lock(eventLock_);
    if (events_.empty())
        return E_ABORT;
    const Event event = events_.front();
    events_.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT FilterGraph::WaitForCompletion(LONG msTimeout, LONG* code)
{
    if (!code)
        return E_POINTER;
    *code = 0;
    if (state_ != State_Running)
        return VFW_E_WRONG_STATE;
    const auto completed = [this] {
        std::lock_guard lock(eventLock_);
        return completion_ != 0;
    };
    if (!WaitServingMessages(completed, msTimeout))
        return E_ABORT;
    std::lock_guard lock(eventLock_);
    *code = completion_;
    return S_OK;
}

HRESULT FilterGraph::CancelDefaultHandling(LONG)
{
    return S_OK;
}
HRESULT FilterGraph::RestoreDefaultHandling(LONG)
{
    return S_OK;
}
HRESULT FilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR)
{
    return S_OK;
}

HRESULT FilterGraph::SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData)
{
    std::lock_guard lock(eventLock_);
    notifyWindow_ = window;
    notifyMessage_ = message;
    notifyInstance_ = instanceData;
    return S_OK;
}

HRESULT FilterGraph::SetNotifyFlags(LONG flags)
{
    std::lock_guard lock(eventLock_);
    notifyFlags_ = flags;
    return S_OK;
}

HRESULT FilterGraph::GetNotifyFlags(LONG* flags)
{
    if (!flags)
        return E_POINTER;
    std::lock_guard lock(eventLock_);
    *flags = notifyFlags_;
    return S_OK;
}

// --- site and audio ----------------------------------------------------------

HRESULT FilterGraph::SetSite(IUnknown* site)
{
    std::lock_guard lock(lock_);
    site_ = site;
    return S_OK;
}

HRESULT FilterGraph::GetSite(REFIID riid, void** site)
{
    if (!site)
        return E_POINTER;
    std::lock_guard lock(lock_);
    *site = nullptr;
    return site_ ? site_->QueryInterface(riid, site) : E_FAIL;
}

template <typename Call> HRESULT FilterGraph::toAudio(bool all, Call call)
{
    HRESULT result = E_NOTIMPL;
    for (const ComPtr<IBaseFilter>& filter : snapshot()) {
        if (const auto audio = filter.as<IBasicAudio>()) {
            result = call(audio.get());
            if (!all)
                break;
        }
    }
    return result;
}

HRESULT FilterGraph::put_Volume(LONG volume)
{
    return toAudio(true, [&](IBasicAudio* audio) { return audio->put_Volume(volume); });
}

HRESULT FilterGraph::get_Volume(LONG* volume)
{
    return toAudio(false, [&](IBasicAudio* audio) { return audio->get_Volume(volume); });
}

HRESULT FilterGraph::put_Balance(LONG balance)
{
    return toAudio(true, [&](IBasicAudio* audio) { return audio->put_Balance(balance); });
}

HRESULT FilterGraph::get_Balance(LONG* balance)
{
    return toAudio(false, [&](IBasicAudio* audio) { return audio->get_Balance(balance); });
}
