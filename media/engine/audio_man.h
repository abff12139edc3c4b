#pragma once
// The audio manager: connects an audio stream of a file through the decoder
// its decoder manager picks and the resampler to the audio renderer, keeps
// the volume (0 to 10000) and the mute state, shows them on a gauge, a
// slider and a status picture, and reports the decoder, the format and the
// status through its events.
//
// The graph plays at volume 0 while muted and while the graph runs at its
// fast rate (sound four times too fast is noise); the volume shown and kept
// stays what the user set.
//
// GUI thread only; WM_AUDIODATA is posted from a streaming thread with a
// record that the handler copies at once.

#include "framework/actions/actions.h"
#include "framework/managers/action_component.h"
#include "framework/widgets/image_modules.h"
#include "media/engine/decoder_man.h"
#include "media/engine/media_devices.h"
#include "media/filters/resampler.h"
#include "media/parsers/media_records.h"

#include <QLabel>
#include <QPointer>
#include <QSlider>

#include <functional>
#include <memory>
#include <vector>

class TMorvekPreferences;
class TTextGauge;

enum TAudioStatus { asNoAudio, asErrorAudio, asBadAudio, asMuted, asAudioOn };

class TAudioMan : public TKvActionComponent
{
    Q_OBJECT
public:
    using TNotifyStringEvent = std::function<void(const QString& notifystring)>;
    using TErrorPanelEvent = std::function<QString()>;
    using TStatusEvent = std::function<void(TAudioStatus status)>;
    using TVolumeEvent = std::function<void(int vol)>;

    static constexpr int kMaxVolume = 10000;
    static constexpr int kVolumeStep = 1000;
    // The rate the resampler gives the renderer.
    static constexpr std::int32_t kOutputRate = 44100;

    explicit TAudioMan(QObject* owner = nullptr);
    ~TAudioMan() override;

    // The audio renderer; null when none could be made.
    IBaseFilter* Renderer() const { return FRenderer.get(); }
    TResampler* Resampler() const { return FResampler.get(); }

    // Connects the source's stream to the renderer; false for the
    // placeholder or null, for the source already connected and when the
    // stream does not connect.
    bool ConnectAudio(TAudioSource* source);
    void DisconnectAudio();
    bool AudioConnected() const { return FConnected; }
    TAudioSource* CurrentSource() const { return FCurrentSource; }
    TGrapheMan* SourceGraph() const { return FGraph.data(); }

    QList<TFilterRec*>& GetPreferredDecoders();
    // For a new file: the decoder search starts again.
    void ClearDecoders();
    TDecoderMan& Decoders() { return *FDecoders; }

    // The actions' values, then the audio decoder choices under
    // "AudioDecoders".
    bool LoadPrefs(TMorvekPreferences& gp);
    bool SavePrefs(TMorvekPreferences& gp);

    // Clamped to 0..10000, then applied to the graph and shown.
    void SetVolume(int volume);
    int Volume() const { return FVolume; }
    void SetMuted(bool muted);
    bool Muted() const { return FMuted; }
    TAudioStatus Status() const { return FStatus; }

    // Not owned. The gauge and the slider take the range 0..10000; the
    // picture and its list show the no-audio status when set.
    QSlider* AudioSlider() const { return FSlider; }
    void SetAudioSlider(QSlider* slider);
    TCustomImageList* AudioImages() const { return FImages; }
    void SetAudioImages(TCustomImageList* images);
    QLabel* AudioImage() const { return FImage; }
    void SetAudioImage(QLabel* image);
    TTextGauge* AudioGauge() const;
    void SetAudioGauge(TTextGauge* gauge);

    TNotifyStringEvent OnNotifyAudioDecoder;
    TNotifyStringEvent OnNotifyAudioFormat;
    // Published for the layout; nothing fires them.
    TErrorPanelEvent OnNoAudioStream;
    TErrorPanelEvent OnBadAudioStream;
    TStatusEvent OnStatus;
    TVolumeEvent OnVolume;

    TCheckAction* caMute = nullptr;
    TNopeAction* naNextDecoderAudio = nullptr;
    TNopeAction* naIncVolume = nullptr;
    TNopeAction* naDecVolume = nullptr;
    TIntegerAction* iaVolume = nullptr;

signals:
    // The decoder's name and the format's text, as the two handlers above
    // are told them (for those beside the one each serves).
    void AudioDecoderNotified(const QString& text);
    void AudioFormatNotified(const QString& text);

protected:
    void WndProc(TMessage& message) override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;
    void AssignEvents() override;

private:
    void SetStatus(TAudioStatus status);
    void ApplyVolume();
    // The volume the graph plays at now.
    int GraphVolume() const;
    void StepVolume(int delta);
    void NextDecoder();
    // Tells `event`'s handler, then `signal`'s subscribers.
    void Notify(const TNotifyStringEvent& event, void (TAudioMan::*signal)(const QString&), const QString& text);
    // Follows the rate, the pieces and the clearing of the graph the source
    // is built on.
    void SetSourceGraph(TGrapheMan* graph);
    // Lets go of the stream; `lost` when it went without this manager (its
    // pieces gone or out of the graph).
    void ReleaseAudio(bool lost);

    ComPtr<IBaseFilter> FResamplerFilter;
    QPointer<QSlider> FSlider;
    QPointer<TCustomImageList> FImages;
    QPointer<QLabel> FImage;
    QPointer<QWidget> FGauge;
    bool FMuted = false;
    int FVolume = 0;
    TAudioStatus FStatus = asNoAudio;
    std::unique_ptr<TDecoderMan> FDecoders;
    QPointer<TGrapheMan> FGraph;
    bool FConnected = false;
    ComPtr<IBaseFilter> FRenderer;
    TAudioSource* FCurrentSource;
    std::vector<QMetaObject::Connection> FGraphWatch;
    ComPtr<TResampler> FResampler;
    std::unique_ptr<TFilterRec> FResamplerRec;
    TImageModuleRef<TdmKvPackImages> FActionImages;
    TframeData FAudioData;
};

// The five status pictures in the order of TAudioStatus's images: no audio,
// bad audio, error, muted, sound on.
void FillAudioStatusImages(TCustomImageList& images);
