// A DV device: a source whose pin gives interleaved DV (as a DV camera or a
// type-1 DV file does) gets the DV notifier and the DV splitter below it,
// and the splitter's pins become the device's video and audio sources. No
// system filter offers such a pin for the generated clips, so a small
// source reads the raw DV clip frame by frame; it is chosen through the
// factory's source record like any other.

#include "engine_fixture.h"

#include "platform/core/class_registry.h"
#include "platform/graph/media_guids.h"
#include "tests/media/filters/notifier_chain.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace testing_engine;

namespace {

constexpr CLSID CLSID_InterleavedDVSource = "{4C1E0002-0000-4000-8000-0000000000D1}"_guid;
constexpr LONG kPalFrameBytes = 144'000;

class InterleavedDVSource final : public WithInterfaces<SourceFilter, IFileSourceFilter>
{
public:
    InterleavedDVSource() : WithInterfaces(CLSID_InterleavedDVSource, u"Interleaved DV") {}

    HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE*) override
    {
        QFile file(QString::fromUtf16(fileName));
        if (!file.open(QIODevice::ReadOnly))
            return E_FAIL;
        fileName_ = fileName;
        std::vector<QByteArray> frames;
        for (QByteArray frame; !(frame = file.read(kPalFrameBytes)).isEmpty();)
            if (frame.size() == kPalFrameBytes)
                frames.push_back(frame);
        if (frames.empty())
            return E_FAIL;
        addStream(
            std::make_unique<testing_filters::DVFramesStream>(this, testing_filters::dvDataType(), std::move(frames)));
        return S_OK;
    }
    HRESULT GetCurFile(std::u16string* fileName, AM_MEDIA_TYPE*) override
    {
        *fileName = fileName_;
        return S_OK;
    }

private:
    ~InterleavedDVSource() override = default;

    std::u16string fileName_;
};

} // namespace

TEST(DVDevice, InterleavedDVBecomesADVDeviceWithItsSources)
{
    registerClass(CLSID_InterleavedDVSource, makeCom<ClassFactory>([](REFIID riid, void** object) {
                      return makeCom<InterleavedDVSource>()->QueryInterface(riid, object);
                  }));
    Engine engine;
    TFilterRec record(CLSID_InterleavedDVSource, fkRegistered, QStringLiteral("Interleaved DV"));
    engine.factory->SetSourceFilter(&record);
    QTemporaryDir dir;
    // An extension whose first try is the chosen source.
    TFileDevice* device = engine.factory->GetFileDevice(copyClip(dir, "dv_pal.dv", QStringLiteral("camera.m2v")));
    ASSERT_TRUE(device && device->Built());
    EXPECT_EQ(device->DVCount(), 1);
    EXPECT_EQ(device->VideoCount(), 0);
    TMediaDevice* dv = device->DVDevice(0);
    ASSERT_TRUE(dv);
    EXPECT_EQ(dv->Name(), "camera.m2v");
    EXPECT_EQ(dv->VideoCount(), 1);
    EXPECT_EQ(dv->AudioCount(), 1);

    std::vector<QString> codes;
    engine.man->OnDVcode = [&](const QString&, const QString& time) { codes.push_back(time); };
    TVideoSource* video = engine.connectVideo(device, dv->VideoSource(0));
    ASSERT_TRUE(video);
    EXPECT_EQ(video->LastChunk(), device);
    EXPECT_TRUE(video->FromDVDevice());
    engine.man->SetDVCodeSource(video);
    engine.playToEnd();
    ASSERT_EQ(codes.size(), 75u);
    EXPECT_EQ(codes.front(), "10:20:30:05");
    EXPECT_TRUE(video->Notifier()->GetVideoData().description.startsWith(QStringLiteral("DV type 1")));

    engine.man->ClearGraph();
    EXPECT_TRUE(engine.man->Chunks(TGrapheMan::clDevices).isEmpty());
    unregisterClass(CLSID_InterleavedDVSource);
}
