#pragma once
// Graph pieces: a media device (the source filter of a file with its
// splitter, a DV device, a stream device) and, below it, one source piece
// per video, audio and subtitle stream. A video or audio source puts its
// notifier on its stream when it is built; the video and audio managers
// take it further to a decoder and a renderer.
//
// A piece is built when it is set into a graph and unbuilt when the graph
// changes, the graph is cleared or the piece goes. A file is tried on a
// plain graph of its own, without a manager; the filters that take it wait
// there for the program's graph, where they move when a source of the file
// is built. Everything here runs on the GUI thread.

#include "media/engine/graphe_man.h"
#include "media/filters/audio_notifier.h"
#include "media/filters/copy_filter.h"
#include "media/filters/video_notifier.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class TMediaDevice;
class TVideoSource;
class TAudioSource;
class TSubtitleSource;

class TGraphChunk
{
public:
    TGraphChunk(TGraphChunk* owner, QString name, int index);
    TGraphChunk(const TGraphChunk&) = delete;
    TGraphChunk& operator=(const TGraphChunk&) = delete;
    virtual ~TGraphChunk();

    // Puts the piece's filters into its graph; false leaves the graph as
    // it was.
    virtual bool Build() { return false; }
    // Takes them out again.
    virtual void Unbuild() {}
    // The graph's duration (100-ns units); 0 without a graph or seeking.
    virtual REFERENCE_TIME GetDuration() const;
    // Builds the piece on `graph` (its owners first); the same graph again
    // answers true at once.
    virtual bool SetGraph(TGrapheMan* graph);
    // Releases the filter, takes `graph` and builds; on success the filter's
    // stream selection is looked up.
    virtual bool Attach(TGrapheMan* graph);
    // Unbuilds the piece and its owners and leaves them without a graph.
    void Detach();

    // The piece at the top of the chain of owners (the file device).
    TGraphChunk* LastChunk();

    TGraphChunk* Owner() const { return FOwner; }
    TGrapheMan* Graph() const { return FGraph.data(); }
    // The graph the piece is built on: its manager's, or the plain graph of
    // a file's trial.
    IGraphBuilder* Builder() const;
    ICaptureGraphBuilder2* Capture() const;
    // The graph manager the factory gave the chain.
    TGrapheMan* GrapheMan() const { return FGrapheMan.data(); }
    void SetGrapheMan(TGrapheMan* manager) { FGrapheMan = manager; }
    const QString& Name() const { return FName; }
    // The name, with " #" and the index from the second piece on.
    const QString& DisplayName() const { return FDisplayName; }
    int Index() const { return FIndex; }
    bool Built() const { return FBuilt; }
    IBaseFilter* Filter() const { return FFilter.get(); }
    IAMStreamSelect* StreamSelect() const { return FStreamSelect.get(); }

protected:
    // The graph list the piece registers in while it is built.
    virtual TGrapheMan::TChunkList ChunkList() const { return TGrapheMan::clDevices; }
    // Builds on the plain graph of a trial, where no manager keeps a list.
    bool AttachPlain(IGraphBuilder* graph, ICaptureGraphBuilder2* capture);
    // Builds and registers; a failed build is undone.
    bool BuildInGraph();
    // Unbuilds and unregisters a piece that is built. Each class with its
    // own Unbuild calls it from its destructor.
    void Teardown();
    void ReleaseFilter();

    TGraphChunk* FOwner;
    QPointer<TGrapheMan> FGraph;
    ComPtr<IGraphBuilder> FPlainGraph;
    ComPtr<ICaptureGraphBuilder2> FPlainCapture;
    QString FName;
    QString FDisplayName;
    QPointer<TGrapheMan> FGrapheMan;
    bool FBuilt = false;
    // Built on FGraph now.
    bool FInGraph = false;
    int FIndex;
    ComPtr<IBaseFilter> FFilter;
    ComPtr<IAMStreamSelect> FStreamSelect;
};

// A stream name with the index that EnableStream takes.
struct TStreamEntry
{
    QString name;
    int index = 0;
};
using TStreamList = QList<TStreamEntry>;

using TVideoSourcesList = std::vector<std::unique_ptr<TVideoSource>>;
using TAudioSourcesList = std::vector<std::unique_ptr<TAudioSource>>;
using TSubtitleSourcesList = std::vector<std::unique_ptr<TSubtitleSource>>;
using TMediaDevicesList = std::vector<std::unique_ptr<TMediaDevice>>;

class TMediaDevice : public TGraphChunk
{
public:
    TMediaDevice(TGraphChunk* owner, QString name, int index);
    ~TMediaDevice() override;

    int VideoCount() const { return int(FVideoSources.size()); }
    int AudioCount() const { return int(FAudioSources.size()); }
    int SubtitleCount() const { return int(FSubtitleSources.size()); }
    int DVCount() const { return int(FDVDevices.size()); }
    int StreamCount() const { return int(FStreamDevices.size()); }
    // The i-th piece of its kind; null outside 0 to count - 1.
    TVideoSource* VideoSource(int i) const;
    TAudioSource* AudioSource(int i) const;
    TSubtitleSource* SubtitleSource(int i) const;
    TMediaDevice* DVDevice(int i) const;
    TMediaDevice* StreamDevice(int i) const;

    // The selectable audio and subtitle streams of the filter.
    void GetAudioStreams(TStreamList& list) const;
    void GetSubtitleStreams(TStreamList& list) const;
    // Enables stream i; a running or paused graph is stopped around it and
    // put back as it was.
    bool EnableStream(int i);

protected:
    // Builds the device and lists the pieces below its pins: a device below
    // another where its owner stands, a file on a plain graph of its own,
    // which it leaves again at once. The most derived constructor calls it
    // once its own parts exist.
    void Open();
    // Takes the device and those below it off the trial's graph.
    virtual void LeaveTrial();

private:
    void ListStreams(const GUID& majortype, TStreamList& list) const;
    void ListPieces();

    TVideoSourcesList FVideoSources;
    TAudioSourcesList FAudioSources;
    TSubtitleSourcesList FSubtitleSources;
    TMediaDevicesList FDVDevices;
    TMediaDevicesList FStreamDevices;
};

// Interleaved DV below a device: the DV notifier, then the DV splitter whose
// video and audio pins become the device's sources.
class TDVDevice final : public TMediaDevice
{
public:
    TDVDevice(TMediaDevice* owner, int index);
    // A placeholder that stands for no DV device.
    explicit TDVDevice(QString placeholderName);
    ~TDVDevice() override;

    bool Build() override;
    void Unbuild() override;
    TDVCodeNotifier* Notifier() const { return FNotifier.get(); }

private:
    ComPtr<TDVCodeNotifier> FNotifier;
    ComPtr<IBaseFilter> FSplitter;
};

// A raw stream below a device, passed through the pass-through filter.
class TStreamDevice final : public TMediaDevice
{
public:
    TStreamDevice(TMediaDevice* owner, int index);
    explicit TStreamDevice(QString placeholderName);
    ~TStreamDevice() override;

    bool Build() override;
    void Unbuild() override;

private:
    ComPtr<TAVDummy> FDummy;
};

// One stream of a device. Built with a window, it puts its notifier on the
// stream and points the notifier's messages at that window.
class TavSource : public TGraphChunk
{
public:
    TavSource(TGraphChunk* owner, QString name, int index, const GUID& majortype);
    ~TavSource() override;

    // Builds on `graph` with the notifier's messages going to `wnd`.
    bool BuildOn(TGrapheMan* graph, HWND wnd);
    // Takes the stream out of its graph. Its device goes too once no other
    // stream of the device is built there, so that the streams of one file
    // come and go on their own.
    void TearDownStream();
    bool Build() override;
    void Unbuild() override;

    // The stream's output pin while built.
    IPin* Pin() const { return FPin.get(); }
    // The type the notifier accepted (major type, subtype, format type).
    const GUID& Majortype() const { return FAccepted.majortype; }
    const GUID& Subtype() const { return FAccepted.subtype; }
    const GUID& Formattype() const { return FAccepted.formattype; }
    // The owner is a DV device.
    bool FromDVDevice() const;

protected:
    // The notifier, or null for a piece without one.
    virtual NotifierBase* SourceNotifier() const = 0;
    // Resets the notifier and points it at the window.
    virtual void PrepareNotifier(HWND wnd) = 0;
    virtual const char16_t* NotifierName() const = 0;
    TGrapheMan::TChunkList ChunkList() const override = 0;
    // After the pin is rendered into the notifier.
    virtual void StreamConnected() {}
    // Finds the piece's pin on its owner; false when there is none.
    bool FindOwnPin();

    GUID FMajortype;
    ComPtr<IPin> FPin;
    AM_MEDIA_TYPE FAccepted;
    HWND FWindow = 0;
};

class TVideoSource final : public TavSource
{
public:
    TVideoSource(TGraphChunk* owner, QString name, int index);
    ~TVideoSource() override;

    TVideoNotifier* Notifier() const { return FNotifier.get(); }
    // The frame-duration report goes to `wnd`, or is switched off.
    void SetFrameWindow(HWND wnd);
    void ClearFrameWindow();
    // Frame data goes to `wnd`, or is switched off.
    void StartFrameData(HWND wnd);
    void StopFrameData();
    // Scene detection on, its messages to `wnd`.
    void SetSceneWindow(HWND wnd);
    TframeData GetFrameData() const;

protected:
    NotifierBase* SourceNotifier() const override { return FNotifier.get(); }
    void PrepareNotifier(HWND wnd) override;
    const char16_t* NotifierName() const override { return u"Video Source Notifier"; }
    TGrapheMan::TChunkList ChunkList() const override { return TGrapheMan::clVideoSources; }

private:
    ComPtr<TVideoNotifier> FNotifier;
};

class TAudioSource final : public TavSource
{
public:
    TAudioSource(TGraphChunk* owner, QString name, int index);
    ~TAudioSource() override;

    TAudioNotifier* Notifier() const { return FNotifier.get(); }

protected:
    NotifierBase* SourceNotifier() const override { return FNotifier.get(); }
    void PrepareNotifier(HWND wnd) override;
    const char16_t* NotifierName() const override { return u"Audio Source Notifier"; }
    TGrapheMan::TChunkList ChunkList() const override { return TGrapheMan::clAudioSources; }
    void StreamConnected() override;

private:
    ComPtr<TAudioNotifier> FNotifier;
};

// A subtitle stream: only its pin, which the video manager connects.
class TSubtitleSource final : public TavSource
{
public:
    TSubtitleSource(TGraphChunk* owner, QString name, int index);
    ~TSubtitleSource() override;

    bool Build() override;
    void Unbuild() override;

protected:
    NotifierBase* SourceNotifier() const override { return nullptr; }
    void PrepareNotifier(HWND) override {}
    const char16_t* NotifierName() const override { return u""; }
    TGrapheMan::TChunkList ChunkList() const override { return TGrapheMan::clSubtitleSources; }
};

// The pieces that stand for "none" in the stream lists.
TVideoSource* NoVideoSource();
TAudioSource* NoAudioSource();
TSubtitleSource* NoSubtitleSource();
TMediaDevice* NoDVDevice();
TMediaDevice* NoStreamDevice();

// The output pin of `filter` of the major type, index-th of that type,
// capture pins first; free pins only when `unconnected`.
ComPtr<IPin> FindOutputPin(IBaseFilter* filter, const GUID& majortype, int index, bool unconnected);
