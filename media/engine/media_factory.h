#pragma once
// The media factory chooses the source filter and splitter of a file by its
// extension and keeps one file device per file name.

#include "media/engine/file_device.h"
#include "media/engine/filter_rec.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

class TMediaFactory : public QObject
{
    Q_OBJECT
public:
    explicit TMediaFactory(QObject* owner = nullptr);
    ~TMediaFactory() override;

    // The graph manager whose graph the devices are built on; forgotten
    // when it goes.
    TGrapheMan* GrapheMan() const { return FGrapheMan.data(); }
    void SetGrapheMan(TGrapheMan* manager) { FGrapheMan = manager; }

    // The device of a file, made on first asking and kept; null without a
    // graph manager. A device that no source took is returned too, with
    // Built() false.
    TFileDevice* GetFileDevice(const QString& fileName);
    // Tries the sources that the file's extension calls for, in order; the
    // last device tried is returned even when it failed.
    std::unique_ptr<TFileDevice> CreateFileDevice(const QString& fileName);

    // The source filter to prefer: null or a record without a class id
    // selects the default. The devices made so far are dropped.
    void SetSourceFilter(TFilterRec* record);
    TFilterRec* SourceFilter() const { return FSourceRec; }

    // The records the factory tries.
    TFilterRec* DefaultSourceRec() const { return FDefaultSource.get(); }
    TFilterRec* FileSourceRec() const { return FFileSource.get(); }
    TFilterRec* AviSplitterRec() const { return FAviSplitter.get(); }
    TFilterRec* AsfReaderRec() const { return FAsfReader.get(); }
    TFilterRec* WaveParserRec() const { return FWaveParser.get(); }
    TFilterRec* Mpeg2SplitterRec() const { return FMpeg2Splitter.get(); }
    TFilterRec* Mpeg1SplitterRec() const { return FMpeg1Splitter.get(); }

private:
    QPointer<TGrapheMan> FGrapheMan;
    std::unique_ptr<TFilterRec> FDefaultSource;
    std::unique_ptr<TFilterRec> FFileSource;
    std::unique_ptr<TFilterRec> FAviSplitter;
    std::unique_ptr<TFilterRec> FAsfReader;
    std::unique_ptr<TFilterRec> FWaveParser;
    std::unique_ptr<TFilterRec> FMpeg2Splitter;
    std::unique_ptr<TFilterRec> FMpeg1Splitter;
    TFilterRec* FSourceRec;
    // Last, so that the devices go before the records they use.
    std::vector<std::pair<QString, std::unique_ptr<TFileDevice>>> FDevices;
};
