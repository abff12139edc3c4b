#include "platform/win/save_file.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <atomic>

namespace {

// No save writes nothing for this long; a temporary untouched for longer
// belongs to a save that died.
constexpr qint64 kStaleAfterSeconds = 60;

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
    const QFileInfo target(fileName);
    // The temporaries of QSaveFile: the file's name, a dot and six letters.
    RemoveStaleTemporaries(target.absolutePath(), QRegularExpression(QRegularExpression::escape(target.fileName()) +
                                                                     QStringLiteral("\\.[A-Za-z0-9]{6}")));
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

int RemoveStaleTemporaries(const QString& folder, const QRegularExpression& pattern)
{
    const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern.pattern()), pattern.patternOptions());
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-kStaleAfterSeconds);
    int removed = 0;
    // Not into links: a link with a matching name is nothing a save makes.
    QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    while (entries.hasNext()) {
        const QFileInfo entry = entries.nextFileInfo();
        if (whole.match(entry.fileName()).hasMatch() && entry.lastModified().toUTC() < before &&
            QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}

bool ReadAtMost(QFile& file, qint64 limit, QByteArray* bytes)
{
    bytes->clear();
    while (bytes->size() <= limit) {
        const QByteArray chunk = file.read(std::min<qint64>(1 << 20, limit + 1 - bytes->size()));
        if (chunk.isEmpty())
            return true;
        bytes->append(chunk);
    }
    return false;
}

void SetSaveHook(SaveHook hook)
{
    saveHook.store(hook);
}
