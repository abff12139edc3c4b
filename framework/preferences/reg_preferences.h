#pragma once
// The registry store of the normal mode: a key of the current user's
// registry and its sub-keys. Strings are REG_SZ, Booleans and integers
// REG_DWORD, floats an 8-byte REG_BINARY double.

#include "framework/preferences/preferences_man.h"

#include "platform/win/registry.h"

#include <optional>

class TRegPreferencesMan final : public TPreferencesMan
{
public:
    // Stands on `root` (a path below the current user's hive) without
    // creating it: the key is made by the first value written into it.
    TRegPreferencesMan(RegistryStore& registry, const QString& root);

    bool GetValueNames(QStringList& list) override;
    bool GetKeyNames(QStringList& list) override;
    bool OpenKey(const QString& name, bool CanCreate) override;
    bool CloseKey() override;
    bool DeleteKey(const QString& name) override;
    bool WriteString(const QString& name, const QString& value) override;
    bool ReadString(const QString& name, QString& value) override;
    bool DeleteValue(const QString& name) override;
    bool WriteBool(const QString& name, bool value) override;
    bool ReadBool(const QString& name, bool& value) override;
    bool WriteInteger(const QString& name, int value) override;
    bool ReadInteger(const QString& name, int& value) override;
    bool WriteFloat(const QString& name, double value) override;
    bool ReadFloat(const QString& name, double& value) override;

    // Between these the registry file is written once, at the end.
    void BeginUpdate() override;
    bool EndUpdate(QString& error) override;

    QString CurrentPath() const { return FPath; }

private:
    QString KeyOf(const QString& path) const;
    QString CurrentKey() const { return KeyOf(FPath); }

    RegistryStore& FRegistry;
    QString FRoot;
    QString FPath; // relative to the root
    std::optional<RegistryStore::Batch> FBatch;
};
