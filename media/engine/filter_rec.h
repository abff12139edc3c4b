#pragma once
// A filter record names a filter the program may put into a graph: a system
// filter created by class id, a private filter made by a module loaded by
// path, or an instance the program already holds. Decoder links map a media
// type to the record of the decoder that serves it.

#include "platform/core/class_factory.h"
#include "platform/graph/interfaces.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class Module;
class TPreferencesMan;

// The kinds of filter records.
enum TFilterKind : BYTE {
    fkRegistered = 0, // created through the class registry
    fkPrivate = 1,    // created by a module loaded by path
    fkInstance = 2,   // an instance handed to the record
};

class TFilterRec
{
public:
    TFilterRec(const CLSID& classId, TFilterKind kind, QString name);
    TFilterRec(const TFilterRec&) = delete;
    TFilterRec& operator=(const TFilterRec&) = delete;
    virtual ~TFilterRec() = default;

    const CLSID& ClassId() const { return FClassId; }
    TFilterKind Kind() const { return FKind; }
    const QString& Name() const { return FName; }

    // The record's own instance, made on first use; null when it cannot be made.
    ComPtr<IBaseFilter> GetFilter();
    // A held-instance record keeps `filter`; the others drop their instance.
    void SetFilter(IBaseFilter* filter);
    // A new instance for each caller, so that no two graph pieces ever share
    // one filter; a held-instance record hands out its instance.
    virtual ComPtr<IBaseFilter> CreateFilter();

private:
    CLSID FClassId;
    TFilterKind FKind;
    QString FName;
    ComPtr<IBaseFilter> FFilter;
};

// Adds `filter` to the graph under `name`; while the name is taken, under
// name + "_1", "_2"... Any other refusal ends the tries. `added` receives
// the name used.
HRESULT AddFilterNamed(IFilterGraph* graph, IBaseFilter* filter, const QString& name, QString* added = nullptr);

// A class factory of a module loaded by path. A module that cannot be
// loaded, or whose entry point has no factory for the class, leaves the
// factory null and is unloaded at once.
class TPrivateFactory
{
public:
    TPrivateFactory(const CLSID& classId, const QString& modulePath);
    ~TPrivateFactory();
    TPrivateFactory(const TPrivateFactory&) = delete;
    TPrivateFactory& operator=(const TPrivateFactory&) = delete;

    const CLSID& ClassId() const { return FClassId; }
    IClassFactory* Factory() const { return FFactory.get(); }

private:
    CLSID FClassId;
    ComPtr<IClassFactory> FFactory;
    std::shared_ptr<Module> FModule;
};

// The program's private factories, kept until the program ends.
class TPrivateFactories
{
public:
    static TPrivateFactories& Instance();
    // Loads the module and asks it for the class; the entry stays even when
    // that fails.
    TPrivateFactory* Add(const CLSID& classId, const QString& modulePath);
    // The latest entry for the class, or null.
    TPrivateFactory* Find(const CLSID& classId) const;
    void Clear() { FList.clear(); }

private:
    std::vector<std::unique_ptr<TPrivateFactory>> FList;
};

// The records made while the program runs: decoders the automatic search
// found and choices read from the preferences. One list owns them for the
// life of the program, so they outlive every link that names them; a record
// of the same class id, kind and name is made once.
class TFilterRecs
{
public:
    static TFilterRecs& Instance();
    // The record made before with these, or a new one.
    TFilterRec* Obtain(const CLSID& classId, TFilterKind kind, const QString& name);
    int Count() const { return int(FList.size()); }
    bool Contains(const TFilterRec* rec) const;

private:
    std::vector<std::unique_ptr<TFilterRec>> FList;
};

// A media type and the decoder record that serves it. A null GUID matches
// every value when the exclusions are built.
struct TDecoderLink
{
    GUID MajorType = GUID_NULL;
    GUID SubType = GUID_NULL;
    GUID FormatType = GUID_NULL;
    TFilterRec* Rec = nullptr; // not owned
};

// Links, at most one per media type. Records read from the preferences
// belong to the program's list of records.
class TDecoderLinks
{
public:
    TDecoderLinks() = default;
    TDecoderLinks(const TDecoderLinks&) = delete;
    TDecoderLinks& operator=(const TDecoderLinks&) = delete;

    int Count() const { return int(FLinks.size()); }
    const TDecoderLink& Link(int index) const { return FLinks[size_t(index)]; }

    int IndexOf(const GUID& major, const GUID& sub, const GUID& format) const;
    // Replaces the record of the media type's link, or appends a link.
    void Add(const GUID& major, const GUID& sub, const GUID& format, TFilterRec* rec);
    TFilterRec* GetDecoder(const GUID& major, const GUID& sub, const GUID& format) const;
    void Remove(const GUID& major, const GUID& sub, const GUID& format);
    void Clear() { FLinks.clear(); }

    // Reads every sub-key of the store's current key, whatever its name.
    void LoadFromPrefs(TPreferencesMan& prefs);
    // Clears the old "dc" sub-keys, then writes each link but those of held
    // instances as sub-key "dc" + its position.
    void SaveToPrefs(TPreferencesMan& prefs) const;
    // The same under the sub-key `key` of the store's current key, opened
    // before and closed after.
    bool LoadFromPrefs(TPreferencesMan& prefs, const QString& key);
    bool SaveToPrefs(TPreferencesMan& prefs, const QString& key) const;

private:
    std::vector<TDecoderLink> FLinks;
};

// The records every decoder manager knows.
TFilterRec& NoVideoDecoderRec();
TFilterRec& NoAudioDecoderRec();
TFilterRec& DtvDvdVideoDecoderRec();
TFilterRec& VSFilterRec();
TFilterRec& DtvDvdAudioDecoderRec();
// Decoders the automatic search must not pick for their media types, and
// those that last worked for each media type.
TDecoderLinks& DefaultVideoLinks();
TDecoderLinks& UserVideoLinks();
TDecoderLinks& DefaultAudioLinks();
TDecoderLinks& UserAudioLinks();

GUID GuidFromText(const QString& text);
QString GuidText(const GUID& guid);
