#pragma once
// The DV manager adds the DV side to the graph manager: the frame data and
// scene messages of the notifiers arrive on its hidden window and become the
// events OnDVcode, OnSceneStart and OnSceneEnd. The frame data reaches every
// listener of DVcodeArrived too, beside the single handler.

#include "media/engine/graphe_man.h"
#include "media/filters/resampler.h"
#include "media/parsers/media_records.h"

#include <QImage>
#include <QList>
#include <QString>

class TVideoSource;

class TDVMan : public TGrapheMan
{
    Q_OBJECT
public:
    using TSceneEvent = std::function<void(const TframeData& aframeData)>;
    using TNavEvent = std::function<void()>;
    using TDVcodeEvent = std::function<void(const QString& aDateCodeStr, const QString& aTimecodeStr)>;

    explicit TDVMan(QObject* owner = nullptr);
    ~TDVMan() override;

    // The source whose frame data becomes OnDVcode; null for none.
    void SetDVCodeSource(TVideoSource* source);
    TVideoSource* DVCodeSource() const { return FDVCodeSource; }
    // The source whose scene breaks become OnSceneStart and OnSceneEnd.
    void SetSceneSource(TVideoSource* source);
    TVideoSource* SceneSource() const { return FSceneSource; }

    // The navigation switches frame data off around stops and precise seeks.
    bool FrameDataEnabled() const { return FFrameDataEnabled; }
    void SetFrameDataEnabled(bool on) { FFrameDataEnabled = on; }

    // Handed to the notifiers as they are attached. A scene parameter of 0
    // leaves the notifier's own default.
    QString DateFormat;
    std::int32_t MaxSceneSeconds = 0;
    std::int32_t MaxGapMs = 0;
    std::int32_t SceneDelayMs = 0;
    std::int32_t SceneOption = 0;

    // The resamplers that WM_RESAMPLERATE reaches.
    QList<ComPtr<TResampler>>& Resamplers() { return FResamplers; }
    // The picture the navigation hands out with a grab request.
    QImage& GrabBitmap() { return FGrabBitmap; }

    QString NoTimecodeStr;
    QString NoDatecodeStr;
    TSceneEvent OnSceneStart;
    TSceneEvent OnSceneEnd;
    TNavEvent OnNavStart;
    TNavEvent OnNavEnd;
    TDVcodeEvent OnDVcode;

signals:
    // The codes of each frame, as OnDVcode has them, right after it.
    void DVcodeArrived(const QString& aDateCodeStr, const QString& aTimecodeStr);

protected:
    void WndProc(TMessage& message) override;
    void AssignEvents() override;
    void CreateActions() override;
    void FindActions() override;
    void ForgetChunk(TGraphChunk* chunk) override;

private:
    QImage FGrabBitmap;
    TVideoSource* FDVCodeSource = nullptr;
    TVideoSource* FSceneSource = nullptr;
    bool FFrameDataEnabled = true;
    bool FDestroying = false;
    QList<ComPtr<TResampler>> FResamplers;
};
