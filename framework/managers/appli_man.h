#pragma once
// The manager of the application as a whole. It makes the program-wide
// objects that the other parts reach (the title text, the help window, the
// command-line switches, the script host and the script window), shows one
// full-window page at a time over the main window (options, custom or About),
// opens the help and script windows, and owns Quit, E-mail, Home page, the
// saved window bounds, the script folder and the keep-script flag.

#include "framework/actions/actions.h"
#include "framework/actions/switch.h"
#include "framework/managers/action_component.h"
#include "framework/widgets/image_modules.h"
#include "framework/widgets/link_edit.h"

#include <QLabel>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;
class TAboutFrame;
class THelpForm;

// The program's title: name, version and language ("Kestrova 7.0.4 en").
extern QString AppTitle;
// The date of the program's last update, as the About page shows it.
extern QString AppUpdateDate;

// The desktop as the manager uses it; tests answer it with a fake.
class TAppliShell
{
public:
    virtual ~TAppliShell() = default;
    // Opens a web address or a "mailto:" address with the desktop's handler.
    virtual bool Open(const QString& target);
    // The user's documents folder.
    virtual QString DocumentsFolder() const;
};

// What the manager needs of the script window.
class TScriptWindow
{
public:
    virtual ~TScriptWindow() = default;
    // The window that caScript shows and hides.
    virtual QWidget* Window() = 0;
    // The script host that compiles and runs the window's scripts.
    virtual void SetScriptComponent(TScriptLink* script) = 0;
    virtual QString ScriptFolder() const = 0;
    virtual void SetScriptFolder(const QString& folder) = 0;
    // Whether the window keeps its script text between runs.
    virtual void SetKeepScript(bool keep) = 0;
    // The window's own action lists, in the order they load their preferences.
    virtual QList<TCustomKvActionList*> ActionLists() { return {}; }
    // The actions of the window's help button and of its button that closes it.
    virtual void SetPageActions(TCheckAction* help, TCheckAction* close)
    {
        (void)help;
        (void)close;
    }
    // Ends the script the window runs, if any.
    virtual void StopScript() {}
};

// How the manager makes the script host and the script window, given by the
// program; without them it runs with neither.
struct TScriptParts
{
    std::function<std::unique_ptr<TScriptLink>()> CreateHost;
    std::function<std::unique_ptr<TScriptWindow>(const QString& title)> CreateWindow;
};

// The available areas of the screens, the primary first.
QList<QRect> AvailableScreens();

// Bounds that a user can reach: `bounds` when their top strip lies on one of
// `screens`, shrunk to that screen when larger; otherwise the same size (at
// most the first screen's) centred on the first screen. Bounds without an
// area take `fallbackSize`. Screens are available areas, the primary first.
QRect VisibleBounds(const QRect& bounds, const QSize& fallbackSize, const QList<QRect>& screens);

class TKvAppliMan : public TKvActionComponent
{
    Q_OBJECT
public:
    explicit TKvAppliMan(QObject* owner = nullptr, const TScriptParts& scripts = {});
    ~TKvAppliMan() override;

    // The command-line switches of the program and its script host (null
    // without script parts); the main window links its lists to them.
    TKvSwitch* GetSwitch() const { return FSwitch; }
    TScriptLink* GetScript() const { return FScript.get(); }

    // The main window: the pages cover it and its bounds are saved.
    QWidget* WinControl() const { return FWinControl; }
    void SetWinControl(QWidget* control);
    // Titles and web addresses of the components the About text credits.
    QStringList TitreUses;
    QStringList UrlUses;
    QWidget* OptionsFrame() const;
    void SetOptionsFrame(QWidget* frame);
    QWidget* CustomFrame() const;
    void SetCustomFrame(QWidget* frame);
    TAboutFrame* AboutFrame() const;
    void SetAboutFrame(TAboutFrame* frame);
    TScriptWindow* ScriptForm() const { return FScriptForm.get(); }
    bool OptionsCloseVisible() const { return FOptionsCloseVisible; }
    void SetOptionsCloseVisible(bool visible);

    // The desktop; the program's own unless replaced. Not owned.
    void SetShell(TAppliShell* shell);

    // Opens a web address; a trailing "©" is no part of it.
    void OpenUrl(const QString& address);
    // Writes an e-mail to the author about `subject`.
    void WriteEMail(const QString& subject);

    // The pages' panels (made with the main window) and the close label of
    // the options page (made with the options frame).
    QWidget* OptionsPanel() const;
    QWidget* CustomPanel() const;
    QWidget* AboutPanel() const;
    TLinkEdit* OptionsCloseLabel() const { return FOptionsClose; }

    TCheckAction* caScript = nullptr;
    TCheckAction* caHelp = nullptr;
    TCheckAction* caAbout = nullptr;
    TCheckAction* caOptions = nullptr;
    TCheckAction* caCustom = nullptr;
    TNopeAction* naQuit = nullptr;
    TNopeAction* naEMail = nullptr;
    TNopeAction* naHomePage = nullptr;
    // The main window's normal bounds; the list keeps its maximised state
    // beside them, under the same name followed by ".Maximized".
    TRectAction* raFormSave = nullptr;
    TWidestringAction* waScriptFolder = nullptr;
    TBooleanAction* baConserverScript = nullptr;

protected:
    void AssignEvents() override;
    void ListActions(const TActionBinder& bind) override;
    void SetDefaults() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum TPageKind { pkOptions, pkCustom, pkAbout, pkCount };
    struct TPage
    {
        QPointer<QWidget> Panel;
        QPointer<QWidget> Frame;
        // Says that the page has nothing to show while it has no frame.
        QPointer<QLabel> Empty;
    };

    void SetFrame(TPageKind kind, QWidget* frame);
    // Puts the page's frame on its panel once both are there.
    void PlaceFrame(TPageKind kind);
    void ShowPage(TPageKind kind);
    void HidePage(TPageKind kind);
    void CentreFrame(TPageKind kind);
    void PlaceOptionsClose();
    // The link of a close label unchecks its page.
    void WireCloseLink(TLinkEdit* label);
    void FillAbout();
    // The window whose bounds raFormSave keeps.
    QWidget* MainWindow() const;
    void SetBounds(const TRect& bounds);
    TRect CurrentBounds() const;
    TRect DefaultBounds() const;
    QString MaximizedName() const;

    TPage FPages[pkCount];
    QPointer<TKvSwitch> FSwitch;
    std::unique_ptr<TScriptLink> FScript;
    std::unique_ptr<THelpForm> FHelpForm;
    std::unique_ptr<TScriptWindow> FScriptForm;
    QPointer<QWidget> FWinControl;
    QPointer<TLinkEdit> FOptionsClose;
    bool FOptionsCloseVisible = true;
    TAppliShell* FShell;
    TImageModuleRef<TdmMorvekImages> FImages;
    bool FDestroying = false;
};
