#include "platform/win/save_file.h"

#include <QSaveFile>

#include <atomic>

namespace {

std::atomic<SaveHook> saveHook{nullptr};

void reach(const QString& fileName, SaveStage stage)
{
    if (const SaveHook hook = saveHook.load())
        hook(fileName, stage);
}

} // namespace

bool SaveFileAtomically(const QString& fileName, const QByteArray& bytes, QString* error)
{
    // Unbuffered, so that a failing write is seen before the file is renamed
    // over the old one: a buffered write that fails only when commit()
    // flushes it would still have the short file put in place.
    QSaveFile file(fileName);
    bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (saved) {
        reach(fileName, SaveStage::Opened);
        saved = file.write(bytes) == bytes.size();
    }
    if (saved) {
        reach(fileName, SaveStage::Written);
        saved = file.commit();
    }
    if (!saved && error)
        *error = file.errorString();
    return saved;
}

void SetSaveHook(SaveHook hook)
{
    saveHook.store(hook);
}
