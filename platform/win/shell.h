#pragma once
// The desktop around the program: known folders, opening addresses and files,
// showing a file in the file manager, the trash, the keyboard's modifier keys
// and the screen saver. All of it is for the GUI thread.

#include <QString>

#include <cstdint>

// The user's pictures folder; the documents folder when there is none, then
// the home folder. A folder counts only when it exists.
QString PicturesFolder();
// The user's documents folder, or the home folder when there is none.
QString DocumentsFolder();

// Opens an address ("https:", "mailto:?subject=...", "file:") or a local file
// with the desktop's handler for it. False when no handler took it.
bool ShellOpen(const QString& target);

// Asks the desktop's file manager to show the folder of `path` with the item
// selected; when no file manager answers, opens the folder instead. The answer
// comes through the event loop, so this returns at once. False when no file
// manager is there to ask and nothing could open the folder.
bool ShowInFolder(const QString& path);

// Moves a file or folder to the desktop's trash. False with a reason when it
// could not be moved (it is never deleted instead).
bool MoveToTrash(const QString& path, QString* error = nullptr);

// Virtual key codes of the modifier keys.
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;

// The state of a modifier key now: the high bit (0x8000 as a 16-bit value, so
// the result is negative) while it is down. Other keys read as up.
std::int16_t GetKeyState(int virtualKey);

// Whether the screen saver may start. The program switches it off while it
// runs (through the desktop's screen-saver inhibition, released when switched
// on again or when the program ends). Without a session bus this only records
// the wish.
bool ScreenSaverActive();
void SetScreenSaverActive(bool active);
