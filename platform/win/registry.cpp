#include "platform/win/registry.h"

#include "platform/win/save_file.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <functional>

namespace {

const QString kCurrentUser = QStringLiteral("HKEY_CURRENT_USER");
// A settings file is small; anything near this is not one.
constexpr qint64 kMaxImportSize = 16 * 1024 * 1024;
// The store's own file: the longest text the tree may have, in UTF-8.
constexpr qint64 kMaxHiveSize = 3 * kMaxRegTextLength + 4096;

const QString kNotFound = QStringLiteral("ERROR: The system was unable to find the specified registry key or value.");

int report(QString* message, int code, const QString& text)
{
    if (message)
        *message = text;
    return code;
}

// A free name beside `filePath` for a file that is kept aside.
QString asideName(const QString& filePath)
{
    const QString base = filePath + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + u'-' + QString::number(n);
    return name;
}

} // namespace

RegistryStore::RegistryStore(const QString& filePath) : filePath_(filePath)
{
    load();
    roots_.make({kCurrentUser});
    size_ = measureRegTree(roots_);
}

RegistryStore::~RegistryStore()
{
    std::lock_guard lock(mutex_);
    saveLocked();
}

RegistryStore& RegistryStore::instance()
{
    static RegistryStore store(defaultFilePath());
    return store;
}

QString RegistryStore::defaultFilePath()
{
    const QString fromEnvironment = qEnvironmentVariable("KESTROVA_REGISTRY");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrova/registry.reg");
}

void RegistryStore::load()
{
    QFile file(filePath_);
    if (!file.exists())
        return;
    QString problem;
    std::vector<RegEdit> edits;
    QByteArray bytes;
    // Saves are atomic and never leave an empty file, so an empty one is as
    // unreadable as any other that does not parse.
    if (!file.open(QIODevice::ReadOnly))
        problem = file.errorString();
    else if (!ReadAtMost(file, kMaxHiveSize, &bytes))
        problem = QStringLiteral("it is larger than %1 MB").arg(kMaxHiveSize >> 20);
    else if (file.error() != QFileDevice::NoError)
        problem = file.errorString();
    else if (parseRegText(bytes, &edits, &problem))
        applyRegEdits(roots_, edits, size_, &problem);
    file.close();
    if (problem.isEmpty())
        return;
    roots_ = RegKey();
    const QString aside = asideName(filePath_);
    if (QFile::rename(filePath_, aside)) {
        loadMessage_ = QStringLiteral("The registry file \"%1\" could not be read (%2). It was kept as \"%3\", "
                                      "and the program starts with empty settings.")
                           .arg(filePath_, problem, aside);
    } else {
        // Saving would overwrite what could not be read: keep it and stay in memory.
        persistent_ = false;
        loadMessage_ = QStringLiteral("The registry file \"%1\" could not be read (%2) nor moved aside. The program "
                                      "starts with empty settings, and changes to them will not be saved.")
                           .arg(filePath_, problem);
    }
}

QString RegistryStore::takeLoadMessage()
{
    std::lock_guard lock(mutex_);
    return std::exchange(loadMessage_, QString());
}

bool RegistryStore::saveLocked()
{
    if (!dirty_)
        return true;
    if (!persistent_) {
        saveError_ = QStringLiteral("The registry file \"%1\" is not saved because it could not be read at start.")
                         .arg(filePath_);
        return false;
    }
    QDir().mkpath(QFileInfo(filePath_).absolutePath());
    QString problem;
    if (!SaveFileAtomically(filePath_, writeRegText(roots_), &problem)) {
        saveError_ = QStringLiteral("The registry file \"%1\" could not be saved: %2").arg(filePath_, problem);
        return false;
    }
    dirty_ = false;
    saveError_.clear();
    return true;
}

bool RegistryStore::changedLocked()
{
    dirty_ = true;
    return batchDepth_ > 0 || saveLocked();
}

QString RegistryStore::saveError() const
{
    std::lock_guard lock(mutex_);
    return saveError_;
}

bool RegistryStore::flush()
{
    std::lock_guard lock(mutex_);
    return saveLocked();
}

RegistryStore::Batch::Batch(RegistryStore& store) : store_(store)
{
    std::lock_guard lock(store_.mutex_);
    ++store_.batchDepth_;
}

RegistryStore::Batch::~Batch()
{
    std::lock_guard lock(store_.mutex_);
    if (--store_.batchDepth_ == 0)
        store_.saveLocked();
}

QStringList RegistryStore::userPath(const QString& key)
{
    QString ignored;
    return splitRootedPath(kCurrentUser + u'\\' + key, &ignored);
}

bool RegistryStore::editLocked(const RegEdit& edit)
{
    switch (applyRegEdit(roots_, edit, size_)) {
    case RegEditResult::Done:
        return changedLocked();
    case RegEditResult::NotFound:
        return false;
    case RegEditResult::TooLarge:
        saveError_ = QStringLiteral("The registry is full: it holds at most %1 keys and %2 MB of text.")
                         .arg(kMaxKeyCount)
                         .arg(kMaxRegTextLength >> 20);
        return false;
    }
    return false;
}

bool RegistryStore::keyExists(const QString& key) const
{
    const QStringList path = userPath(key);
    std::lock_guard lock(mutex_);
    return !path.isEmpty() && roots_.find(path);
}

bool RegistryStore::createKey(const QString& key)
{
    const QStringList path = userPath(key);
    if (path.isEmpty())
        return false;
    std::lock_guard lock(mutex_);
    return roots_.find(path) || editLocked({RegEdit::AddKey, path.join(u'\\'), {}, {}});
}

bool RegistryStore::deleteTree(const QString& key)
{
    const QStringList path = userPath(key);
    std::lock_guard lock(mutex_);
    return path.size() > 1 && editLocked({RegEdit::RemoveKey, path.join(u'\\'), {}, {}});
}

QStringList RegistryStore::keyNames(const QString& key) const
{
    const QStringList path = userPath(key);
    QStringList names;
    std::lock_guard lock(mutex_);
    if (const RegKey* found = path.isEmpty() ? nullptr : roots_.find(path))
        for (const auto& [folded, child] : found->keys)
            names.append(child.name);
    return names;
}

QStringList RegistryStore::valueNames(const QString& key) const
{
    const QStringList path = userPath(key);
    QStringList names;
    std::lock_guard lock(mutex_);
    if (const RegKey* found = path.isEmpty() ? nullptr : roots_.find(path))
        for (const auto& [name, value] : found->values())
            names.append(name);
    return names;
}

std::optional<RegValue> RegistryStore::value(const QString& key, const QString& name) const
{
    const QStringList path = userPath(key);
    std::lock_guard lock(mutex_);
    const RegKey* found = path.isEmpty() ? nullptr : roots_.find(path);
    const RegValue* value = found ? found->value(name) : nullptr;
    return value ? std::optional(*value) : std::nullopt;
}

bool RegistryStore::setValue(const QString& key, const QString& name, const RegValue& value)
{
    const QStringList path = userPath(key);
    if (path.isEmpty() || !isValidValueName(name))
        return false;
    std::lock_guard lock(mutex_);
    return editLocked({RegEdit::SetValue, path.join(u'\\'), name, value});
}

bool RegistryStore::deleteValue(const QString& key, const QString& name)
{
    const QStringList path = userPath(key);
    std::lock_guard lock(mutex_);
    return !path.isEmpty() && editLocked({RegEdit::RemoveValue, path.join(u'\\'), name, {}});
}

std::optional<QString> RegistryStore::readString(const QString& key, const QString& name) const
{
    const std::optional<RegValue> found = value(key, name);
    return found ? found->toString() : std::nullopt;
}

std::optional<DWORD> RegistryStore::readDword(const QString& key, const QString& name) const
{
    const std::optional<RegValue> found = value(key, name);
    return found ? found->toDword() : std::nullopt;
}

std::optional<QByteArray> RegistryStore::readBinary(const QString& key, const QString& name) const
{
    const std::optional<RegValue> found = value(key, name);
    return found && found->type == REG_BINARY ? std::optional(found->data) : std::nullopt;
}

bool RegistryStore::writeString(const QString& key, const QString& name, const QString& text)
{
    return setValue(key, name, RegValue::fromString(text));
}

bool RegistryStore::writeDword(const QString& key, const QString& name, DWORD number)
{
    return setValue(key, name, RegValue::fromDword(number));
}

bool RegistryStore::writeBinary(const QString& key, const QString& name, const QByteArray& bytes)
{
    return setValue(key, name, RegValue::fromBinary(bytes));
}

int RegistryStore::applyVerb(const std::function<QString(RegKey&)>& edit, QString* message)
{
    std::lock_guard lock(mutex_);
    RegKey before = roots_;
    const RegTreeSize sizeBefore = size_;
    const bool wasDirty = dirty_;
    QString problem = edit(roots_);
    size_ = measureRegTree(roots_);
    if (problem.isEmpty() && !changedLocked())
        problem = QStringLiteral("ERROR: ") + saveError_;
    if (!problem.isEmpty()) {
        roots_ = std::move(before);
        size_ = sizeBefore;
        dirty_ = wasDirty;
        return report(message, 1, problem);
    }
    return report(message, 0, QStringLiteral("The operation completed successfully."));
}

int RegistryStore::runImport(const QString& fileName, QString* message)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return report(
            message, 1,
            QStringLiteral("ERROR: The file \"%1\" could not be opened: %2.").arg(fileName, file.errorString()));
    QByteArray bytes;
    if (!ReadAtMost(file, kMaxImportSize, &bytes))
        return report(message, 1, QStringLiteral("ERROR: \"%1\" is too large for a registry file.").arg(fileName));
    std::vector<RegEdit> edits;
    QString problem;
    if (file.error() != QFileDevice::NoError)
        problem = file.errorString();
    else if (!parseRegText(bytes, &edits, &problem))
        return report(message, 1, QStringLiteral("ERROR: \"%1\", %2. Nothing was imported.").arg(fileName, problem));
    if (!problem.isEmpty())
        return report(message, 1, QStringLiteral("ERROR: \"%1\" could not be read: %2.").arg(fileName, problem));
    return applyVerb(
        [&](RegKey& roots) {
            RegTreeSize size = size_;
            QString tooLarge;
            if (!applyRegEdits(roots, edits, size, &tooLarge))
                return QStringLiteral("ERROR: \"%1\", %2. Nothing was imported.").arg(fileName, tooLarge);
            return QString();
        },
        message);
}

int RegistryStore::runDelete(const QStringList& arguments, QString* message)
{
    QString key;
    std::optional<QString> valueName;
    bool allValues = false;
    bool force = false;
    int valueSwitches = 0;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString option = arguments[i].toLower();
        if (option == QLatin1StringView("/f")) {
            force = true;
        } else if (option == QLatin1StringView("/va")) {
            allValues = true;
            ++valueSwitches;
        } else if (option == QLatin1StringView("/ve")) {
            valueName = QString();
            ++valueSwitches;
        } else if (option == QLatin1StringView("/v") && i + 1 < arguments.size()) {
            valueName = arguments[++i];
            ++valueSwitches;
        } else if (option.startsWith(u'/') || !key.isEmpty()) {
            return report(message, 1, QStringLiteral("ERROR: Invalid syntax: \"%1\".").arg(arguments[i]));
        } else {
            key = arguments[i];
        }
    }
    if (key.isEmpty())
        return report(message, 1, QStringLiteral("ERROR: Invalid syntax: DELETE needs a key."));
    if (valueSwitches > 1)
        return report(message, 1, QStringLiteral("ERROR: Invalid syntax: give only one of /v, /ve and /va."));
    // The tool would ask before deleting; here no one can answer, so only /f deletes.
    if (!force)
        return report(message, 1,
                      QStringLiteral("ERROR: DELETE asks for a confirmation that no one can give; add /f."));
    QString problem;
    const QStringList path = splitRootedPath(key, &problem);
    if (path.isEmpty())
        return report(message, 1, QStringLiteral("ERROR: Invalid key name: %1.").arg(problem));
    if (path.size() == 1 && !valueName && !allValues)
        return report(message, 1, QStringLiteral("ERROR: The root key %1 cannot be deleted.").arg(path.front()));
    return applyVerb(
        [&](RegKey& roots) {
            RegKey* found = roots.find(path);
            if (!found)
                return kNotFound;
            if (valueName)
                return found->removeValue(*valueName) ? QString() : kNotFound;
            if (allValues)
                found->clearValues();
            else
                roots.removeKey(path);
            return QString();
        },
        message);
}

int RegistryStore::runRegVerb(const QString& parameters, QString* message)
{
    const QStringList arguments = QProcess::splitCommand(parameters);
    const QString verb = arguments.isEmpty() ? QString() : arguments.front().toLower();
    if (verb == QLatin1StringView("import")) {
        if (arguments.size() != 2)
            return report(message, 1, QStringLiteral("ERROR: Invalid syntax: IMPORT takes one file name."));
        return runImport(arguments[1], message);
    }
    if (verb == QLatin1StringView("delete"))
        return runDelete(arguments.mid(1), message);
    return report(message, 1,
                  QStringLiteral("ERROR: Invalid syntax: the operation must be IMPORT or DELETE, not \"%1\".")
                      .arg(arguments.isEmpty() ? QString() : arguments.front()));
}

int RunRegVerb(const QString& parameters, QString* message)
{
    return RegistryStore::instance().runRegVerb(parameters, message);
}

bool RunRegCommand(const QString& parameters, bool hidden)
{
    QString message;
    const int exitCode = RunRegVerb(parameters, &message);
    if (exitCode != 0)
        qWarning().noquote() << "reg" << parameters << "failed:" << message;
    else if (!hidden && !message.isEmpty())
        qInfo().noquote() << message;
    return exitCode == 0;
}
