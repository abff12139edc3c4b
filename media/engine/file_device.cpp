#include "media/engine/file_device.h"

#include "media/engine/filter_rec.h"
#include "platform/graph/pin_walk.h"

#include <QFileInfo>

TFileDevice::TFileDevice(QString fileName, TFilterRec* splitter, TFilterRec* source)
    : TMediaDevice(nullptr, QFileInfo(fileName).fileName(), 1), FFileName(std::move(fileName)), FSourceRec(source),
      FSplitterRec(splitter)
{
    Open();
}

TFileDevice::~TFileDevice()
{
    Teardown();
}

bool TFileDevice::Build()
{
    IGraphBuilder* builder = Builder();
    if (!builder || !FSourceRec || FSourceRec->ClassId() == GUID_NULL)
        return false;
    // After the trial the filters come loaded, and move in as they are.
    if (!FSource) {
        // Folders and other things that are not files are nothing to play,
        // whatever a source would make of them.
        if (!QFileInfo(FFileName).isFile())
            return false;
        FSource = FSourceRec->CreateFilter();
        const auto loader = FSource.as<IFileSourceFilter>();
        if (!loader || FAILED(loader->Load(FFileName.toStdU16String().c_str(), nullptr)))
            return false;
        // A splitter that cannot be made leaves the source alone.
        if (FSplitterRec)
            FSplitter = FSplitterRec->CreateFilter();
    }
    if (FAILED(AddFilterNamed(builder, FSource.get(), FSourceRec->Name(), &FSourceName)))
        return false;
    if (FSplitter) {
        const ComPtr<IPin> output = firstPin(FSource.get(), PINDIR_OUTPUT);
        const ComPtr<IPin> input = firstPin(FSplitter.get(), PINDIR_INPUT);
        if (FAILED(AddFilterNamed(builder, FSplitter.get(), FSplitterRec->Name())) || !output || !input ||
            FAILED(builder->ConnectDirect(output.get(), input.get(), nullptr)))
            return false;
    }
    // The streams come out of the splitter when there is one.
    FFilter = FSplitter ? FSplitter : FSource;
    return true;
}

void TFileDevice::Unbuild()
{
    if (IGraphBuilder* builder = Builder()) {
        if (FSplitter)
            builder->RemoveFilter(FSplitter.get());
        if (FSource)
            builder->RemoveFilter(FSource.get());
    }
    FSourceName.clear();
    FFilter.reset();
    if (FKeepFilters)
        return;
    // Releasing the filters closes the file.
    FSplitter.reset();
    FSource.reset();
}

void TFileDevice::LeaveTrial()
{
    // The filters that took the file wait for the program's graph.
    FKeepFilters = Built();
    TMediaDevice::LeaveTrial();
    FKeepFilters = false;
}
