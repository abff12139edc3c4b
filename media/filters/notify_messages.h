#pragma once
// The private window messages through which the media engine's filters,
// managers and main window talk to one another. A pointer carried in wParam
// or lParam points to a record that stays untouched until the receiving
// procedure has returned; the receiver reads it and never frees it. A
// receiver that needs the record later copies it.
//
// number  name               sent (S) / posted (P) by            wParam / lParam
// 0x2401  WM_GRABIMAGE        navigation manager (S)              QImage* to fill / 0
// 0x2402  WM_INTERVALLODONE   main window (P)                     0 / 0
// 0x2403  WM_VIDEODATA        frames notifier (P)                 4 (format) then 2 (caption) / const TVideoData*
// 0x2404  WM_AUDIODATA        audio and frames notifier (P)       3 / const TframeData* (audio fields)
// 0x2406  WM_PLAYBACKSTOPPED  nobody                              - / -
// 0x240A  WM_FRAMEDATA        frames notifier (P)                 0 / const TframeData*
// 0x240C  WM_DVCODE           video notifier (S)                  const TIncrustDV* / 0
// 0x240D  WM_SCENE            video notifier (P)                  const TframeData* / 0 scene start, 1 scene end
// 0x2411  WM_GRAPHCOMPLETE    graph manager (P)                   0 / 0
// 0x2412  WM_NAVGRAB          nobody                              - / target window
// 0x2414  WM_FRAMESDRAWN      nobody                              - / std::int32_t* receiving the frames drawn
// 0x2415  WM_RESAMPLERATE     nobody                              std::int32_t[2]* / -
// 0x2416  WM_POSITIONCOLOR    nobody                              - / 0
// 0x241A  WM_TIMESTAMPTEXT    frames notifier (S)                 const QString* / 0
// 0x241B  WM_SYSDATETIME      main window's timer (S)             const TIncrustSysDate* / 0
// 0x241C  WM_RESYNCSEEK       nobody                              - / -
// 0x241D  WM_IMAGENUMBER      main window (S)                     const TIncrustNumero* / 0
// 0x241E  WM_VIDEOFILENAME    main window (S)                     const TIncrustFileName* / 0
// 0x2420  WM_POSITIONTEXT     frames notifier (S)                 const QString* / 0
// 0x2421  WM_FRAMEDURATION    video notifier (P),                 low 32 bits of the frame duration / 0
//                             frames notifier on a new type (S)
// 0x2422  WM_TARGETREACHED    frames notifier (S)                 low 32 bits of the target / of the position
// 0x2425  WM_POSITIONVALUE    frames notifier (P)                 const REFERENCE_TIME* / 0

#include "platform/core/types.h"

constexpr UINT WM_GRABIMAGE = 0x2401;
constexpr UINT WM_INTERVALLODONE = 0x2402;
constexpr UINT WM_VIDEODATA = 0x2403;
constexpr UINT WM_AUDIODATA = 0x2404;
constexpr UINT WM_PLAYBACKSTOPPED = 0x2406;
constexpr UINT WM_FRAMEDATA = 0x240A;
constexpr UINT WM_DVCODE = 0x240C;
constexpr UINT WM_SCENE = 0x240D;
constexpr UINT WM_GRAPHCOMPLETE = 0x2411;
constexpr UINT WM_NAVGRAB = 0x2412;
constexpr UINT WM_FRAMESDRAWN = 0x2414;
constexpr UINT WM_RESAMPLERATE = 0x2415;
constexpr UINT WM_POSITIONCOLOR = 0x2416;
constexpr UINT WM_TIMESTAMPTEXT = 0x241A;
constexpr UINT WM_SYSDATETIME = 0x241B;
constexpr UINT WM_RESYNCSEEK = 0x241C;
constexpr UINT WM_IMAGENUMBER = 0x241D;
constexpr UINT WM_VIDEOFILENAME = 0x241E;
constexpr UINT WM_POSITIONTEXT = 0x2420;
constexpr UINT WM_FRAMEDURATION = 0x2421;
constexpr UINT WM_TARGETREACHED = 0x2422;
constexpr UINT WM_POSITIONVALUE = 0x2425;

// wParam of WM_VIDEODATA and WM_AUDIODATA.
constexpr WPARAM kVideoDataFormat = 4;
constexpr WPARAM kVideoDataCaption = 2;
constexpr WPARAM kAudioDataFormat = 3;
// lParam of WM_SCENE.
constexpr LPARAM kSceneStart = 0;
constexpr LPARAM kSceneEnd = 1;
