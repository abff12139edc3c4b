// Ini files of the portable mode: any bytes load, every section and value can
// be visited, read, written and deleted, and the lines survive being written
// to a file's bytes and read back.
#include "framework/preferences/ini_preferences.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 8192) // every lookup scans the lines; keep each run short
        return 0;
    TIniPreferencesMan ini(QString(), QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
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
