#include "media/engine/filter_rec.h"

#include "framework/preferences/preferences_man.h"
#include "platform/core/class_registry.h"
#include "platform/core/module.h"
#include "platform/graph/media_guids.h"

#include <algorithm>

TFilterRec::TFilterRec(const CLSID& classId, TFilterKind kind, QString name)
    : FClassId(classId), FKind(kind), FName(std::move(name))
{
}

ComPtr<IBaseFilter> TFilterRec::GetFilter()
{
    if (!FFilter)
        FFilter = CreateFilter();
    return FFilter;
}

void TFilterRec::SetFilter(IBaseFilter* filter)
{
    FFilter = FKind == fkInstance ? ComPtr<IBaseFilter>(filter) : nullptr;
}

ComPtr<IBaseFilter> TFilterRec::CreateFilter()
{
    ComPtr<IBaseFilter> filter;
    switch (FKind) {
    case fkRegistered:
        if (FClassId != GUID_NULL)
            CoCreateInstance(FClassId, nullptr, CLSCTX_INPROC, IBaseFilter::iid, filter.putVoid());
        break;
    case fkInstance:
        filter = FFilter;
        break;
    case fkPrivate:
        if (const TPrivateFactory* factory = TPrivateFactories::Instance().Find(FClassId);
            factory && factory->Factory()) {
            // A module is outside code: whatever it throws stays here.
            try {
                if (FAILED(factory->Factory()->CreateInstance(nullptr, IBaseFilter::iid, filter.putVoid())))
                    filter = nullptr;
            } catch (...) {
                filter = nullptr;
            }
        }
        break;
    }
    return filter;
}

HRESULT AddFilterNamed(IFilterGraph* graph, IBaseFilter* filter, const QString& name, QString* added)
{
    if (!graph || !filter)
        return E_POINTER;
    // Enough for every copy a graph could sensibly hold.
    constexpr int kMaxTries = 100;
    QString tried = name;
    HRESULT hr = E_FAIL;
    for (int n = 1; n <= kMaxTries; ++n) {
        hr = graph->AddFilter(filter, tried.toStdU16String().c_str());
        if (hr != VFW_E_DUPLICATE_NAME)
            break;
        tried = name + QLatin1Char('_') + QString::number(n);
    }
    if (SUCCEEDED(hr) && added)
        *added = tried;
    return hr;
}

TPrivateFactory::TPrivateFactory(const CLSID& classId, const QString& modulePath) : FClassId(classId)
{
    if (FAILED(Module::load(modulePath.toStdString(), FModule)))
        return;
    ComPtr<IClassFactory> factory;
    HRESULT hr = E_FAIL;
    try {
        hr = FModule->getClassObject(classId, IClassFactory::iid, factory.putVoid());
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    if (SUCCEEDED(hr) && factory)
        FFactory = factory;
    else {
        // A module without the class is of no use: it goes at once.
        factory = nullptr;
        FModule.reset();
    }
}

TPrivateFactory::~TPrivateFactory()
{
    FFactory = nullptr;
    FModule.reset();
}

TPrivateFactories& TPrivateFactories::Instance()
{
    static TPrivateFactories factories;
    return factories;
}

TPrivateFactory* TPrivateFactories::Add(const CLSID& classId, const QString& modulePath)
{
    FList.push_back(std::make_unique<TPrivateFactory>(classId, modulePath));
    return FList.back().get();
}

TPrivateFactory* TPrivateFactories::Find(const CLSID& classId) const
{
    for (auto it = FList.rbegin(); it != FList.rend(); ++it)
        if ((*it)->ClassId() == classId)
            return it->get();
    return nullptr;
}

TFilterRecs& TFilterRecs::Instance()
{
    static TFilterRecs recs;
    return recs;
}

TFilterRec* TFilterRecs::Obtain(const CLSID& classId, TFilterKind kind, const QString& name)
{
    for (const auto& rec : FList)
        if (rec->ClassId() == classId && rec->Kind() == kind && rec->Name() == name)
            return rec.get();
    FList.push_back(std::make_unique<TFilterRec>(classId, kind, name));
    return FList.back().get();
}

bool TFilterRecs::Contains(const TFilterRec* rec) const
{
    return std::any_of(FList.begin(), FList.end(), [rec](const auto& own) { return own.get() == rec; });
}

int TDecoderLinks::IndexOf(const GUID& major, const GUID& sub, const GUID& format) const
{
    for (size_t i = 0; i < FLinks.size(); ++i)
        if (FLinks[i].MajorType == major && FLinks[i].SubType == sub && FLinks[i].FormatType == format)
            return int(i);
    return -1;
}

void TDecoderLinks::Add(const GUID& major, const GUID& sub, const GUID& format, TFilterRec* rec)
{
    const int index = IndexOf(major, sub, format);
    if (index >= 0)
        FLinks[size_t(index)].Rec = rec;
    else
        FLinks.push_back({major, sub, format, rec});
}

TFilterRec* TDecoderLinks::GetDecoder(const GUID& major, const GUID& sub, const GUID& format) const
{
    const int index = IndexOf(major, sub, format);
    return index >= 0 ? FLinks[size_t(index)].Rec : nullptr;
}

void TDecoderLinks::Remove(const GUID& major, const GUID& sub, const GUID& format)
{
    const int index = IndexOf(major, sub, format);
    if (index >= 0)
        FLinks.erase(FLinks.begin() + index);
}

GUID GuidFromText(const QString& text)
{
    return GUID::parse(text.trimmed().toStdString()).value_or(GUID_NULL);
}

QString GuidText(const GUID& guid)
{
    return QString::fromStdString(guid.toString());
}

namespace {
const QString kMajorType = QStringLiteral("majortype");
const QString kSubType = QStringLiteral("subtype");
const QString kFormatType = QStringLiteral("formattype");
const QString kPrivate = QStringLiteral("Private");
const QString kDecoderGuid = QStringLiteral("decoderguid");
const QString kName = QStringLiteral("name");
const QString kLinkKey = QStringLiteral("dc");
} // namespace

void TDecoderLinks::LoadFromPrefs(TPreferencesMan& prefs)
{
    QStringList names;
    prefs.GetKeyNames(names);
    for (const QString& name : names) {
        if (!prefs.OpenKey(name, false))
            continue;
        QString major, sub, format, classId, recName;
        bool isPrivate = false;
        prefs.ReadString(kMajorType, major);
        prefs.ReadString(kSubType, sub);
        prefs.ReadString(kFormatType, format);
        prefs.ReadBool(kPrivate, isPrivate);
        prefs.ReadString(kDecoderGuid, classId);
        prefs.ReadString(kName, recName);
        Add(GuidFromText(major), GuidFromText(sub), GuidFromText(format),
            TFilterRecs::Instance().Obtain(GuidFromText(classId), isPrivate ? fkPrivate : fkRegistered, recName));
        prefs.CloseKey();
    }
}

void TDecoderLinks::SaveToPrefs(TPreferencesMan& prefs) const
{
    // A choice the user removed must not come back from an older, longer save.
    QStringList names;
    prefs.GetKeyNames(names);
    for (const QString& name : names)
        if (name.startsWith(kLinkKey, Qt::CaseInsensitive))
            prefs.DeleteKey(name);
    for (size_t i = 0; i < FLinks.size(); ++i) {
        const TDecoderLink& link = FLinks[i];
        if (!link.Rec || link.Rec->Kind() == fkInstance)
            continue;
        if (!prefs.OpenKey(kLinkKey + QString::number(i), true))
            continue;
        prefs.WriteString(kMajorType, GuidText(link.MajorType));
        prefs.WriteString(kSubType, GuidText(link.SubType));
        prefs.WriteString(kFormatType, GuidText(link.FormatType));
        prefs.WriteString(kDecoderGuid, GuidText(link.Rec->ClassId()));
        prefs.WriteString(kName, link.Rec->Name());
        prefs.WriteBool(kPrivate, link.Rec->Kind() == fkPrivate);
        prefs.CloseKey();
    }
}

bool TDecoderLinks::LoadFromPrefs(TPreferencesMan& prefs, const QString& key)
{
    if (!prefs.OpenKey(key, false))
        return false;
    LoadFromPrefs(prefs);
    prefs.CloseKey();
    return true;
}

bool TDecoderLinks::SaveToPrefs(TPreferencesMan& prefs, const QString& key) const
{
    if (!prefs.OpenKey(key, true))
        return false;
    SaveToPrefs(prefs);
    prefs.CloseKey();
    return true;
}

namespace {
constexpr GUID kSubtypeH264 = "{34363248-0000-0010-8000-00AA00389B71}"_guid;
constexpr GUID kSubtypeh264 = "{34363268-0000-0010-8000-00AA00389B71}"_guid;
constexpr GUID kSubtypeH264Ts = "{8D2D71CB-243F-45E3-B2D8-5FD7967EC09B}"_guid;
constexpr GUID kSubtypeAVC1 = "{31435641-0000-0010-8000-00AA00389B71}"_guid;
constexpr GUID kSubtypeavc1 = "{31637661-0000-0010-8000-00AA00389B71}"_guid;

} // namespace

TFilterRec& NoVideoDecoderRec()
{
    static TFilterRec rec(GUID_NULL, fkRegistered, QStringLiteral("No Video decoder"));
    return rec;
}

TFilterRec& NoAudioDecoderRec()
{
    static TFilterRec rec(GUID_NULL, fkRegistered, QStringLiteral("No Audio decoder"));
    return rec;
}

TFilterRec& DtvDvdVideoDecoderRec()
{
    static TFilterRec rec("{212690FB-83E5-4526-8FD7-74478B7939CD}"_guid, fkRegistered,
                          QStringLiteral("Microsoft DTV-DVD Video Decoder"));
    return rec;
}

TFilterRec& VSFilterRec()
{
    static TFilterRec rec("{93A22E7A-5091-45EF-BA61-6DA26156A5D0}"_guid, fkRegistered, QStringLiteral("VS Filter"));
    return rec;
}

TFilterRec& DtvDvdAudioDecoderRec()
{
    static TFilterRec rec("{E1F1A0B8-BEEE-490D-BA7C-066C40B5E2B9}"_guid, fkRegistered,
                          QStringLiteral("Microsoft DTV-DVD Audio Decoder"));
    return rec;
}

TDecoderLinks& DefaultVideoLinks()
{
    static TDecoderLinks links;
    static const bool filled = [] {
        for (const GUID& sub : {kSubtypeH264, kSubtypeh264, kSubtypeH264Ts, kSubtypeAVC1, kSubtypeavc1})
            links.Add(MEDIATYPE_Video, sub, GUID_NULL, &DtvDvdVideoDecoderRec());
        return true;
    }();
    (void)filled;
    return links;
}

TDecoderLinks& UserVideoLinks()
{
    // Made first, so that the records outlive the links.
    TFilterRecs::Instance();
    static TDecoderLinks links;
    return links;
}

TDecoderLinks& DefaultAudioLinks()
{
    static TDecoderLinks links;
    static const bool filled = [] {
        links.Add(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, GUID_NULL, &DtvDvdAudioDecoderRec());
        return true;
    }();
    (void)filled;
    return links;
}

TDecoderLinks& UserAudioLinks()
{
    // Made first, so that the records outlive the links.
    TFilterRecs::Instance();
    static TDecoderLinks links;
    return links;
}
