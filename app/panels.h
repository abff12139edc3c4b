#pragma once
// The panels of the main window: the four side panels (thumbnail, picture
// names, DV date, inlay), the options page and the intervalometer. Each holds
// its controls under their names; the window wires them to its actions.

#include "platform/rtl/datetime.h"

#include <QFrame>

#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QSpinBox;
class QDoubleSpinBox;
class QDateEdit;
class QFontComboBox;
class QPushButton;
class QToolButton;
class QButtonGroup;
class QMenu;
class TWideDirectoryEdit;

// The width of a side panel column, its margin included.
constexpr int kSidePanelWidth = 276;

// A spin box tied to a setting: `set` receives each value the user gives it
// (stepped, or typed once the typing ends, even a value equal to the one
// shown), and ShowSpinValue shows the setting's value in it.
void ConnectSpinEdits(QSpinBox* spin, std::function<void(int)> set);
// Shows `value` without firing the box's signals, widening the box's range
// when a script or a switch gave a value outside it; a later value inside
// the range narrows it again.
void ShowSpinValue(QSpinBox* spin, int value);

// The grabbed picture with its position, file name and size.
class TImagetteFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TImagetteFrame(QWidget* parent = nullptr);

    // No picture: the labels are emptied and the empty frame shows.
    void Clear();

    QLabel* Image;
    QLabel* SnapLab;
    QLabel* labsnapname;
    QLabel* labImagetteTaille;
    QFrame* Bevel1;
    QFrame* Bevel3;
};

// How the pictures are named and where they go.
class TDossiersFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TDossiersFrame(QWidget* parent = nullptr);

    QRadioButton* rbUtiliserNomVideo;
    QRadioButton* rbUtiliserRacine;
    QLineEdit* NomRacineEdit;
    QCheckBox* cbLimiterLongueur;
    QSpinBox* RacineLengthEdit;
    QRadioButton* rbTimestamp;
    QRadioButton* rbNumero;
    QSpinBox* DigitsEdit;
    QGroupBox* rgExtension;
    QRadioButton* rbBmp;
    QRadioButton* rbJpeg;
    QSlider* TrackBar1;
    QLabel* labQuality;
    TWideDirectoryEdit* deDossierSave;
    QSpinBox* seNextNum;
};

// The font, border, alignment, transparency and presets of the inlay.
class TIncrustFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TIncrustFrame(QWidget* parent = nullptr);

    // Brought to the front and shown; hidden.
    void ShowOnTop();
    void HideFrame();

    QFontComboBox* FontComboBox;
    QComboBox* cbSize;
    QToolButton* tbBold;
    QToolButton* tbItalic;
    QToolButton* tbUnderline;
    QToolButton* tbStrikeOut;
    QPushButton* ColorButton;
    QToolButton* tbBorder;
    // The border widths of tbBorder's pop-up menu: none, then 1 to 5.
    QMenu* BorderMenu;
    QAction* Aucun1;
    QAction* N11;
    QAction* N21;
    QAction* N31;
    QAction* N41;
    QAction* N51;
    std::array<QAction*, 6> BorderItems() const { return {Aucun1, N11, N21, N31, N41, N51}; }
    QPushButton* InsertColorButton;
    QToolButton* tbLeftAlign;
    QToolButton* tbCenter;
    QToolButton* tbRightAlign;
    QSpinBox* seTransparency;
    QLineEdit* edPerso1;
    QLineEdit* edPerso2;
    QToolButton* InsertTimestampBtn;
    QToolButton* InsertNumeroBtn;
    QToolButton* InsertTimecodeBtn;
    QToolButton* InsertDatecodeBtn;
    QToolButton* InsertPersoBtn;
    QToolButton* InsertSysDatetimeBtn;
    // The six preset buttons, at most one of them down, in the order of the
    // inlay modes: time stamp, number, time code, DV date, custom, real date.
    QButtonGroup* PresetButtons;
    QToolButton* tbSousTitre;
    QToolButton* tbSliders;
};

// The recording date of DV video and the time difference added to it.
class TDVIncrustFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TDVIncrustFrame(QWidget* parent = nullptr);

    // Brought to the front and shown; hidden.
    void ShowFrame();
    void HideFrame();
    // The date field and the hour, minute and second fields show `value`;
    // their change signals stay quiet.
    void SetDisplayDate(TDateTime value);
    // What the date and time fields hold.
    TDateTime FieldsDate() const;

    // The recording date of the frame shown, without milliseconds; 0 when
    // it carries none.
    TDateTime DVDate = 0;
    // The recording date with the time difference added.
    TDateTime DisplayDate = 0;

    QLabel* labVideodate;
    QLabel* labDecalageHoraire;
    QFrame* PanelHeures;
    QSpinBox* seDecalerHeures;
    QFrame* PanelAvance;
    QDateEdit* DateEdit1;
    QSpinBox* seHeure;
    QSpinBox* seMinute;
    QSpinBox* seSeconde;
    QPushButton* resetBtn;
    QComboBox* cbDatecode1;
    QComboBox* cbDatecode2;
    QCheckBox* cbDecalageAvance;
};

// The options page: where the preferences go, the private filters, precise
// navigation and the script folder.
class TOptionsFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TOptionsFrame(QWidget* parent = nullptr);

    // Selects the item of the storage mode (a TSavePreferences value).
    void SetPrefsMode(int mode);

    QGroupBox* rgPrefs;
    QButtonGroup* rgPrefsItems;
    QCheckBox* cbUsePrivateFilters;
    TWideDirectoryEdit* dePrivateFolder;
    QCheckBox* cbNavPrecise;
    QSpinBox* seSeekPrepos;
    QCheckBox* cbRAZwhenOpenFile;
    QCheckBox* cbSauverQuandClic;
    QCheckBox* cbConfirmerImage;
    TWideDirectoryEdit* deDossierScripts;
    QCheckBox* cbConserverScript;
    QSpinBox* seMaxSynchro;
};

// Pictures every N frames, seconds or minutes.
class Tintervalloframe : public QFrame
{
    Q_OBJECT
public:
    explicit Tintervalloframe(QWidget* parent = nullptr);

    QGroupBox* GroupBox;
    QLabel* chronolab;
    QSpinBox* seIntervallo;
    QComboBox* cboxIntervallo;
    QToolButton* RxSwitch1;
};
