#pragma once
// The current user's registry: one human-readable file (the registry editor's
// export format, UTF-8) under the XDG config folder, or where KESTROVA_REGISTRY
// says. Every change is saved at once by writing a temporary file and renaming
// it over the old one, so a crash never leaves half a file; a Batch defers the
// saving of many changes to its end.
//
// Key paths are relative to HKEY_CURRENT_USER, with parts joined by "\"; names
// compare without regard to case. The other roots (HKEY_LOCAL_MACHINE and the
// rest) exist only for `reg import` and `reg delete`: they are kept as separate
// sections of the same file and nothing in the program reads them.

#include "platform/win/reg_file.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>

class RegistryStore
{
public:
    // Loads the file. A file that cannot be read is renamed aside (never
    // deleted), the store starts empty and loadMessage() says so.
    explicit RegistryStore(const QString& filePath);
    ~RegistryStore(); // saves what a failed save left behind
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The program's store, at defaultFilePath(), made on first use.
    static RegistryStore& instance();
    // KESTROVA_REGISTRY when set, else "kestrova/registry.reg" in the XDG config folder.
    static QString defaultFilePath();

    QString filePath() const { return filePath_; }
    // What went wrong while loading, for the user; empty when all went well.
    // Given once: later calls return an empty text.
    QString takeLoadMessage();

    bool keyExists(const QString& key) const;
    bool createKey(const QString& key);
    // Removes the key with all its sub-keys and values; false when it is missing.
    bool deleteTree(const QString& key);
    // Sub-key names in order of their names; value names in the order they were made.
    QStringList keyNames(const QString& key) const;
    QStringList valueNames(const QString& key) const;

    std::optional<RegValue> value(const QString& key, const QString& name) const;
    // Creates the key when missing. The empty name is the key's default value.
    bool setValue(const QString& key, const QString& name, const RegValue& value);
    bool deleteValue(const QString& key, const QString& name);

    std::optional<QString> readString(const QString& key, const QString& name) const;
    std::optional<DWORD> readDword(const QString& key, const QString& name) const;
    std::optional<QByteArray> readBinary(const QString& key, const QString& name) const;
    bool writeString(const QString& key, const QString& name, const QString& text);
    bool writeDword(const QString& key, const QString& name, DWORD number);
    bool writeBinary(const QString& key, const QString& name, const QByteArray& bytes);

    // Runs a `reg` command line's parameters in-process: "import FILE" and
    // "delete KEY [/v NAME | /ve | /va] /f", with KEY starting with a root
    // (HKCU\..., HKEY_CURRENT_USER\..., HKLM\...). Returns the tool's exit code
    // (0 done, 1 refused) and its message. An import is all or nothing.
    int runRegVerb(const QString& parameters, QString* message);

    // Mutators return false when the change is refused (a missing key, a name
    // with a control character, a store that would outgrow the bounds in
    // reg_file.h) or could not be saved; an unsaved change stays
    // in memory and the next save writes it. saveError() tells why.
    QString saveError() const;
    // Saves now if something is unsaved.
    bool flush();

    // While a batch is open, changes are saved when the outermost batch ends.
    class Batch
    {
    public:
        explicit Batch(RegistryStore& store);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        RegistryStore& store_;
    };

private:
    void load();
    bool saveLocked();
    // Marks the tree changed and saves it unless a batch is open.
    bool changedLocked();
    // Applies one change of the program's own and saves it.
    bool editLocked(const RegEdit& edit);
    // HKEY_CURRENT_USER and the key's parts; empty when a name is not allowed.
    static QStringList userPath(const QString& key);
    // Runs a verb's edit on the tree; the tree goes back as it was when the
    // edit reports a problem or the result cannot be saved.
    int applyVerb(const std::function<QString(RegKey&)>& edit, QString* message);
    int runImport(const QString& fileName, QString* message);
    int runDelete(const QStringList& arguments, QString* message);

    const QString filePath_;
    mutable std::mutex mutex_;
    RegKey roots_;
    RegTreeSize size_; // of roots_
    QString loadMessage_;
    QString saveError_;
    bool dirty_ = false;
    bool persistent_ = true; // false when an unreadable file could not be moved aside
    int batchDepth_ = 0;
};

// RegistryStore::instance().runRegVerb: what running the `reg` tool does.
int RunRegVerb(const QString& parameters, QString* message);

// Runs `reg` with the given parameters ("import FILE", "delete KEY /F") and
// waits for it to end, as the private decoder registration does. True when
// the command did its work. The tool runs in-process and opens no window,
// so `hidden` only matters for the log: a failure is logged either way.
bool RunRegCommand(const QString& parameters, bool hidden);
