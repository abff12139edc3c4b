#include "media/engine/dv_man.h"

#include "media/engine/media_devices.h"
#include "media/filters/notify_messages.h"

TDVMan::TDVMan(QObject* owner)
    : TGrapheMan(owner), NoTimecodeStr(QStringLiteral("NoTimecode")), NoDatecodeStr(QStringLiteral("No Datecode"))
{
}

TDVMan::~TDVMan()
{
    FDestroying = true;
    FFrameDataEnabled = false;
    SetDVCodeSource(nullptr);
    SetSceneSource(nullptr);
    FResamplers.clear();
}

void TDVMan::SetDVCodeSource(TVideoSource* source)
{
    if (FDVCodeSource)
        FDVCodeSource->StopFrameData();
    FDVCodeSource = source;
    if (!source)
        return;
    source->StartFrameData(Handle());
    if (!DateFormat.isEmpty())
        source->Notifier()->SetDateFormat(DateFormat);
}

void TDVMan::SetSceneSource(TVideoSource* source)
{
    if (FSceneSource)
        FSceneSource->Notifier()->SetNotifyScenes(false);
    FSceneSource = source;
    if (!source)
        return;
    TVideoNotifier* notifier = source->Notifier();
    source->SetSceneWindow(Handle());
    // Zero means "not set here": the notifier keeps its own values rather
    // than cutting a scene at every frame.
    if (MaxSceneSeconds > 0)
        notifier->SetMaxSceneLength(MaxSceneSeconds);
    if (MaxGapMs > 0)
        notifier->SetMaxGap(MaxGapMs);
    if (SceneDelayMs > 0)
        notifier->SetSceneDelay(SceneDelayMs);
    notifier->SetSceneOption(SceneOption);
}

void TDVMan::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_FRAMEDATA: {
        const auto* frame = reinterpret_cast<const TframeData*>(message.LParam);
        if (!frame || !FFrameDataEnabled)
            break;
        const QString date = frame->dateValid ? frame->dateText : NoDatecodeStr;
        const QString time = frame->timecodeValid ? frame->timecodeText : NoTimecodeStr;
        if (OnDVcode)
            OnDVcode(date, time);
        emit DVcodeArrived(date, time);
        break;
    }
    case WM_SCENE: {
        const auto* frame = reinterpret_cast<const TframeData*>(message.WParam);
        if (!frame || FDestroying)
            break;
        if (message.LParam == kSceneStart && OnSceneStart)
            OnSceneStart(*frame);
        else if (message.LParam == kSceneEnd && OnSceneEnd)
            OnSceneEnd(*frame);
        break;
    }
    case WM_RESAMPLERATE: {
        const auto* rates = reinterpret_cast<const std::int32_t*>(message.WParam);
        if (rates)
            for (const ComPtr<TResampler>& resampler : FResamplers)
                resampler->SetRatePair(rates[0], rates[1]);
        break;
    }
    default:
        TGrapheMan::WndProc(message);
    }
}

void TDVMan::AssignEvents()
{
    TGrapheMan::AssignEvents();
}

void TDVMan::CreateActions()
{
    TGrapheMan::CreateActions();
}

void TDVMan::FindActions()
{
    TGrapheMan::FindActions();
}

void TDVMan::ForgetChunk(TGraphChunk* chunk)
{
    TGrapheMan::ForgetChunk(chunk);
    if (chunk && chunk == FDVCodeSource)
        FDVCodeSource = nullptr;
    if (chunk && chunk == FSceneSource)
        FSceneSource = nullptr;
}
