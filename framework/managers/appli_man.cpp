#include "framework/managers/appli_man.h"

#include "framework/managers/about_frame.h"
#include "framework/managers/help_form.h"
#include "framework/managers/shortcuts.h"
#include "framework/widgets/link_edit.h"
#include "platform/win/shell.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

QString AppTitle;
QString AppUpdateDate;

namespace {

const QString kProduct = QStringLiteral("Kestrova");
const QString kLanguage = QStringLiteral("en");
const QString kAuthor = QStringLiteral("Morvek");
// The author's addresses.
const QString kAuthorMail = QStringLiteral("morvek@kestrova.example");
const QString kHomePage = QStringLiteral("https://kestrova.example/");
const QString kDocumentation = QStringLiteral("https://kestrova.example/help/");
const QString kForum = QStringLiteral("https://kestrova.example/forum/");

const QString kCloseOptions = QStringLiteral("closeOptions");
const QString kCloseAbout = QStringLiteral("closeAbout");
const QString kCloseHint = QStringLiteral("Click to close that page\r\nand return to the application");
const QString kLayoutHint = QStringLiteral("###");

constexpr int kCloseWidth = 180;
constexpr int kCloseHeight = 40;
constexpr int kCloseMargin = 16;
// The part of a window's top that must lie on a screen for a user to grab it.
constexpr int kGripWidth = 64;
constexpr int kGripHeight = 32;

QString CloseText(const QString& key, const QString& link)
{
    return QStringLiteral("Type %1 to close this page or <link %2>click here</link>.").arg(key, link);
}

// A window of its own also takes the keyboard, as the user asked for it.
void ShowAndRaise(QWidget* widget)
{
    widget->show();
    widget->raise();
    if (widget->isWindow())
        widget->activateWindow();
}

TAppliShell& DesktopShell()
{
    static TAppliShell shell;
    return shell;
}

} // namespace

QList<QRect> AvailableScreens()
{
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens.append(primary->availableGeometry());
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens.append(screen->availableGeometry());
    return screens;
}

bool TAppliShell::Open(const QString& target)
{
    return ShellOpen(target);
}

QString TAppliShell::DocumentsFolder() const
{
    return ::DocumentsFolder();
}

QRect VisibleBounds(const QRect& bounds, const QSize& fallbackSize, const QList<QRect>& screens)
{
    if (screens.isEmpty())
        return bounds;
    QRect result = bounds;
    if (result.width() <= 0 || result.height() <= 0)
        result = QRect(bounds.topLeft(), fallbackSize);
    else {
        const QRect grip(result.topLeft(), QSize(result.width(), qMin(result.height(), kGripHeight)));
        for (const QRect& screen : screens) {
            const QRect shown = grip & screen;
            if (shown.width() < qMin(kGripWidth, grip.width()) || shown.height() < grip.height())
                continue;
            if (result.width() <= screen.width() && result.height() <= screen.height())
                return result;
            // Larger than its screen: shrunk to it and moved inside.
            result.setSize(result.size().boundedTo(screen.size()));
            result.moveLeft(qBound(screen.left(), result.left(), screen.right() - result.width() + 1));
            result.moveTop(qBound(screen.top(), result.top(), screen.bottom() - result.height() + 1));
            return result;
        }
    }
    const QRect& primary = screens.front();
    result.setSize(result.size().boundedTo(primary.size()));
    result.moveTopLeft(QPoint(primary.left() + (primary.width() - result.width()) / 2,
                              primary.top() + (primary.height() - result.height()) / 2));
    return result;
}

TKvAppliMan::TKvAppliMan(QObject* owner, const TScriptParts& scripts)
    : TKvActionComponent(owner), FShell(&DesktopShell())
{
    AppTitle = kProduct + QLatin1Char(' ') + QString::asprintf("%d.%d.%d", 7, 0, 4) + QLatin1Char(' ') + kLanguage;
    AppUpdateDate = QString::asprintf("%.2d/%.2d/%.4d", 2, 5, 2023);

    FHelpForm = std::make_unique<THelpForm>();
    HelpForm = FHelpForm.get();
    FHelpForm->installEventFilter(this);

    FSwitch = new TKvSwitch(this);
    if (scripts.CreateHost)
        FScript = scripts.CreateHost();

    SetImages(&FImages->ilMorvek);

    if (scripts.CreateWindow) {
        FScriptForm = scripts.CreateWindow(QStringLiteral("Script for ") + AppTitle);
        if (FScriptForm) {
            FScriptForm->SetScriptComponent(FScript.get());
            if (QWidget* window = FScriptForm->Window())
                window->installEventFilter(this);
        }
    }
}

TKvAppliMan::~TKvAppliMan()
{
    FDestroying = true;
    // The frames belong to the main window: they go back to it, hidden.
    for (TPage& page : FPages) {
        if (page.Frame && page.Frame->parentWidget() == page.Panel) {
            page.Frame->hide();
            page.Frame->setParent(FWinControl);
        }
    }
    delete FOptionsClose.data();
    for (TPage& page : FPages)
        delete page.Panel.data();
    FScriptForm.reset();
    if (HelpForm == FHelpForm.get())
        HelpForm = nullptr;
    FHelpForm.reset();
    SetImages(nullptr);
}

void TKvAppliMan::SetShell(TAppliShell* shell)
{
    FShell = shell ? shell : &DesktopShell();
}

QWidget* TKvAppliMan::OptionsPanel() const
{
    return FPages[pkOptions].Panel;
}

QWidget* TKvAppliMan::CustomPanel() const
{
    return FPages[pkCustom].Panel;
}

QWidget* TKvAppliMan::AboutPanel() const
{
    return FPages[pkAbout].Panel;
}

QWidget* TKvAppliMan::OptionsFrame() const
{
    return FPages[pkOptions].Frame;
}

QWidget* TKvAppliMan::CustomFrame() const
{
    return FPages[pkCustom].Frame;
}

TAboutFrame* TKvAppliMan::AboutFrame() const
{
    return qobject_cast<TAboutFrame*>(FPages[pkAbout].Frame.data());
}

void TKvAppliMan::SetWinControl(QWidget* control)
{
    if (control == FWinControl)
        return;
    if (FWinControl)
        FWinControl->removeEventFilter(this);
    FWinControl = control;
    if (!control)
        return;
    const TColor colours[pkCount] = {clSilver, clSilver, clAppWorkSpace};
    for (int kind = 0; kind < pkCount; ++kind) {
        TPage& page = FPages[kind];
        if (page.Panel) {
            page.Panel->setParent(control);
        } else {
            page.Panel = new QWidget(control);
            page.Panel->setAutoFillBackground(true);
            QPalette palette = page.Panel->palette();
            palette.setColor(QPalette::Window, ColorToQColor(colours[kind], palette));
            page.Panel->setPalette(palette);
            page.Panel->installEventFilter(this);
            page.Empty = new QLabel(QStringLiteral("There is nothing to show on this page."), page.Panel);
            page.Empty->setAlignment(Qt::AlignCenter);
        }
        page.Panel->setGeometry(control->rect());
        page.Panel->hide();
        PlaceFrame(TPageKind(kind));
    }
    control->installEventFilter(this);
    FSwitch->SetMainWindow(control->window());
    AddWindowActions(control, *this);
}

void TKvAppliMan::SetFrame(TPageKind kind, QWidget* frame)
{
    TPage& page = FPages[kind];
    if (page.Frame)
        page.Frame->removeEventFilter(this);
    page.Frame = frame;
    PlaceFrame(kind);
}

void TKvAppliMan::PlaceFrame(TPageKind kind)
{
    TPage& page = FPages[kind];
    if (!page.Panel)
        return;
    page.Empty->setVisible(!page.Frame);
    if (!page.Frame)
        return;
    page.Frame->setParent(page.Panel);
    page.Frame->setVisible(!page.Panel->isHidden());
    CentreFrame(kind);
}

void TKvAppliMan::SetOptionsFrame(QWidget* frame)
{
    SetFrame(pkOptions, frame);
    if (!frame)
        return;
    if (FOptionsClose) {
        FOptionsClose->setParent(frame);
    } else {
        FOptionsClose = new TLinkEdit(frame);
        StyleCloseLabel(*FOptionsClose);
        FOptionsClose->SetRichText(CloseText(QStringLiteral("F10"), kCloseOptions));
        WireCloseLink(FOptionsClose);
    }
    FOptionsClose->setVisible(FOptionsCloseVisible);
    frame->installEventFilter(this);
    PlaceOptionsClose();
}

void TKvAppliMan::SetCustomFrame(QWidget* frame)
{
    SetFrame(pkCustom, frame);
}

void TKvAppliMan::SetAboutFrame(TAboutFrame* frame)
{
    SetFrame(pkAbout, frame);
    if (!frame)
        return;
    const auto onUrl = [this](TLinkEdit*, const QString& link) { OpenUrl(link); };
    const auto onUrlHint = [](TLinkEdit*, const QString& link, QString& hint) {
        hint = QStringLiteral("Click to access the website ") + link;
    };
    const auto onMail = [this](TLinkEdit*, const QString&) { WriteEMail(QStringLiteral("About ") + AppTitle); };
    const auto onMailHint = [](TLinkEdit*, const QString&, QString& hint) {
        hint = QStringLiteral("Click to send an email to ") + kAuthor;
    };
    for (TLinkEdit* label : {frame->leInfos, frame->leClose}) {
        label->OnUrlClick = onUrl;
        label->OnUrlHint = onUrlHint;
        label->OnMailClick = onMail;
        label->OnMailHint = onMailHint;
    }
    WireCloseLink(frame->leClose);
}

void TKvAppliMan::WireCloseLink(TLinkEdit* label)
{
    label->OnCustomLinkClick = [this](TLinkEdit*, const QString& link) {
        if (link == kCloseOptions && caOptions)
            caOptions->SetChecked(false);
        else if (link == kCloseAbout && caAbout)
            caAbout->SetChecked(false);
    };
    label->OnCustomLinkHint = [](TLinkEdit*, const QString&, QString& hint) { hint = kCloseHint; };
}

void TKvAppliMan::SetOptionsCloseVisible(bool visible)
{
    FOptionsCloseVisible = visible;
    if (FOptionsClose && FPages[pkOptions].Frame)
        FOptionsClose->setVisible(visible);
}

void TKvAppliMan::OpenUrl(const QString& address)
{
    QString target = address;
    if (target.endsWith(QChar(0x00A9)))
        target.chop(1);
    FShell->Open(target);
}

void TKvAppliMan::WriteEMail(const QString& subject)
{
    FShell->Open(QStringLiteral("mailto:") + kAuthorMail + QStringLiteral("?subject=") + subject +
                 QStringLiteral("&body="));
}

void TKvAppliMan::CentreFrame(TPageKind kind)
{
    const TPage& page = FPages[kind];
    if (!page.Panel)
        return;
    page.Empty->setGeometry(page.Panel->rect());
    if (page.Frame)
        page.Frame->move((page.Panel->width() - page.Frame->width()) / 2,
                         (page.Panel->height() - page.Frame->height()) / 2);
}

void TKvAppliMan::PlaceOptionsClose()
{
    const QWidget* frame = FPages[pkOptions].Frame;
    if (!FOptionsClose || !frame || FOptionsClose->parentWidget() != frame)
        return;
    FOptionsClose->setGeometry(frame->width() - kCloseWidth - kCloseMargin,
                               frame->height() - kCloseHeight - kCloseMargin, kCloseWidth, kCloseHeight);
    FOptionsClose->raise();
}

void TKvAppliMan::ShowPage(TPageKind kind)
{
    TPage& page = FPages[kind];
    // Pages cover the main window: without one there is nothing to cover.
    if (!page.Panel || !FWinControl)
        return;
    if (kind == pkAbout)
        FillAbout();
    page.Panel->setGeometry(FWinControl->rect());
    CentreFrame(kind);
    ShowAndRaise(page.Panel);
    if (page.Frame)
        ShowAndRaise(page.Frame);
}

void TKvAppliMan::HidePage(TPageKind kind)
{
    TPage& page = FPages[kind];
    if (page.Frame)
        page.Frame->hide();
    if (page.Panel)
        page.Panel->hide();
}

void TKvAppliMan::FillAbout()
{
    TAboutFrame* about = AboutFrame();
    if (!about)
        return;
    about->lbTitle->setText(AppTitle);
    QString uses;
    const qsizetype credits = qMin(TitreUses.size(), UrlUses.size());
    for (qsizetype i = 0; i < credits; ++i) {
        if (i > 0)
            uses += QStringLiteral(", ");
        uses += QStringLiteral("<url %1>%2</url>").arg(UrlUses.at(i), TitreUses.at(i));
    }
    if (!uses.isEmpty())
        uses = QStringLiteral("It uses ") + uses + QStringLiteral(".<br>");
    about->leInfos->SetRichText(
        QStringLiteral("<size 10><b>%1</b> was written by %2 in C++20 with Qt 6.<br>").arg(kProduct, kAuthor) + uses +
        QStringLiteral("Last update: %1.<br><br>").arg(AppUpdateDate) +
        QStringLiteral("Visit the <url %1>home page</url> to check for updates, read the <url %2>documentation</url> "
                       "to get help, and report problems on the <url %3>forum</url>.<br><br>")
            .arg(kHomePage, kDocumentation, kForum) +
        QStringLiteral("Write to <mail %1>the author</mail>.</size>").arg(kAuthorMail));
    about->leClose->SetRichText(CloseText(QStringLiteral("F11"), kCloseAbout));
}

QWidget* TKvAppliMan::MainWindow() const
{
    return FWinControl ? FWinControl->window() : nullptr;
}

void TKvAppliMan::SetBounds(const TRect& bounds)
{
    QWidget* window = MainWindow();
    if (!window)
        return;
    const QRect shown = VisibleBounds(ToQRect(bounds), window->size(), AvailableScreens());
    // The bounds are those of the normal window: a maximised one stays so.
    const Qt::WindowStates state = window->windowState();
    const Qt::WindowStates spread = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (state & spread)
        window->setWindowState(state & ~spread);
    window->setGeometry(shown);
    if (state & spread)
        window->setWindowState(state);
}

TRect TKvAppliMan::CurrentBounds() const
{
    const QWidget* window = MainWindow();
    if (!window)
        return TRect{};
    // The same kind of rectangle as SetBounds sets, so nothing drifts between runs.
    const QRect normal = window->normalGeometry();
    return ToTRect(normal.isValid() ? normal : window->geometry());
}

TRect TKvAppliMan::DefaultBounds() const
{
    const QWidget* window = MainWindow();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!window || !screen)
        return TRect{};
    const QRect area = screen->geometry();
    const QSize size = window->size();
    return ToTRect(
        QRect(QPoint(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2),
              size));
}

QString TKvAppliMan::MaximizedName() const
{
    return raFormSave->ScriptName + QStringLiteral(".Maximized");
}

void TKvAppliMan::ListActions(const TActionBinder& bind)
{
    bind(caScript, "caScript");
    bind(caHelp, "caHelp");
    bind(caAbout, "caAbout");
    bind(caOptions, "caOptions");
    bind(caCustom, "caCustom");
    bind(naQuit, "naQuit");
    bind(naEMail, "naEMail");
    bind(naHomePage, "naHomePage");
    bind(raFormSave, "raFormSave");
    bind(waScriptFolder, "waScriptFolder");
    bind(baConserverScript, "baConserverScript");
}

void TKvAppliMan::SetDefaults()
{
    const struct
    {
        TCheckAction* action;
        const char* caption;
        QKeySequence key;
        const char* scriptName;
        int image;
        const char* page; // as the hints name it
    } pages[] = {
        {caScript, "Scripts", QKeySequence(Qt::Key_F12), "Script", MorvekImage::Script, "of Scripts"},
        {caHelp, "Help", QKeySequence(Qt::Key_F1), "Help", MorvekImage::Help, "of Help"},
        {caAbout, "About...", QKeySequence(Qt::Key_F11), "About", MorvekImage::About, "About..."},
        {caOptions, "Settings", QKeySequence(Qt::Key_F10), "Options", MorvekImage::Options, "of Options"},
        {caCustom, "Custom", QKeySequence(Qt::ALT | Qt::Key_F10), "Custom", -1, "Custom"},
    };
    for (const auto& page : pages) {
        TCheckAction* action = page.action;
        action->SetTrueCaption(QString::fromLatin1(page.caption));
        action->SetFalseCaption(QString::fromLatin1(page.caption));
        action->SetShortCut(ShortcutFor(action->InternalId, page.key));
        action->ScriptName = QString::fromLatin1(page.scriptName);
        action->SetTrueImageIndex(page.image);
        action->SetFalseImageIndex(page.image);
        action->SetTrueHint(QStringLiteral("Click to close the page %1").arg(QLatin1String(page.page)));
        action->SetFalseHint(QStringLiteral("Click to open the page %1").arg(QLatin1String(page.page)));
        action->IncludePrefs = false;
    }

    const struct
    {
        TNopeAction* action;
        const char* caption;
        QKeySequence key;
        const char* scriptName;
        int image;
    } commands[] = {
        {naQuit, "Quit", QKeySequence(Qt::ALT | Qt::Key_F4), "Quit", MorvekImage::Quit},
        {naEMail, "E-mail", QKeySequence(Qt::ALT | Qt::Key_F5), "EMail", -1},
        {naHomePage, "Home", QKeySequence(Qt::ALT | Qt::Key_F6), "HomePage", -1},
    };
    for (const auto& command : commands) {
        TNopeAction* action = command.action;
        action->SetCaption(QString::fromLatin1(command.caption));
        action->SetShortCut(ShortcutFor(action->InternalId, command.key));
        action->ScriptName = QString::fromLatin1(command.scriptName);
        action->SetImageIndex(command.image);
        action->SetHint(kLayoutHint);
    }

    const auto setting = [](TCustomAbstractAction* action, const QString& name) {
        action->SetCaption(name);
        action->ScriptName = name;
        action->ApplyWhenLoad = true;
    };
    setting(raFormSave, QStringLiteral("FormSave"));
    setting(waScriptFolder, QStringLiteral("ScriptFolder"));
    setting(baConserverScript, QStringLiteral("ConserverScript"));
    baConserverScript->SetDefaultValue(false);
}

void TKvAppliMan::AssignEvents()
{
    const auto checks = [](TCheckAction* action, TApplyNopeEvent onTrue, TApplyNopeEvent onFalse) {
        if (!action)
            return;
        action->InternalTrueApply = std::move(onTrue);
        action->InternalFalseApply = std::move(onFalse);
    };
    // Only the user's own click is recorded; the other pages close quietly.
    const auto uncheck = [](TCheckAction* action) {
        if (action)
            action->SetCheckedNoMacro(false);
    };

    checks(
        caScript,
        [this] {
            if (FScriptForm && FScriptForm->Window())
                ShowAndRaise(FScriptForm->Window());
        },
        [this] {
            if (FScriptForm && FScriptForm->Window())
                FScriptForm->Window()->hide();
        });
    checks(
        caHelp, [this] { ShowAndRaise(FHelpForm.get()); }, [this] { FHelpForm->hide(); });
    checks(
        caAbout,
        [this, uncheck] {
            uncheck(caOptions);
            uncheck(caCustom);
            ShowPage(pkAbout);
        },
        [this] { HidePage(pkAbout); });
    checks(
        caOptions,
        [this, uncheck] {
            uncheck(caAbout);
            uncheck(caCustom);
            ShowPage(pkOptions);
        },
        [this] { HidePage(pkOptions); });
    checks(
        caCustom,
        [this, uncheck] {
            ShowPage(pkCustom);
            uncheck(caAbout);
            uncheck(caOptions);
        },
        [this] { HidePage(pkCustom); });

    const auto replaceHint = [](TNopeAction* action, const QString& hint) {
        if (action && action->Hint() == kLayoutHint)
            action->SetHint(hint);
    };
    replaceHint(naQuit, QStringLiteral("Quit %1").arg(kProduct));
    replaceHint(naEMail, QStringLiteral("Send an e-mail to %1").arg(kAuthor));
    replaceHint(naHomePage, QStringLiteral("Open the homepage of %1").arg(kProduct));
    if (naQuit)
        naQuit->InternalApply = [this] {
            if (QWidget* window = MainWindow())
                window->close();
        };
    if (naEMail)
        naEMail->InternalApply = [this] { WriteEMail(QStringLiteral("About %1").arg(AppTitle)); };
    if (naHomePage)
        naHomePage->InternalApply = [this] { OpenUrl(kHomePage); };

    if (raFormSave) {
        raFormSave->InternalApply = [this](const TRect& bounds) { SetBounds(bounds); };
        raFormSave->InternalBeforeSave = [this](TRect& bounds) {
            if (MainWindow())
                bounds = CurrentBounds();
            return true;
        };
        raFormSave->InternalDefault = [this](TRect& bounds) {
            if (MainWindow())
                bounds = DefaultBounds();
            return true;
        };
        // The maximised state goes with the bounds, after them.
        OnLoadFromPrefs = [this, previous = OnLoadFromPrefs](TActionPreferences& gp) {
            const bool result = !previous || previous(gp);
            if (QWidget* window = MainWindow()) {
                const bool maximized = gp.ReadBool(MaximizedName(), window->isMaximized());
                window->setWindowState(maximized ? window->windowState() | Qt::WindowMaximized
                                                 : window->windowState() & ~Qt::WindowMaximized);
            }
            return result;
        };
        OnSaveToPrefs = [this, previous = OnSaveToPrefs](TActionPreferences& gp) {
            const bool result = !previous || previous(gp);
            const QWidget* window = MainWindow();
            return (!window || gp.WriteBool(MaximizedName(), window->isMaximized())) && result;
        };
    }
    if (waScriptFolder) {
        waScriptFolder->EmptyMeansDefault = true;
        waScriptFolder->InternalApply = [this](const QString& folder) {
            if (FScriptForm)
                FScriptForm->SetScriptFolder(folder);
        };
        waScriptFolder->InternalBeforeSave = [this](QString& folder) {
            if (FScriptForm && !FScriptForm->ScriptFolder().isEmpty())
                folder = FScriptForm->ScriptFolder();
            return true;
        };
        waScriptFolder->InternalDefault = [this](QString& folder) {
            folder = FShell->DocumentsFolder();
            return true;
        };
    }
    if (baConserverScript)
        baConserverScript->InternalApply = [this](const bool& keep) {
            if (FScriptForm)
                FScriptForm->SetKeepScript(keep);
        };

    ApplySharedShortcuts(*this);
    SetSwitch(FSwitch);
    if (FWinControl)
        AddWindowActions(FWinControl, *this);
}

bool TKvAppliMan::eventFilter(QObject* watched, QEvent* event)
{
    if (FDestroying)
        return false;
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == FWinControl) {
            for (TPage& page : FPages)
                if (page.Panel)
                    page.Panel->setGeometry(FWinControl->rect());
        } else if (watched == FPages[pkOptions].Frame) {
            PlaceOptionsClose();
        }
        for (int kind = 0; kind < pkCount; ++kind)
            if (watched == FPages[kind].Panel)
                CentreFrame(TPageKind(kind));
        break;
    case QEvent::Hide: {
        // A window closed by its own close box unchecks its action (and so is
        // recorded); a minimised one is still open.
        const auto* window = qobject_cast<QWidget*>(watched);
        if (!window || window->isMinimized())
            break;
        if (watched == FHelpForm.get() && caHelp && caHelp->Checked())
            caHelp->SetChecked(false);
        else if (FScriptForm && watched == FScriptForm->Window() && caScript && caScript->Checked())
            caScript->SetChecked(false);
        break;
    }
    default:
        break;
    }
    return false;
}
