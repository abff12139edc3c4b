#include "app/main_actions.h"

#include <QKeySequence>

#include <type_traits>
#include <variant>

const QString kDefaultInsertPerso2 = QStringLiteral("Grabbed with Kestrova");

namespace {

// How an action takes part in loading and saving.
enum TStorage { stApplied, stNoLoadApply, stNotStored };

// One row of the table: what every action of the window is given.
struct TRow
{
    const char* scriptName;
    const char* switchName;
    QKeySequence shortCut;
    TStorage storage;
    const char* category;
};

class TMaker
{
public:
    explicit TMaker(TKvActionList& list) : FList(list) {}

    template <class A> A* Make(const char* id, const TRow& row, const QString& caption)
    {
        A* action = TCustomAbstractAction::CreateNamed<A>(&FList, QString::fromLatin1(id));
        action->ScriptName = QString::fromLatin1(row.scriptName);
        action->Switch = QString::fromLatin1(row.switchName);
        action->SetShortCut(row.shortCut);
        action->SetCategory(QString::fromLatin1(row.category));
        action->ApplyWhenLoad = row.storage == stApplied;
        action->IncludePrefs = row.storage != stNotStored;
        if constexpr (!std::is_same_v<A, TCheckAction>)
            action->SetCaption(caption);
        return action;
    }

    template <class A, class T> A* Value(const char* id, const TRow& row, const QString& caption, const T& defaultValue)
    {
        A* action = Make<A>(id, row, caption);
        action->SetDefaultValue(defaultValue);
        action->SetValue(defaultValue);
        return action;
    }

    TCheckAction* Check(const char* id, const TRow& row, bool defaultValue, const QString& trueCaption = QString(),
                        const QString& falseCaption = QString())
    {
        auto* action = Make<TCheckAction>(id, row, trueCaption);
        action->SetTrueCaption(trueCaption);
        action->SetFalseCaption(falseCaption.isNull() ? trueCaption : falseCaption);
        action->SetDefaultValue(defaultValue);
        return action;
    }

    TNopeAction* Nope(const char* id, const TRow& row, const QString& caption)
    {
        return Make<TNopeAction>(id, row, caption);
    }

private:
    TKvActionList& FList;
};

QKeySequence Key(QKeyCombination key)
{
    return QKeySequence(key);
}

const QKeySequence none;
const char* const incruster = "cat_Incruster";
const char* const morvek = "cat_Morvek";
const char* const imageName = "cat_ImageName";
const char* const intervallo = "cat_Intervallo";
const char* const ui = "cat_UI";
const char* const insert = "cat_Insert";
const char* const aspect = "cat_Aspect";
const char* const actions = "cat_Actions";
const char* const scripts = "cat_Scripts";

// Where an action goes in the window's list of actions; its type is the
// action's class.
using TSlot =
    std::variant<TNopeAction * TMainActions::*, TCheckAction * TMainActions::*, TIntegerAction * TMainActions::*,
                 TBooleanAction * TMainActions::*, TDoubleAction * TMainActions::*, TWidestringAction * TMainActions::*,
                 TColorAction * TMainActions::*>;

// One action of the window: its name and place, its row, its caption (the
// caption when checked for a check action, then the one when unchecked when
// it differs) and its default value (none for a command).
struct TActionRow
{
    const char* id;
    TSlot slot;
    TRow row;
    const char* caption;
    const char* falseCaption;
    std::variant<std::monostate, bool, int, double, QString> value;
};

// The actions in their order, which is also the order of loading.
// clang-format off
const TActionRow kActionRows[] = {
    {"caDecalageAvance", &TMainActions::caDecalageAvance, {"DecalageAvance", "da", none, stApplied, incruster},
     "Advanced", nullptr, false},
    {"daDecalageHoraire", &TMainActions::daDecalageHoraire, {"DecalageHoraire", "dh", none, stApplied, incruster},
     "DecalageHoraire", nullptr, 0.0},
    {"iaLeftFrame", &TMainActions::iaLeftFrame, {"LeftFrame", "lf", none, stNoLoadApply, morvek},
     "LeftFrame", nullptr, 0},
    {"baConfirmerImage", &TMainActions::baConfirmerImage, {"ConfirmerImage", "ci", none, stApplied, morvek},
     "ConfirmerImage", nullptr, true},
    {"caIntervalloShow", &TMainActions::caIntervalloShow,
     {"IntervalloShow", "si", Key(Qt::ALT | Qt::Key_J), stNotStored, intervallo},
     "Hide the intervalometer", "Display the intervalometer", false},
    {"baImageDeinterlacer", &TMainActions::baImageDeinterlacer, {"ImageDeinterlacer", "di", none, stApplied, morvek},
     "Deinterlace", nullptr, false},
    {"baSauverQuandClic", &TMainActions::baSauverQuandClic, {"SauverQuandClic", "sq", none, stApplied, morvek},
     "SauverQuandClic", nullptr, true},
    {"iaDigits", &TMainActions::iaDigits, {"Digits", "dig", none, stApplied, imageName},
     "Digits", nullptr, 3},
    {"iaImageExtension", &TMainActions::iaImageExtension, {"ImageExtension", "iex", none, stApplied, imageName},
     "ImageExtension", nullptr, 0},
    {"iaJpegCompressionQuality", &TMainActions::iaJpegCompressionQuality,
     {"JpegCompressionQuality", "qual", none, stApplied, imageName},
     "JpegCompressionQuality", nullptr, 50},
    {"iaImageAjouter", &TMainActions::iaImageAjouter, {"ImageAjouter", "addi", none, stApplied, imageName},
     "ImageAjouter", nullptr, 0},
    {"iaPanneauActif", &TMainActions::iaPanneauActif, {"PanneauActif", "ap", none, stApplied, ui},
     "PanneauActif", nullptr, 0},
    {"iaIntervalloDelai", &TMainActions::iaIntervalloDelai, {"IntervalloDelai", "idelai", none, stApplied, intervallo},
     "IntervalloDelai", nullptr, 0},
    {"iaIntervalloUnit", &TMainActions::iaIntervalloUnit, {"IntervalloUnit", "iunit", none, stApplied, intervallo},
     "IntervalloUnit", nullptr, 0},
    {"iaForcerAspectRatio", &TMainActions::iaForcerAspectRatio, {"ForcerAspectRatio", "far", none, stApplied, aspect},
     "ForcerAspectRatio", nullptr, 0},
    {"waDossierSave", &TMainActions::waDossierSave, {"DossierSave", "savfold", none, stApplied, morvek},
     "FolderSave", nullptr, QString()},
    {"iaNomFichierImage", &TMainActions::iaNomFichierImage, {"NomFichierImage", "fname", none, stApplied, imageName},
     "NomFichierImage", nullptr, 0},
    {"baLimiterLongueur", &TMainActions::baLimiterLongueur, {"LimiterLongueur", "limit", none, stApplied, imageName},
     "LimiterLongueur", nullptr, false},
    {"iaRacineLength", &TMainActions::iaRacineLength, {"RacineLength", "rootlen", none, stApplied, imageName},
     "RacineLength", nullptr, 8},
    {"waDefaultRacine", &TMainActions::waDefaultRacine, {"DefaultRacine", "root", none, stApplied, imageName},
     "DefaultRacine", nullptr, QStringLiteral("Kestrova")},
    {"naShowSaveImages", &TMainActions::naShowSaveImages,
     {"ShowSaveImages", "shSav", Key(Qt::Key_F3), stNoLoadApply, ui},
     "Settings of the Image", nullptr, {}},
    {"naShowImagette", &TMainActions::naShowImagette, {"ShowImagette", "shExtr", Key(Qt::Key_F2), stNoLoadApply, ui},
     "Thumbnail", nullptr, {}},
    {"naShowIncrust", &TMainActions::naShowIncrust, {"ShowIncrust", "ShIn", Key(Qt::Key_F6), stNoLoadApply, ui},
     "Settings of Inlay", nullptr, {}},
    {"naGrab", &TMainActions::naGrab, {"Grab", "g", Key(Qt::Key_F5), stNoLoadApply, actions},
     "Grab", nullptr, {}},
    {"iaNextNum", &TMainActions::iaNextNum, {"NextNum", "n", none, stApplied, imageName},
     "NextNum", nullptr, 1},
    {"naJpegExtension", &TMainActions::naJpegExtension, {"JpegExtension", "ej", none, stNoLoadApply, imageName},
     "Extension Jpeg", nullptr, {}},
    {"naBmpExtension", &TMainActions::naBmpExtension, {"BmpExtension", "eb", none, stNoLoadApply, imageName},
     "Extension Bmp", nullptr, {}},
    {"naAjouterTimeStamp", &TMainActions::naAjouterTimeStamp,
     {"AjouterTimeStamp", "as", none, stNoLoadApply, imageName},
     "AddTimeStamp", nullptr, {}},
    {"naAjouterNumero", &TMainActions::naAjouterNumero, {"AjouterNumero", "an", none, stNoLoadApply, imageName},
     "Add Number", nullptr, {}},
    {"naCopy", &TMainActions::naCopy, {"Copy", "c", Key(Qt::CTRL | Qt::Key_C), stNoLoadApply, actions},
     "Copy", nullptr, {}},
    {"naInsertTimestamp", &TMainActions::naInsertTimestamp,
     {"InsertTimestamp", "is", Key(Qt::CTRL | Qt::Key_S), stNoLoadApply, insert},
     "Timestamp", nullptr, {}},
    {"naInsertTimecode", &TMainActions::naInsertTimecode,
     {"InsertTimecode", "it", Key(Qt::CTRL | Qt::Key_T), stNoLoadApply, insert},
     "Timecode", nullptr, {}},
    {"naInsertPerso", &TMainActions::naInsertPerso,
     {"InsertPerso", "ip", Key(Qt::CTRL | Qt::Key_P), stNoLoadApply, insert},
     "Personalized", nullptr, {}},
    {"naInsertNumero", &TMainActions::naInsertNumero,
     {"InsertNumero", "in", Key(Qt::CTRL | Qt::Key_N), stNoLoadApply, insert},
     "Number", nullptr, {}},
    {"naInsertDatecode", &TMainActions::naInsertDatecode,
     {"InsertDatecode", "id", Key(Qt::CTRL | Qt::Key_D), stNoLoadApply, insert},
     "Datecode", nullptr, {}},
    {"naInsertSysdateTime", &TMainActions::naInsertSysdateTime,
     {"InsertSysdateTime", "ir", Key(Qt::CTRL | Qt::Key_R), stNoLoadApply, insert},
     "Real date and time", nullptr, {}},
    {"baRAZWhenOpenFile", &TMainActions::baRAZWhenOpenFile, {"RAZWhenOpenFile", "raz", none, stApplied, morvek},
     "RAZWhenOpenFile", nullptr, true},
    {"waInsertPerso1", &TMainActions::waInsertPerso1, {"InsertPerso1", "p1", none, stApplied, incruster},
     "InsertPerso1", nullptr, QStringLiteral("Kestrova")},
    {"waInsertPerso2", &TMainActions::waInsertPerso2, {"InsertPerso2", "p2", none, stApplied, incruster},
     "InsertPerso2", nullptr, kDefaultInsertPerso2},
    {"waFormatDatecode1", &TMainActions::waFormatDatecode1, {"FormatDatecode1", "fd1", none, stApplied, incruster},
     "FormatDatecode1", nullptr, QStringLiteral("ddddd")},
    {"waFormatDatecode2", &TMainActions::waFormatDatecode2, {"FormatDatecode2", "fd2", none, stApplied, incruster},
     "FormatDatecode2", nullptr, QStringLiteral("tt")},
    {"caSliders", &TMainActions::caSliders, {"Sliders", "isl", Key(Qt::CTRL | Qt::Key_L), stApplied, incruster},
     "Hide sliders", "Display Sliders", false},
    {"naSoustitres", &TMainActions::naSoustitres, {"Soustitres", "sub", none, stNoLoadApply, morvek},
     "Subtitles", nullptr, {}},
    {"waIncrustPattern1", &TMainActions::waIncrustPattern1, {"IncrustPattern1", "ipat1", none, stApplied, incruster},
     "IncrustPattern1", nullptr, QStringLiteral("No inlay has been defined.")},
    {"waIncrustPattern2", &TMainActions::waIncrustPattern2, {"IncrustPattern2", "ipat2", none, stApplied, incruster},
     "IncrustPattern2", nullptr, QStringLiteral(" \"%F\"")},
    {"naShowDVIncrust", &TMainActions::naShowDVIncrust, {"ShowDVIncrust", "shDV", Key(Qt::Key_F4), stNoLoadApply, ui},
     "DV Settings", nullptr, {}},
    {"baInsertAutoSize", &TMainActions::baInsertAutoSize,
     {"InsertAutoSize", "auto", Key(Qt::CTRL | Qt::Key_Backslash), stApplied, incruster},
     "InsertAutoSize", nullptr, true},
    {"naForcerNormal", &TMainActions::naForcerNormal,
     {"ForcerNormal", "arN", Key(Qt::ALT | Qt::Key_F5), stNoLoadApply, aspect},
     "ForcerNormal", nullptr, {}},
    {"naForcer4x3", &TMainActions::naForcer4x3, {"Forcer4x3", "ar43", Key(Qt::ALT | Qt::Key_F6), stNoLoadApply, aspect},
     "Force4x3", nullptr, {}},
    {"naForcer16x9", &TMainActions::naForcer16x9,
     {"Forcer16x9", "ar169", Key(Qt::ALT | Qt::Key_F7), stNoLoadApply, aspect},
     "Force16x9", nullptr, {}},
    {"naForcerNative", &TMainActions::naForcerNative,
     {"ForcerNative", "arNat", Key(Qt::ALT | Qt::Key_F8), stNoLoadApply, aspect},
     "ForceNative", nullptr, {}},
    {"caVideoLeft", &TMainActions::caVideoLeft, {"VideoLeft", "bw", Key(Qt::ALT | Qt::Key_W), stApplied, morvek},
     "Put the Video to the Right", "Put the Video to the Left", false},
    {"naAbort", &TMainActions::naAbort, {"Abort", "a", Key(Qt::Key_Escape), stNoLoadApply, morvek},
     "Abort", nullptr, {}},
    {"waPrivateFolder", &TMainActions::waPrivateFolder, {"waLAVFolder", "privf", none, stApplied, morvek},
     "PrivateFolder", nullptr, QString()},
    {"waInsertFontName", &TMainActions::waInsertFontName, {"InsertFontName", "ifname", none, stNoLoadApply, incruster},
     "InsertFontName", nullptr, QString()},
    {"baUsePrivateFilters", &TMainActions::baUsePrivateFilters, {"UsePrivateFilters", "priv", none, stApplied, morvek},
     "UsePrivateFilters", nullptr, true},
    {"laInsertFontColor", &TMainActions::laInsertFontColor,
     {"InsertFontColor", "ifCol", none, stNoLoadApply, incruster},
     "InsertFontColor", nullptr, clBlack},
    {"iaInsertFontSize", &TMainActions::iaInsertFontSize, {"InsertFontSize", "ifSize", none, stApplied, incruster},
     "InsertFontSize", nullptr, 0},
    {"naIntervalloStart", &TMainActions::naIntervalloStart,
     {"IntervalloStart", "inter", Key(Qt::CTRL | Qt::Key_J), stNotStored, intervallo},
     "IntervalloStart", nullptr, {}},
    {"naIntervalloBreak", &TMainActions::naIntervalloBreak,
     {"IntervalloBreak", "br", Key(Qt::SHIFT | Qt::CTRL | Qt::Key_J), stNotStored, intervallo},
     "IntervalloBreak", nullptr, {}},
    {"naExecuteScript", &TMainActions::naExecuteScript,
     {"ExecuteScript", "exec", Key(Qt::CTRL | Qt::Key_F12), stNoLoadApply, morvek},
     "ExecuteScript", nullptr, {}},
    {"caConserverScript", &TMainActions::caConserverScript, {"ConserverScript", "", none, stApplied, scripts},
     nullptr, nullptr, true},
    {"waDossierScripts", &TMainActions::waDossierScripts, {"DossierScripts", "", none, stApplied, scripts},
     "DossierScripts", nullptr, QString()},
    {"caIncrustBold", &TMainActions::caIncrustBold, {"IncrustBold", "", none, stApplied, incruster},
     nullptr, nullptr, false},
    {"caIncrustItalic", &TMainActions::caIncrustItalic, {"IncrustItalic", "", none, stNoLoadApply, incruster},
     nullptr, nullptr, false},
    {"caIncrustUnderline", &TMainActions::caIncrustUnderline, {"IncrustUnderline", "", none, stNoLoadApply, incruster},
     nullptr, nullptr, false},
    {"caIncrustStrikeOut", &TMainActions::caIncrustStrikeOut, {"IncrustStrikeOut", "", none, stNoLoadApply, incruster},
     nullptr, nullptr, false},
    {"iaInsertMode", &TMainActions::iaInsertMode, {"InsertMode", "", none, stApplied, insert},
     "InsertMode", nullptr, 0},
    {"iaMaxSynchro", &TMainActions::iaMaxSynchro, {"MaxSynchro", "", none, stApplied, incruster},
     "MaxSynchro", nullptr, 80},
    {"waImageParentFolder", &TMainActions::waImageParentFolder, {"ImageParentFolder", "", none, stNotStored, morvek},
     "ImageParentFolder", nullptr, QString()},
    {"caSrtSubTitle", &TMainActions::caSrtSubTitle, {"SrtSubtitle", "", none, stApplied, "Morvek"},
     "Subtitles from Srt file", nullptr, true},
};
// clang-format on

QString Text(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

template <class A> A* MakeRow(TMaker& m, const TActionRow& r)
{
    if constexpr (std::is_same_v<A, TNopeAction>) {
        return m.Nope(r.id, r.row, Text(r.caption));
    } else if constexpr (std::is_same_v<A, TCheckAction>) {
        return m.Check(r.id, r.row, std::get<bool>(r.value), Text(r.caption), Text(r.falseCaption));
    } else {
        using T = std::decay_t<decltype(std::declval<A&>().Value())>;
        return m.Value<A, T>(r.id, r.row, Text(r.caption), std::get<T>(r.value));
    }
}

} // namespace

void CreateMainActions(TKvActionList& gpal, TMainActions& a)
{
    // Nothing the table sets is a change of the user's: no macro line.
    const bool guarded = MacroGuard;
    MacroGuard = true;
    TMaker m(gpal);
    for (const TActionRow& row : kActionRows)
        std::visit(
            [&](auto slot) {
                using A = std::remove_pointer_t<std::remove_reference_t<decltype(a.*slot)>>;
                a.*slot = MakeRow<A>(m, row);
            },
            row.slot);
    a.caDecalageAvance->Variables = QStringLiteral("fDoTrue");
    a.caDecalageAvance->Comments = {QStringLiteral("The time difference only works for DV video files.")};
    a.daDecalageHoraire->Comments = {QStringLiteral("The time difference is a decimal number of days:"),
                                     QStringLiteral("1/24 is an hour, 1/1440 a minute and 1/86400 a second.")};
    MacroGuard = guarded;
}
