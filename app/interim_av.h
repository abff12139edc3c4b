#pragma once
// The video and audio managers as far as the main window needs them while the
// media engine's own managers are being written: connecting the first video
// stream through a decoder to the renderer, with the frames notifier wired to
// the navigation manager, and the first sound stream to the audio renderer,
// with volume and mute. They answer to the same names and calls as the
// engine's managers, so that the window needs no change when those take over.

#include "framework/actions/actions.h"
#include "framework/managers/action_component.h"
#include "media/engine/decoder_man.h"
#include "media/engine/media_devices.h"
#include "media/engine/windowless_man.h"
#include "media/filters/frames_notifier.h"

#include <functional>
#include <memory>

class TMorvekPreferences;
class TNavMan;
class TTextGauge;

namespace interim_av {

using TNotifyStringEvent = std::function<void(const QString& notifystring)>;

class TVideoMan : public TWindowLessMan
{
    Q_OBJECT
public:
    explicit TVideoMan(QObject* owner = nullptr);
    ~TVideoMan() override;

    TNotifyStringEvent OnNotifyVideoDecoder;
    TNotifyStringEvent OnNotifyVideoFormat;

    // True when the stream reaches the renderer through a decoder.
    bool ConnectVideo(TVideoSource* source);
    void DisconnectVideoDevice(bool showNotice);
    // Subtitle streams need the subtitle filter, which is not here yet.
    bool ConnectSubtitleSource(TSubtitleSource* source);
    void RemoveSubtitleSource();
    void ClearDecoders();
    void LoadPrefs(TMorvekPreferences& gp);
    void SavePrefs(TMorvekPreferences& gp);

    TVideoSource* CurrentSource() const { return FSource; }
    TFramesNotifier* FramesNotifier() const { return FFrames.get(); }

    TNopeAction* naNextDecoderVideo = nullptr;

protected:
    void WndProc(TMessage& message) override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;
    void AssignEvents() override;

private:
    void Notify(const TNotifyStringEvent& event, const QString& text) const;

    TDecoderMan FDecoders;
    ComPtr<TFramesNotifier> FFrames;
    std::unique_ptr<TFilterRec> FFramesRec;
    TVideoSource* FSource;
    TNavMan* FNav = nullptr;
};

class TAudioMan : public TKvActionComponent
{
    Q_OBJECT
public:
    explicit TAudioMan(QObject* owner = nullptr);
    ~TAudioMan() override;

    TNotifyStringEvent OnNotifyAudioDecoder;
    TNotifyStringEvent OnNotifyAudioFormat;

    bool ConnectAudio(TAudioSource* source);
    void DisconnectAudio();
    void ClearDecoders();
    void LoadPrefs(TMorvekPreferences& gp);
    void SavePrefs(TMorvekPreferences& gp);

    // 0..10000; applied to the graph (0 while muted) and shown on the gauge.
    int Volume() const { return FVolume; }
    void SetVolume(int volume);
    void SetAudioGauge(TTextGauge* gauge);

    TAudioSource* CurrentSource() const { return FSource; }

    TCheckAction* caMute = nullptr;
    TNopeAction* naNextDecoderAudio = nullptr;
    TNopeAction* naIncVolume = nullptr;
    TNopeAction* naDecVolume = nullptr;
    TIntegerAction* iaVolume = nullptr;

protected:
    void WndProc(TMessage& message) override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;
    void AssignEvents() override;

private:
    void ApplyVolume();
    void Notify(const TNotifyStringEvent& event, const QString& text) const;

    TDecoderMan FDecoders;
    ComPtr<IBaseFilter> FRenderer;
    TAudioSource* FSource;
    TGrapheMan* FGraph = nullptr;
    QPointer<TTextGauge> FGauge;
    bool FMuted = false;
    int FVolume = 5000;
};

} // namespace interim_av
