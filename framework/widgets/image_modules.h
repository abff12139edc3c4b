#pragma once
// The two shared image lists of the program, each held by a module that the
// windows and managers share by reference count: Acquire creates the module
// on the first call (count 0) and adds one on each further call; Release takes
// one away, and the release at count 0 frees the module.
//
// ilMorvek holds the common glyphs of the windows' action lists and file
// managers, ilKvPack those of the playback managers' actions and of the main
// window's button bar. The glyphs are scalable drawings: crisp at any size.

#include "framework/actions/action_base.h"

// Indexes into ilMorvek.
namespace MorvekImage {
enum : int {
    Options,      // settings page
    About,        // About page
    Help,         // help window
    Script,       // script window
    Quit,         // close the program
    NewFile,      // file manager: new
    OpenFile,     // open
    PasteFile,    // paste a file name
    SaveFile,     // save
    SaveFileAs,   // save under another name
    CloseFile,    // close
    ParentFolder, // show the file in its folder
    Ouvrir,       // choose a folder (folder edits)
    ClosePage,    // close the page
    Execute,      // run the script
    StartMacro,   // record a macro
    StopMacro,    // stop recording
    EMail,        // write to the author
    HomePage,     // the product's home page
    Count
};
}

// Indexes into ilKvPack. The navigation glyphs come first, in the order the
// navigation actions expect them.
namespace KvPackImage {
enum : int {
    BackMinute,      // go back one or ten minutes
    BackSecond,      // go back one or ten seconds
    BackFrame,       // go back one or ten frames
    ForwardFrame,    // move forward one or ten frames
    ForwardSecond,   // go forward one or ten seconds
    ForwardMinute,   // go forward one or ten minutes
    End,             // go to the end or to the next scene
    Start,           // go back to the start or the previous scene
    Pause,           // shown while playing
    Play,            // shown while paused
    FullScreen,      // full screen on
    FlipVertical,    // vertical flip
    FlipHorizontal,  // horizontal flip
    ExternalPreview, // video in the external window
    KeepAspect,      // keep the aspect ratio
    Inlay,           // text inlay on the picture
    AntiAliasing,    // smooth inlay text
    SoundOff,        // muted
    SoundOn,         // sound on
    VolumeUp,        // increase the volume
    VolumeDown,      // decrease the volume
    NextDecoder,     // use the next decoder
    Grab,            // grab the picture
    Copy,            // copy the picture to the clipboard
    Thumbnail,       // thumbnail panel
    PictureNames,    // picture-name settings panel
    DVDate,          // DV date panel
    InlaySettings,   // inlay settings panel
    Intervallo,      // interval capture
    Sliders,         // inlay position sliders
    NoAudio,         // audio status: no audio stream
    BadAudio,        // audio status: the stream cannot be played
    ErrorAudio,      // audio status: no audio output
    Count
};
}

// A module shared by reference count (see above).
template <typename Module> class TSharedImageModule
{
public:
    static Module* Acquire()
    {
        if (!Instance)
            Instance = new Module; // owned by the count, freed by the last Release
        else
            ++References;
        return Instance;
    }

    static void Release()
    {
        if (!Instance)
            return;
        if (References == 0) {
            delete Instance;
            Instance = nullptr;
        } else {
            --References;
        }
    }

    // The module while anyone holds it, else null.
    static Module* Current() { return Instance; }

protected:
    TSharedImageModule() = default;
    ~TSharedImageModule() = default;

private:
    static inline Module* Instance = nullptr;
    static inline int References = 0;
};

// The program's own icon, shown by the desktop for every window.
QIcon ProgramIcon();

class TdmMorvekImages : public TSharedImageModule<TdmMorvekImages>
{
public:
    TCustomImageList ilMorvek;

private:
    friend class TSharedImageModule<TdmMorvekImages>;
    TdmMorvekImages();
};

class TdmKvPackImages : public TSharedImageModule<TdmKvPackImages>
{
public:
    TCustomImageList ilKvPack;

private:
    friend class TSharedImageModule<TdmKvPackImages>;
    TdmKvPackImages();
};

// Holds one reference to a module for the lifetime of its owner.
template <typename Module> class TImageModuleRef
{
public:
    TImageModuleRef() : Held(Module::Acquire()) {}
    ~TImageModuleRef() { Module::Release(); }
    TImageModuleRef(const TImageModuleRef&) = delete;
    TImageModuleRef& operator=(const TImageModuleRef&) = delete;

    Module* operator->() const { return Held; }

private:
    Module* Held;
};
