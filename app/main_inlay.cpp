// The inlay settings and the DV date panel: the window's operations of that
// concern and the wiring of its actions.

#include "app/inlay_settings.h"
#include "app/main_form.h"
#include "app/quietly.h"
#include "framework/widgets/threaded_timer.h"
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

void TMainForm::AssignInlayEvents()
{
    FInlayUi = std::make_unique<TQtInlayUi>(this);
    TIncrustFrame* inlay = IncrustFrame;

    // --- patterns and the sources they switch on ---------------------------------
    const auto pattern = [this](TWidestringAction* action, int line, QString& kept) {
        action->InternalApply = [this, line, &kept](const QString& text) {
            kept = text;
            vidman->InsertPattern(line).Pattern = text;
            AnalyseIncrustPatterns();
            vidman->UpdateInsertTexts();
        };
    };
    pattern(A.waIncrustPattern1, 0, FPattern1);
    pattern(A.waIncrustPattern2, 1, FPattern2);
    connect(vidman->caInsertTextOn, &TCustomAbstractAction::Applied, this, [this] {
        if (!vidman->caInsertTextOn->Checked())
            A.caSliders->SetChecked(false);
        AnalyseIncrustPatterns();
        applyeffects();
    });
    // Paused, the sources serve the frame shown again.
    connect(NavMan->caPlay, &TCustomAbstractAction::Applied, this, [this] {
        if (NavMan->caPlay->Checked())
            return;
        AnalyseIncrustPatterns();
        applyeffects();
    });
    TimerSysDate->OnTimer = [this](TThreadedTimer*) { TimerSysDateTimer(); };

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
            vidman->caInsertTextOn->SetChecked(true);
        };
        connect(inlay->PresetButtons->button(mode), &QAbstractButton::clicked, this, [action] { action->Execute(); });
    }
    AssignInlayLineEvents();
    AssignInlayFontEvents();
    AssignInlayLookEvents();
    AssignInlayPositionEvents();
    AssignDVPanelEvents();
}

void TMainForm::AssignInlayLineEvents()
{
    // --- custom lines and date formats ---------------------------------------------------
    TIncrustFrame* inlay = IncrustFrame;
    TDVIncrustFrame* dv = DVIncrustFrame;
    const auto custom = [this](TWidestringAction* action, QLineEdit* edit) {
        action->InternalApply = [edit](const QString& text) { Quietly(edit, [&](QLineEdit* e) { e->setText(text); }); };
        connect(edit, &QLineEdit::textEdited, this, [action](const QString& text) { action->SetValue(text); });
    };
    custom(A.waInsertPerso1, inlay->edPerso1);
    custom(A.waInsertPerso2, inlay->edPerso2);
    A.waFormatDatecode1->InternalApply = [this, dv](const QString& format) {
        vidman->InsertPattern(0).DateFormat = format;
        vidman->UpdateInsertTexts();
        Quietly(dv->cbDatecode1, [&](QComboBox* c) { c->setEditText(format); });
        applyeffects();
    };
    A.waFormatDatecode2->InternalApply = [this, dv](const QString& format) {
        vidman->InsertPattern(1).DateFormat = format;
        vidman->UpdateInsertTexts();
        Quietly(dv->cbDatecode2, [&](QComboBox* c) { c->setCurrentIndex(c->findText(format)); });
        applyeffects();
    };
    connect(dv->cbDatecode1, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { A.waFormatDatecode1->SetValue(text); });
    connect(dv->cbDatecode2, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { A.waFormatDatecode2->SetValue(text); });
}

void TMainForm::AssignInlayFontEvents()
{
    // --- font ---------------------------------------------------------------------------
    TIncrustFrame* inlay = IncrustFrame;
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
    connect(vidman->faInsertFont, &TCustomAbstractAction::Applied, this, [this, inlay] {
        const QFont font(vidman->faInsertFont->Value().Name);
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
        vidman->SetInsertAutoSize(automatic);
        applyeffects();
    };
}

void TMainForm::AssignInlayLookEvents()
{
    // --- border, alignment, transparency -------------------------------------------------
    TIncrustFrame* inlay = IncrustFrame;
    TIntegerAction* border = vidman->iaInsertBorderWidth;
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
    connect(vidman->iaInsertBorderColor, &TCustomAbstractAction::Applied, this, [this, inlay] {
        inlay->InsertColorButton->setIcon(Swatch(vidman->iaInsertBorderColor->Value()));
        applyeffects();
    });
    connect(inlay->InsertColorButton, &QPushButton::clicked, this, [this] {
        TColorAction* action = vidman->iaInsertBorderColor;
        if (const auto colour = FInlayUi->ChooseColor(action->Value(), QStringLiteral("Inlay border colour")))
            action->SetValue(*colour);
    });
    const std::pair<QToolButton*, int> alignments[] = {
        {inlay->tbLeftAlign, 0}, {inlay->tbRightAlign, 1}, {inlay->tbCenter, 2}};
    for (const auto& [button, alignment] : alignments)
        connect(button, &QToolButton::clicked, this,
                [this, alignment] { vidman->iaInsertAlignLines->SetValue(alignment); });
    connect(vidman->iaInsertAlignLines, &TCustomAbstractAction::Applied, this, [this, inlay] {
        const int alignment = vidman->iaInsertAlignLines->Value();
        Quietly(inlay->tbLeftAlign, [&](QToolButton* b) { b->setChecked(alignment == 0); });
        Quietly(inlay->tbRightAlign, [&](QToolButton* b) { b->setChecked(alignment == 1); });
        Quietly(inlay->tbCenter, [&](QToolButton* b) { b->setChecked(alignment == 2); });
        applyeffects();
    });
    TDoubleAction* transparency = vidman->daInsertTransparency;
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

void TMainForm::AssignInlayPositionEvents()
{
    // --- position and sliders --------------------------------------------------------------
    TIncrustFrame* inlay = IncrustFrame;
    TDVIncrustFrame* dv = DVIncrustFrame;
    Xslider->setRange(0, kInlayPositionScale);
    Yslider->setRange(0, kInlayPositionScale);
    Xslider->resize(Xslider->width(), 20);
    Yslider->resize(20, Yslider->height());
    TPointAction* position = vidman->paInsertPosition;
    position->OnDefault = [](TPoint& at) {
        at = TPoint{5000, 8200};
        return true;
    };
    position->OnBeforeApply = [position](const TPoint& at) {
        SetWithin<TPointAction, TPoint>(position, at, [](const TPoint& p) { return ClampInlayPosition(p); });
    };
    connect(position, &TCustomAbstractAction::Applied, this, [this, position] {
        const TPoint at = position->Value();
        Quietly(Xslider, [&](QSlider* s) { s->setValue(at.X); });
        Quietly(Yslider, [&](QSlider* s) { s->setValue(s->maximum() - at.Y); });
        applyeffects();
    });
    for (QSlider* slider : {Xslider, Yslider})
        connect(slider, &QSlider::valueChanged, this, [this, position] {
            position->SetValue(TPoint{Xslider->value(), Yslider->maximum() - Yslider->value()});
        });
    A.caSliders->InternalTrueApply = [this] { ShowSliders(true); };
    A.caSliders->InternalFalseApply = [this] { ShowSliders(false); };
    connect(inlay->tbSliders, &QToolButton::clicked, this, [this] { A.caSliders->Execute(); });
    A.naSoustitres->InternalApply = [this] {
        vidman->iaInsertAlignLines->SetValue(2);
        vidman->paInsertPosition->SetValue(TPoint{5000, 8200});
        RefreshRendererRects();
        const std::optional<int> points = InlayFontSize(FNativeRect.height() / 30);
        ChangeInlayFont([&](TFont& font) {
            if (points)
                font.Size = *points;
            font.Color = clWhite;
        });
        vidman->iaInsertBorderWidth->SetValue(2);
    };
    connect(inlay->tbSousTitre, &QToolButton::clicked, this, [this] { A.naSoustitres->Execute(); });

    // A left click on the video places the inlay while the sliders show: the
    // video panel's clicks are wired with the grab's (AssignGrabEvents).
    // Typing in these fields must reach them, not the volume and play keys.
    auto* hook = new TEventHook(this, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::FocusIn)
            editEnter();
        else if (event->type() == QEvent::FocusOut)
            editExit();
        return false;
    });
    for (QWidget* field :
         std::initializer_list<QWidget*>{SaveImagesFrame->NomRacineEdit, dv->cbDatecode1, dv->cbDatecode1->lineEdit(),
                                         inlay->edPerso1, inlay->edPerso2})
        hook->Watch(field);
}

void TMainForm::AssignDVPanelEvents()
{
    // --- the DV date panel ------------------------------------------------------------------
    TDVIncrustFrame* dv = DVIncrustFrame;
    NavMan->OnDVcode = [this](const QString&, const QString&) {
        if (!NavMan->caPlay->Checked())
            UpdateDVDate();
    };
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

void TMainForm::AnalyseIncrustPatterns()
{
    const TInlaySources sources =
        vidman->caInsertTextOn->Checked() ? InlaySourcesOf(FPattern1, FPattern2) : TInlaySources{};
    // 1. The DV codes of the stream shown.
    if (FCurrentVideo && FCurrentVideo != NoVideoSource())
        if (TVideoNotifier* notifier = FCurrentVideo->Notifier()) {
            notifier->SetDVCodeWindow(vidman->Handle());
            notifier->SetNotifyDVCode(sources.DVCodes);
        }
    // 2. The time code of each frame shown.
    if (TFramesNotifier* frames = vidman->FramesNotifier())
        frames->SetTextWindow(sources.TimeStamps ? vidman->Handle() : 0);
    // 3. The real date and time.
    TimerSysDate->SetEnabled(sources.RealDate);
    // 4. The file name, with its folder and extension.
    FUsesFileName = sources.FileName;
    if (FUsesFileName)
        SendFileNameToInsert();
    // 5. The picture number.
    FUsesNumber = sources.Number;
    if (FUsesNumber)
        SendNumeroToInsert();
}

void TMainForm::applyeffects()
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
            NavMan->ResyncPreciseSeek();
        },
        Qt::QueuedConnection);
}

void TMainForm::SendFileNameToInsert()
{
    TIncrustFileName file;
    file.active = true;
    file.fileName = FVideoFileName;
    SendMessage(vidman->Handle(), WM_VIDEOFILENAME, reinterpret_cast<WPARAM>(&file), 0);
    applyeffects();
}

void TMainForm::SendNumeroToInsert()
{
    TIncrustNumero number;
    number.active = true;
    number.numberText = FNumberText;
    SendMessage(vidman->Handle(), WM_IMAGENUMBER, reinterpret_cast<WPARAM>(&number), 0);
    applyeffects();
}

void TMainForm::TimerSysDateTimer()
{
    // A tick on its way when the timer stopped sends nothing.
    if (!TimerSysDate->Enabled())
        return;
    TIncrustSysDate now;
    now.active = true;
    now.now = Now();
    SendMessage(vidman->Handle(), WM_SYSDATETIME, reinterpret_cast<WPARAM>(&now), 0);
    applyeffects();
}

void TMainForm::RunInsertPreset(int mode)
{
    if (mode < 0 || mode >= kPresetCount)
        return;
    const bool custom = mode == kPresetCustom;
    A.waIncrustPattern1->SetValue(custom ? IncrustFrame->edPerso1->text() : QString::fromLatin1(kPresetLines[mode][0]));
    A.waIncrustPattern2->SetValue(custom ? IncrustFrame->edPerso2->text() : QString::fromLatin1(kPresetLines[mode][1]));
    IncrustFrame->PresetButtons->button(mode)->setChecked(true);
}

void TMainForm::ChangeInlayFont(const std::function<void(TFont&)>& change)
{
    TFont font = vidman->faInsertFont->Value();
    change(font);
    vidman->faInsertFont->SetValue(font);
}

// --- position and sliders -----------------------------------------------------------------------

void TMainForm::ShowSliders(bool on)
{
    // The layout changes only with the sliders' own state: unchecking them
    // while they are hidden (when a file closes) leaves the bar as it is.
    if (on == FSlidersShown)
        return;
    FSlidersShown = on;
    ArrangePanels();
    Xslider->setVisible(on);
    Yslider->setVisible(on);
    if (on) {
        Xslider->raise();
        Yslider->raise();
        intervalloframe->hide();
        NavBar->hide();
        vidman->caInsertTextOn->SetChecked(true);
    } else {
        NavBar->setVisible((FHasVideo || FHasAudio) && !FVideoFileName.isEmpty());
        intervalloframe->setVisible(A.caIntervalloShow->Checked());
    }
}

void TMainForm::PlaceSliders()
{
    const QRect picture = FPictureRect;
    const QPoint panel = videoPanel->pos();
    Yslider->setGeometry(panel.x() + picture.x() + picture.width(), panel.y() + picture.y() - 6, Yslider->width(),
                         picture.height() + 12);
    Xslider->setGeometry(panel.x() + picture.x() - 6, panel.y() + picture.y() + picture.height(), picture.width() + 12,
                         Xslider->height());
}

bool TMainForm::PlaceInlayAt(const QPoint& at)
{
    if (!A.caSliders->Checked() || !FCurrentVideo || FCurrentVideo == NoVideoSource() ||
        vidman->caExternalPreview->Checked())
        return false;
    RefreshRendererRects();
    // A picture without width or height places nothing, but the click still
    // belongs to the sliders.
    if (const std::optional<TPoint> position = InlayPositionAt(at, FPictureRect))
        vidman->paInsertPosition->SetValue(*position);
    return true;
}

void TMainForm::SetInlayUi(std::unique_ptr<TInlayUi> ui)
{
    FInlayUi = std::move(ui);
}

// --- typing -------------------------------------------------------------------------------------

void TMainForm::editEnter()
{
    if (FTypingKeys.Held)
        return;
    FTypingKeys = {true, audman->naIncVolume->ShortCut(), audman->naIncVolume->SecondaryShortcuts(),
                   audman->naDecVolume->ShortCut(), NavMan->caPlay->ShortCut()};
    audman->naIncVolume->SetShortCut(QKeySequence());
    audman->naIncVolume->SetSecondaryShortcuts({});
    audman->naDecVolume->SetShortCut(QKeySequence());
    NavMan->caPlay->SetShortCut(QKeySequence());
}

void TMainForm::editExit()
{
    if (!FTypingKeys.Held)
        return;
    audman->naIncVolume->SetShortCut(FTypingKeys.IncVolume);
    audman->naIncVolume->SetSecondaryShortcuts(FTypingKeys.IncVolumeMore);
    audman->naDecVolume->SetShortCut(FTypingKeys.DecVolume);
    NavMan->caPlay->SetShortCut(FTypingKeys.Play);
    FTypingKeys = {};
}

// --- the DV date panel -----------------------------------------------------------------------------

bool TMainForm::UpdateDVDate()
{
    TDVIncrustFrame* dv = DVIncrustFrame;
    const bool available = FCurrentVideo && FCurrentVideo != NoVideoSource() && FCurrentVideo->Notifier();
    A.naInsertDatecode->SetEnabled(available);
    A.naInsertTimecode->SetEnabled(available);
    bool dated = false;
    dv->DVDate = 0;
    if (available) {
        const TframeData frame = FCurrentVideo->GetFrameData();
        dated = frame.dateValid;
        if (dated)
            dv->DVDate = TruncToSeconds(frame.recDate);
    }
    dv->labVideodate->setText((dated ? QStringLiteral("Date of the DV video: ") : QStringLiteral("Fictitious date: ")) +
                              FormatDateTime(QStringLiteral("ddddd tt"), dv->DVDate));
    dv->SetDisplayDate(dv->DVDate + A.daDecalageHoraire->Value());
    return dated;
}

void TMainForm::ApplyTimeDifference(double days)
{
    const double within = ClampTimeDifference(days);
    if (within != days) {
        A.daDecalageHoraire->SetValue(within);
        return;
    }
    TDVIncrustFrame* dv = DVIncrustFrame;
    vidman->SetInsertTimeOffset(days);
    applyeffects();
    dv->labDecalageHoraire->setText(FormatTimeDifference(days));
    if (A.caDecalageAvance->Checked()) {
        dv->DisplayDate = dv->DVDate + days;
        dv->SetDisplayDate(dv->DisplayDate);
    } else {
        Quietly(dv->seDecalerHeures, [&](QSpinBox* s) { s->setValue(WholeHours(days)); });
    }
}
