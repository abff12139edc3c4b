#include "app/main_actions.h"

#include <QKeySequence>

#include <type_traits>

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

QString T(const char* text)
{
    return QString::fromUtf8(text);
}

QKeySequence Key(QKeyCombination key)
{
    return QKeySequence(key);
}

} // namespace

void CreateMainActions(TKvActionList& gpal, TMainActions& a)
{
    // Nothing the table sets is a change of the user's: no macro line.
    const bool guarded = MacroGuard;
    MacroGuard = true;
    TMaker m(gpal);
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

    a.caDecalageAvance =
        m.Check("caDecalageAvance", {"DecalageAvance", "da", none, stApplied, incruster}, false, T("Advanced"));
    a.caDecalageAvance->Variables = QStringLiteral("fDoTrue");
    a.caDecalageAvance->Comments = {QStringLiteral("The time difference only works for DV video files.")};
    a.daDecalageHoraire = m.Value<TDoubleAction>(
        "daDecalageHoraire", {"DecalageHoraire", "dh", none, stApplied, incruster}, T("DecalageHoraire"), 0.0);
    a.daDecalageHoraire->Comments = {QStringLiteral("The time difference is a decimal number of days:"),
                                     QStringLiteral("1/24 is an hour, 1/1440 a minute and 1/86400 a second.")};
    a.iaLeftFrame =
        m.Value<TIntegerAction>("iaLeftFrame", {"LeftFrame", "lf", none, stNoLoadApply, morvek}, T("LeftFrame"), 0);
    a.baConfirmerImage = m.Value<TBooleanAction>("baConfirmerImage", {"ConfirmerImage", "ci", none, stApplied, morvek},
                                                 T("ConfirmerImage"), true);
    a.caIntervalloShow =
        m.Check("caIntervalloShow", {"IntervalloShow", "si", Key(Qt::ALT | Qt::Key_J), stNotStored, intervallo}, false,
                T("Hide the intervalometer"), T("Display the intervalometer"));
    a.baImageDeinterlacer = m.Value<TBooleanAction>(
        "baImageDeinterlacer", {"ImageDeinterlacer", "di", none, stApplied, morvek}, T("Deinterlace"), false);
    a.baSauverQuandClic = m.Value<TBooleanAction>(
        "baSauverQuandClic", {"SauverQuandClic", "sq", none, stApplied, morvek}, T("SauverQuandClic"), true);
    a.iaDigits = m.Value<TIntegerAction>("iaDigits", {"Digits", "dig", none, stApplied, imageName}, T("Digits"), 3);
    a.iaImageExtension = m.Value<TIntegerAction>(
        "iaImageExtension", {"ImageExtension", "iex", none, stApplied, imageName}, T("ImageExtension"), 0);
    a.iaJpegCompressionQuality = m.Value<TIntegerAction>("iaJpegCompressionQuality",
                                                         {"JpegCompressionQuality", "qual", none, stApplied, imageName},
                                                         T("JpegCompressionQuality"), 50);
    a.iaImageAjouter = m.Value<TIntegerAction>("iaImageAjouter", {"ImageAjouter", "addi", none, stApplied, imageName},
                                               T("ImageAjouter"), 0);
    a.iaPanneauActif =
        m.Value<TIntegerAction>("iaPanneauActif", {"PanneauActif", "ap", none, stApplied, ui}, T("PanneauActif"), 0);
    a.iaIntervalloDelai = m.Value<TIntegerAction>(
        "iaIntervalloDelai", {"IntervalloDelai", "idelai", none, stApplied, intervallo}, T("IntervalloDelai"), 0);
    a.iaIntervalloUnit = m.Value<TIntegerAction>(
        "iaIntervalloUnit", {"IntervalloUnit", "iunit", none, stApplied, intervallo}, T("IntervalloUnit"), 0);
    a.iaForcerAspectRatio = m.Value<TIntegerAction>(
        "iaForcerAspectRatio", {"ForcerAspectRatio", "far", none, stApplied, aspect}, T("ForcerAspectRatio"), 0);
    a.waDossierSave = m.Value<TWidestringAction>("waDossierSave", {"DossierSave", "savfold", none, stApplied, morvek},
                                                 T("FolderSave"), QString());
    a.iaNomFichierImage = m.Value<TIntegerAction>(
        "iaNomFichierImage", {"NomFichierImage", "fname", none, stApplied, imageName}, T("NomFichierImage"), 0);
    a.baLimiterLongueur = m.Value<TBooleanAction>(
        "baLimiterLongueur", {"LimiterLongueur", "limit", none, stApplied, imageName}, T("LimiterLongueur"), false);
    a.iaRacineLength = m.Value<TIntegerAction>(
        "iaRacineLength", {"RacineLength", "rootlen", none, stApplied, imageName}, T("RacineLength"), 8);
    a.waDefaultRacine =
        m.Value<TWidestringAction>("waDefaultRacine", {"DefaultRacine", "root", none, stApplied, imageName},
                                   T("DefaultRacine"), QStringLiteral("Kestrova"));
    a.naShowSaveImages = m.Nope("naShowSaveImages", {"ShowSaveImages", "shSav", Key(Qt::Key_F3), stNoLoadApply, ui},
                                T("Settings of the Image"));
    a.naShowImagette =
        m.Nope("naShowImagette", {"ShowImagette", "shExtr", Key(Qt::Key_F2), stNoLoadApply, ui}, T("Thumbnail"));
    a.naShowIncrust =
        m.Nope("naShowIncrust", {"ShowIncrust", "ShIn", Key(Qt::Key_F6), stNoLoadApply, ui}, T("Settings of Inlay"));
    a.naGrab = m.Nope("naGrab", {"Grab", "g", Key(Qt::Key_F5), stNoLoadApply, actions}, T("Grab"));
    a.iaNextNum = m.Value<TIntegerAction>("iaNextNum", {"NextNum", "n", none, stApplied, imageName}, T("NextNum"), 1);
    a.naJpegExtension =
        m.Nope("naJpegExtension", {"JpegExtension", "ej", none, stNoLoadApply, imageName}, T("Extension Jpeg"));
    a.naBmpExtension =
        m.Nope("naBmpExtension", {"BmpExtension", "eb", none, stNoLoadApply, imageName}, T("Extension Bmp"));
    a.naAjouterTimeStamp =
        m.Nope("naAjouterTimeStamp", {"AjouterTimeStamp", "as", none, stNoLoadApply, imageName}, T("AddTimeStamp"));
    a.naAjouterNumero =
        m.Nope("naAjouterNumero", {"AjouterNumero", "an", none, stNoLoadApply, imageName}, T("Add Number"));
    a.naCopy = m.Nope("naCopy", {"Copy", "c", Key(Qt::CTRL | Qt::Key_C), stNoLoadApply, actions}, T("Copy"));
    a.naInsertTimestamp =
        m.Nope("naInsertTimestamp", {"InsertTimestamp", "is", Key(Qt::CTRL | Qt::Key_S), stNoLoadApply, insert},
               T("Timestamp"));
    a.naInsertTimecode = m.Nope(
        "naInsertTimecode", {"InsertTimecode", "it", Key(Qt::CTRL | Qt::Key_T), stNoLoadApply, insert}, T("Timecode"));
    a.naInsertPerso = m.Nope("naInsertPerso", {"InsertPerso", "ip", Key(Qt::CTRL | Qt::Key_P), stNoLoadApply, insert},
                             T("Personalized"));
    a.naInsertNumero =
        m.Nope("naInsertNumero", {"InsertNumero", "in", Key(Qt::CTRL | Qt::Key_N), stNoLoadApply, insert}, T("Number"));
    a.naInsertDatecode = m.Nope(
        "naInsertDatecode", {"InsertDatecode", "id", Key(Qt::CTRL | Qt::Key_D), stNoLoadApply, insert}, T("Datecode"));
    a.naInsertSysdateTime =
        m.Nope("naInsertSysdateTime", {"InsertSysdateTime", "ir", Key(Qt::CTRL | Qt::Key_R), stNoLoadApply, insert},
               T("Real date and time"));
    a.baRAZWhenOpenFile = m.Value<TBooleanAction>(
        "baRAZWhenOpenFile", {"RAZWhenOpenFile", "raz", none, stApplied, morvek}, T("RAZWhenOpenFile"), true);
    a.waInsertPerso1 = m.Value<TWidestringAction>("waInsertPerso1", {"InsertPerso1", "p1", none, stApplied, incruster},
                                                  T("InsertPerso1"), QStringLiteral("Kestrova"));
    a.waInsertPerso2 = m.Value<TWidestringAction>("waInsertPerso2", {"InsertPerso2", "p2", none, stApplied, incruster},
                                                  T("InsertPerso2"), kDefaultInsertPerso2);
    a.waFormatDatecode1 =
        m.Value<TWidestringAction>("waFormatDatecode1", {"FormatDatecode1", "fd1", none, stApplied, incruster},
                                   T("FormatDatecode1"), QStringLiteral("ddddd"));
    a.waFormatDatecode2 =
        m.Value<TWidestringAction>("waFormatDatecode2", {"FormatDatecode2", "fd2", none, stApplied, incruster},
                                   T("FormatDatecode2"), QStringLiteral("tt"));
    a.caSliders = m.Check("caSliders", {"Sliders", "isl", Key(Qt::CTRL | Qt::Key_L), stApplied, incruster}, false,
                          T("Hide sliders"), T("Display Sliders"));
    a.naSoustitres = m.Nope("naSoustitres", {"Soustitres", "sub", none, stNoLoadApply, morvek}, T("Subtitles"));
    a.waIncrustPattern1 =
        m.Value<TWidestringAction>("waIncrustPattern1", {"IncrustPattern1", "ipat1", none, stApplied, incruster},
                                   T("IncrustPattern1"), QStringLiteral("No inlay has been defined."));
    a.waIncrustPattern2 =
        m.Value<TWidestringAction>("waIncrustPattern2", {"IncrustPattern2", "ipat2", none, stApplied, incruster},
                                   T("IncrustPattern2"), QStringLiteral(" \"%F\""));
    a.naShowDVIncrust =
        m.Nope("naShowDVIncrust", {"ShowDVIncrust", "shDV", Key(Qt::Key_F4), stNoLoadApply, ui}, T("DV Settings"));
    a.baInsertAutoSize = m.Value<TBooleanAction>(
        "baInsertAutoSize", {"InsertAutoSize", "auto", Key(Qt::CTRL | Qt::Key_Backslash), stApplied, incruster},
        T("InsertAutoSize"), true);
    a.naForcerNormal = m.Nope(
        "naForcerNormal", {"ForcerNormal", "arN", Key(Qt::ALT | Qt::Key_F5), stNoLoadApply, aspect}, T("ForcerNormal"));
    a.naForcer4x3 =
        m.Nope("naForcer4x3", {"Forcer4x3", "ar43", Key(Qt::ALT | Qt::Key_F6), stNoLoadApply, aspect}, T("Force4x3"));
    a.naForcer16x9 = m.Nope("naForcer16x9", {"Forcer16x9", "ar169", Key(Qt::ALT | Qt::Key_F7), stNoLoadApply, aspect},
                            T("Force16x9"));
    a.naForcerNative =
        m.Nope("naForcerNative", {"ForcerNative", "arNat", Key(Qt::ALT | Qt::Key_F8), stNoLoadApply, aspect},
               T("ForceNative"));
    a.caVideoLeft = m.Check("caVideoLeft", {"VideoLeft", "bw", Key(Qt::ALT | Qt::Key_W), stApplied, morvek}, false,
                            T("Put the Video to the Right"), T("Put the Video to the Left"));
    a.naAbort = m.Nope("naAbort", {"Abort", "a", Key(Qt::Key_Escape), stNoLoadApply, morvek}, T("Abort"));
    a.waPrivateFolder = m.Value<TWidestringAction>("waPrivateFolder", {"waLAVFolder", "privf", none, stApplied, morvek},
                                                   T("PrivateFolder"), QString());
    a.waInsertFontName =
        m.Value<TWidestringAction>("waInsertFontName", {"InsertFontName", "ifname", none, stNoLoadApply, incruster},
                                   T("InsertFontName"), QString());
    a.baUsePrivateFilters = m.Value<TBooleanAction>(
        "baUsePrivateFilters", {"UsePrivateFilters", "priv", none, stApplied, morvek}, T("UsePrivateFilters"), true);
    a.laInsertFontColor =
        m.Value<TColorAction>("laInsertFontColor", {"InsertFontColor", "ifCol", none, stNoLoadApply, incruster},
                              T("InsertFontColor"), clBlack);
    a.iaInsertFontSize = m.Value<TIntegerAction>(
        "iaInsertFontSize", {"InsertFontSize", "ifSize", none, stApplied, incruster}, T("InsertFontSize"), 0);
    a.naIntervalloStart =
        m.Nope("naIntervalloStart", {"IntervalloStart", "inter", Key(Qt::CTRL | Qt::Key_J), stNotStored, intervallo},
               T("IntervalloStart"));
    a.naIntervalloBreak = m.Nope(
        "naIntervalloBreak", {"IntervalloBreak", "br", Key(Qt::SHIFT | Qt::CTRL | Qt::Key_J), stNotStored, intervallo},
        T("IntervalloBreak"));
    a.naExecuteScript =
        m.Nope("naExecuteScript", {"ExecuteScript", "exec", Key(Qt::CTRL | Qt::Key_F12), stNoLoadApply, morvek},
               T("ExecuteScript"));
    a.caConserverScript = m.Check("caConserverScript", {"ConserverScript", "", none, stApplied, scripts}, true);
    a.waDossierScripts = m.Value<TWidestringAction>(
        "waDossierScripts", {"DossierScripts", "", none, stApplied, scripts}, T("DossierScripts"), QString());
    a.caIncrustBold = m.Check("caIncrustBold", {"IncrustBold", "", none, stApplied, incruster}, false);
    a.caIncrustItalic = m.Check("caIncrustItalic", {"IncrustItalic", "", none, stNoLoadApply, incruster}, false);
    a.caIncrustUnderline =
        m.Check("caIncrustUnderline", {"IncrustUnderline", "", none, stNoLoadApply, incruster}, false);
    a.caIncrustStrikeOut =
        m.Check("caIncrustStrikeOut", {"IncrustStrikeOut", "", none, stNoLoadApply, incruster}, false);
    a.iaInsertMode =
        m.Value<TIntegerAction>("iaInsertMode", {"InsertMode", "", none, stApplied, insert}, T("InsertMode"), 0);
    a.iaMaxSynchro =
        m.Value<TIntegerAction>("iaMaxSynchro", {"MaxSynchro", "", none, stApplied, incruster}, T("MaxSynchro"), 80);
    a.waImageParentFolder = m.Value<TWidestringAction>(
        "waImageParentFolder", {"ImageParentFolder", "", none, stNotStored, morvek}, T("ImageParentFolder"), QString());
    a.caSrtSubTitle =
        m.Check("caSrtSubTitle", {"SrtSubtitle", "", none, stApplied, "Morvek"}, true, T("Subtitles from Srt file"));
    MacroGuard = guarded;
}
