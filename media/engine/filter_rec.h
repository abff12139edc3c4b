#pragma once
// A filter record names a filter the program may put into a graph: a system
// filter created by class id, or an instance the program already holds.

#include "platform/graph/interfaces.h"

#include <QString>

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

// The splitter record of the private filters, which the factory tries first
// for extensions it does not know; null until one is registered.
TFilterRec* PrivateSplitterRec();
void SetPrivateSplitterRec(TFilterRec* record);
