#include "media/engine/filter_rec.h"

#include "platform/core/class_registry.h"

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
        // Modules loaded by path are not known yet.
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

namespace {
TFilterRec* privateSplitter = nullptr;
}

TFilterRec* PrivateSplitterRec()
{
    return privateSplitter;
}

void SetPrivateSplitterRec(TFilterRec* record)
{
    privateSplitter = record;
}
