#include "media/engine/media_factory.h"

#include "media/engine/private_filters.h"
#include "platform/filters/system_filters.h"

#include <QFileInfo>

#include <array>

TMediaFactory::TMediaFactory(QObject* owner)
    : QObject(owner), FDefaultSource(std::make_unique<TFilterRec>(CLSID_PreferredSource, fkRegistered,
                                                                  QStringLiteral("LAV Splitter Source"))),
      FFileSource(
          std::make_unique<TFilterRec>(CLSID_AsyncReader, fkRegistered, QStringLiteral("File Source (Async.)"))),
      FAviSplitter(std::make_unique<TFilterRec>(CLSID_AviSplitter, fkRegistered, QStringLiteral("AVI Splitter"))),
      FAsfReader(std::make_unique<TFilterRec>(CLSID_WMAsfReader, fkRegistered, QStringLiteral("WM ASF Reader"))),
      FWaveParser(std::make_unique<TFilterRec>(CLSID_WAVEParser, fkRegistered, QStringLiteral("Wave Parser"))),
      FMpeg2Splitter(
          std::make_unique<TFilterRec>(CLSID_MPEG2Splitter, fkRegistered, QStringLiteral("MPEG-2 Splitter"))),
      FMpeg1Splitter(
          std::make_unique<TFilterRec>(CLSID_MPEG1Splitter, fkRegistered, QStringLiteral("MPEG-I Stream Splitter"))),
      FSourceRec(FDefaultSource.get())
{
}

TMediaFactory::~TMediaFactory()
{
    FDevices.clear();
}

TFileDevice* TMediaFactory::GetFileDevice(const QString& fileName)
{
    if (!FGrapheMan)
        return nullptr;
    TFileDevice* device = nullptr;
    for (const auto& [name, cached] : FDevices)
        if (name == fileName)
            device = cached.get();
    if (!device) {
        FDevices.emplace_back(fileName, CreateFileDevice(fileName));
        device = FDevices.back().second.get();
    }
    device->SetGrapheMan(FGrapheMan);
    return device;
}

std::unique_ptr<TFileDevice> TMediaFactory::CreateFileDevice(const QString& fileName)
{
    using Try = std::pair<TFilterRec*, TFilterRec*>; // splitter, source
    static const QStringList mpegLike = {QStringLiteral(".mts"), QStringLiteral(".m2ts"), QStringLiteral(".mkv"),
                                         QStringLiteral(".mov"), QStringLiteral(".mp4"),  QStringLiteral(".3g2"),
                                         QStringLiteral(".ts"),  QStringLiteral(".mpg"),  QStringLiteral(".mpeg"),
                                         QStringLiteral(".m1v"), QStringLiteral(".mp2"),  QStringLiteral(".mpe"),
                                         QStringLiteral(".vob"), QStringLiteral(".m4v"),  QStringLiteral(".m2v")};
    const QString suffix = QFileInfo(fileName).suffix();
    const QString extension = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix.toLower();

    std::vector<Try> tries;
    if (mpegLike.contains(extension))
        tries = {{nullptr, FSourceRec},
                 {FMpeg2Splitter.get(), FFileSource.get()},
                 {FMpeg1Splitter.get(), FFileSource.get()}};
    else if (extension == QLatin1String(".avi") || extension == QLatin1String(".ivf"))
        tries = {{FAviSplitter.get(), FFileSource.get()}, {nullptr, FSourceRec}};
    else if (extension == QLatin1String(".wmv") || extension == QLatin1String(".asf"))
        tries = {{nullptr, FSourceRec}, {nullptr, FAsfReader.get()}};
    else if (extension == QLatin1String(".wav"))
        tries = {{FWaveParser.get(), FFileSource.get()}};
    else
        // The private splitter reads what the file source cannot name; without
        // its module the first try is the file source alone.
        tries = {{&PrivateFilterRecs().LAVSplitter, FFileSource.get()}, {nullptr, FFileSource.get()}};

    std::unique_ptr<TFileDevice> device;
    for (const auto& [splitter, source] : tries) {
        device.reset(); // a failed device goes before the next try
        device = std::make_unique<TFileDevice>(fileName, splitter, source);
        if (device->Built())
            break;
    }
    return device;
}

void TMediaFactory::SetSourceFilter(TFilterRec* record)
{
    FSourceRec = record && record->ClassId() != GUID_NULL ? record : FDefaultSource.get();
    FDevices.clear();
}
