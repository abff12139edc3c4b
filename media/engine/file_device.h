#pragma once
// The device of a file: its source filter, made from the source record and
// loaded with the file, and the splitter behind it when a splitter record is
// given. The streams are the splitter's pins, or the source's without one.
// The filters that took the file in its trial are kept, still connected,
// until the device is first built on the program's graph, so that the file
// is neither opened nor read again; after that each build opens it anew.

#include "media/engine/media_devices.h"

class TFilterRec;

class TFileDevice final : public TMediaDevice
{
public:
    // Tries the file with the two records at once; Built() tells whether the
    // source took it.
    TFileDevice(QString fileName, TFilterRec* splitter, TFilterRec* source);
    ~TFileDevice() override;

    bool Build() override;
    void Unbuild() override;

    const QString& FileName() const { return FFileName; }
    TFilterRec* SourceRec() const { return FSourceRec; }
    TFilterRec* SplitterRec() const { return FSplitterRec; }
    IBaseFilter* SourceFilter() const { return FSource.get(); }
    IBaseFilter* SplitterFilter() const { return FSplitter.get(); }
    // The name the source filter got in the graph.
    const QString& SourceName() const { return FSourceName; }

protected:
    void LeaveTrial() override;

private:
    void ReleaseFilters();

    QString FFileName;
    TFilterRec* FSourceRec;
    TFilterRec* FSplitterRec;
    ComPtr<IBaseFilter> FSource;
    ComPtr<IBaseFilter> FSplitter;
    QString FSourceName;
    bool FKeepFilters = false;
};
