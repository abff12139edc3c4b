#include "media/engine/nav_man.h"

#include "framework/managers/shortcuts.h"
#include "media/engine/media_devices.h"
#include "media/filters/notify_messages.h"
#include "platform/graph/media_guids.h"
#include "platform/win/messages.h"
#include "platform/win/shell.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <tuple>

namespace {

constexpr REFERENCE_TIME kSecond = 10'000'000;
constexpr REFERENCE_TIME kTenSeconds = 10 * kSecond;
constexpr REFERENCE_TIME kMinute = 60 * kSecond;
constexpr REFERENCE_TIME kTenMinutes = 10 * kMinute;
constexpr REFERENCE_TIME kUnitsPerMs = 10'000;
constexpr int kDefaultPrerollMs = 1000;

const QColor kSeekingColour(0xC0, 0xC0, 0xC0);
const QColor kPausedColour(0x00, 0xFF, 0x00);

int sliderValue(REFERENCE_TIME position)
{
    return static_cast<int>(
        std::clamp<REFERENCE_TIME>(position / TNavMan::kSliderUnit, 0, std::numeric_limits<int>::max()));
}

// A navigation action: its identity and how it shows.
struct NopeRow
{
    TNopeAction* TNavMan::*action;
    const char* id;
    const char* scriptName;
    QKeySequence key;
    int image;
    const char* caption;
    const char* hint;
};

const std::vector<NopeRow>& nopeRows()
{
    namespace K = KvPackImage;
    static const std::vector<NopeRow> rows{
        {&TNavMan::naReculeDebut, "naReculeDebut", "ReculeDebut", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Home),
         K::Start, "Start", "Go back to start"},
        {&TNavMan::naReculeTrack, "naReculeTrack", "ReculeTrack", QKeySequence(Qt::CTRL | Qt::Key_Home), K::Start, "",
         "Go back to the previous scene\r\nor keep pressing Shift to go back to Start"},
        {&TNavMan::naRecule10Minutes, "naRecule10Minutes", "Recule10Minutes",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageDown), -1, "", "Go back ten minutes"},
        {&TNavMan::naReculeMinute, "naReculeMinute", "ReculeMinute", QKeySequence(Qt::CTRL | Qt::Key_PageDown),
         K::BackMinute, "", "Go back one minute"},
        {&TNavMan::naReculeHigh, "naReculeHigh", "ReculeHigh", QKeySequence(), K::BackMinute, "",
         "Go back one minute\r\nor hold Shift to Go back 10 minutes"},
        {&TNavMan::naRecule10Secondes, "naRecule10Secondes", "Recule10Secondes",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down), -1, "", "Go back ten seconds"},
        {&TNavMan::naReculeSeconde, "naReculeSeconde", "ReculeSeconde", QKeySequence(Qt::CTRL | Qt::Key_Down),
         K::BackSecond, "", "Go back one second"},
        {&TNavMan::naReculeMedium, "naReculeMedium", "ReculeMedium", QKeySequence(), K::BackSecond, "",
         "Go back one second\r\nor hold Shift to Go back ten seconds"},
        {&TNavMan::naRecule10Frames, "naRecule10Frames", "Recule10Frames",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left), -1, "", "Go back ten frames"},
        {&TNavMan::naReculeFrame, "naReculeFrame", "ReculeFrame", QKeySequence(Qt::CTRL | Qt::Key_Left), K::BackFrame,
         "", "Go back one frame"},
        {&TNavMan::naReculeLow, "naReculeLow", "ReculeLow", QKeySequence(), K::BackFrame, "",
         "Go back one frame\r\nor hold Shift to Go back ten frames"},
        {&TNavMan::naAvanceFin, "naAvanceFin", "AvanceFin", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_End), K::End,
         "End", "Click to go to the end"},
        {&TNavMan::naAvanceTrack, "naAvanceTrack", "AvanceTrack", QKeySequence(Qt::CTRL | Qt::Key_End), K::End,
         "Next scene", "Click to advance to the next Scene.\r\nIf you hold Shift you will advance to the End"},
        {&TNavMan::naAvance10Minutes, "naAvance10Minutes", "Avance10Minutes",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_PageUp), -1, "Go forward ten minutes",
         "Click to skip forward ten minutes"},
        {&TNavMan::naAvanceMinute, "naAvanceMinute", "AvanceMinute", QKeySequence(Qt::CTRL | Qt::Key_PageUp),
         K::ForwardMinute, "Go forward one minute", "Click to skip forward one minute"},
        {&TNavMan::naAvanceHigh, "naAvanceHigh", "AvanceHigh", QKeySequence(), K::ForwardMinute,
         "Go forward one or ten minutes",
         "Click to go forward one minute.\r\nIf you hold Shift you will advance ten minutes"},
        {&TNavMan::naAvance10Secondes, "naAvance10Secondes", "Avance10Secondes",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up), -1, "Go forward ten seconds",
         "Click to skip forward ten seconds"},
        {&TNavMan::naAvanceSeconde, "naAvanceSeconde", "AvanceSeconde", QKeySequence(Qt::CTRL | Qt::Key_Up),
         K::ForwardSecond, "Go forward one second", "Click to go forward one second"},
        {&TNavMan::naAvanceMedium, "naAvanceMedium", "AvanceMedium", QKeySequence(), K::ForwardSecond,
         "Go forward one or ten seconds",
         "Click to go forward one second.\r\nIf you hold Shift you will advance ten seconds"},
        {&TNavMan::naAvance10Frames, "naAvance10Frames", "Avance10Frames",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right), -1, "Go forward ten frames",
         "Click to move forward ten frames"},
        {&TNavMan::naAvanceFrame, "naAvanceFrame", "AvanceFrame", QKeySequence(Qt::CTRL | Qt::Key_Right),
         K::ForwardFrame, "Move forward one frame", "Click to move forward one frame"},
        {&TNavMan::naAvanceLow, "naAvanceLow", "AvanceLow", QKeySequence(), K::ForwardFrame,
         "Go forward one or ten frames",
         "Click to move forward one frame.\r\nIf you hold Shift you will advance ten frames"},
    };
    return rows;
}

struct CheckRow
{
    TCheckAction* TNavMan::*action;
    const char* id;
    const char* scriptName;
    QKeySequence key;
    int trueImage;
    int falseImage;
    const char* trueCaption;
    const char* falseCaption;
    const char* trueHint;
    const char* falseHint;
    bool applyWhenLoad;
};

const std::vector<CheckRow>& checkRows()
{
    static const std::vector<CheckRow> rows{
        {&TNavMan::caPlay, "caPlay", "Play", QKeySequence(Qt::CTRL | Qt::Key_Space), KvPackImage::Pause,
         KvPackImage::Play, "Pause", "Play", "Set Pause", "Play the video and/or audio stream", false},
        {&TNavMan::caVitesseCompatible, "caVitesseCompatible", "VitesseCompatible", QKeySequence(Qt::CTRL | Qt::Key_B),
         -1, -1, "Compatible Speed", "Normal Speed", "Play the video at maximum speed compatible with CPU resources",
         "Play the video at normal speed", true},
        {&TNavMan::caSeekPrecision, "caSeekPrecision", "SeekPrecision", QKeySequence(), -1, -1, "Normal navigation",
         "Precise Navigation", "Click to remove precise navigation", "Click to activate precise navigation", true},
    };
    return rows;
}

} // namespace

TNavBar::TNavBar(QWidget* parent) : QWidget(parent), tb(new QSlider(Qt::Horizontal, this))
{
    const auto button = [this] { return new TKvImgSpeedButton(this); };
    ReculeTrackBtn = button();
    ReculeHighBtn = button();
    ReculeMediumBtn = button();
    ReculeLowBtn = button();
    PlayBtn = button();
    AvanceLowBtn = button();
    AvanceMediumBtn = button();
    AvanceHighBtn = button();
    AvanceTrackBtn = button();
    CurrentEdit = new QLineEdit(this);
    DureeLab = new QLabel(this);
    // The position and the duration take the room of the longest time code
    // of a video of less than ten hours.
    const int timeCode = fontMetrics().horizontalAdvance(QStringLiteral("0:00:00:00")) + 12;
    CurrentEdit->setFixedWidth(timeCode);
    DureeLab->setMinimumWidth(timeCode);
    DureeLab->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The position slider between the two times, the buttons under them:
    // the bar fits a narrow video column.
    auto* times = new QHBoxLayout;
    times->addWidget(CurrentEdit);
    times->addWidget(tb, 1);
    times->addWidget(DureeLab);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    buttons->addStretch();
    for (QWidget* w :
         std::initializer_list<QWidget*>{ReculeTrackBtn, ReculeHighBtn, ReculeMediumBtn, ReculeLowBtn, PlayBtn,
                                         AvanceLowBtn, AvanceMediumBtn, AvanceHighBtn, AvanceTrackBtn})
        buttons->addWidget(w);
    buttons->addStretch();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 2, 0, 2);
    column->setSpacing(2);
    column->addLayout(times);
    column->addLayout(buttons);
}

TNavMan::TNavMan(QObject* owner) : TDVMan(owner)
{
    SetImages(&FImages->ilKvPack);
    ShiftDown = [] { return GetKeyState(VK_SHIFT) < 0; };
}

TNavMan::~TNavMan()
{
    SetPositionEdit(nullptr);
    SetSlider(nullptr);
    SetImages(nullptr);
}

// --- graph control -------------------------------------------------------------

bool TNavMan::Play()
{
    return TDVMan::Play();
}

bool TNavMan::Pause()
{
    return TDVMan::Pause();
}

bool TNavMan::Stop()
{
    if (!FFramesNotifier)
        return TDVMan::Stop();
    const bool text = FFramesNotifier->textMessages();
    const bool positions = FFramesNotifier->positionMessages();
    const bool frameData = FrameDataEnabled();
    FFramesNotifier->SetTextMessages(false);
    FFramesNotifier->SetPositionMessages(false);
    SetFrameDataEnabled(false);
    ProcessMessages();
    const bool ok = TDVMan::Stop();
    FFramesNotifier->SetTextMessages(text);
    FFramesNotifier->SetPositionMessages(positions);
    SetFrameDataEnabled(frameData);
    return ok;
}

// --- positions -----------------------------------------------------------------

REFERENCE_TIME TNavMan::GetPosition()
{
    REFERENCE_TIME position = 0;
    if (FFramesNotifier)
        position = FFramesNotifier->currentPosition();
    else if (!MediaSeeking() || FAILED(MediaSeeking()->GetCurrentPosition(&position)))
        return 0;
    // The text follows from the frame duration and the position alone: a
    // step asks for the position it stands on before it moves.
    const std::pair told{FFrameDuration, position};
    if (FLastPositionTold == told)
        return position;
    FLastPositionTold = told;
    const QString text = RefTimeToTimecodeStr(FFrameDuration, position);
    if (text != FLastPositionText) {
        FLastPositionText = text;
        if (FSliderUpdate && FSlider) {
            const QSignalBlocker quiet(FSlider);
            FSlider->setValue(sliderValue(position));
        }
        if (OnKPosition) {
            // A video whose start is its end has no range to place it in.
            const REFERENCE_TIME range = FEndPosition - FStartPosition;
            OnKPosition(range > 0 ? static_cast<int>((position - FStartPosition) * kKPositionRange / range) : 0);
        }
    }
    return position;
}

void TNavMan::SeekTo(bool wait, REFERENCE_TIME target)
{
    if (FSeekGuard)
        return;
    FSeekGuard = true;
    if (!FResyncGuard)
        ShowSeeking(true);
    // The end is where the last frame starts.
    target = std::max(std::min(target, FEndPosition), FStartPosition);

    const int state = GraphState();
    TGrapheMan::Pause();
    if (onAbsolutePosition)
        onAbsolutePosition(target);
    // Frames still on their way from the run would report their positions.
    const bool text = FFramesNotifier && FFramesNotifier->textMessages();
    if (FFramesNotifier && state == kGraphStatePlaying)
        FFramesNotifier->SetTextMessages(false);
    if (wait && state == kGraphStatePaused && StepToNextFrame(target)) {
        WaitFilterState();
        // A next frame that is not the target (a stream whose frames do not
        // follow at the frame duration, or its end) is corrected by a seek.
        if (FFramesNotifier->currentPosition() != target) {
            SetMediaPosition(target);
            WaitFilterState();
        }
    } else {
        SetMediaPosition(target);
        if (wait)
            WaitFilterState();
    }
    if (FFramesNotifier && state == kGraphStatePlaying)
        FFramesNotifier->SetTextMessages(text);

    if (!FResyncGuard)
        ShowSeeking(false);
    FSeekGuard = false;
}

bool TNavMan::StepToNextFrame(REFERENCE_TIME target)
{
    // The renderer holds the last picture the frames notifier let through,
    // so the notifier's position is the frame shown, unless it holds
    // pictures back.
    TFramesNotifier* frames = FFramesNotifier.get();
    if (!frames || FFrameDuration <= 1 || target != frames->currentPosition() + FFrameDuration ||
        !frames->deliverSamples() || !frames->targetText().isEmpty())
        return false;
    for (int i = 0; i < TFramesNotifier::kTargets; ++i)
        if (frames->targetArmed(i) && frames->targetPosition(i) != target)
            return false;
    IMediaFilter* renderer = WaitFilter();
    const auto step = ComPtr<IGraphBuilder>(GraphBuilder()).as<IVideoFrameStep>();
    return renderer && step && step->Step(1, renderer) == S_OK;
}

bool TNavMan::SeeksExactly() const
{
    DWORD capabilities = 0;
    return MediaSeeking() && SUCCEEDED(MediaSeeking()->GetCapabilities(&capabilities)) &&
           (capabilities & AM_SEEKING_FrameAccurate);
}

void TNavMan::SetMediaPosition(REFERENCE_TIME target)
{
    IMediaSeeking* seeking = MediaSeeking();
    if (!seeking || FAILED(seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME)))
        return;
    DWORD capabilities = 0;
    if (seeking->GetCapabilities(&capabilities) == E_FAIL || !(capabilities & AM_SEEKING_CanSeekAbsolute))
        return;
    LONGLONG stop = std::numeric_limits<LONGLONG>::max();
    seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning);
}

void TNavMan::ShowSeeking(bool seeking)
{
    if (FPositionEdit) {
        QFont font = FPositionEdit->font();
        font.setItalic(seeking);
        FPositionEdit->setFont(font);
        QPalette palette = FPositionEdit->palette();
        palette.setColor(QPalette::Text, seeking ? kSeekingColour : QColor(Qt::black));
        FPositionEdit->setPalette(palette);
    }
    const TDisplayEvent& event = seeking ? OnDisplaySeek : OnDisplayNormal;
    if (event)
        event();
}

void TNavMan::PreciseSeekTo(REFERENCE_TIME target)
{
    if (target == 0) {
        ReculeDebut();
        return;
    }
    // Without a notifier nothing holds back the frames before the target.
    if (!FFramesNotifier) {
        SeekTo(true, target);
        return;
    }
    if (target >= FDuration - FFrameDuration) {
        AvanceFin();
        return;
    }
    FSavedState = GraphState();
    FFramesNotifier->SetTextMessages(false);
    FFramesNotifier->SetPositionMessages(false);
    FFramesNotifier->SetTargetWindow(0, Handle());
    FFramesNotifier->SetTarget(0, target);
    FFramesNotifier->SetTargetReached(false);
    // A source that lands on the frame asked for needs no run-up; another
    // starts a pre-roll earlier and the notifier holds back what comes
    // before the target.
    SeekTo(true, SeeksExactly() ? target : target - FPreroll);
    if (FSavedState == kGraphStatePlaying)
        Play();
    else
        TGrapheMan::Pause();
    FFramesNotifier->SetTextMessages(true);
    FFramesNotifier->SetPositionMessages(true);
    SetFrameDataEnabled(true);
}

void TNavMan::ReculeDebut()
{
    SeekTo(true, FStartPosition);
}

void TNavMan::AvanceFin()
{
    SeekTo(true, FEndPosition);
}

void TNavMan::StepForward(REFERENCE_TIME delta)
{
    if (FStepGuard)
        return;
    FStepGuard = true;
    GoTo(std::max(std::min(GetPosition() + delta, FEndPosition), FStartPosition));
    FStepGuard = false;
}

void TNavMan::StepBack(REFERENCE_TIME delta)
{
    if (FStepGuard)
        return;
    FStepGuard = true;
    GoTo(std::max(GetPosition() - delta, FStartPosition));
    FStepGuard = false;
}

void TNavMan::PrevScene()
{
    if (!FScenes || FFrameDuration <= 0) {
        ReculeDebut();
        return;
    }
    const auto frame = static_cast<std::int32_t>(GetPosition() / FFrameDuration);
    PreciseSeekTo(REFERENCE_TIME{FScenes->PrevSceneStart(frame)} * FFrameDuration);
}

void TNavMan::NextScene()
{
    if (!FScenes || FFrameDuration <= 0) {
        AvanceFin();
        return;
    }
    const auto frame = static_cast<std::int32_t>(GetPosition() / FFrameDuration);
    const auto total = static_cast<std::int32_t>(FDuration / FFrameDuration);
    PreciseSeekTo(REFERENCE_TIME{FScenes->NextSceneStart(frame, total)} * FFrameDuration);
}

void TNavMan::SetStrPosition(const QString& text)
{
    GoTo(TimecodeStrToRefTime(text, FFrameDuration));
}

void TNavMan::GoTo(REFERENCE_TIME target)
{
    if (caSeekPrecision && caSeekPrecision->Checked())
        PreciseSeekTo(target);
    else
        SeekTo(true, target);
}

QString TNavMan::GetStrPosition()
{
    return RefTimeToTimecodeStr(FFrameDuration, GetPosition());
}

void TNavMan::ResyncPreciseSeek()
{
    if (FResyncGuard)
        return;
    FResyncGuard = true;
    if (GraphState() == kGraphStatePaused && FFramesNotifier)
        PreciseSeekTo(FFramesNotifier->currentPosition());
    FResyncGuard = false;
}

void TNavMan::RefreshCurrentFrame()
{
    if (!FFramesNotifier)
        return;
    FFramesNotifier->SetTargetText(GetStrPosition());
    ResyncPreciseSeek();
    ResyncPreciseSeek();
    FFramesNotifier->SetTargetText(QString());
}

// --- the video -----------------------------------------------------------------

void TNavMan::InitDuration()
{
    LONGLONG duration = 0;
    if (!MediaSeeking() || FAILED(MediaSeeking()->GetDuration(&duration)))
        duration = 0;
    FDuration = duration;
    FStartPosition = 0;
    SetFrameDuration(1);
    ClearCompleted();
    FStepGuard = false;
    FSeekGuard = false;
}

void TNavMan::SetFrameDuration(REFERENCE_TIME duration)
{
    if (duration == 0)
        return;
    FFrameDuration = duration;
    if (FFramesNotifier)
        FFramesNotifier->SetFrameDuration(duration);
    FEndPosition = FDuration - FFrameDuration;
    const QString text = RefTimeToTimecodeStr(FFrameDuration, FDuration);
    if (FNavBar)
        FNavBar->DureeLab->setText(text);
    if (OnDuration)
        OnDuration(text);
    emit DurationChanged(text);
    SetSliderRange(FStartPosition, FDuration);
}

void TNavMan::SetSliderRange(REFERENCE_TIME first, REFERENCE_TIME last)
{
    if (!FSlider)
        return;
    // A range that shrinks below the value moves the value; that move is no
    // user's and must not seek.
    const QSignalBlocker quiet(FSlider);
    FSlider->setRange(sliderValue(first), sliderValue(last));
}

void TNavMan::SetFrameSource(TVideoSource* source)
{
    if (FFrameSource)
        FFrameSource->ClearFrameWindow();
    FFrameSource = source;
    if (source)
        source->SetFrameWindow(Handle());
}

void TNavMan::SetFramesNotifier(TFramesNotifier* notifier)
{
    FFramesNotifier = ComPtr<TFramesNotifier>(notifier);
    if (notifier && FFrameDuration > 0)
        notifier->SetFrameDuration(FFrameDuration);
}

void TNavMan::ForgetChunk(TGraphChunk* chunk)
{
    TDVMan::ForgetChunk(chunk);
    if (chunk && chunk == FFrameSource)
        FFrameSource = nullptr;
}

// --- the position edit and the slider ------------------------------------------

void TNavMan::SetPositionEdit(QLineEdit* edit)
{
    if (FPositionEdit)
        FPositionEdit->removeEventFilter(this);
    FPositionEdit = edit;
    FEditAttached = true;
    FEditUpdate = edit != nullptr;
    if (edit)
        edit->installEventFilter(this);
}

void TNavMan::SetSlider(QSlider* slider)
{
    if (FSlider)
        FSlider->disconnect(this);
    FSlider = slider;
    FSliderUpdate = false;
    if (!slider)
        return;
    SetSliderRange(FStartPosition, FEndPosition);
    FSliderUpdate = true;
    connect(slider, &QSlider::valueChanged, this, [this](int value) { SeekTo(true, value * kSliderUnit); });
    connect(slider, &QSlider::sliderPressed, this, [this] { FSliderUpdate = false; });
    connect(slider, &QSlider::sliderReleased, this, [this] { FSliderUpdate = true; });
}

void TNavMan::SetNavBar(TNavBar* bar)
{
    FNavBar = bar;
    if (bar && caPlay)
        WireNavBar();
}

void TNavMan::WireNavBar()
{
    const std::pair<TKvImgSpeedButton*, TTntCustomAction*> buttons[] = {
        {FNavBar->ReculeTrackBtn, naReculeDebut},   {FNavBar->ReculeHighBtn, naReculeHigh},
        {FNavBar->ReculeMediumBtn, naReculeMedium}, {FNavBar->PlayBtn, caPlay},
        {FNavBar->ReculeLowBtn, naReculeLow},       {FNavBar->AvanceLowBtn, naAvanceLow},
        {FNavBar->AvanceTrackBtn, naAvanceFin},     {FNavBar->AvanceHighBtn, naAvanceHigh},
        {FNavBar->AvanceMediumBtn, naAvanceMedium},
    };
    for (const auto& [button, action] : buttons)
        button->SetAction(action);
    // The High, Medium and Low buttons show their own action but a click runs
    // the one-step action, or the ten-step one with Shift, so that a recorded
    // macro names the move that was made.
    const std::tuple<TKvImgSpeedButton*, TNopeAction*, TNopeAction*> steps[] = {
        {FNavBar->ReculeHighBtn, naReculeMinute, naRecule10Minutes},
        {FNavBar->ReculeMediumBtn, naReculeSeconde, naRecule10Secondes},
        {FNavBar->ReculeLowBtn, naReculeFrame, naRecule10Frames},
        {FNavBar->AvanceLowBtn, naAvanceFrame, naAvance10Frames},
        {FNavBar->AvanceMediumBtn, naAvanceSeconde, naAvance10Secondes},
        {FNavBar->AvanceHighBtn, naAvanceMinute, naAvance10Minutes},
    };
    for (const auto& [button, one, ten] : steps)
        button->SetOnClick([this, one = one, ten = ten] { (Shift() ? ten : one)->Execute(); });
    SetPositionEdit(FNavBar->CurrentEdit);
    SetSlider(FNavBar->tb);
}

bool TNavMan::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != FPositionEdit)
        return TDVMan::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        FEditUpdate = false;
        break;
    case QEvent::FocusOut: {
        FEditUpdate = true;
        // Once the user is done with the edit, what was typed gives way to
        // the position, also a text that read as none. Another window or a
        // menu taking the focus leaves the typing as it is.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            FPositionEdit->setText(GetStrPosition());
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && FEditAttached) {
            ApplyTypedPosition();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return TDVMan::eventFilter(watched, event);
}

void TNavMan::ApplyTypedPosition()
{
    if (waStrPosition)
        waStrPosition->SetValue(FPositionEdit->text());
    // The focus leaves the edit, which shows the positions again.
    FPositionEdit->clearFocus();
}

// --- messages ------------------------------------------------------------------

void TNavMan::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_NAVGRAB:
        Pause();
        SendMessage(static_cast<HWND>(message.LParam), WM_GRABIMAGE, reinterpret_cast<WPARAM>(&GrabBitmap()), 0);
        Play();
        break;
    case WM_POSITIONCOLOR:
        ReplyMessage(0);
        if (FPositionEdit) {
            QPalette palette = FPositionEdit->palette();
            palette.setColor(QPalette::Base, message.LParam == 0 && GraphState() == kGraphStatePaused
                                                 ? kPausedColour
                                                 : QColor(Qt::white));
            FPositionEdit->setPalette(palette);
        }
        break;
    case WM_RESYNCSEEK:
        ResyncPreciseSeek();
        break;
    case WM_POSITIONTEXT: {
        const auto* text = reinterpret_cast<const QString*>(message.WParam);
        if (text && (FPositionEdit || FSlider || OnDisplayTime || OnKPosition)) {
            if (OnDisplayTime)
                OnDisplayTime(*text);
            if (FPositionEdit && FEditUpdate)
                FPositionEdit->setText(*text);
        }
        GetPosition();
        break;
    }
    case WM_FRAMEDURATION:
        SetFrameDuration(static_cast<std::int32_t>(static_cast<std::uint32_t>(message.WParam)));
        break;
    case WM_TARGETREACHED:
        if (FFramesNotifier) {
            FFramesNotifier->SetTargetReached(true);
            FFramesNotifier->SetTextMessages(true);
            FFramesNotifier->SetPositionMessages(true);
        }
        // The target frame's own frame data follows this message and must
        // reach OnDVcode.
        SetFrameDataEnabled(true);
        break;
    default:
        TDVMan::WndProc(message);
    }
}

// --- actions -------------------------------------------------------------------

void TNavMan::ListActions(const TActionBinder& bind)
{
    TDVMan::ListActions(bind);
    // In the layout's order: play, the moves, then the settings.
    const std::vector<CheckRow>& checks = checkRows();
    bind(this->*checks.front().action, checks.front().id);
    for (const NopeRow& row : nopeRows())
        bind(this->*row.action, row.id);
    for (auto row = checks.begin() + 1; row != checks.end(); ++row)
        bind(this->*row->action, row->id);
    bind(iaSeekPrepos, "iaSeekPrepos");
    bind(waStrPosition, "waStrPosition");
}

void TNavMan::SetDefaults()
{
    TDVMan::SetDefaults();
    for (const CheckRow& row : checkRows()) {
        TCheckAction* action = this->*row.action;
        action->ScriptName = QString::fromLatin1(row.scriptName);
        action->SetShortCut(ShortcutFor(action->InternalId, row.key));
        action->SetTrueImageIndex(row.trueImage);
        action->SetFalseImageIndex(row.falseImage);
        action->SetTrueCaption(QString::fromLatin1(row.trueCaption));
        action->SetFalseCaption(QString::fromLatin1(row.falseCaption));
        action->SetTrueHint(QString::fromLatin1(row.trueHint));
        action->SetFalseHint(QString::fromLatin1(row.falseHint));
        action->ApplyWhenLoad = row.applyWhenLoad;
        action->SetDefaultValue(false);
    }
    for (const NopeRow& row : nopeRows()) {
        TNopeAction* action = this->*row.action;
        action->ScriptName = QString::fromLatin1(row.scriptName);
        action->SetShortCut(ShortcutFor(action->InternalId, row.key));
        action->SetImageIndex(row.image);
    }
    iaSeekPrepos->ScriptName = QStringLiteral("SeekPrepos");
    iaSeekPrepos->SetCaption(QStringLiteral("SeekPrepos"));
    iaSeekPrepos->SetDefaultValue(kDefaultPrerollMs);
    iaSeekPrepos->ApplyWhenLoad = true;
    waStrPosition->ScriptName = QStringLiteral("Position");
    waStrPosition->SetDefaultValue(QStringLiteral("0:00:00:00"));
}

void TNavMan::AssignEvents()
{
    TDVMan::AssignEvents();
    const auto shifted = [this](REFERENCE_TIME plain, REFERENCE_TIME withShift) { return Shift() ? withShift : plain; };
    const std::vector<std::pair<TNopeAction*, std::function<void()>>> handlers{
        {naReculeDebut, [this] { ReculeDebut(); }},
        {naReculeTrack,
         [this] {
             if (Shift())
                 ReculeDebut();
             else
                 PrevScene();
         }},
        {naRecule10Minutes, [this] { StepBack(kTenMinutes); }},
        {naReculeMinute, [this] { StepBack(kMinute); }},
        {naReculeHigh, [this, shifted] { StepBack(shifted(kMinute, kTenMinutes)); }},
        {naRecule10Secondes, [this] { StepBack(kTenSeconds); }},
        {naReculeSeconde, [this] { StepBack(kSecond); }},
        {naReculeMedium, [this, shifted] { StepBack(shifted(kSecond, kTenSeconds)); }},
        {naRecule10Frames, [this] { StepBack(10 * FFrameDuration); }},
        {naReculeFrame, [this] { StepBack(FFrameDuration); }},
        {naReculeLow, [this, shifted] { StepBack(shifted(1, 10) * FFrameDuration); }},
        {naAvanceFin, [this] { AvanceFin(); }},
        {naAvanceTrack,
         [this] {
             if (Shift())
                 AvanceFin();
             else
                 NextScene();
         }},
        {naAvance10Minutes, [this] { StepForward(kTenMinutes); }},
        {naAvanceMinute, [this] { StepForward(kMinute); }},
        {naAvanceHigh, [this, shifted] { StepForward(shifted(kMinute, kTenMinutes)); }},
        {naAvance10Secondes, [this] { StepForward(kTenSeconds); }},
        {naAvanceSeconde, [this] { StepForward(kSecond); }},
        {naAvanceMedium, [this, shifted] { StepForward(shifted(kSecond, kTenSeconds)); }},
        {naAvance10Frames, [this] { StepForward(10 * FFrameDuration); }},
        {naAvanceFrame, [this] { StepForward(FFrameDuration); }},
        {naAvanceLow, [this, shifted] { StepForward(shifted(1, 10) * FFrameDuration); }},
    };
    for (const auto& [action, handler] : handlers)
        if (action)
            action->InternalApply = handler;
    // Captions and hints as the program shows them, whatever a layout held.
    for (const NopeRow& row : nopeRows())
        if (TNopeAction* action = this->*row.action) {
            action->SetCaption(QString::fromLatin1(row.caption));
            action->SetHint(QString::fromLatin1(row.hint));
        }
    for (const CheckRow& row : checkRows())
        if (TCheckAction* action = this->*row.action; action && action != caSeekPrecision) {
            action->SetTrueCaption(QString::fromLatin1(row.trueCaption));
            action->SetFalseCaption(QString::fromLatin1(row.falseCaption));
            action->SetTrueHint(QString::fromLatin1(row.trueHint));
            action->SetFalseHint(QString::fromLatin1(row.falseHint));
        }

    if (caPlay) {
        caPlay->InternalTrueApply = [this] { Play(); };
        caPlay->InternalFalseApply = [this] { Pause(); };
    }
    if (caVitesseCompatible) {
        caVitesseCompatible->InternalTrueApply = [this] { SetVitesseCompatible(true); };
        caVitesseCompatible->InternalFalseApply = [this] { SetVitesseCompatible(false); };
    }
    if (iaSeekPrepos) {
        iaSeekPrepos->SetHint(QStringLiteral("SeekPrepos"));
        // Whole milliseconds, never backwards.
        iaSeekPrepos->InternalApply = [this](const int& ms) {
            FPreroll = std::max<REFERENCE_TIME>(REFERENCE_TIME{ms} * kUnitsPerMs, 0);
        };
    }
    if (waStrPosition) {
        waStrPosition->SetCaption(QStringLiteral("StrPosition"));
        waStrPosition->SetHint(QStringLiteral("Select the position in hh:mm:ss:ff and type Enter"));
        waStrPosition->InternalApply = [this](const QString& text) { SetStrPosition(text); };
    }
    ApplySharedShortcuts(*this);
    if (FNavBar)
        WireNavBar();
}

bool TNavMan::Shift() const
{
    return ShiftDown && ShiftDown();
}

void TNavMan::SetVitesseCompatible(bool maxi)
{
    const int state = GraphState();
    Stop();
    if (OnVitesse)
        OnVitesse(maxi);
    IGraphBuilder* graph = GraphBuilder();
    if (maxi) {
        if (const auto filter = ComPtr<IGraphBuilder>(graph).as<IMediaFilter>())
            filter->SetSyncSource(nullptr);
    } else {
        graph->SetDefaultSyncSource();
    }
    TGrapheMan::Play();
    if (state != kGraphStatePlaying)
        TGrapheMan::Pause();
}
