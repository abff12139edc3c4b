#pragma once
// The graph manager owns the program's one filter graph with its builder,
// capture builder and seeking interfaces; it plays, pauses and stops the
// graph, switches the fast rate and turns the graph's completion into an
// event. The graph pieces that are built on the graph register here, so that
// clearing the graph releases their filters (and with them the files).
//
// Everything here runs on the GUI thread. Waits keep serving the messages
// that streaming threads send, so no wait can deadlock against a streaming
// thread that is blocked in a send.

#include "framework/managers/action_component.h"
#include "platform/graph/interfaces.h"

#include <QList>
#include <QPointer>

#include <functional>

class QTimer;
class TGraphChunk;

enum TGrapheManState { gmStopped, gmPaused, gmPlaying };

// The graph state numbers that the navigation reads.
constexpr int kGraphStateUnreadable = 0;
constexpr int kGraphStateStopped = 1;
constexpr int kGraphStatePaused = 2;
constexpr int kGraphStatePlaying = 3;

class TGrapheMan : public TKvActionComponent
{
    Q_OBJECT
public:
    using TGraphCompletedEvent = std::function<void()>;
    using TStateEvent = std::function<void(TGrapheManState aGrapheManState)>;
    using TBooleanEvent = std::function<void(bool isTrue)>;

    // The kinds of pieces that register with the graph.
    enum TChunkList { clDevices, clVideoSources, clAudioSources, clSubtitleSources, clCount };

    explicit TGrapheMan(QObject* owner = nullptr);
    ~TGrapheMan() override;

    // Each returns the graph call's success; the state event follows only a
    // success.
    virtual bool Play();
    virtual bool Pause();
    virtual bool Stop();
    virtual void VitesseNormale();
    virtual void VitesseRapide();
    virtual void SetCompleted();

    // Waits while the graph, or the wait filter, is between two states, two
    // seconds at most. A graph that does not get there is stalled (and says
    // so with StateStalled): until it gets there (StateSettled, looked at
    // every tenth of a second) or is cleared, the waits only look.
    void WaitGraphState();
    void WaitFilterState();
    bool Stalled() const { return FStalled; }
    // kGraphStateStopped, Paused or Playing; kGraphStateUnreadable when the
    // state cannot be read.
    int GraphState() const;

    // Stops the graph, releases every piece built on it and removes every
    // filter: what a closed file leaves behind. Then every filter owner is
    // told.
    void ClearGraph();

    // Whoever keeps a filter of its own in the graph (a renderer, a decoder)
    // registers here. Clearing the graph takes that filter out with all the
    // others and then calls `cleared`, where the owner puts its filter back
    // or forgets the graph. An owner that goes is forgotten.
    void AddFilterOwner(QObject* owner, std::function<void()> cleared);
    void RemoveFilterOwner(QObject* owner);

    IGraphBuilder* GraphBuilder() const { return FGraphBuilder.get(); }
    ICaptureGraphBuilder2* CaptureBuilder() const { return FCaptureBuilder.get(); }
    IMediaSeeking* MediaSeeking() const { return FMediaSeeking.get(); }

    // The filter whose state a rendering seek waits on.
    IMediaFilter* WaitFilter() const { return FWaitFilter.get(); }
    void SetWaitFilter(IMediaFilter* filter) { FWaitFilter = filter; }
    // Where the completion message goes (0: nowhere).
    HWND CompletionWindow() const { return FCompletionWindow; }
    void SetCompletionWindow(HWND wnd) { FCompletionWindow = wnd; }

    bool FastRate() const { return FFastRate; }
    bool Completed() const { return FCompleted; }
    void ClearCompleted() { FCompleted = false; }
    // Lets an outside graph viewer see the graph; kept for the layout.
    bool GraphEdit() const { return FGraphEdit; }
    void SetGraphEdit(bool on) { FGraphEdit = on; }

    // Pieces register while they are built on this graph.
    const QList<TGraphChunk*>& Chunks(TChunkList list) const { return FLists[list]; }
    void AddChunk(TChunkList list, TGraphChunk* chunk);
    void RemoveChunk(TGraphChunk* chunk);
    // A piece is being destroyed: every manager forgets it.
    static void ChunkDestroyed(TGraphChunk* chunk);

    TGraphCompletedEvent OnGraphCompleted;
    TStateEvent OnStateChange;
    TBooleanEvent OnVitesseRapide;

signals:
    // The streams came to their end (for those beside the one
    // OnGraphCompleted serves).
    void GraphCompleted();
    // The fast rate was switched on or off (for those beside the one
    // OnVitesseRapide serves).
    void FastRateChanged(bool fast);
    // A piece is being destroyed (after its own teardown).
    void ChunkForgotten(TGraphChunk* chunk);
    // A wait gave up on the graph's state; `message` says so to the user.
    void StateStalled(const QString& message);
    // The stalled graph got to its state after all.
    void StateSettled();

protected:
    // The graph reported the end of the streams; `result` is its code.
    void GraphComplete(HRESULT result, IBaseFilter* renderer);
    // A piece is gone; the manager drops every reference to it.
    virtual void ForgetChunk(TGraphChunk* chunk);
    void FireState(TGrapheManState state);

private:
    void DrainGraphEvents();
    void SetStalled(bool stalled);
    void SetRate(double rate);

    ComPtr<IMediaFilter> FWaitFilter;
    HWND FCompletionWindow = 0;
    bool FFastRate = false;
    bool FCompleted = false;
    bool FGraphEdit = false;
    bool FStalled = false;
    QTimer* FStalledCheck = nullptr;
    ComPtr<IGraphBuilder> FGraph;
    QList<TGraphChunk*> FLists[clCount];
    ComPtr<IGraphBuilder> FGraphBuilder;
    ComPtr<ICaptureGraphBuilder2> FCaptureBuilder;
    ComPtr<IMediaSeeking> FMediaSeeking;
    // The graph's events arrive on a window of their own.
    HWND FEventWindow = 0;
    struct FilterOwner
    {
        QPointer<QObject> owner;
        std::function<void()> cleared;
    };
    QList<FilterOwner> FFilterOwners;
};
