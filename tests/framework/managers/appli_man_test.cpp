#include "framework/managers/about_frame.h"
#include "framework/managers/help_form.h"
#include "tests/framework/managers/appli_test_support.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

TEST_F(AppliManTest, TitleDateAndTheProgramWideObjects)
{
    EXPECT_EQ(AppTitle, "Kestrova 7.0.4 en");
    EXPECT_EQ(AppUpdateDate, "02/05/2023");
    EXPECT_EQ(Script->window.windowTitle(), "Script for Kestrova 7.0.4 en");
    EXPECT_EQ(Script->script, Host);
    EXPECT_EQ(Man->GetScript(), Host);
    EXPECT_EQ(HelpForm->windowTitle(), "Help for Shortcuts, Scripts and Macros");
    // The manager's own list answers the command line.
    ASSERT_NE(Man->GetSwitch(), nullptr);
    EXPECT_EQ(Man->Switch(), Man->GetSwitch());

    TAboutFrame about;
    Man->TitreUses = QStringList{"FFmpeg", "libjpeg-turbo"};
    Man->UrlUses = QStringList{"https://ffmpeg.org/", "https://libjpeg-turbo.org/©"};
    Man->SetAboutFrame(&about);
    Man->caAbout->SetChecked(true);
    EXPECT_EQ(about.lbTitle->text(), AppTitle);
    const QString infos = about.leInfos->toPlainText();
    EXPECT_TRUE(infos.contains("02/05/2023")) << infos.toStdString();
    EXPECT_TRUE(infos.contains("It uses FFmpeg, libjpeg-turbo.")) << infos.toStdString();
    EXPECT_EQ(about.leClose->toPlainText(), "Type F11 to close this page or click here.");

    // Without credits the sentence goes.
    Man->TitreUses.clear();
    Man->caAbout->SetChecked(false);
    Man->caAbout->SetChecked(true);
    EXPECT_FALSE(about.leInfos->toPlainText().contains("It uses"));
}

TEST_F(AppliManTest, ProgramWindowsQuitAndDefaultHints)
{
    const struct
    {
        TNopeAction* action;
        const char* hint;
    } hints[] = {{Man->naQuit, "Quit Kestrova"},
                 {Man->naEMail, "Send an e-mail to Morvek"},
                 {Man->naHomePage, "Open the homepage of Kestrova"}};
    for (const auto& h : hints)
        EXPECT_EQ(h.action->Hint(), h.hint);
    EXPECT_EQ(Man->caOptions->Hint(), "Click to open the page of Options");
    Man->caOptions->SetChecked(true);
    EXPECT_EQ(Man->caOptions->Hint(), "Click to close the page of Options");

    ShowWindow();
    Man->naQuit->Execute();
    EXPECT_FALSE(Window.isVisible());
}

TEST_F(AppliManTest, ActionsAsTheMainWindowShowsThem)
{
    // Alt+F5 and Alt+F6 belong to the aspect actions of the main window.
    const struct
    {
        TCustomAbstractAction* action;
        const char* caption;
        const char* key;
        const char* script;
        int image;
        bool prefs, applyWhenLoad;
    } rows[] = {
        {Man->caScript, "Scripts", "F12", "Script", 3, false, false},
        {Man->caHelp, "Help", "F1", "Help", 2, false, false},
        {Man->caAbout, "About...", "F11", "About", 1, false, false},
        {Man->caOptions, "Settings", "F10", "Options", 0, false, false},
        {Man->caCustom, "Custom", "Alt+F10", "Custom", -1, false, false},
        {Man->naQuit, "Quit", "Alt+F4", "Quit", 4, true, false},
        {Man->naEMail, "E-mail", "", "EMail", -1, true, false},
        {Man->naHomePage, "Home", "", "HomePage", -1, true, false},
        {Man->raFormSave, "FormSave", "", "FormSave", -1, true, true},
        {Man->waScriptFolder, "ScriptFolder", "", "ScriptFolder", -1, true, true},
        {Man->baConserverScript, "ConserverScript", "", "ConserverScript", -1, true, true},
    };
    ASSERT_EQ(Man->AbstractActions().size(), std::size(rows));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        EXPECT_EQ(row.action->Caption(), row.caption);
        EXPECT_EQ(row.action->ShortCut(), QKeySequence(row.key));
        EXPECT_EQ(row.action->ScriptName, row.script);
        EXPECT_EQ(row.action->ImageIndex(), row.image);
        EXPECT_EQ(row.action->IncludePrefs, row.prefs);
        EXPECT_EQ(row.action->ApplyWhenLoad, row.applyWhenLoad);
    }
    for (TCheckAction* page : {Man->caScript, Man->caHelp, Man->caAbout, Man->caOptions, Man->caCustom}) {
        page->SetCheckedNoMacro(true);
        EXPECT_EQ(page->Caption(), page->FalseCaption()) << "the caption is the same in both states";
        EXPECT_EQ(page->ImageIndex(), page->FalseImageIndex());
        page->SetCheckedNoMacro(false);
    }
    EXPECT_FALSE(Man->baConserverScript->DefaultValue());
}

// Every change of page is one macro line; the pages it closes are not.
TEST_F(AppliManTest, PagesExcludeEachOtherWithOneLinePerChange)
{
    QFrame options, custom;
    TAboutFrame about;
    Man->SetOptionsFrame(&options);
    Man->SetCustomFrame(&custom);
    Man->SetAboutFrame(&about);
    ShowWindow();

    QStringList lines;
    MacroTarget = &lines;
    const struct
    {
        TCheckAction* action;
        bool check;
        int shown; // 0 options, 1 custom, 2 About, -1 none
        const char* line;
    } steps[] = {
        {Man->caAbout, true, 2, "    setAbout(True);"},    {Man->caOptions, true, 0, "    setOptions(True);"},
        {Man->caCustom, true, 1, "    setCustom(True);"},  {Man->caAbout, true, 2, "    setAbout(True);"},
        {Man->caAbout, false, -1, "    setAbout(False);"}, {Man->caOptions, true, 0, "    setOptions(True);"},
    };
    TCheckAction* const pages[] = {Man->caOptions, Man->caCustom, Man->caAbout};
    QWidget* const panels[] = {Man->OptionsPanel(), Man->CustomPanel(), Man->AboutPanel()};
    QWidget* const frames[] = {&options, &custom, &about};
    for (const auto& step : steps) {
        lines.clear();
        step.action->SetChecked(step.check);
        EXPECT_EQ(lines, QStringList{step.line});
        for (int page = 0; page < 3; ++page) {
            SCOPED_TRACE(testing::Message() << step.line << " page " << page);
            EXPECT_EQ(pages[page]->Checked(), page == step.shown);
            EXPECT_EQ(panels[page]->isVisible(), page == step.shown);
            EXPECT_EQ(frames[page]->isVisible(), page == step.shown);
        }
    }
    // A page covers the window with its frame in the middle.
    EXPECT_EQ(Man->OptionsPanel()->geometry(), Window.rect());
    options.resize(200, 100);
    Window.resize(500, 401);
    QCoreApplication::processEvents();
    EXPECT_EQ(Man->OptionsPanel()->geometry(), Window.rect());
    EXPECT_EQ(options.pos(), QPoint(150, 150));
}

TEST_F(AppliManTest, KeysOpenAndCloseThePages)
{
    QFrame options;
    Man->SetOptionsFrame(&options);
    ShowWindow();
    QTest::keyClick(&Window, Qt::Key_F10);
    EXPECT_TRUE(Man->caOptions->Checked());
    EXPECT_TRUE(Man->OptionsPanel()->isVisible());
    QTest::keyClick(&Window, Qt::Key_F10);
    EXPECT_FALSE(Man->caOptions->Checked());
    EXPECT_FALSE(Man->OptionsPanel()->isVisible());

    QTest::keyClick(&Window, Qt::Key_F10, Qt::AltModifier);
    EXPECT_TRUE(Man->caCustom->Checked());
    QTest::keyClick(&Window, Qt::Key_F11);
    EXPECT_TRUE(Man->caAbout->Checked());
    EXPECT_FALSE(Man->caCustom->Checked());
}

TEST_F(AppliManTest, CloseLinksCloseTheirPage)
{
    QFrame options;
    options.resize(300, 200);
    TAboutFrame about;
    Man->SetOptionsFrame(&options);
    Man->SetAboutFrame(&about);
    TLinkEdit* optionsClose = Man->OptionsCloseLabel();
    EXPECT_EQ(optionsClose->parentWidget(), &options);
    EXPECT_EQ(optionsClose->geometry(), QRect(300 - 180 - 16, 200 - 40 - 16, 180, 40));
    EXPECT_EQ(optionsClose->toPlainText(), "Type F10 to close this page or click here.");
    ShowWindow();

    const struct
    {
        TCheckAction* action;
        TLinkEdit* label;
        const char* line;
    } pages[] = {{Man->caOptions, optionsClose, "    setOptions(False);"},
                 {Man->caAbout, about.leClose, "    setAbout(False);"}};
    QStringList lines;
    for (const auto& page : pages) {
        page.action->SetChecked(true);
        EXPECT_EQ(HintOver(*page.label, "click here").toStdString(),
                  "Click to close that page\r\nand return to the application");
        MacroTarget = &lines;
        lines.clear();
        ClickText(*page.label, "click here");
        MacroTarget = nullptr;
        EXPECT_FALSE(page.action->Checked());
        EXPECT_EQ(lines, QStringList{page.line});
    }

    Man->SetOptionsCloseVisible(false);
    EXPECT_TRUE(optionsClose->isHidden());
}

TEST_F(AppliManTest, ClosingTheHelpOrScriptWindowUnchecksItsAction)
{
    QStringList lines;
    MacroTarget = &lines;
    Man->caHelp->SetChecked(true);
    EXPECT_TRUE(HelpForm->isVisible());
    lines.clear();
    HelpForm->close();
    EXPECT_FALSE(Man->caHelp->Checked());
    EXPECT_EQ(lines, QStringList{"    setHelp(False);"});

    Man->caScript->SetChecked(true);
    EXPECT_TRUE(Script->window.isVisible());
    Script->window.close();
    EXPECT_FALSE(Man->caScript->Checked());
    // The script action is never recorded.
    EXPECT_EQ(lines, QStringList{"    setHelp(False);"});
}

// A page covers what the main window made after it (its video, its bars):
// the point under the mouse belongs to the page, frame and all.
TEST_F(AppliManTest, APageLiesAboveTheWindowsLaterChildren)
{
    QFrame options;
    options.resize(200, 100);
    TAboutFrame about;
    Man->SetOptionsFrame(&options);
    Man->SetAboutFrame(&about);
    QWidget video(&Window);
    video.setGeometry(Window.rect());
    ShowWindow();
    const QPoint middle = Window.rect().center();
    const QPoint corner(2, 2);
    ASSERT_EQ(Window.childAt(middle), &video);
    const auto within = [](const QWidget* outer, const QWidget* found) {
        return found && (found == outer || outer->isAncestorOf(found));
    };

    const struct
    {
        TCheckAction* action;
        QWidget* panel;
        QWidget* frame; // or null: the page's notice
    } pages[] = {
        {Man->caOptions, Man->OptionsPanel(), &options},
        {Man->caCustom, Man->CustomPanel(), nullptr},
        {Man->caAbout, Man->AboutPanel(), &about},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.action->InternalId.toStdString());
        page.action->SetChecked(true);
        EXPECT_TRUE(within(page.panel, Window.childAt(corner)));
        if (page.frame) {
            EXPECT_TRUE(within(page.frame, Window.childAt(middle)));
        }
        // The window's own child comes back with the page closed.
        page.action->SetChecked(false);
        EXPECT_EQ(Window.childAt(middle), &video);
        video.raise();
    }
}

TEST_F(AppliManTest, PagesHaveTheirColoursAndCentreTheirFrames)
{
    EXPECT_EQ(Man->OptionsPanel()->palette().color(QPalette::Window), ColorToQColor(clSilver));
    EXPECT_EQ(Man->CustomPanel()->palette().color(QPalette::Window), ColorToQColor(clSilver));
    EXPECT_EQ(Man->AboutPanel()->palette().color(QPalette::Window), ColorToQColor(clAppWorkSpace));

    // The halves are cut toward zero.
    QFrame options;
    options.resize(201, 101);
    Man->SetOptionsFrame(&options);
    ShowWindow();
    Man->caOptions->SetChecked(true);
    EXPECT_EQ(options.pos(), QPoint((400 - 201) / 2, (300 - 101) / 2));
    Window.resize(403, 303);
    EXPECT_EQ(options.pos(), QPoint(101, 101));
}

TEST_F(AppliManTest, CustomPageWithNothingToShowSaysSo)
{
    ShowWindow();
    Man->caCustom->SetChecked(true);
    EXPECT_TRUE(Man->CustomPanel()->isVisible());
    const auto* notice = Man->CustomPanel()->findChild<QLabel*>();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(notice->text().isEmpty());

    QFrame custom;
    Man->SetCustomFrame(&custom);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_TRUE(custom.isVisible());
}

TEST_F(AppliManTest, AddressesGoToTheDesktop)
{
    Man->naEMail->Execute();
    Man->naHomePage->Execute();
    Man->OpenUrl(QStringLiteral("https://example.org/kit©"));
    Man->OpenUrl(QStringLiteral("https://example.org/©/a"));
    ASSERT_EQ(Shell.opened.size(), 4);
    EXPECT_TRUE(Shell.opened[0].startsWith("mailto:")) << Shell.opened[0].toStdString();
    EXPECT_TRUE(Shell.opened[0].contains('@'));
    EXPECT_TRUE(Shell.opened[0].endsWith("?subject=About Kestrova 7.0.4 en&body="));
    EXPECT_TRUE(Shell.opened[1].startsWith("https://"));
    EXPECT_EQ(Shell.opened[2], "https://example.org/kit");
    EXPECT_EQ(Shell.opened[3], "https://example.org/©/a");

    // The About page's links: web addresses, credits without their "©", mail.
    TAboutFrame about;
    about.resize(600, 400);
    Man->TitreUses = QStringList{"libjpeg-turbo"};
    Man->UrlUses = QStringList{"https://libjpeg-turbo.org/©"};
    Man->SetAboutFrame(&about);
    ShowWindow();
    Man->caAbout->SetChecked(true);
    EXPECT_EQ(HintOver(*about.leInfos, "libjpeg-turbo").toStdString(),
              "Click to access the website https://libjpeg-turbo.org/©");
    EXPECT_EQ(HintOver(*about.leInfos, "the author").toStdString(), "Click to send an email to Morvek");
    Shell.opened.clear();
    ClickText(*about.leInfos, "libjpeg-turbo");
    ClickText(*about.leInfos, "home page");
    ClickText(*about.leInfos, "the author");
    ASSERT_EQ(Shell.opened.size(), 3);
    EXPECT_EQ(Shell.opened[0], "https://libjpeg-turbo.org/");
    EXPECT_EQ(Shell.opened[1], Shell.opened[1].trimmed());
    EXPECT_TRUE(Shell.opened[1].startsWith("https://"));
    EXPECT_TRUE(Shell.opened[2].endsWith("?subject=About Kestrova 7.0.4 en&body="));
}

TEST_F(AppliManTest, ScriptWindowSettings)
{
    FakePreferences prefs;
    ASSERT_TRUE(Man->LoadFromPrefs(prefs));
    // Nothing stored: the documents folder, scripts not kept.
    EXPECT_EQ(Script->folder, Shell.documents);
    EXPECT_FALSE(Script->keep);

    Script->folder = QStringLiteral("/data/scripts");
    Man->baConserverScript->SetValue(true);
    EXPECT_TRUE(Script->keep);
    ASSERT_TRUE(Man->SaveToPrefs(prefs));
    EXPECT_EQ(std::get<QString>(prefs.values.at("ScriptFolder")), "/data/scripts");
    EXPECT_TRUE(std::get<bool>(prefs.values.at("ConserverScript")));
    // The pages are never stored.
    for (const char* page : {"Script", "Help", "About", "Options", "Custom"})
        EXPECT_EQ(prefs.values.count(page), 0u) << page;
}

// A manager restored from a layout that still carries the layout's hints and
// keys: the hints are made, the keys that belong to other actions dropped.
TEST(AppliManLayout, RestoredActionsGetTheirHintsAndKeys)
{
    std::unique_ptr<TKvAppliMan> man(TKvActionComponent::Restore<TKvAppliMan>(nullptr, [](TKvAppliMan* m) {
        const struct
        {
            const char* id;
            QKeySequence key;
        } layout[] = {{"naQuit", QKeySequence("Alt+F4")},
                      {"naEMail", QKeySequence("Alt+F5")},
                      {"naHomePage", QKeySequence("Alt+F6")}};
        for (const auto& entry : layout) {
            auto* action = TCustomAbstractAction::CreateNamed<TNopeAction>(m, entry.id);
            action->SetHint("###");
            action->SetShortCut(entry.key);
        }
    }));
    EXPECT_EQ(man->naEMail->Hint(), "Send an e-mail to Morvek");
    EXPECT_EQ(man->naQuit->ShortCut(), QKeySequence("Alt+F4"));
    EXPECT_TRUE(man->naEMail->ShortCut().isEmpty());
    EXPECT_TRUE(man->naHomePage->ShortCut().isEmpty());
    // Actions the layout lacks stay missing, and nothing that uses them breaks.
    EXPECT_EQ(man->caOptions, nullptr);
    QWidget window;
    man->SetWinControl(&window);
    QFrame options;
    man->SetOptionsFrame(&options);
}

} // namespace

namespace {

// The program's way: the main window owns the manager and the frames, and
// goes first; the other way round, the window keeps its frames.
TEST(AppliManLifetime, EitherSideMayGoFirst)
{
    {
        auto* window = new QWidget;
        auto* man = TKvActionComponent::Create<TKvAppliMan>(window);
        man->SetWinControl(window);
        man->SetOptionsFrame(new QFrame(window));
        man->SetAboutFrame(new TAboutFrame(window));
        man->caHelp->SetChecked(true);
        man->caOptions->SetChecked(true);
        delete window;
        EXPECT_EQ(HelpForm, nullptr);
    }
    QWidget window;
    QPointer<QFrame> options = new QFrame(&window);
    {
        std::unique_ptr<TKvAppliMan> man(TKvActionComponent::Create<TKvAppliMan>(nullptr));
        man->SetWinControl(&window);
        man->SetOptionsFrame(options);
        man->caOptions->SetChecked(true);
    }
    ASSERT_TRUE(options);
    EXPECT_EQ(options->parentWidget(), &window);
    EXPECT_TRUE(options->findChildren<TLinkEdit*>().isEmpty());
}

} // namespace
