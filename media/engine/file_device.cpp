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
    ReleaseFilters();
}

void TFileDevice::ReleaseFilters()
{
    // Filters kept from the trial hold each other through their connection
    // until it is broken.
    if (FSource && FSplitter) {
        const ComPtr<IPin> output = firstPin(FSource.get(), PINDIR_OUTPUT);
        if (const ComPtr<IPin> input = output ? peerOf(output.get()) : nullptr) {
            input->Disconnect();
            output->Disconnect();
        }
    }
    // Releasing the filters closes the file.
    FSplitter.reset();
    FSource.reset();
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
        // Filters that come from the trial come connected: the splitter has
        // read the file already.
        if (FAILED(AddFilterNamed(builder, FSplitter.get(), FSplitterRec->Name())) || !output || !input ||
            (peerOf(output.get()) != input && FAILED(builder->ConnectDirect(output.get(), input.get(), nullptr))))
            return false;
    }
    // The streams come out of the splitter when there is one.
    FFilter = FSplitter ? FSplitter : FSource;
    return true;
}

void TFileDevice::Unbuild()
{
    IGraphBuilder* builder = Builder();
    const auto transfer = ComPtr<IGraphBuilder>(builder).as<IFilterGraphTransfer>();
    if (FKeepFilters && transfer && FSource) {
        // Leaving the trial: source and splitter go on together, still
        // connected, so that the splitter keeps what it read.
        IBaseFilter* const filters[] = {FSource.get(), FSplitter.get()};
        transfer->TakeOutFilters(filters, FSplitter ? 2 : 1);
    } else if (builder) {
        if (FSplitter)
            builder->RemoveFilter(FSplitter.get());
        if (FSource)
            builder->RemoveFilter(FSource.get());
    }
    FSourceName.clear();
    FFilter.reset();
    if (!FKeepFilters)
        ReleaseFilters();
}

void TFileDevice::LeaveTrial()
{
    // The filters that took the file wait for the program's graph.
    FKeepFilters = Built();
    TMediaDevice::LeaveTrial();
    FKeepFilters = false;
}
