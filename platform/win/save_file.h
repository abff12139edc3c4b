#pragma once
// Saving a whole file so that a crash at any moment leaves either the old
// file or the new one, never a mix or an empty file: the bytes go to a
// temporary file beside it, which replaces the old one by a rename once it
// is complete and on disk.

#include <QByteArray>
#include <QString>

class QFile;
class QRegularExpression;

// False with `error` set (the system's reason) when the file could not be
// saved; the old file is then untouched.
// A save that a crash or a kill cut short leaves its temporary file behind:
// those of earlier saves of the same file go at the start of the next one.
bool SaveFileAtomically(const QString& fileName, const QByteArray& bytes, QString* error);

// Removes from `folder` the files whose whole name matches `pattern` and
// that nobody has written to for a minute: temporaries of saves that never
// finished. A save in progress, of this copy of the program or another, is
// younger than that and stays. Only the program's own patterns go here.
// Returns how many were removed.
int RemoveStaleTemporaries(const QString& folder, const QRegularExpression& pattern);

// Reads an open file to its end, whatever it is: a device or a pipe has no
// size to check beforehand. False when there is more than `limit` bytes.
bool ReadAtMost(QFile& file, qint64 limit, QByteArray* bytes);

// For crash tests: called on the saving thread at two points of every save,
// where a writer that replaced the file in place would have destroyed it.
// A test program stops there and has itself killed.
enum class SaveStage {
    Opened,  // the file that receives the bytes is open and still empty
    Written, // every byte is written, the file is not yet in its place
};
using SaveHook = void (*)(const QString& fileName, SaveStage stage);
void SetSaveHook(SaveHook hook);
