// Ini files of the portable mode: any bytes load, from memory and from a
// file through the bounded reader, to the same lines; every section and value
// can be visited, read, written and deleted, and the lines survive being
// written to a file's bytes and read back.
#include "framework/preferences/ini_preferences.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

void VisitValues(TIniPreferencesMan& ini)
{
    QStringList names;
    Require(ini.GetValueNames(names));
    QString text;
    bool flag = false;
    int number = 0;
    double real = 0;
    for (const QString& name : names.mid(0, 32)) {
        Require(ini.ReadString(name, text));
        ini.ReadBool(name, flag);
        Require(ini.ReadInteger(name, number));
        Require(ini.ReadFloat(name, real));
    }
    const QString probe = QStringLiteral("fuzz probe");
    if (ini.WriteInteger(probe, 42)) {
        Require(ini.ReadInteger(probe, number) && number == 42);
        Require(ini.DeleteValue(probe));
    }
}

// The bytes as a settings file read at start: the lines are those read from
// memory. Its save on the way out (a root section appended) goes through the
// atomic save and its clearing of stale temporaries.
void FromFile(const QByteArray& bytes, const QStringList& expected)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("Kestrova.ini"));
    {
        QFile file(path);
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Require(file.write(bytes) == bytes.size());
    }
    TIniPreferencesMan ini(path);
    Require(ini.LoadError().isEmpty());
    Require(ini.Lines() == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 8192) // every lookup scans the lines; keep each run short
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TIniPreferencesMan ini(QString(), bytes);
    FromFile(bytes, ini.Lines());
    VisitValues(ini);
    QStringList keys;
    Require(ini.GetKeyNames(keys));
    for (const QString& key : keys.mid(0, 32)) {
        if (!ini.OpenKey(key, false))
            continue;
        VisitValues(ini);
        while (!ini.CurrentPath().isEmpty())
            Require(ini.CloseKey());
    }
    const QStringList lines = ini.Lines();
    Require(TIniPreferencesMan::DecodeLines(TIniPreferencesMan::EncodeLines(lines)) == lines);
    return 0;
}
