#include "framework/preferences/save_prefs_form.h"
#include "framework/widgets/link_edit.h"

#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(SavePrefsForm, ShowsItsTextsAndButtonsInARow)
{
    TSavePrefsForm form;
    EXPECT_EQ(form.Text->RichText(),
              QStringLiteral("<br><size 10><i>Do you want to save your preferences and find them again on next "
                             "start?<br><br>Click on your choice:</i><br><br>* either to save them in the registry "
                             "(normal mode).<br>* either to save them in an ini-file (portable mode).<br>* either not "
                             "to save them. In the last case, all preferences will be lost, and the default values "
                             "will be loaded on the next start.<br></size>"));
    EXPECT_TRUE(form.Text->isReadOnly());
    EXPECT_EQ(form.NormalBtn->text(), QStringLiteral("Normal"));
    EXPECT_EQ(form.PortableBtn->text(), QStringLiteral("Portable"));
    EXPECT_EQ(form.AucunBtn->text(), QStringLiteral("None"));
    EXPECT_EQ(form.NormalBtn->toolTip(),
              QStringLiteral("Save the Preferences in the registry.\nIf an ini file existed, it will be deleted."));
    EXPECT_EQ(form.PortableBtn->toolTip(),
              QStringLiteral("Saves the preferences to an ini file.\nDeletes the preferences from the registry."));
    EXPECT_EQ(form.AucunBtn->toolTip(), QStringLiteral("Exit without saving the preferences.\nIf they existed in an "
                                                       "ini-file or in the registry,\nthey will be deleted."));
    form.SetCaption(QStringLiteral("Saving the preferences of Kestrova"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Saving the preferences of Kestrova"));

    form.show();
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "a fixed-size dialog";
    EXPECT_EQ(form.NormalBtn->y(), form.AucunBtn->y());
    EXPECT_LT(form.NormalBtn->x(), form.PortableBtn->x());
    EXPECT_LT(form.PortableBtn->x(), form.AucunBtn->x());
}

TEST(SavePrefsForm, AButtonAnswersAndAnyOtherCloseDoesNot)
{
    TSavePrefsForm form;
    const std::pair<QPushButton*, TSavePreferences> choices[] = {
        {form.NormalBtn, spRegistre}, {form.PortableBtn, spPortable}, {form.AucunBtn, spNone}};
    for (auto [button, choice] : choices) {
        QTimer::singleShot(0, button, &QPushButton::click);
        EXPECT_EQ(form.Execute(), choice);
    }
    QTimer::singleShot(0, &form, &QDialog::reject); // Escape or the title bar's close button
    EXPECT_EQ(form.Execute(), std::nullopt);
    EXPECT_FALSE(form.Answered());
}

} // namespace
