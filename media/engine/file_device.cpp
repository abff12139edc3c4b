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
    if (!FGraph || !FSourceRec || FSourceRec->ClassId() == GUID_NULL)
        return false;
    // Folders and other things that are not files are nothing to play,
    // whatever a source would make of them.
    if (!QFileInfo(FFileName).isFile())
        return false;
    IGraphBuilder* builder = FGraph->GraphBuilder();
    FSource = FSourceRec->CreateFilter();
    const auto loader = FSource.as<IFileSourceFilter>();
    if (!loader || FAILED(loader->Load(FFileName.toStdU16String().c_str(), nullptr)) ||
        FAILED(AddFilterNamed(builder, FSource.get(), FSourceRec->Name(), &FSourceName)))
        return false;
    if (FSplitterRec) {
        // A splitter that cannot be made leaves the source alone.
        FSplitter = FSplitterRec->CreateFilter();
        if (FSplitter) {
            const ComPtr<IPin> output = firstPin(FSource.get(), PINDIR_OUTPUT);
            const ComPtr<IPin> input = firstPin(FSplitter.get(), PINDIR_INPUT);
            if (FAILED(AddFilterNamed(builder, FSplitter.get(), FSplitterRec->Name())) || !output || !input ||
                FAILED(builder->ConnectDirect(output.get(), input.get(), nullptr)))
                return false;
        }
    }
    // The streams come out of the splitter when there is one.
    FFilter = FSplitter ? FSplitter : FSource;
    return true;
}

void TFileDevice::Unbuild()
{
    if (FGraph && FGraph->GraphBuilder()) {
        if (FSplitter)
            FGraph->GraphBuilder()->RemoveFilter(FSplitter.get());
        if (FSource)
            FGraph->GraphBuilder()->RemoveFilter(FSource.get());
    }
    // Releasing the filters closes the file.
    FSplitter.reset();
    FSource.reset();
    FSourceName.clear();
    FFilter.reset();
}
