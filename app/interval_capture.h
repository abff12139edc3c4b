#pragma once
// Interval capture: a picture grabbed and saved every so many frames,
// seconds or minutes from the position shown to the end of the video, with
// the sound off, until the end or a stop. The capture runs inside the apply
// of its start action and ends through a message posted to the window.
//
// The abort flag is the window's, shared with grabbing (TGrabShared): Cancel
// in the overwrite question and a picture that could not be written set it.

#include "platform/core/types.h"

#include <cstdint>
#include <functional>
#include <optional>

class QObject;
class TAudioMan;
class TCheckAction;
class TNavMan;
class Tintervalloframe;
struct TMainActions;

// The window's state that interval capture reads, and the abort it shares.
struct TIntervalShared
{
    // Set to stop the capture, by its own stop actions and by grabbing.
    bool& Abort;
    // Whether a video (not only a sound) is open: without one the count is 0.
    std::function<bool()> HasVideo;
};

class TIntervalCapture
{
public:
    // `window` is the context of the controls' connections; `handle` is the
    // window's message window, which is told WM_INTERVALLODONE at the end
    // and passes it back to WMIntervalloDone. Each picture is taken by
    // applying the grab action; `fullscreen` is left by the abort action.
    TIntervalCapture(QObject& window, HWND handle, TMainActions& actions, TNavMan& navigation, TAudioMan& audio,
                     TCheckAction& fullscreen, Tintervalloframe& panel, TIntervalShared shared);

    // The step, the start and the count of pictures from the settings and
    // the position shown.
    void ComputeIntervalloCount();
    void WMIntervalloDone();
    void IntervalloStop();
    // A capture under way ends at once, its state given back, so that the
    // video can change or the window close under it.
    void EndIntervalCapture();

    bool Running() const { return FRunning; }
    std::int64_t Step() const { return FStep; }
    std::int64_t Start() const { return FStart; }
    std::int64_t Count() const { return FCount; }

private:
    void AssignEvents();
    void AssignSettingEvents();
    void AssignSwitchEvents();
    void naIntervalloStartApply();
    void CountFrom(std::int64_t start);
    void ShowCount();
    void ShowRunning(bool on);

    QObject& FWindow;
    HWND FHandle;
    TMainActions& A;
    TNavMan& FNavMan;
    TAudioMan& FAudio;
    TCheckAction& FFullscreen;
    Tintervalloframe& FPanel;
    TIntervalShared FShared;

    bool FRunning = false;
    std::int64_t FStep = 0;
    std::int64_t FCount = 0;
    std::int64_t FStart = 0;
    // The start of a count in frames asked for before the frame duration
    // was known; the count is made from there once it is.
    std::optional<std::int64_t> FStartAwaitingDuration;
};
