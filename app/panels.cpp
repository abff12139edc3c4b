#include "app/panels.h"

#include "framework/widgets/directory_edit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kPanelWidth = kSidePanelWidth - 4;

template <class W> W* Named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QSpinBox* Spin(QWidget* parent, const char* name, int minimum, int maximum)
{
    auto* spin = Named(new QSpinBox(parent), name);
    spin->setRange(minimum, maximum);
    return spin;
}

QToolButton* Tool(QWidget* parent, const char* name, const QString& text, bool checkable = true)
{
    auto* button = Named(new QToolButton(parent), name);
    button->setText(text);
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    return button;
}

void SidePanel(QFrame* panel, const char* name)
{
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setAutoFillBackground(true);
    panel->resize(kPanelWidth, 420);
}

// The column of a panel, and the inside of a group box in it: close enough
// for the picture-name panel to fit a window of the smallest size.
QVBoxLayout* Column(QWidget* owner)
{
    auto* column = new QVBoxLayout(owner);
    column->setContentsMargins(8, 6, 8, 6);
    column->setSpacing(4);
    return column;
}

QVBoxLayout* GroupColumn(QGroupBox* group)
{
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(8, 2, 8, 4);
    column->setSpacing(2);
    return column;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    row->addStretch();
    return row;
}

// The range a spin box was made with, kept when a value widens it.
constexpr char kDesignMinimum[] = "designMinimum";
constexpr char kDesignMaximum[] = "designMaximum";

} // namespace

void ConnectSpinEdits(QSpinBox* spin, std::function<void(int)> set)
{
    spin->setProperty(kDesignMinimum, spin->minimum());
    spin->setProperty(kDesignMaximum, spin->maximum());
    QLineEdit* edit = spin->findChild<QLineEdit*>();
    QObject::connect(spin, &QSpinBox::valueChanged, spin, set);
    // Typing the value shown changes nothing in the box, and still means it.
    QObject::connect(spin, &QSpinBox::editingFinished, spin, [spin, set, edit] {
        if (!edit->isModified())
            return;
        edit->setModified(false);
        set(spin->value());
    });
}

void ShowSpinValue(QSpinBox* spin, int value)
{
    const QSignalBlocker quiet(spin);
    const QVariant minimum = spin->property(kDesignMinimum);
    const QVariant maximum = spin->property(kDesignMaximum);
    if (minimum.isValid() && maximum.isValid())
        spin->setRange(std::min(minimum.toInt(), value), std::max(maximum.toInt(), value));
    spin->setValue(value);
}

TImagetteFrame::TImagetteFrame(QWidget* parent) : QFrame(parent)
{
    SidePanel(this, "ImagetteFrame");
    Bevel1 = Named(new QFrame(this), "Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setGeometry(8, 8, kPanelWidth - 16, 2);
    labsnapname = Named(new QLabel(this), "labsnapname");
    labsnapname->setGeometry(12, 16, kPanelWidth - 24, 18);
    labsnapname->setAutoFillBackground(true);
    labImagetteTaille = Named(new QLabel(this), "labImagetteTaille");
    // The size stands in the 12 pixels above the picture: a smaller letter.
    QFont small = labImagetteTaille->font();
    small.setPixelSize(10);
    labImagetteTaille->setFont(small);
    labImagetteTaille->setGeometry(12, 40, kPanelWidth - 24, 12);
    Image = Named(new QLabel(this), "Image");
    Image->setGeometry(12, 52, kPanelWidth - 24, (kPanelWidth - 24) * 3 / 4);
    Image->setScaledContents(true);
    Bevel3 = Named(new QFrame(this), "Bevel3");
    Bevel3->setFrameShape(QFrame::Box);
    Bevel3->setGeometry(Image->geometry());
    SnapLab = Named(new QLabel(this), "SnapLab");
    SnapLab->setGeometry(12, Image->geometry().bottom() + 2, kPanelWidth - 24, 16);
    SnapLab->setAlignment(Qt::AlignCenter);
}

void TImagetteFrame::Clear()
{
    Image->clear();
    labImagetteTaille->clear();
    labsnapname->clear();
    labsnapname->setPalette(palette());
    SnapLab->clear();
    Bevel3->show();
    Bevel3->raise();
}

TDossiersFrame::TDossiersFrame(QWidget* parent) : QFrame(parent)
{
    SidePanel(this, "SaveImagesFrame");
    auto* column = Column(this);

    auto* root = new QGroupBox(QStringLiteral("Root of the picture names"), this);
    auto* rootLayout = GroupColumn(root);
    rbUtiliserRacine = Named(new QRadioButton(QStringLiteral("This text:"), root), "rbUtiliserRacine");
    NomRacineEdit = Named(new QLineEdit(root), "NomRacineEdit");
    rbUtiliserNomVideo = Named(new QRadioButton(QStringLiteral("The name of the video"), root), "rbUtiliserNomVideo");
    cbLimiterLongueur = Named(new QCheckBox(QStringLiteral("cut to"), root), "cbLimiterLongueur");
    RacineLengthEdit = Spin(root, "RacineLengthEdit", 0, 255);
    rootLayout->addLayout(Row({rbUtiliserRacine, NomRacineEdit}));
    rootLayout->addWidget(rbUtiliserNomVideo);
    rootLayout->addLayout(Row({cbLimiterLongueur, RacineLengthEdit}));
    column->addWidget(root);

    auto* ending = new QGroupBox(QStringLiteral("Then"), this);
    auto* endingLayout = GroupColumn(ending);
    rbTimestamp = Named(new QRadioButton(QStringLiteral("The time code"), ending), "rbTimestamp");
    rbNumero = Named(new QRadioButton(QStringLiteral("A number of"), ending), "rbNumero");
    DigitsEdit = Spin(ending, "DigitsEdit", 1, 10);
    seNextNum = Spin(ending, "seNextNum", 0, 999'999'999);
    endingLayout->addWidget(rbTimestamp);
    endingLayout->addLayout(Row({rbNumero, DigitsEdit}));
    endingLayout->addLayout(Row({new QLabel(QStringLiteral("Next number:"), ending), seNextNum}));
    column->addWidget(ending);

    rgExtension = Named(new QGroupBox(QStringLiteral("Format"), this), "rgExtension");
    auto* formatLayout = GroupColumn(rgExtension);
    rbBmp = new QRadioButton(QStringLiteral("BMP"), rgExtension);
    rbJpeg = new QRadioButton(QStringLiteral("JPEG, quality"), rgExtension);
    TrackBar1 = Named(new QSlider(Qt::Horizontal, rgExtension), "TrackBar1");
    TrackBar1->setRange(0, 100);
    labQuality = Named(new QLabel(rgExtension), "labQuality");
    formatLayout->addWidget(rbBmp);
    formatLayout->addLayout(Row({rbJpeg, TrackBar1, labQuality}));
    column->addWidget(rgExtension);

    column->addWidget(new QLabel(QStringLiteral("Folder of the pictures:"), this));
    deDossierSave = Named(new TWideDirectoryEdit(this), "deDossierSave");
    column->addWidget(deDossierSave);
    column->addStretch();
}

TIncrustFrame::TIncrustFrame(QWidget* parent) : QFrame(parent)
{
    SidePanel(this, "IncrustFrame");
    auto* column = Column(this);
    FontComboBox = Named(new QFontComboBox(this), "FontComboBox");
    cbSize = Named(new QComboBox(this), "cbSize");
    cbSize->setEditable(true);
    cbSize->addItem(QStringLiteral("auto"));
    for (int size : {8, 10, 12, 14, 16, 18, 20, 24, 28, 36, 48, 72})
        cbSize->addItem(QString::number(size));
    column->addLayout(Row({FontComboBox, cbSize}));

    tbBold = Tool(this, "tbBold", QStringLiteral("B"));
    tbItalic = Tool(this, "tbItalic", QStringLiteral("I"));
    tbUnderline = Tool(this, "tbUnderline", QStringLiteral("U"));
    tbStrikeOut = Tool(this, "tbStrikeOut", QStringLiteral("S"));
    ColorButton = Named(new QPushButton(QStringLiteral("Colour"), this), "ColorButton");
    column->addLayout(Row({tbBold, tbItalic, tbUnderline, tbStrikeOut, ColorButton}));

    tbBorder = Tool(this, "tbBorder", QStringLiteral("Border"), false);
    tbBorder->setPopupMode(QToolButton::InstantPopup);
    BorderMenu = Named(new QMenu(tbBorder), "BorderMenu");
    const auto borderItem = [this](const char* name, const QString& caption) {
        QAction* item = BorderMenu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        return item;
    };
    Aucun1 = borderItem("Aucun1", QStringLiteral("None"));
    N11 = borderItem("N11", QStringLiteral("1"));
    N21 = borderItem("N21", QStringLiteral("2"));
    N31 = borderItem("N31", QStringLiteral("3"));
    N41 = borderItem("N41", QStringLiteral("4"));
    N51 = borderItem("N51", QStringLiteral("5"));
    tbBorder->setMenu(BorderMenu);
    InsertColorButton = Named(new QPushButton(QStringLiteral("Border colour"), this), "InsertColorButton");
    column->addLayout(Row({tbBorder, InsertColorButton}));

    tbLeftAlign = Tool(this, "tbLeftAlign", QStringLiteral("Left"));
    tbCenter = Tool(this, "tbCenter", QStringLiteral("Centre"));
    tbRightAlign = Tool(this, "tbRightAlign", QStringLiteral("Right"));
    seTransparency = Spin(this, "seTransparency", 0, 100);
    seTransparency->setSuffix(QStringLiteral(" %"));
    column->addLayout(Row({tbLeftAlign, tbCenter, tbRightAlign, seTransparency}));

    InsertTimestampBtn = Tool(this, "InsertTimestampBtn", QStringLiteral("Timestamp"));
    InsertNumeroBtn = Tool(this, "InsertNumeroBtn", QStringLiteral("Number"));
    InsertTimecodeBtn = Tool(this, "InsertTimecodeBtn", QStringLiteral("Timecode"));
    InsertDatecodeBtn = Tool(this, "InsertDatecodeBtn", QStringLiteral("Datecode"));
    InsertSysDatetimeBtn = Tool(this, "InsertSysDatetimeBtn", QStringLiteral("Real date"));
    InsertPersoBtn = Tool(this, "InsertPersoBtn", QStringLiteral("Personalized"));
    // Two columns of presets: three captions side by side do not fit the
    // panel in every desktop's letter.
    auto* presets = new QGridLayout;
    presets->setSpacing(2);
    int cell = 0;
    for (QToolButton* preset : {InsertTimestampBtn, InsertNumeroBtn, InsertTimecodeBtn, InsertDatecodeBtn,
                                InsertSysDatetimeBtn, InsertPersoBtn}) {
        preset->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        presets->addWidget(preset, cell / 2, cell % 2);
        ++cell;
    }
    column->addLayout(presets);
    PresetButtons = new QButtonGroup(this);
    int mode = 0;
    for (QToolButton* preset : {InsertTimestampBtn, InsertNumeroBtn, InsertTimecodeBtn, InsertDatecodeBtn,
                                InsertPersoBtn, InsertSysDatetimeBtn})
        PresetButtons->addButton(preset, mode++);
    edPerso1 = Named(new QLineEdit(this), "edPerso1");
    edPerso2 = Named(new QLineEdit(this), "edPerso2");
    column->addWidget(edPerso1);
    column->addWidget(edPerso2);

    tbSousTitre = Tool(this, "tbSousTitre", QStringLiteral("Subtitles"), false);
    tbSliders = Tool(this, "tbSliders", QStringLiteral("Sliders"));
    column->addLayout(Row({tbSousTitre, tbSliders}));
    column->addStretch();
}

TDVIncrustFrame::TDVIncrustFrame(QWidget* parent) : QFrame(parent)
{
    SidePanel(this, "DVIncrustFrame");
    auto* column = Column(this);
    labVideodate = Named(new QLabel(this), "labVideodate");
    labDecalageHoraire = Named(new QLabel(this), "labDecalageHoraire");
    // A long date format takes a second line rather than losing its end.
    for (QLabel* label : {labVideodate, labDecalageHoraire})
        label->setWordWrap(true);
    column->addWidget(labVideodate);
    column->addWidget(labDecalageHoraire);

    PanelHeures = Named(new QFrame(this), "PanelHeures");
    seDecalerHeures = Spin(PanelHeures, "seDecalerHeures", -100'000, 100'000);
    auto* hours = new QHBoxLayout(PanelHeures);
    hours->addWidget(new QLabel(QStringLiteral("Hours:"), PanelHeures));
    hours->addWidget(seDecalerHeures);
    column->addWidget(PanelHeures);

    PanelAvance = Named(new QFrame(this), "PanelAvance");
    DateEdit1 = Named(new QDateEdit(PanelAvance), "DateEdit1");
    DateEdit1->setCalendarPopup(true);
    seHeure = Spin(PanelAvance, "seHeure", 0, 23);
    seMinute = Spin(PanelAvance, "seMinute", 0, 59);
    seSeconde = Spin(PanelAvance, "seSeconde", 0, 59);
    resetBtn = Named(new QPushButton(QStringLiteral("Reset"), PanelAvance), "resetBtn");
    auto* advanced = new QVBoxLayout(PanelAvance);
    advanced->addWidget(DateEdit1);
    advanced->addLayout(Row({seHeure, seMinute, seSeconde}));
    advanced->addWidget(resetBtn);
    PanelAvance->hide();
    column->addWidget(PanelAvance);

    // The date format of the first line is typed or chosen; the time format
    // of the second is one of a list.
    cbDatecode1 = Named(new QComboBox(this), "cbDatecode1");
    cbDatecode1->setEditable(true);
    cbDatecode1->setInsertPolicy(QComboBox::NoInsert);
    cbDatecode1->addItems({QStringLiteral("ddddd"), QStringLiteral("dddddd"), QStringLiteral("dd/mm/yyyy"),
                           QStringLiteral("dddd d mmmm yyyy"), QStringLiteral("mmmm yyyy"), QStringLiteral("c")});
    cbDatecode2 = Named(new QComboBox(this), "cbDatecode2");
    cbDatecode2->addItems({QStringLiteral("tt"), QStringLiteral("t"), QStringLiteral("hh:nn"),
                           QStringLiteral("hh:nn:ss"), QStringLiteral("h:nn am/pm")});
    cbDecalageAvance = Named(new QCheckBox(QStringLiteral("Advanced"), this), "cbDecalageAvance");
    column->addWidget(cbDatecode1);
    column->addWidget(cbDatecode2);
    column->addWidget(cbDecalageAvance);
    column->addStretch();
}

void TIncrustFrame::ShowOnTop()
{
    raise();
    show();
}

void TIncrustFrame::HideFrame()
{
    hide();
}

void TDVIncrustFrame::ShowFrame()
{
    raise();
    show();
}

void TDVIncrustFrame::HideFrame()
{
    hide();
}

void TDVIncrustFrame::SetDisplayDate(TDateTime value)
{
    const QSignalBlocker quietDate(DateEdit1);
    const QSignalBlocker quietHour(seHeure);
    const QSignalBlocker quietMinute(seMinute);
    const QSignalBlocker quietSecond(seSeconde);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    DateEdit1->setDate(QDate(year, month, day));
    seHeure->setValue(hour);
    seMinute->setValue(minute);
    seSeconde->setValue(second);
}

TDateTime TDVIncrustFrame::FieldsDate() const
{
    const QDate date = DateEdit1->date();
    TDateTime day = 0;
    if (!TryEncodeDate(date.year(), date.month(), date.day(), day))
        return 0;
    return ComposeDateTime(day, seHeure->value() / double(HoursPerDay) + seMinute->value() / double(MinsPerDay) +
                                    seSeconde->value() / double(SecsPerDay));
}

TOptionsFrame::TOptionsFrame(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("OptionsFrame"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    resize(560, 420);
    auto* column = Column(this);

    rgPrefs = Named(new QGroupBox(QStringLiteral("Save the preferences when quit"), this), "rgPrefs");
    rgPrefsItems = new QButtonGroup(rgPrefs);
    auto* prefs = GroupColumn(rgPrefs);
    int id = 0;
    for (const char* item : {"Normal Mode (registry)", "Portable Mode (USB key)", "Do not save when quit"}) {
        auto* radio = new QRadioButton(QString::fromLatin1(item), rgPrefs);
        rgPrefsItems->addButton(radio, id++);
        prefs->addWidget(radio);
    }
    column->addWidget(rgPrefs);

    cbUsePrivateFilters = Named(new QCheckBox(QStringLiteral("Use the private filters"), this), "cbUsePrivateFilters");
    dePrivateFolder = Named(new TWideDirectoryEdit(this), "dePrivateFolder");
    column->addWidget(cbUsePrivateFilters);
    column->addWidget(new QLabel(QStringLiteral("Folder of the private filters:"), this));
    column->addWidget(dePrivateFolder);

    cbNavPrecise =
        Named(new QCheckBox(QStringLiteral("Precise navigation, pre-positioning (ms):"), this), "cbNavPrecise");
    seSeekPrepos = Spin(this, "seSeekPrepos", 0, 60'000);
    column->addLayout(Row({cbNavPrecise, seSeekPrepos}));

    cbRAZwhenOpenFile =
        Named(new QCheckBox(QStringLiteral("Number the pictures from 1 for each video"), this), "cbRAZwhenOpenFile");
    cbSauverQuandClic =
        Named(new QCheckBox(QStringLiteral("A click on the video saves the picture"), this), "cbSauverQuandClic");
    cbConfirmerImage = Named(new QCheckBox(QStringLiteral("Ask before replacing a picture"), this), "cbConfirmerImage");
    column->addWidget(cbRAZwhenOpenFile);
    column->addWidget(cbSauverQuandClic);
    column->addWidget(cbConfirmerImage);

    deDossierScripts = Named(new TWideDirectoryEdit(this), "deDossierScripts");
    cbConserverScript = Named(new QCheckBox(QStringLiteral("Keep the script between runs"), this), "cbConserverScript");
    column->addWidget(new QLabel(QStringLiteral("Folder of the scripts:"), this));
    column->addWidget(deDossierScripts);
    column->addWidget(cbConserverScript);

    seMaxSynchro = Spin(this, "seMaxSynchro", 0, 10'000);
    column->addLayout(Row({new QLabel(QStringLiteral("Largest sync offset of the inlay (ms):"), this), seMaxSynchro}));
    column->addStretch();
}

void TOptionsFrame::SetPrefsMode(int mode)
{
    if (QAbstractButton* item = rgPrefsItems->button(mode))
        item->setChecked(true);
}

Tintervalloframe::Tintervalloframe(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("intervalloframe"));
    setAutoFillBackground(true);
    GroupBox = new QGroupBox(QStringLiteral("Intervalometer"), this);
    chronolab = Named(new QLabel(GroupBox), "chronolab");
    // Room for a count of six figures.
    chronolab->setMinimumWidth(chronolab->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
    seIntervallo = Spin(GroupBox, "seIntervallo", 1, 1'000'000);
    cboxIntervallo = Named(new QComboBox(GroupBox), "cboxIntervallo");
    cboxIntervallo->addItems(
        {QStringLiteral("Frames"), QStringLiteral("Seconds"), QStringLiteral("Minutes"), QString()});
    cboxIntervallo->setCurrentIndex(1);
    RxSwitch1 = Tool(GroupBox, "RxSwitch1", QStringLiteral("Off"));
    RxSwitch1->setToolTip(QStringLiteral("Toggle intervalometer"));
    auto* row = new QHBoxLayout(GroupBox);
    row->setContentsMargins(6, 2, 6, 4);
    row->addWidget(seIntervallo);
    row->addWidget(cboxIntervallo);
    row->addWidget(RxSwitch1);
    row->addWidget(chronolab);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->addWidget(GroupBox);
    resize(sizeHint());
    hide();
}
