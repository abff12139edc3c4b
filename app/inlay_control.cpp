// The inlay settings and the DV date panel.

#include "app/inlay_control.h"

#include "app/inlay_settings.h"
#include "app/main_actions.h"
#include "app/panels.h"
#include "app/quietly.h"
#include "framework/widgets/threaded_timer.h"
#include "media/engine/audio_man.h"
#include "media/engine/nav_man.h"
#include "media/engine/video_man.h"
#include "media/filters/notify_messages.h"
#include "media/filters/video_notifier.h"
#include "platform/win/messages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QFontComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

// Hands the events of the objects it watches to `handler`; a true result
// eats the event.
class TEventHook : public QObject
{
public:
    TEventHook(QObject* parent, std::function<bool(QObject*, QEvent*)> handler)
        : QObject(parent), FHandler(std::move(handler))
    {
    }
    void Watch(QObject* watched) { watched->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return FHandler(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> FHandler;
};

// The inlay preset of each mode: its two lines, or the custom lines.
constexpr int kPresetCustom = 4;
constexpr int kPresetCount = 6;
const char* const kPresetLines[kPresetCount][2] = {{"%S", ""},   {"%N", ""}, {"%T", ""},
                                                   {"%D", "%D"}, {"", ""},   {"%R", ""}};

// A value out of `clamp`'s range is set again within it. Called before the
// action's own handlers run, so that they only ever see the clamped value.
template <class A, class T> void SetWithin(A* action, const T& value, const std::function<T(const T&)>& clamp)
{
    const T within = clamp(value);
    if (!(within == value))
        action->SetValue(within);
}

QIcon Swatch(TColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(ColorToQColor(colour));
    return QIcon(pixmap);
}

} // namespace

TInlayControl::TInlayControl(QWidget& window, TMainActions& actions, TNavMan& navigation, TVideoMan& video,
                             TAudioMan& audio, TInlayPanels panels, TInlayShared shared)
    : A(actions), FNavMan(navigation), FVideo(video), FAudio(audio), FPanels(panels), FShared(std::move(shared)),
      FInlayUi(std::make_unique<TQtInlayUi>(&window)), FTimerSysDate(new TThreadedTimer(this))
{
    FTimerSysDate->SetInterval(250);
    AssignEvents();
}

TInlayControl::~TInlayControl() = default;

void TInlayControl::AssignEvents()
{
    AssignPatternEvents();
    AssignLineEvents();
    AssignFontEvents();
    AssignLookEvents();
    AssignPositionEvents();
    AssignTypingEvents();
    AssignDVPanelEvents();
}

void TInlayControl::AssignPatternEvents()
{
    TIncrustFrame* inlay = &FPanels.Inlay;

    // --- patterns and the sources they switch on ---------------------------------
    const auto pattern = [this](TWidestringAction* action, int line, QString& kept) {
        action->InternalApply = [this, line, &kept](const QString& text) {
            kept = text;
            FVideo.InsertPattern(line).Pattern = text;
            AnalyseIncrustPatterns();
            FVideo.UpdateInsertTexts();
        };
    };
    pattern(A.waIncrustPattern1, 0, FPattern1);
    pattern(A.waIncrustPattern2, 1, FPattern2);
    connect(FVideo.caInsertTextOn, &TCustomAbstractAction::Applied, this, [this] {
        if (!FVideo.caInsertTextOn->Checked())
            A.caSliders->SetChecked(false);
        AnalyseIncrustPatterns();
        applyeffects();
    });
    // Paused, the sources serve the frame shown again.
    connect(FNavMan.caPlay, &TCustomAbstractAction::Applied, this, [this] {
        if (FNavMan.caPlay->Checked())
            return;
        AnalyseIncrustPatterns();
        applyeffects();
    });
    FTimerSysDate->OnTimer = [this](TThreadedTimer*) { TimerSysDateTimer(); };

    // --- presets -------------------------------------------------------------------
    A.iaInsertMode->InternalApply = [this](const int& mode) { RunInsertPreset(mode); };
    A.iaInsertMode->InternalBeforeSave = [inlay](int& mode) {
        mode = inlay->PresetButtons->checkedId();
        return true;
    };
    TNopeAction* const presets[kPresetCount] = {A.naInsertTimestamp, A.naInsertNumero, A.naInsertTimecode,
                                                A.naInsertDatecode,  A.naInsertPerso,  A.naInsertSysdateTime};
    for (int mode = 0; mode < kPresetCount; ++mode) {
        TNopeAction* action = presets[mode];
        action->InternalApply = [this, mode] {
            RunInsertPreset(mode);
            FVideo.caInsertTextOn->SetChecked(true);
        };
        connect(inlay->PresetButtons->button(mode), &QAbstractButton::clicked, this, [action] { action->Execute(); });
    }
}

void TInlayControl::AssignLineEvents()
{
    // --- custom lines and date formats ---------------------------------------------------
    TIncrustFrame* inlay = &FPanels.Inlay;
    TDVIncrustFrame* dv = &FPanels.DV;
    const auto custom = [this](TWidestringAction* action, QLineEdit* edit) {
        action->InternalApply = [edit](const QString& text) { Quietly(edit, [&](QLineEdit* e) { e->setText(text); }); };
        connect(edit, &QLineEdit::textEdited, this, [action](const QString& text) { action->SetValue(text); });
    };
    custom(A.waInsertPerso1, inlay->edPerso1);
    custom(A.waInsertPerso2, inlay->edPerso2);
    A.waFormatDatecode1->InternalApply = [this, dv](const QString& format) {
        FVideo.InsertPattern(0).DateFormat = format;
        FVideo.UpdateInsertTexts();
        Quietly(dv->cbDatecode1, [&](QComboBox* c) { c->setEditText(format); });
        applyeffects();
    };
    A.waFormatDatecode2->InternalApply = [this, dv](const QString& format) {
        FVideo.InsertPattern(1).DateFormat = format;
        FVideo.UpdateInsertTexts();
        Quietly(dv->cbDatecode2, [&](QComboBox* c) { c->setCurrentIndex(c->findText(format)); });
        applyeffects();
    };
    connect(dv->cbDatecode1, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { A.waFormatDatecode1->SetValue(text); });
    connect(dv->cbDatecode2, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { A.waFormatDatecode2->SetValue(text); });
}

void TInlayControl::AssignFontEvents()
{
    // --- font ---------------------------------------------------------------------------
    TIncrustFrame* inlay = &FPanels.Inlay;
    A.waInsertFontName->InternalApply = [this](const QString& name) {
        ChangeInlayFont([&](TFont& font) { font.Name = name; });
    };
    A.laInsertFontColor->InternalApply = [this, inlay](const TColor& colour) {
        inlay->ColorButton->setIcon(Swatch(colour));
        ChangeInlayFont([&](TFont& font) { font.Color = colour; });
    };
    A.iaInsertFontSize->InternalApply = [this, inlay](const int& size) {
        const std::optional<int> points = InlayFontSize(size);
        if (!A.baInsertAutoSize->Value() && points)
            Quietly(inlay->cbSize, [&](QComboBox* c) { c->setEditText(QString::number(*points)); });
        ChangeInlayFont([&](TFont& font) {
            if (points)
                font.Size = *points;
        });
    };
    const auto style = [this](TCheckAction* action, TFontStyle fontStyle, QToolButton* button) {
        const auto set = [this, fontStyle, button](bool on) {
            Quietly(button, [&](QToolButton* b) { b->setChecked(on); });
            ChangeInlayFont([&](TFont& font) { font.Style.set(fontStyle, on); });
        };
        action->InternalTrueApply = [set] { set(true); };
        action->InternalFalseApply = [set] { set(false); };
        connect(button, &QToolButton::clicked, this, [action] { action->Execute(); });
    };
    style(A.caIncrustBold, fsBold, inlay->tbBold);
    style(A.caIncrustItalic, fsItalic, inlay->tbItalic);
    style(A.caIncrustUnderline, fsUnderline, inlay->tbUnderline);
    style(A.caIncrustStrikeOut, fsStrikeOut, inlay->tbStrikeOut);
    connect(FVideo.faInsertFont, &TCustomAbstractAction::Applied, this, [this, inlay] {
        const QFont font(FVideo.faInsertFont->Value().Name);
        Quietly(inlay->FontComboBox, [&](QFontComboBox* c) { c->setCurrentFont(font); });
        applyeffects();
    });
    connect(inlay->FontComboBox, &QFontComboBox::currentFontChanged, this,
            [this](const QFont& font) { A.waInsertFontName->SetValue(font.family()); });
    connect(inlay->ColorButton, &QPushButton::clicked, this, [this] {
        if (const auto colour = FInlayUi->ChooseColor(A.laInsertFontColor->Value(), QStringLiteral("Inlay colour")))
            A.laInsertFontColor->SetValue(*colour);
    });
    connect(inlay->cbSize, &QComboBox::textActivated, this, [this](const QString& text) {
        const TFontSizeChoice choice = FontSizeFromText(text);
        A.baInsertAutoSize->SetValue(choice.Auto);
        if (!choice.Auto)
            A.iaInsertFontSize->SetValue(choice.Size);
    });
    A.baInsertAutoSize->InternalApply = [this, inlay](const bool& automatic) {
        const std::optional<int> points = InlayFontSize(A.iaInsertFontSize->Value());
        const QString shown = automatic ? QStringLiteral("auto") : points ? QString::number(*points) : QString();
        Quietly(inlay->cbSize, [&](QComboBox* c) { c->setEditText(shown); });
        FVideo.SetInsertAutoSize(automatic);
        applyeffects();
    };
}

void TInlayControl::AssignLookEvents()
{
    // --- border, alignment, transparency -------------------------------------------------
    TIncrustFrame* inlay = &FPanels.Inlay;
    TIntegerAction* border = FVideo.iaInsertBorderWidth;
    border->OnBeforeApply = [border](const int& width) {
        SetWithin<TIntegerAction, int>(border, width, ClampInlayBorder);
    };
    connect(border, &TCustomAbstractAction::Applied, this,
            [border, inlay] { inlay->tbBorder->setText(QStringLiteral("Border %1").arg(border->Value())); });
    for (int width = 0; width < int(inlay->BorderItems().size()); ++width)
        connect(inlay->BorderItems()[std::size_t(width)], &QAction::triggered, this, [this, border, width] {
            border->SetValue(width);
            applyeffects();
        });
    connect(FVideo.iaInsertBorderColor, &TCustomAbstractAction::Applied, this, [this, inlay] {
        inlay->InsertColorButton->setIcon(Swatch(FVideo.iaInsertBorderColor->Value()));
        applyeffects();
    });
    connect(inlay->InsertColorButton, &QPushButton::clicked, this, [this] {
        TColorAction* action = FVideo.iaInsertBorderColor;
        if (const auto colour = FInlayUi->ChooseColor(action->Value(), QStringLiteral("Inlay border colour")))
            action->SetValue(*colour);
    });
    const std::pair<QToolButton*, int> alignments[] = {
        {inlay->tbLeftAlign, 0}, {inlay->tbRightAlign, 1}, {inlay->tbCenter, 2}};
    for (const auto& [button, alignment] : alignments)
        connect(button, &QToolButton::clicked, this,
                [this, alignment = alignment] { FVideo.iaInsertAlignLines->SetValue(alignment); });
    connect(FVideo.iaInsertAlignLines, &TCustomAbstractAction::Applied, this, [this, inlay] {
        const int alignment = FVideo.iaInsertAlignLines->Value();
        Quietly(inlay->tbLeftAlign, [&](QToolButton* b) { b->setChecked(alignment == 0); });
        Quietly(inlay->tbRightAlign, [&](QToolButton* b) { b->setChecked(alignment == 1); });
        Quietly(inlay->tbCenter, [&](QToolButton* b) { b->setChecked(alignment == 2); });
        applyeffects();
    });
    TDoubleAction* transparency = FVideo.daInsertTransparency;
    transparency->OnBeforeApply = [transparency](const double& alpha) {
        SetWithin<TDoubleAction, double>(transparency, alpha, ClampInlayTransparency);
    };
    connect(transparency, &TCustomAbstractAction::Applied, this, [this, inlay, transparency] {
        const int percent = TransparencyPercent(transparency->Value());
        Quietly(inlay->seTransparency, [&](QSpinBox* s) { s->setValue(percent); });
        applyeffects();
    });
    connect(inlay->seTransparency, &QSpinBox::valueChanged, this,
            [transparency](int percent) { transparency->SetValue(percent / 100.0); });
}

void TInlayControl::AssignPositionEvents()
{
    // --- position and sliders --------------------------------------------------------------
    TIncrustFrame* inlay = &FPanels.Inlay;
    FPanels.Xslider.setRange(0, kInlayPositionScale);
    FPanels.Yslider.setRange(0, kInlayPositionScale);
    FPanels.Xslider.resize(FPanels.Xslider.width(), 20);
    FPanels.Yslider.resize(20, FPanels.Yslider.height());
    TPointAction* position = FVideo.paInsertPosition;
    position->OnDefault = [](TPoint& at) {
        at = TPoint{5000, 8200};
        return true;
    };
    position->OnBeforeApply = [position](const TPoint& at) {
        SetWithin<TPointAction, TPoint>(position, at, [](const TPoint& p) { return ClampInlayPosition(p); });
    };
    connect(position, &TCustomAbstractAction::Applied, this, [this, position] {
        const TPoint at = position->Value();
        Quietly(&FPanels.Xslider, [&](QSlider* s) { s->setValue(at.X); });
        Quietly(&FPanels.Yslider, [&](QSlider* s) { s->setValue(s->maximum() - at.Y); });
        applyeffects();
    });
    for (QSlider* slider : {&FPanels.Xslider, &FPanels.Yslider})
        connect(slider, &QSlider::valueChanged, this, [this, position] {
            position->SetValue(TPoint{FPanels.Xslider.value(), FPanels.Yslider.maximum() - FPanels.Yslider.value()});
        });
    A.caSliders->InternalTrueApply = [this] { ShowSliders(true); };
    A.caSliders->InternalFalseApply = [this] { ShowSliders(false); };
    connect(inlay->tbSliders, &QToolButton::clicked, this, [this] { A.caSliders->Execute(); });
    A.naSoustitres->InternalApply = [this] {
        FVideo.iaInsertAlignLines->SetValue(2);
        FVideo.paInsertPosition->SetValue(TPoint{5000, 8200});
        FShared.RefreshRects();
        const std::optional<int> points = InlayFontSize(FShared.NativeRect.height() / 30);
        ChangeInlayFont([&](TFont& font) {
            if (points)
                font.Size = *points;
            font.Color = clWhite;
        });
        FVideo.iaInsertBorderWidth->SetValue(2);
    };
    connect(inlay->tbSousTitre, &QToolButton::clicked, this, [this] { A.naSoustitres->Execute(); });

    // A left click on the video places the inlay while the sliders show: the
    // window's clicks on the video panel ask PlaceInlayAt first.
}

void TInlayControl::AssignTypingEvents()
{
    // Typing in these fields must reach them, not the volume and play keys.
    TIncrustFrame* inlay = &FPanels.Inlay;
    TDVIncrustFrame* dv = &FPanels.DV;
    auto* hook = new TEventHook(this, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::FocusIn)
            editEnter();
        else if (event->type() == QEvent::FocusOut)
            editExit();
        return false;
    });
    for (QWidget* field : std::initializer_list<QWidget*>{
             &FPanels.PictureRoot, dv->cbDatecode1, dv->cbDatecode1->lineEdit(), inlay->edPerso1, inlay->edPerso2})
        hook->Watch(field);
}

void TInlayControl::AssignDVPanelEvents()
{
    // --- the DV date panel ------------------------------------------------------------------
    TDVIncrustFrame* dv = &FPanels.DV;
    // Paused, the panel follows the frame shown; the single handler stays
    // free for scripts and callers.
    connect(&FNavMan, &TDVMan::DVcodeArrived, this, [this] {
        if (!FNavMan.caPlay->Checked())
            UpdateDVDate();
    });
    A.daDecalageHoraire->InternalApply = [this](const double& days) { ApplyTimeDifference(days); };
    connect(dv->seDecalerHeures, &QSpinBox::valueChanged, this,
            [this](int hours) { A.daDecalageHoraire->SetValue(HoursToDays(hours)); });
    const auto fieldsChanged = [this, dv] {
        dv->DisplayDate = dv->FieldsDate();
        A.daDecalageHoraire->SetValue(dv->DisplayDate - dv->DVDate);
    };
    connect(dv->DateEdit1, &QDateEdit::dateChanged, this, fieldsChanged);
    for (QSpinBox* field : {dv->seHeure, dv->seMinute, dv->seSeconde})
        connect(field, &QSpinBox::valueChanged, this, fieldsChanged);
    connect(dv->resetBtn, &QPushButton::clicked, this, [this] { A.daDecalageHoraire->SetValue(0); });
    A.caDecalageAvance->InternalTrueApply = [this, dv] {
        Quietly(dv->cbDecalageAvance, [](QCheckBox* c) { c->setChecked(true); });
        dv->PanelAvance->show();
        dv->PanelHeures->hide();
        A.daDecalageHoraire->Apply();
    };
    A.caDecalageAvance->InternalFalseApply = [this, dv] {
        Quietly(dv->cbDecalageAvance, [](QCheckBox* c) { c->setChecked(false); });
        dv->PanelHeures->show();
        dv->PanelAvance->hide();
        // Whole hours only.
        A.daDecalageHoraire->SetValue(HoursToDays(WholeHours(A.daDecalageHoraire->Value())));
    };
    connect(dv->cbDecalageAvance, &QCheckBox::clicked, this,
            [this](bool checked) { A.caDecalageAvance->SetChecked(checked); });
    UpdateDVDate();
}

// --- patterns and sources --------------------------------------------------------------------

void TInlayControl::AnalyseIncrustPatterns()
{
    const TInlaySources sources =
        FVideo.caInsertTextOn->Checked() ? InlaySourcesOf(FPattern1, FPattern2) : TInlaySources{};
    // 1. The DV codes of the stream shown.
    if (VideoShown())
        if (TVideoNotifier* notifier = FShared.CurrentVideo->Notifier()) {
            notifier->SetDVCodeWindow(FVideo.Handle());
            notifier->SetNotifyDVCode(sources.DVCodes);
        }
    // 2. The time code of each frame shown.
    if (TFramesNotifier* frames = FVideo.FramesNotifier())
        frames->SetTextWindow(sources.TimeStamps ? FVideo.Handle() : 0);
    // 3. The real date and time.
    FTimerSysDate->SetEnabled(sources.RealDate);
    // 4. The file name, with its folder and extension.
    FUsesFileName = sources.FileName;
    if (FUsesFileName)
        SendFileNameToInsert();
    // 5. The picture number.
    FUsesNumber = sources.Number;
    if (FUsesNumber)
        SendNumeroToInsert();
}

void TInlayControl::applyeffects()
{
    // The paused frame is drawn again, so that a change shows at once. One
    // change often sets several others (a preset sets both lines and turns
    // the inlay on): the frame is drawn once, when the window next serves
    // its messages, and the frames it brings are taken in as they come.
    if (FEffectsPending)
        return;
    FEffectsPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FEffectsPending = false;
            FNavMan.ResyncPreciseSeek();
        },
        Qt::QueuedConnection);
}

void TInlayControl::SendFileNameToInsert()
{
    TIncrustFileName file;
    file.active = true;
    file.fileName = FShared.VideoFileName;
    SendMessage(FVideo.Handle(), WM_VIDEOFILENAME, reinterpret_cast<WPARAM>(&file), 0);
    applyeffects();
}

void TInlayControl::SendNumeroToInsert()
{
    TIncrustNumero number;
    number.active = true;
    number.numberText = FShared.NumberText;
    SendMessage(FVideo.Handle(), WM_IMAGENUMBER, reinterpret_cast<WPARAM>(&number), 0);
    applyeffects();
}

void TInlayControl::FileNameChanged()
{
    if (FUsesFileName)
        SendFileNameToInsert();
}

void TInlayControl::NumberChanged()
{
    if (FUsesNumber)
        SendNumeroToInsert();
}

void TInlayControl::StopSysDateTimer()
{
    FTimerSysDate->SetEnabled(false);
}

void TInlayControl::TimerSysDateTimer()
{
    // A tick on its way when the timer stopped sends nothing.
    if (!FTimerSysDate->Enabled())
        return;
    TIncrustSysDate now;
    now.active = true;
    now.now = Now();
    SendMessage(FVideo.Handle(), WM_SYSDATETIME, reinterpret_cast<WPARAM>(&now), 0);
    applyeffects();
}

void TInlayControl::RunInsertPreset(int mode)
{
    if (mode < 0 || mode >= kPresetCount)
        return;
    const bool custom = mode == kPresetCustom;
    A.waIncrustPattern1->SetValue(custom ? FPanels.Inlay.edPerso1->text() : QString::fromLatin1(kPresetLines[mode][0]));
    A.waIncrustPattern2->SetValue(custom ? FPanels.Inlay.edPerso2->text() : QString::fromLatin1(kPresetLines[mode][1]));
    FPanels.Inlay.PresetButtons->button(mode)->setChecked(true);
}

void TInlayControl::ChangeInlayFont(const std::function<void(TFont&)>& change)
{
    TFont font = FVideo.faInsertFont->Value();
    change(font);
    FVideo.faInsertFont->SetValue(font);
}

bool TInlayControl::VideoShown() const
{
    return FShared.CurrentVideo && FShared.CurrentVideo != NoVideoSource();
}

// --- position and sliders -----------------------------------------------------------------------

void TInlayControl::ShowSliders(bool on)
{
    // The layout changes only with the sliders' own state: unchecking them
    // while they are hidden (when a file closes) leaves the bar as it is.
    if (on == FSlidersShown)
        return;
    FSlidersShown = on;
    FShared.ArrangePanels();
    FPanels.Xslider.setVisible(on);
    FPanels.Yslider.setVisible(on);
    if (on) {
        FPanels.Xslider.raise();
        FPanels.Yslider.raise();
        FPanels.IntervalPanel.hide();
        FPanels.NavBar.hide();
        FVideo.caInsertTextOn->SetChecked(true);
    } else {
        FPanels.NavBar.setVisible((FShared.HasVideo || FShared.HasAudio) && !FShared.VideoFileName.isEmpty());
        FPanels.IntervalPanel.setVisible(A.caIntervalloShow->Checked());
    }
}

void TInlayControl::PlaceSliders()
{
    const QRect picture = FShared.PictureRect;
    const QPoint panel = FPanels.Video.pos();
    FPanels.Yslider.setGeometry(panel.x() + picture.x() + picture.width(), panel.y() + picture.y() - 6,
                                FPanels.Yslider.width(), picture.height() + 12);
    FPanels.Xslider.setGeometry(panel.x() + picture.x() - 6, panel.y() + picture.y() + picture.height(),
                                picture.width() + 12, FPanels.Xslider.height());
}

bool TInlayControl::PlaceInlayAt(const QPoint& at)
{
    if (!A.caSliders->Checked() || !VideoShown() || FVideo.caExternalPreview->Checked())
        return false;
    FShared.RefreshRects();
    // A picture without width or height places nothing, but the click still
    // belongs to the sliders.
    if (const std::optional<TPoint> position = InlayPositionAt(at, FShared.PictureRect))
        FVideo.paInsertPosition->SetValue(*position);
    return true;
}

void TInlayControl::SetInlayUi(std::unique_ptr<TInlayUi> ui)
{
    FInlayUi = std::move(ui);
}

// --- typing -------------------------------------------------------------------------------------

void TInlayControl::editEnter()
{
    if (FTypingKeys.Held)
        return;
    FTypingKeys = {true, FAudio.naIncVolume->ShortCut(), FAudio.naIncVolume->SecondaryShortcuts(),
                   FAudio.naDecVolume->ShortCut(), FNavMan.caPlay->ShortCut()};
    FAudio.naIncVolume->SetShortCut(QKeySequence());
    FAudio.naIncVolume->SetSecondaryShortcuts({});
    FAudio.naDecVolume->SetShortCut(QKeySequence());
    FNavMan.caPlay->SetShortCut(QKeySequence());
}

void TInlayControl::editExit()
{
    if (!FTypingKeys.Held)
        return;
    FAudio.naIncVolume->SetShortCut(FTypingKeys.IncVolume);
    FAudio.naIncVolume->SetSecondaryShortcuts(FTypingKeys.IncVolumeMore);
    FAudio.naDecVolume->SetShortCut(FTypingKeys.DecVolume);
    FNavMan.caPlay->SetShortCut(FTypingKeys.Play);
    FTypingKeys = {};
}

// --- the DV date panel -----------------------------------------------------------------------------

bool TInlayControl::UpdateDVDate()
{
    TDVIncrustFrame* dv = &FPanels.DV;
    const bool available = VideoShown() && FShared.CurrentVideo->Notifier();
    A.naInsertDatecode->SetEnabled(available);
    A.naInsertTimecode->SetEnabled(available);
    bool dated = false;
    dv->DVDate = 0;
    if (available) {
        const TframeData frame = FShared.CurrentVideo->GetFrameData();
        dated = frame.dateValid;
        if (dated)
            dv->DVDate = TruncToSeconds(frame.recDate);
    }
    dv->labVideodate->setText((dated ? QStringLiteral("Date of the DV video: ") : QStringLiteral("Fictitious date: ")) +
                              FormatDateTime(QStringLiteral("ddddd tt"), dv->DVDate));
    dv->SetDisplayDate(dv->DVDate + A.daDecalageHoraire->Value());
    return dated;
}

void TInlayControl::ApplyTimeDifference(double days)
{
    const double within = ClampTimeDifference(days);
    if (within != days) {
        A.daDecalageHoraire->SetValue(within);
        return;
    }
    TDVIncrustFrame* dv = &FPanels.DV;
    FVideo.SetInsertTimeOffset(days);
    applyeffects();
    dv->labDecalageHoraire->setText(FormatTimeDifference(days));
    if (A.caDecalageAvance->Checked()) {
        dv->DisplayDate = dv->DVDate + days;
        dv->SetDisplayDate(dv->DisplayDate);
    } else {
        Quietly(dv->seDecalerHeures, [&](QSpinBox* s) { s->setValue(WholeHours(days)); });
    }
}
