// The overwrite question as the user meets it: a real message box, answered
// by clicking its buttons.

#include "app/grab_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>

namespace {

// Asks, and answers the box with `button` (nothing: closes it); the text
// the box showed goes to `shown`.
TGrabUi::TOverwriteAnswer answer(std::optional<QMessageBox::StandardButton> button, QString* shown = nullptr)
{
    QTimer::singleShot(0, [button, shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (shown)
            *shown = box->text();
        if (button)
            box->button(*button)->click();
        else
            box->reject();
    });
    TQtGrabUi ui;
    return ui.AskOverwrite(OverwriteQuestionText(QString::fromUtf8("/pics/Kestrova_007.jpg")));
}

} // namespace

TEST(GrabUi, TheOverwriteQuestionHasFourAnswersAndClosingIsCancel)
{
    QString shown;
    EXPECT_EQ(answer(QMessageBox::Yes, &shown), TGrabUi::oaYes);
    EXPECT_EQ(shown, "The file /pics/Kestrova_007.jpg already exists. Do yout want to replace it?\n\n"
                     "Click on \"Yes to All\" to stop being prompted.");
    EXPECT_EQ(answer(QMessageBox::No), TGrabUi::oaNo);
    EXPECT_EQ(answer(QMessageBox::Cancel), TGrabUi::oaCancel);
    EXPECT_EQ(answer(QMessageBox::YesToAll), TGrabUi::oaYesToAll);
    EXPECT_EQ(answer(std::nullopt), TGrabUi::oaCancel);
}
