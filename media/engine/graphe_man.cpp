#include "media/engine/graphe_man.h"

#include "media/engine/media_devices.h"
#include "media/filters/notify_messages.h"
#include "platform/graph/capture_graph_builder.h"
#include "platform/graph/filter_graph.h"
#include "platform/graph/pin_walk.h"
#include "platform/win/messages.h"

#include <QTimer>

namespace {

// The graph's event message on the manager's event window.
constexpr UINT kGraphEventMessage = WM_USER + 1;

// A graph that has not reached its state after this many rounds of a wait
// and a pause (two seconds) is taken for one that never will: a file cut
// short gives its renderers nothing to cue on.
constexpr int kGraphStateRounds = 40;
// How often a stalled graph is looked at, in case it gets there after all.
constexpr int kStalledCheckMs = 100;
constexpr int kFilterStateRounds = 20;
constexpr int kStateTimeoutMs = 40;
constexpr int kStatePauseMs = 10;

const QString kStalledMessage =
    QStringLiteral("The video does not get ready to play: the file may be damaged or cut short.");

constexpr double kNormalRate = 1.0;
constexpr double kFastRate = 4.0;

// Every live manager, so that a piece going away is forgotten by all of
// them. GUI thread only.
QList<TGrapheMan*>& liveManagers()
{
    static QList<TGrapheMan*> managers;
    return managers;
}

// Keeps serving sends for `ms` milliseconds.
void pauseServing(int ms)
{
    WaitServingMessages([] { return false; }, ms);
}

} // namespace

TGrapheMan::TGrapheMan(QObject* owner) : TKvActionComponent(owner)
{
    FGraph = makeCom<FilterGraph>();
    // The capture builder works on the graph, as the graph's capture mode
    // would have it.
    const auto capture = makeCom<CaptureGraphBuilder>();
    capture->SetFiltergraph(FGraph.get());
    FGraphBuilder = FGraph;
    FCaptureBuilder = capture;
    FMediaSeeking = FGraph.as<IMediaSeeking>();
    FEventWindow = AllocateHWnd([this](UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == kGraphEventMessage)
            DrainGraphEvents();
        return 0;
    });
    if (const auto events = FGraph.as<IMediaEventEx>())
        events->SetNotifyWindow(FEventWindow, kGraphEventMessage, 0);
    FStalledCheck = new QTimer(this);
    FStalledCheck->setInterval(kStalledCheckMs);
    connect(FStalledCheck, &QTimer::timeout, this, [this] {
        const auto control = FGraph.as<IMediaControl>();
        OAFilterState state = 0;
        if (!control || control->GetState(0, &state) != VFW_S_STATE_INTERMEDIATE)
            SetStalled(false);
    });
    liveManagers().append(this);
}

TGrapheMan::~TGrapheMan()
{
    liveManagers().removeAll(this);
    FMediaSeeking.reset();
    FCaptureBuilder.reset();
    FGraphBuilder.reset();
    if (const auto events = FGraph.as<IMediaEventEx>())
        events->SetNotifyWindow(0, 0, 0);
    DeallocateHWnd(FEventWindow);
    ClearGraph();
    FGraph.reset();
}

bool TGrapheMan::Play()
{
    SetRate(kNormalRate);
    if (FFastRate)
        SetRate(kFastRate);
    const auto control = FGraph.as<IMediaControl>();
    const bool ok = control && SUCCEEDED(control->Run());
    WaitGraphState();
    if (ok)
        FireState(gmPlaying);
    return ok;
}

bool TGrapheMan::Pause()
{
    const auto control = FGraph.as<IMediaControl>();
    const bool ok = control && SUCCEEDED(control->Pause());
    WaitGraphState();
    if (ok)
        FireState(gmPaused);
    return ok;
}

bool TGrapheMan::Stop()
{
    const auto control = FGraph.as<IMediaControl>();
    const bool ok = control && SUCCEEDED(control->Stop());
    if (ok)
        FireState(gmStopped);
    return ok;
}

void TGrapheMan::VitesseNormale()
{
    FFastRate = false;
    if (OnVitesseRapide)
        OnVitesseRapide(false);
    SetRate(kNormalRate);
    emit FastRateChanged(false);
}

void TGrapheMan::VitesseRapide()
{
    FFastRate = true;
    if (OnVitesseRapide)
        OnVitesseRapide(true);
    SetRate(kFastRate);
    emit FastRateChanged(true);
}

void TGrapheMan::SetCompleted()
{
    FCompleted = true;
}

void TGrapheMan::WaitGraphState()
{
    const auto control = FGraph.as<IMediaControl>();
    if (!control)
        return;
    // Once a wait has given up, every later one on the same graph would give
    // up too, each after its whole time: they only look whether it is ready.
    const int rounds = FStalled ? 1 : kGraphStateRounds;
    for (int round = 0; round < rounds; ++round) {
        OAFilterState state = 0;
        // The graph's own wait serves sends.
        if (control->GetState(FStalled ? 0 : kStateTimeoutMs, &state) != VFW_S_STATE_INTERMEDIATE) {
            SetStalled(false);
            return;
        }
        if (!FStalled)
            pauseServing(kStatePauseMs);
    }
    SetStalled(true);
}

void TGrapheMan::SetStalled(bool stalled)
{
    if (stalled == FStalled)
        return;
    FStalled = stalled;
    if (stalled) {
        FStalledCheck->start();
        emit StateStalled(kStalledMessage);
    } else {
        FStalledCheck->stop();
        emit StateSettled();
    }
}

void TGrapheMan::WaitFilterState()
{
    if (!FWaitFilter || FStalled)
        return;
    const ComPtr<IMediaFilter> filter = FWaitFilter;
    const auto settled = [&filter] {
        FILTER_STATE state;
        return filter->GetState(0, &state) != VFW_S_STATE_INTERMEDIATE;
    };
    // A filter's own wait could block this thread; ask without waiting and
    // serve sends in between.
    for (int round = 0; round < kFilterStateRounds; ++round) {
        if (WaitServingMessages(settled, kStateTimeoutMs))
            return;
        pauseServing(kStatePauseMs);
    }
}

int TGrapheMan::GraphState() const
{
    const auto control = FGraph.as<IMediaControl>();
    OAFilterState state = 0;
    if (!control || FAILED(control->GetState(0, &state)))
        return kGraphStateUnreadable;
    switch (state) {
    case State_Stopped:
        return kGraphStateStopped;
    case State_Paused:
        return kGraphStatePaused;
    case State_Running:
        return kGraphStatePlaying;
    default:
        return kGraphStateUnreadable;
    }
}

void TGrapheMan::ClearGraph()
{
    if (!FGraph)
        return;
    if (const auto control = FGraph.as<IMediaControl>())
        control->Stop();
    // Sources before the devices they hang from; detaching a piece detaches
    // its owners too.
    for (TChunkList list : {clSubtitleSources, clVideoSources, clAudioSources, clDevices})
        while (!FLists[list].isEmpty()) {
            TGraphChunk* chunk = FLists[list].last();
            chunk->Detach();
            RemoveChunk(chunk);
        }
    ComPtr<IEnumFilters> filters;
    std::vector<ComPtr<IBaseFilter>> left;
    if (SUCCEEDED(FGraph->EnumFilters(filters.put()))) {
        ComPtr<IBaseFilter> filter;
        while (filters->Next(1, filter.put(), nullptr) == S_OK)
            left.push_back(filter);
    }
    for (const ComPtr<IBaseFilter>& filter : left)
        FGraph->RemoveFilter(filter.get());
    FWaitFilter.reset();
    // Whatever comes next is a graph of its own; nothing settled.
    FStalled = false;
    FStalledCheck->stop();
    // An owner may register or leave while it is told.
    const QList<FilterOwner> owners = FFilterOwners;
    for (const FilterOwner& entry : owners)
        if (entry.owner && entry.cleared)
            entry.cleared();
}

void TGrapheMan::AddFilterOwner(QObject* owner, std::function<void()> cleared)
{
    RemoveFilterOwner(owner);
    if (owner)
        FFilterOwners.append({owner, std::move(cleared)});
}

void TGrapheMan::RemoveFilterOwner(QObject* owner)
{
    FFilterOwners.removeIf([owner](const FilterOwner& entry) { return !entry.owner || entry.owner == owner; });
}

void TGrapheMan::AddChunk(TChunkList list, TGraphChunk* chunk)
{
    if (!FLists[list].contains(chunk))
        FLists[list].append(chunk);
}

void TGrapheMan::RemoveChunk(TGraphChunk* chunk)
{
    for (QList<TGraphChunk*>& list : FLists)
        list.removeAll(chunk);
}

void TGrapheMan::ChunkDestroyed(TGraphChunk* chunk)
{
    for (TGrapheMan* manager : liveManagers())
        manager->ForgetChunk(chunk);
}

void TGrapheMan::ForgetChunk(TGraphChunk* chunk)
{
    RemoveChunk(chunk);
    emit ChunkForgotten(chunk);
}

void TGrapheMan::GraphComplete(HRESULT result, IBaseFilter*)
{
    PostMessage(FCompletionWindow, WM_GRAPHCOMPLETE, 0, 0);
    if (FAILED(result))
        return;
    if (OnGraphCompleted)
        OnGraphCompleted();
    emit GraphCompleted();
}

void TGrapheMan::FireState(TGrapheManState state)
{
    if (OnStateChange)
        OnStateChange(state);
}

void TGrapheMan::DrainGraphEvents()
{
    const auto events = FGraph ? FGraph.as<IMediaEventEx>() : nullptr;
    if (!events)
        return;
    LONG code = 0;
    LONG_PTR first = 0, second = 0;
    while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
        events->FreeEventParams(code, first, second);
        if (code == EC_COMPLETE)
            GraphComplete(static_cast<HRESULT>(first), reinterpret_cast<IBaseFilter*>(second));
    }
}

void TGrapheMan::SetRate(double rate)
{
    if (FMediaSeeking)
        FMediaSeeking->SetRate(rate);
}
