#include "framework/preferences/reg_preferences.h"

#include <QtEndian>

TRegPreferencesMan::TRegPreferencesMan(RegistryStore& registry, const QString& root) : FRegistry(registry), FRoot(root)
{
}

QString TRegPreferencesMan::KeyOf(const QString& path) const
{
    return path.isEmpty() ? FRoot : FRoot + u'\\' + path;
}

bool TRegPreferencesMan::OpenKey(const QString& name, bool CanCreate)
{
    const QString path = FPath.isEmpty() ? name : FPath + u'\\' + name;
    const QString key = KeyOf(path);
    if (!FRegistry.keyExists(key) && !(CanCreate && FRegistry.createKey(key)))
        return false;
    FPath = path;
    return true;
}

bool TRegPreferencesMan::CloseKey()
{
    const qsizetype slash = FPath.lastIndexOf(u'\\');
    FPath = slash < 0 ? QString() : FPath.left(slash);
    return true;
}

bool TRegPreferencesMan::DeleteKey(const QString& name)
{
    return !name.isEmpty() && FRegistry.deleteTree(CurrentKey() + u'\\' + name);
}

bool TRegPreferencesMan::GetValueNames(QStringList& list)
{
    list = FRegistry.valueNames(CurrentKey());
    return true;
}

bool TRegPreferencesMan::GetKeyNames(QStringList& list)
{
    list = FRegistry.keyNames(CurrentKey());
    return true;
}

bool TRegPreferencesMan::WriteString(const QString& name, const QString& value)
{
    return FRegistry.writeString(CurrentKey(), name, value);
}

bool TRegPreferencesMan::ReadString(const QString& name, QString& value)
{
    const std::optional<QString> found = FRegistry.readString(CurrentKey(), name);
    if (found)
        value = *found;
    return found.has_value();
}

bool TRegPreferencesMan::DeleteValue(const QString& name)
{
    return FRegistry.deleteValue(CurrentKey(), name);
}

bool TRegPreferencesMan::WriteBool(const QString& name, bool value)
{
    return FRegistry.writeDword(CurrentKey(), name, value ? 1 : 0);
}

bool TRegPreferencesMan::ReadBool(const QString& name, bool& value)
{
    const std::optional<DWORD> found = FRegistry.readDword(CurrentKey(), name);
    if (found)
        value = *found != 0; // any number other than 0 counts as set
    return found.has_value();
}

bool TRegPreferencesMan::WriteInteger(const QString& name, int value)
{
    return FRegistry.writeDword(CurrentKey(), name, static_cast<DWORD>(value));
}

bool TRegPreferencesMan::ReadInteger(const QString& name, int& value)
{
    const std::optional<DWORD> found = FRegistry.readDword(CurrentKey(), name);
    if (found)
        value = static_cast<int>(*found);
    return found.has_value();
}

bool TRegPreferencesMan::WriteFloat(const QString& name, double value)
{
    char bytes[sizeof value];
    qToLittleEndian(value, bytes);
    return FRegistry.writeBinary(CurrentKey(), name, QByteArray(bytes, sizeof bytes));
}

bool TRegPreferencesMan::ReadFloat(const QString& name, double& value)
{
    const std::optional<QByteArray> found = FRegistry.readBinary(CurrentKey(), name);
    if (!found || found->size() != sizeof value)
        return false;
    value = qFromLittleEndian<double>(found->constData());
    return true;
}

void TRegPreferencesMan::BeginUpdate()
{
    FBatch.emplace(FRegistry);
}

bool TRegPreferencesMan::EndUpdate(QString& error)
{
    FBatch.reset();
    const bool saved = FRegistry.flush();
    error = saved ? QString() : FRegistry.saveError();
    return saved;
}
