#pragma once
// The panels of the main window: the four side panels (thumbnail, picture
// names, DV date, inlay), the options page and the intervalometer. Each holds
// its controls under their names; the window wires them to its actions.

#include <QFrame>

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
class TWideDirectoryEdit;

// The width of a side panel column, its margin included.
constexpr int kSidePanelWidth = 276;

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

    QFontComboBox* FontComboBox;
    QComboBox* cbSize;
    QToolButton* tbBold;
    QToolButton* tbItalic;
    QToolButton* tbUnderline;
    QToolButton* tbStrikeOut;
    QPushButton* ColorButton;
    QToolButton* tbBorder;
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
    QToolButton* tbSousTitre;
    QToolButton* tbSliders;
};

// The recording date of DV video and the time difference added to it.
class TDVIncrustFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TDVIncrustFrame(QWidget* parent = nullptr);

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
