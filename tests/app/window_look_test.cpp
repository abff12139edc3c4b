// The window as a user meets it at its smallest size: every button shows a
// readable icon, every text fits its control, nothing stands over the
// navigation bar, no menu entry is blank, and the folder fields and the
// interval panel show and set their actions. Screenshots of each state go to
// the test's binary folder, to be looked at.

#include "main_form_fixture.h"

#include "framework/managers/file_manager.h"
#include "framework/widgets/directory_edit.h"
#include "framework/widgets/kv_bar.h"
#include "tests/media/clip_reader.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace {

// Every warning Qt prints while a test runs.
QStringList Warnings;
QtMessageHandler PreviousHandler = nullptr;

void KeepWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        Warnings.append(text);
    PreviousHandler(type, context, text);
}

QString Name(const QWidget* widget)
{
    QString path;
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (!w->objectName().isEmpty()) {
            path = w->objectName() + (path.isEmpty() ? QString() : u'/' + path);
            if (path.count(u'/') == 2)
                break;
        }
    }
    return QStringLiteral("%1 (%2)").arg(path, QString::fromLatin1(widget->metaObject()->className()));
}

// Whether the icon draws something at `side` pixels, at the screen's scale
// and at twice it.
bool Drawn(const QIcon& icon, int side)
{
    if (icon.isNull())
        return false;
    for (qreal scale : {1.0, 2.0}) {
        const QImage image = icon.pixmap(QSize(side, side), scale).toImage();
        if (image.width() < int(side * scale))
            return false;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        // A glyph covers a fair part of its square.
        if (opaque < image.width() * image.height() / 10)
            return false;
    }
    return true;
}

// What `widget` needs to show all of its text, or an invalid size when it
// holds no text of its own.
QSize Needed(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        // A picture fills whatever room it is given.
        if (!label->pixmap().isNull())
            return {0, 0};
        if (label->text().isEmpty())
            return {};
        if (label->wordWrap())
            return {0, label->heightForWidth(label->width())};
        return label->sizeHint();
    }
    if (qobject_cast<QLineEdit*>(widget)) {
        // The edits inside spin and combo boxes are their boxes' concern.
        if (qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) || qobject_cast<QComboBox*>(widget->parentWidget()))
            return {};
        return widget->minimumSizeHint();
    }
    if (qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<QComboBox*>(widget))
        return widget->minimumSizeHint();
    if (qobject_cast<QAbstractButton*>(widget))
        return widget->sizeHint();
    if (qobject_cast<TWideDialogEdit*>(widget))
        return widget->minimumSizeHint();
    return {};
}

class WindowLookTest : public MainFormTest
{
protected:
    void SetUp() override
    {
        Warnings.clear();
        PreviousHandler = qInstallMessageHandler(KeepWarnings);
        MainFormTest::SetUp();
        ASSERT_TRUE(form->ficman->OpenFile(clips::path(QStringLiteral("dv_pal.avi"))));
        Settle();
        form->resize(form->minimumSize());
        // The keys go to the active window, as a user's do.
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        Serve(50);
    }

    void TearDown() override
    {
        MainFormTest::TearDown();
        qInstallMessageHandler(PreviousHandler);
        EXPECT_TRUE(Warnings.isEmpty()) << Warnings.join(u'\n').toStdString();
    }

    static void Serve(int ms)
    {
        Until([] { return false; }, ms);
    }

    void Press(QKeyCombination key)
    {
        QTest::keyClick(form.get(), key.key(), key.keyboardModifiers());
        Serve(20);
    }

    // Saves a picture of the window, to be looked at.
    void Screenshot(const QString& name)
    {
        const QString folder = QStringLiteral(KESTROVA_TEST_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        form->grab().save(folder + u'/' + name + QStringLiteral(".png"));
    }

    // What is wrong with the window as it shows now; one line per fault.
    QStringList Faults()
    {
        QStringList faults;
        for (QWidget* widget : form->findChildren<QWidget*>()) {
            if (!widget->isVisible() || widget->window() != form.get())
                continue;
            // Buttons: an icon or a text, and in the bars an icon that draws.
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                const bool inBar = widget->parentWidget() == form->barUnique || widget->parentWidget() == form->NavBar;
                if (inBar && (button->iconSize().height() < 16 || !Drawn(button->icon(), button->iconSize().height())))
                    faults << QStringLiteral("no readable icon: %1 \"%2\"").arg(Name(widget), button->toolTip());
                if (!inBar && button->text().isEmpty() && button->icon().isNull() &&
                    !qobject_cast<QToolButton*>(widget->parentWidget()))
                    faults << QStringLiteral("blank button: %1").arg(Name(widget));
            }
            // Texts: the control is as large as its text needs.
            const QSize need = Needed(widget);
            if (need.isValid() && (need.width() > widget->width() || need.height() > widget->height()))
                faults << QStringLiteral("clipped: %1 \"%2\" needs %3x%4, has %5x%6")
                              .arg(Name(widget), widget->property("text").toString())
                              .arg(need.width())
                              .arg(need.height())
                              .arg(widget->width())
                              .arg(widget->height());
            // No control stands over a text.
            if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
                const QObjectList& siblings = label->parentWidget()->children();
                for (qsizetype i = siblings.indexOf(label) + 1; i < siblings.size(); ++i) {
                    auto* above = qobject_cast<QWidget*>(siblings.at(i));
                    if (above && above->isVisible() && Needed(above).isValid() &&
                        above->geometry().intersects(label->geometry()))
                        faults << QStringLiteral("%1 over %2").arg(Name(above), Name(label));
                }
            }
            // Controls stay inside what holds them.
            if (need.isValid() && widget->parentWidget() &&
                !widget->parentWidget()->rect().contains(widget->geometry()))
                faults << QStringLiteral("outside its parent: %1").arg(Name(widget));
        }
        // The panels stay in the window and off each other.
        const QRect client = form->Client->rect();
        QList<QWidget*> shown;
        for (QWidget* panel : std::initializer_list<QWidget*>{
                 form->NavBar, form->intervalloframe, form->ImagetteFrame, form->SaveImagesFrame, form->DVIncrustFrame,
                 form->IncrustFrame, form->panelImage, form->PanelHaut, form->barUnique}) {
            if (!panel->isVisible())
                continue;
            if (!client.contains(panel->geometry()))
                faults << QStringLiteral("outside the window: %1").arg(Name(panel));
            for (QWidget* other : shown)
                if (panel->geometry().intersects(other->geometry()))
                    faults << QStringLiteral("%1 over %2").arg(Name(panel), Name(other));
            shown << panel;
        }
        return faults;
    }
};

TEST_F(WindowLookTest, AtItsSmallestSizeEveryStateShowsIconsAndWholeTexts)
{
    // Each side panel, the options page and the interval panel, as a user
    // brings them up.
    const struct
    {
        const char* name;
        std::function<void()> bringUp;
    } states[] = {
        {"main", [] {}},
        // A picture grabbed into a folder of a long name, its name shown.
        {"grabbed",
         [this] {
             const QString folder =
                 dir.filePath(QStringLiteral("pictures of a long holiday by the sea in the south of the country"));
             QDir().mkpath(folder);
             form->A.waDossierSave->SetValue(folder + u'/');
             Press(Qt::Key_F5);
         }},
        {"thumbnail", [this] { Press(Qt::Key_F2); }},
        {"picture-names", [this] { Press(Qt::Key_F3); }},
        {"dv-date", [this] { Press(Qt::Key_F4); }},
        {"inlay", [this] { Press(Qt::Key_F6); }},
        {"panels-on-the-right", [this] { Press(Qt::ALT | Qt::Key_W); }},
        {"interval", [this] { Press(Qt::ALT | Qt::Key_J); }},
        {"options",
         [this] {
             Press(Qt::ALT | Qt::Key_J);
             for (auto* button : form->barUnique->findChildren<QToolButton*>())
                 if (button->toolTip() == form->am->caOptions->Hint())
                     QTest::mouseClick(button, Qt::LeftButton);
             Serve(20);
         }},
    };
    for (const auto& state : states) {
        state.bringUp();
        Screenshot(QString::fromLatin1(state.name));
        const QStringList faults = Faults();
        EXPECT_TRUE(faults.isEmpty()) << state.name << ":\n" << faults.join(u'\n').toStdString();
    }
    EXPECT_TRUE(form->OptionsFrame->isVisible());
}

TEST_F(WindowLookTest, NoMenuEntryIsBlank)
{
    QStringList blank;
    std::function<void(QMenu*)> walk = [&](QMenu* menu) {
        for (QAction* action : menu->actions()) {
            if (action->menu())
                walk(action->menu());
            else if (!action->isSeparator() && action->text().isEmpty())
                blank << menu->title() + QStringLiteral(": ") + action->shortcut().toString();
        }
    };
    for (QAction* top : form->menuBar()->actions())
        if (top->menu())
            walk(top->menu());
    walk(form->PopupMenu);
    EXPECT_TRUE(blank.isEmpty()) << blank.join(u'\n').toStdString();
}

// Answers the folder dialog with the folder it is given.
class AnsweringChooser final : public IFolderChooser
{
public:
    QString answer;
    bool ChooseFolder(const QString&, const QString&, QString& folder, bool) override
    {
        folder = answer;
        return true;
    }
};

TEST_F(WindowLookTest, EachFolderFieldShowsItsSettingAndSetsIt)
{
    AnsweringChooser chooser;
    SetFolderChooser(&chooser);
    const struct
    {
        const char* name;
        TWideDirectoryEdit* field;
        TWidestringAction* action;
        std::function<void()> bringUp;
    } fields[] = {
        {"pictures", form->SaveImagesFrame->deDossierSave, form->A.waDossierSave, [this] { Press(Qt::Key_F3); }},
        {"scripts", form->OptionsFrame->deDossierScripts, form->am->waScriptFolder,
         [this] { form->am->caOptions->Execute(); }},
        {"private filters", form->OptionsFrame->dePrivateFolder, form->A.waPrivateFolder,
         [this] { form->am->caOptions->Execute(); }},
    };
    for (const auto& f : fields) {
        SCOPED_TRACE(f.name);
        f.bringUp();
        Serve(20);
        // Shown, as high as its edit needs, with the setting's value.
        ASSERT_TRUE(f.field->isVisible());
        EXPECT_GE(f.field->height(), f.field->minimumSizeHint().height());
        EXPECT_GE(f.field->Edit()->height(), f.field->Edit()->minimumSizeHint().height());
        EXPECT_EQ(f.field->Text(), f.action->Value());
        // A folder chosen with its button becomes the setting.
        chooser.answer = dir.filePath(QString::fromLatin1(f.name));
        QTest::mouseClick(f.field->Button(), Qt::LeftButton);
        EXPECT_EQ(f.action->Value(), chooser.answer + u'/');
        EXPECT_EQ(f.field->Text(), f.action->Value());
        // A value set by a script shows in the field.
        f.action->SetValue(dir.path() + QStringLiteral("/elsewhere/"));
        EXPECT_EQ(f.field->Text(), dir.path() + QStringLiteral("/elsewhere/"));
        form->am->caOptions->SetChecked(false);
    }
    SetFolderChooser(nullptr);
    // The private folders chosen hold no filters; that was said, and only that.
    for (const QString& error : fileUi->errors)
        EXPECT_TRUE(error.contains(QStringLiteral("LBV.reg"))) << error.toStdString();
    fileUi->errors.clear();
}

TEST_F(WindowLookTest, TheIntervalPanelShowsTheDelayAndTakesWhatIsTyped)
{
    Press(Qt::ALT | Qt::Key_J);
    QSpinBox* delay = form->intervalloframe->seIntervallo;
    ASSERT_TRUE(delay->isVisible());
    TIntegerAction* action = form->A.iaIntervalloDelai;

    // Whatever a script or a switch gives, the panel shows.
    for (int value : {0, 1, 25, 2'000'000}) {
        action->SetValue(value);
        EXPECT_EQ(delay->text(), QString::number(value));
    }

    // Typed over the value shown, a value is taken when the typing ends, even
    // the same one again: the count then starts from the frame shown now.
    int applied = 0;
    action->OnAfterApply = [&applied](const int&) { ++applied; };
    const auto type = [&](const QString& text, Qt::Key end) {
        delay->setFocus();
        delay->selectAll();
        QTest::keyClicks(delay, text);
        QTest::keyClick(end == Qt::Key_Tab ? static_cast<QWidget*>(delay) : delay, end);
        Serve(20);
    };
    action->SetValue(0);
    applied = 0;
    type(QStringLiteral("1"), Qt::Key_Tab);
    EXPECT_EQ(action->Value(), 1);
    EXPECT_EQ(delay->text(), QStringLiteral("1"));
    EXPECT_GE(applied, 1);

    form->A.iaIntervalloUnit->SetValue(0); // frames
    form->NavMan->PreciseSeekTo(10 * 400'000);
    ASSERT_EQ(WaitFor(10), 10);
    applied = 0;
    type(QStringLiteral("1"), Qt::Key_Tab);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(form->IntervalStart(), 10 * 400'000);
    applied = 0;
    type(QStringLiteral("1"), Qt::Key_Return);
    EXPECT_EQ(applied, 1);
    action->OnAfterApply = nullptr;
}

TEST_F(WindowLookTest, TheMessageOfAFileThatCannotBePlayedIsReadToTheEnd)
{
    const QString file = dir.filePath(QStringLiteral("a-rather-long-name-for-a-file-that-holds-no-video-at-all.mkv"));
    QFile garbage(file);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    form->ficman->OpenFile(file);
    Serve(20);
    QLabel* title = form->EnCoursLab;
    EXPECT_LE(title->sizeHint().width(), title->width());
    EXPECT_TRUE(title->text().endsWith(QStringLiteral("Try another file, or the private filters in the options.")))
        << title->text().toStdString();
    EXPECT_TRUE(title->toolTip().startsWith(QFileInfo(file).fileName())) << title->toolTip().toStdString();
    EXPECT_TRUE(Faults().isEmpty()) << Faults().join(u'\n').toStdString();
}

TEST_F(WindowLookTest, TheParentFolderKeySaysWhenNoFileManagerCanShowIt)
{
    const QString clip = clips::path(QStringLiteral("dv_pal.avi"));
    fileUi->fileManager = true;
    Press(Qt::Key_F9);
    EXPECT_EQ(fileUi->shownFolders, QStringList{clip});
    EXPECT_TRUE(fileUi->errors.isEmpty());

    fileUi->fileManager = false;
    Press(Qt::Key_F9);
    EXPECT_EQ(fileUi->errors, QStringList{NoFileManagerText(clip)});
    fileUi->errors.clear();
}

} // namespace
