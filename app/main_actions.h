#pragma once
// The main window's own actions: the commands and settings of grabbing,
// picture names, the inlay, interval capture, the side panels and the
// options. They are created in a fixed order, which is also the order in
// which they load: a setting applied at load may rely on one before it.

#include "framework/actions/action_list.h"
#include "framework/actions/actions.h"

struct TMainActions
{
    TCheckAction* caDecalageAvance = nullptr;
    TDoubleAction* daDecalageHoraire = nullptr;
    TIntegerAction* iaLeftFrame = nullptr;
    TBooleanAction* baConfirmerImage = nullptr;
    TCheckAction* caIntervalloShow = nullptr;
    TBooleanAction* baImageDeinterlacer = nullptr;
    TBooleanAction* baSauverQuandClic = nullptr;
    TIntegerAction* iaDigits = nullptr;
    TIntegerAction* iaImageExtension = nullptr;
    TIntegerAction* iaJpegCompressionQuality = nullptr;
    TIntegerAction* iaImageAjouter = nullptr;
    TIntegerAction* iaPanneauActif = nullptr;
    TIntegerAction* iaIntervalloDelai = nullptr;
    TIntegerAction* iaIntervalloUnit = nullptr;
    TIntegerAction* iaForcerAspectRatio = nullptr;
    TWidestringAction* waDossierSave = nullptr;
    TIntegerAction* iaNomFichierImage = nullptr;
    TBooleanAction* baLimiterLongueur = nullptr;
    TIntegerAction* iaRacineLength = nullptr;
    TWidestringAction* waDefaultRacine = nullptr;
    TNopeAction* naShowSaveImages = nullptr;
    TNopeAction* naShowImagette = nullptr;
    TNopeAction* naShowIncrust = nullptr;
    TNopeAction* naGrab = nullptr;
    TIntegerAction* iaNextNum = nullptr;
    TNopeAction* naJpegExtension = nullptr;
    TNopeAction* naBmpExtension = nullptr;
    TNopeAction* naAjouterTimeStamp = nullptr;
    TNopeAction* naAjouterNumero = nullptr;
    TNopeAction* naCopy = nullptr;
    TNopeAction* naInsertTimestamp = nullptr;
    TNopeAction* naInsertTimecode = nullptr;
    TNopeAction* naInsertPerso = nullptr;
    TNopeAction* naInsertNumero = nullptr;
    TNopeAction* naInsertDatecode = nullptr;
    TNopeAction* naInsertSysdateTime = nullptr;
    TBooleanAction* baRAZWhenOpenFile = nullptr;
    TWidestringAction* waInsertPerso1 = nullptr;
    TWidestringAction* waInsertPerso2 = nullptr;
    TWidestringAction* waFormatDatecode1 = nullptr;
    TWidestringAction* waFormatDatecode2 = nullptr;
    TCheckAction* caSliders = nullptr;
    TNopeAction* naSoustitres = nullptr;
    TWidestringAction* waIncrustPattern1 = nullptr;
    TWidestringAction* waIncrustPattern2 = nullptr;
    TNopeAction* naShowDVIncrust = nullptr;
    TBooleanAction* baInsertAutoSize = nullptr;
    TNopeAction* naForcerNormal = nullptr;
    TNopeAction* naForcer4x3 = nullptr;
    TNopeAction* naForcer16x9 = nullptr;
    TNopeAction* naForcerNative = nullptr;
    TCheckAction* caVideoLeft = nullptr;
    TNopeAction* naAbort = nullptr;
    TWidestringAction* waPrivateFolder = nullptr;
    TWidestringAction* waInsertFontName = nullptr;
    TBooleanAction* baUsePrivateFilters = nullptr;
    TColorAction* laInsertFontColor = nullptr;
    TIntegerAction* iaInsertFontSize = nullptr;
    TNopeAction* naIntervalloStart = nullptr;
    TNopeAction* naIntervalloBreak = nullptr;
    TNopeAction* naExecuteScript = nullptr;
    TCheckAction* caConserverScript = nullptr;
    TWidestringAction* waDossierScripts = nullptr;
    TCheckAction* caIncrustBold = nullptr;
    TCheckAction* caIncrustItalic = nullptr;
    TCheckAction* caIncrustUnderline = nullptr;
    TCheckAction* caIncrustStrikeOut = nullptr;
    TIntegerAction* iaInsertMode = nullptr;
    TIntegerAction* iaMaxSynchro = nullptr;
    TWidestringAction* waImageParentFolder = nullptr;
    TCheckAction* caSrtSubTitle = nullptr;
};

// Creates the 71 actions in `gpal`, in their order, with their names, script
// names, switches, shortcuts, defaults, storage flags, categories and
// captions; the values start at the defaults.
void CreateMainActions(TKvActionList& gpal, TMainActions& actions);

// The default of the second custom inlay line.
extern const QString kDefaultInsertPerso2;
