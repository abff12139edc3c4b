#pragma once
// The private filters: modules kept in a folder of their own, loaded by path
// through their class-factory entry point, with settings files that are
// imported into the registry while they are in use and deleted afterwards.
//
// The folder holds "LAV" (LAVSplitter.ax, LAVAudio.ax, LAVVideo.ax and
// LBV.reg), "ffdshow" (ffdshow.ax and KVR.reg) and "VSFilter" (VSFilter.dll
// and VS.reg).

#include "media/engine/filter_rec.h"

#include <QString>

// The records of the private filters. They exist from the start and stay for
// the life of the program; registering a module only makes them creatable.
struct TPrivateFilterRecs
{
    TFilterRec LAVSplitterSource;
    TFilterRec WaveLAVSplitterSource;
    TFilterRec LAVSplitter;
    TFilterRec LAVAudio;
    TFilterRec LAVAudioSondrel;
    TFilterRec LAVVideo;
    TFilterRec FfdshowVideo;
    TFilterRec FfdshowAudio;
    TFilterRec VSFilter;
};
TPrivateFilterRecs& PrivateFilterRecs();

// The default folder of the private filters: the program's own, with a
// trailing separator.
QString DefaultPrivateFolder();

// Makes factories for the modules that are there; a missing module leaves
// its records without a filter.
void RegisterPrivateLAVFilters(const QString& folder);
void RegisterPrivateFfdshowFilters(const QString& modulePath);
void RegisterPrivateVSFilter(const QString& modulePath);

// Imports the settings file. Returns the message for the user when the file
// is missing or cannot be imported, an empty text once it is in.
QString InstallPrivateLAV(const QString& regFile);
QString InstallPrivateFfdshow(const QString& regFile);
QString InstallPrivateVSFilter(const QString& regFile);
// Deletes the family's settings from the registry.
bool UninstallPrivateLAV();
bool UninstallPrivateFfdshow();
bool UninstallPrivateVSFilter();
