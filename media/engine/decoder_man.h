#pragma once
// The decoder manager puts a decoder between a stream and its renderer: the
// decoder linked to the stream's media type first, then the preferred
// decoders in their order, then whatever the graph's automatic connection
// picks among the decoders not excluded. What worked is remembered in the
// user links; NextDecoder steps on to the next candidate.

#include "media/engine/filter_rec.h"
#include "media/engine/graphe_man.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class TDecoderMan : public QObject
{
    Q_OBJECT
public:
    // The search phases.
    enum TPhase { phNotStarted = 0, phChosen = 1, phAutomatic = 2 };

    explicit TDecoderMan(QObject* owner = nullptr);
    ~TDecoderMan() override;

    TGrapheMan* GrapheMan() const { return FGrapheMan.data(); }
    // The manager's decoders go when its graph is cleared; the manager then
    // forgets the connection they served.
    void SetGrapheMan(TGrapheMan* manager);
    // The owner's links and its "none" record (not owned).
    void SetDecoderLinks(TDecoderLinks* defaults, TDecoderLinks* user, TFilterRec* none);

    // Connects the first free output of `source` to the first free input of
    // `target` through the next decoder of the search.
    virtual bool ConnectWithDecoder(IBaseFilter* source, IBaseFilter* target);
    // Replaces the current decoder by the next candidate and resumes the
    // state the graph was in.
    bool NextDecoder();
    // Takes out every filter between the connection's two ends.
    bool RemoveDecoder();
    // Forgets the exclusions and starts the next search from the beginning.
    void ClearExcluded();

    // The decoder the user linked to the media type; set before connecting.
    TFilterRec* LinkedDecoder() const { return FLinkedDecoder; }
    void SetLinkedDecoder(TFilterRec* rec) { FLinkedDecoder = rec; }
    // Tried in order after the linked decoder (not owned).
    QList<TFilterRec*>& PreferredDecoders() { return FPreferred; }
    TFilterRec* CurrentDecoder() const { return FCurrentDecoder; }
    // Set by the owner (to its "none" record) before a connection.
    void SetCurrentDecoder(TFilterRec* rec) { FCurrentDecoder = rec; }
    // Filters spliced in after the decoder, in this order, each when set.
    void SetPostDecoderFilter(TFilterRec* rec) { FPostDecoder = rec; }
    void SetSubtitleFilter(TFilterRec* rec) { FSubtitle = rec; }
    void SetFramesNotifier(TFilterRec* rec) { FFramesNotifier = rec; }
    const QStringList& Excluded() const { return FExcluded; }
    int Phase() const { return FPhase; }

    const GUID& MajorType() const { return FMajorType; }
    const GUID& SubType() const { return FSubType; }
    const GUID& FormatType() const { return FFormatType; }

    // The graph builder's question about a filter it selected: false vetoes it.
    bool Accepts(IMoniker* moniker) const;

private:
    bool TryDecoder(TFilterRec* rec);
    void Finish(TFilterRec* rec);
    void RebuildExcluded();
    void Exclude(const CLSID& classId);
    // Adds the record's filter and splices it in before the target; a filter
    // that does not fit is excluded and taken out again.
    bool Splice(TFilterRec* rec);
    bool Connect();
    void ForgetConnection();

    QPointer<TGrapheMan> FGrapheMan;
    TDecoderLinks* FDefaultLinks = nullptr;
    TDecoderLinks* FUserLinks = nullptr;
    TFilterRec* FNone = nullptr;
    int FIndex = 0;
    ComPtr<IBaseFilter> FSource;
    ComPtr<IBaseFilter> FTarget;
    ComPtr<IPin> FOutput;
    ComPtr<IPin> FInput;
    int FPhase = phNotStarted;
    TFilterRec* FSubtitle = nullptr;
    TFilterRec* FFramesNotifier = nullptr;
    TFilterRec* FPostDecoder = nullptr;
    TFilterRec* FLinkedDecoder = nullptr;
    QList<TFilterRec*> FPreferred;
    TFilterRec* FCurrentDecoder = nullptr;
    GUID FMajorType = GUID_NULL;
    GUID FSubType = GUID_NULL;
    GUID FFormatType = GUID_NULL;
    QStringList FExcluded;
    ComPtr<IAMGraphBuilderCallback> FCallback;
};

// Which end of a connection a pin given to InsertFilter is.
enum TInsertMode { imUpstream, imDownstream };

// Splices `filter` (already in the graph, with an input and an output as its
// first two pins) into the connection of `pin`: the upstream output goes to
// the filter's first pin and its second pin to the downstream input. When a
// step fails the former ends are connected again as they were.
HRESULT InsertFilter(IGraphBuilder* graph, IPin* pin, IBaseFilter* filter, TInsertMode mode);
