#pragma once
// Saving a whole file so that a crash at any moment leaves either the old
// file or the new one, never a mix or an empty file: the bytes go to a
// temporary file beside it, which replaces the old one by a rename once it
// is complete and on disk.

#include <QByteArray>
#include <QString>

// False with `error` set (the system's reason) when the file could not be
// saved; the old file is then untouched.
bool SaveFileAtomically(const QString& fileName, const QByteArray& bytes, QString* error);

// For crash tests: called on the saving thread at two points of every save,
// where a writer that replaced the file in place would have destroyed it.
// A test program stops there and has itself killed.
enum class SaveStage {
    Opened,  // the file that receives the bytes is open and still empty
    Written, // every byte is written, the file is not yet in its place
};
using SaveHook = void (*)(const QString& fileName, SaveStage stage);
void SetSaveHook(SaveHook hook);
