#pragma once
// What the preferences tests share: a program folder and a registry file of
// their own in a temporary folder, and a where-to-save question answered by
// the test.

#include "framework/preferences/morvek_preferences.h"
#include "platform/win/registry.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>

inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray Fixture(const char* name)
{
    return ReadBytes(QStringLiteral(KESTROVA_SOURCE_DIR "/tests/framework/preferences/fixtures/") +
                     QLatin1String(name));
}

// Answers the question with the queued choices (nothing: closed without
// one) and keeps what it was shown.
class FakeSaveDialog final : public TSavePrefsDialog
{
public:
    std::deque<std::optional<TSavePreferences>> answers;
    int asked = 0;
    QStringList errors;
    QString caption;

    void SetCaption(const QString& text) override { caption = text; }
    QString Caption() const override { return caption; }
    std::optional<TSavePreferences> Execute() override
    {
        ++asked;
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowSaveError(const QString& message) override { errors.append(message); }
};

class PrefsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QString IniPath() const { return Path(QStringLiteral("Kestrova.ini")); }
    QString RegistryPath() const { return Path(QStringLiteral("registry.reg")); }

    // A component as the main window makes it, on this test's folder and registry.
    std::unique_ptr<TMorvekPreferences> MakePrefs(QObject* owner = nullptr)
    {
        auto gp = std::make_unique<TMorvekPreferences>(owner, &registry);
        gp->SetProgramFolder(dir.path());
        gp->SetTitre(QStringLiteral("Kestrova"));
        gp->version = QStringLiteral("Kestrova 1.2.3 (English)");
        auto fake = std::make_unique<FakeSaveDialog>();
        dialog = fake.get();
        gp->SetSaveDialog(std::move(fake));
        return gp;
    }

    QTemporaryDir dir;
    RegistryStore registry{dir.filePath(QStringLiteral("registry.reg"))};
    FakeSaveDialog* dialog = nullptr;
};
