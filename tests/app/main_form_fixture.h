#pragma once
// The main window as the program builds it, on a registry file and a program
// folder of the test's own, with the dialogs answered by the test.

#include "app/main_form.h"
#include "platform/win/registry.h"
#include "tests/framework/actions/fakes.h"
#include "tests/framework/preferences/prefs_test_support.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class FakeFileUi final : public TFileManUi
{
public:
    std::deque<QString> files;
    QStringList errors;

    std::optional<QString> OpenFileName(const QString&, const QString&, const QString&) override
    {
        if (files.empty())
            return std::nullopt;
        QString file = files.front();
        files.pop_front();
        return file;
    }
    std::optional<QString> SaveFileName(const QString&, const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    TAnswer Question(const QString&, bool) override { return mrNo; }
    void ShowError(const QString& text) override { errors.append(text); }
    // Whether a file manager shows the folders asked for.
    bool fileManager = true;
    QStringList shownFolders;
    bool ShowInFolder(const QString& path) override
    {
        shownFolders.append(path);
        return fileManager;
    }
    std::optional<QString> FolderName(const QString&, const QString&) override { return std::nullopt; }
};

// The questions and messages of grabbing: the overwrite question takes the
// next answer given (No when none is left); every text is kept.
class FakeGrabUi final : public TGrabUi
{
public:
    std::deque<TOverwriteAnswer> answers;
    QStringList questions;
    QStringList errors;
    QStringList shown;

    TOverwriteAnswer AskOverwrite(const QString& text) override
    {
        questions.append(text);
        if (answers.empty())
            return oaNo;
        const TOverwriteAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowError(const QString& text) override { errors.append(text); }
    void ShowInFolder(const QString& path) override { shown.append(path); }
};

class MainFormTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A new window on the same folder and registry (the previous one goes
    // without saving), shown; `beforeShow` runs on it before it is shown
    // (and so before its preferences load).
    void Start(const TScriptParts& scripts = {}, const std::function<void()>& beforeShow = {});
    // A new window whose script host is a fake, with every routine declared.
    FakeScript* StartWithFakeScript();
    // Closes the window as the user does; whether it closed.
    bool Close(std::optional<TSavePreferences> answer);

    // Until the renderer holds a picture, the frame number in its barcode
    // (-1 unreadable, -2 no picture).
    int Shown(int timeoutMs = 10'000);
    // Waits until the shown frame is `frame`; the frame shown last.
    int WaitFor(int frame, int timeoutMs = 10'000);
    // Serves messages, posted ones too, until `done` or the time is up;
    // the last value of done().
    static bool Until(const std::function<bool()>& done, int timeoutMs = 10'000);
    // Until the renderer holds a picture and the graph rests in its state.
    void Settle();
    // Whether every filter of the graph rests in its state (none still
    // waits for a sample to cue on).
    bool GraphSettled() const;
    QString Copy(const char* clipName, const QString& name);
    // Drops `file` on the video panel.
    void Drop(const QString& file);

    QTemporaryDir dir;
    std::unique_ptr<RegistryStore> registry;
    std::unique_ptr<TMainForm> form;
    FakeSaveDialog* saveDialog = nullptr;
    FakeFileUi* fileUi = nullptr;
    FakeGrabUi* grabUi = nullptr;
};
