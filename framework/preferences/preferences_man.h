#pragma once
// Where the preferences are kept. A store stands on one key (a registry key
// or an ini section), goes down into sub-keys and back up, and reads and
// writes typed values of the key it stands on. Every operation returns true
// on success or when the value was found.

#include <QString>
#include <QStringList>

// The storage mode, chosen by the user at the first exit.
enum TSavePreferences { spRegistre, spPortable, spNone };

class TPreferencesMan
{
public:
    virtual ~TPreferencesMan() = default;

    // Why the stored settings could not be read; empty when they were (or
    // there were none).
    virtual QString LoadError() const { return QString(); }

    virtual bool GetValueNames(QStringList& list) = 0;
    virtual bool GetKeyNames(QStringList& list) = 0;
    virtual bool OpenKey(const QString& name, bool CanCreate) = 0;
    // Goes back to the parent key.
    virtual bool CloseKey() = 0;
    // Removes a sub-key of the current key with everything below it; false
    // when it is missing or the store keeps no keys.
    virtual bool DeleteKey(const QString&) { return false; }
    virtual bool WriteString(const QString& name, const QString& value) = 0;
    virtual bool ReadString(const QString& name, QString& value) = 0;
    virtual bool DeleteValue(const QString& name) = 0;
    virtual bool WriteBool(const QString& name, bool value) = 0;
    virtual bool ReadBool(const QString& name, bool& value) = 0;
    virtual bool WriteInteger(const QString& name, int value) = 0;
    virtual bool ReadInteger(const QString& name, int& value) = 0;
    virtual bool WriteFloat(const QString& name, double value) = 0;
    virtual bool ReadFloat(const QString& name, double& value) = 0;

    // Changes made between BeginUpdate and EndUpdate are saved together at
    // EndUpdate, which says why when they could not be saved.
    virtual void BeginUpdate() {}
    virtual bool EndUpdate(QString& error)
    {
        error.clear();
        return true;
    }
};

// Keeps nothing: every read finds nothing and every write fails.
class TNonePreferencesMan final : public TPreferencesMan
{
public:
    bool GetValueNames(QStringList& list) override { return clearList(list); }
    bool GetKeyNames(QStringList& list) override { return clearList(list); }
    bool OpenKey(const QString&, bool) override { return false; }
    bool CloseKey() override { return false; }
    bool WriteString(const QString&, const QString&) override { return false; }
    bool ReadString(const QString&, QString&) override { return false; }
    bool DeleteValue(const QString&) override { return false; }
    bool WriteBool(const QString&, bool) override { return false; }
    bool ReadBool(const QString&, bool&) override { return false; }
    bool WriteInteger(const QString&, int) override { return false; }
    bool ReadInteger(const QString&, int&) override { return false; }
    bool WriteFloat(const QString&, double) override { return false; }
    bool ReadFloat(const QString&, double&) override { return false; }

private:
    static bool clearList(QStringList& list)
    {
        list.clear();
        return false;
    }
};
