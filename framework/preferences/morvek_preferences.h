#pragma once
// The preferences component: keeps the values of the actions between runs in
// the current user's registry (normal mode), in an ini file beside the
// program (portable mode) or nowhere, as the user chose at the first exit.
//
// It hooks the showing and the closing of its owner window. At each show it
// finds the store (the ini file, else the registry key, else none) and lets
// the application load its action lists (OnLoadPrefs). At close it first
// lets the owner refuse, then asks where to save when no store exists yet (a
// cancelled question cancels the close), lets the owner tear down, writes the
// header and lets the application save its lists (OnSavePrefs). Only then is
// the window unhooked.
//
// A store replaced by a change of mode is deleted only once the new store has
// been written, so that no failure on the way loses what was kept.
// GUI thread only.

#include "framework/actions/action_prefs.h"
#include "framework/preferences/preferences_man.h"
#include "framework/preferences/save_prefs_form.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class RegistryStore;
class TCustomKvActionList;
class QWidget;

class TMorvekPreferences final : public QObject, public TActionPreferences
{
    Q_OBJECT
public:
    using TSavePrefsEvent = std::function<void(TMorvekPreferences& gp)>;
    using TLoadPrefsEvent = std::function<void(TMorvekPreferences& gp)>;
    using TChangeModeEvent = std::function<void(TSavePreferences aMode)>;

    // Hooks `owner` when it is a window. The registry is the program's own
    // unless another is given.
    explicit TMorvekPreferences(QObject* owner, RegistryStore* registry = nullptr);
    ~TMorvekPreferences() override;

    QString titre() const { return FTitre; }
    // The program title: names the registry key and the ini file.
    void SetTitre(const QString& value);
    QString version;
    TChangeModeEvent OnChangeMode; // fired each time a store is created
    TLoadPrefsEvent OnLoadPrefs;
    TSavePrefsEvent OnSavePrefs;

    // The owner window's own handlers, run by the hooks at their place:
    // FormShow after the store is found and before the lists are loaded;
    // FormCloseQuery first at close, a false answer refusing the close with
    // nothing saved; FormClose once the close is certain, before the lists
    // are saved (the place to stop playback and leave full screen). The
    // owner's own close event must not refuse any more: the lists are saved.
    std::function<void()> FormShow;
    std::function<bool()> FormCloseQuery;
    std::function<void()> FormClose;

    // The hooks, as the owner's show and close events run them.
    void DoShow();
    void DoCloseQuery(bool& CanClose);
    bool Hooked() const { return FHooked; }

    TSavePreferences Mode() const { return FMode; }
    // Changes the mode and recreates the store.
    void SetMode(TSavePreferences aMode);
    // The ini file when it exists, else the registry key, else none.
    TSavePreferences DetectMode() const;
    // Replaces the store by a new one of the current mode, standing on its root.
    void CreateStore();
    TPreferencesMan& Store() const { return *FStore; }

    // Writes the header and lets the application save, all in one write of
    // the store; shows the reason when the store could not be written.
    bool SavePrefs();
    // "Version", "Last saving" (local time) and "ExeName", in the current key.
    void WriteHeader(const QString& aVersion);

    // Loads (saves) a list in the key `formName`, as the load and save
    // handlers do for each of their lists.
    bool LoadList(const QString& formName, TCustomKvActionList& list);
    bool SaveList(const QString& formName, TCustomKvActionList& list);

    bool OpenKey(const QString& name);
    void CloseKey();
    void GetKeyNames(QStringList& list);

    bool ReadBool(const QString& name, bool defaultValue) override;
    int ReadInteger(const QString& name, int defaultValue) override;
    QString ReadString(const QString& name, const QString& defaultValue) override;
    double ReadFloat(const QString& name, double defaultValue) override;
    TPoint ReadPoint(const QString& name, const TPoint& defaultValue) override;
    TRect ReadRect(const QString& name, const TRect& defaultValue) override;
    TFont ReadFont(const QString& name, const TFont& defaultValue) override;

    bool WriteBool(const QString& name, bool value) override;
    bool WriteInteger(const QString& name, int value) override;
    bool WriteString(const QString& name, const QString& value) override;
    bool WriteFloat(const QString& name, double value) override;
    bool WritePoint(const QString& name, const TPoint& value) override;
    bool WriteRect(const QString& name, const TRect& value) override;
    bool WriteFont(const QString& name, const TFont& value) override;

    // Folder of the program file, with a trailing separator; the ini file lives there.
    QString ProgramFolder() const { return FProgramFolder; }
    void SetProgramFolder(const QString& folder);
    QString IniFileName() const;
    // The registry key of the program, below the current user's hive.
    QString RegistryKey() const;

    TSavePrefsDialog& SaveDialog() const { return *FSaveDialog; }
    // Replaces the where-to-save question (tests answer it this way).
    void SetSaveDialog(std::unique_ptr<TSavePrefsDialog> dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Says what stored settings could not be read.
    void TellUnreadSettings();
    void ShowTitreInDialog();
    bool StoreExists(TSavePreferences aMode) const;
    void DeleteUnusedStores();
    void Unhook();

    RegistryStore& FRegistry;
    QPointer<QWidget> FOwner;
    bool FHooked = false;
    QString FProgramFolder;
    QString FTitre;
    TSavePreferences FMode = spNone;
    std::unique_ptr<TPreferencesMan> FStore;
    // The stores of the other modes wait for the current one to be written.
    bool FCleanupPending = false;
    std::unique_ptr<TSavePrefsDialog> FSaveDialog;
};
