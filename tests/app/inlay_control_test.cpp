// The inlay settings without the window: on the real managers and panels,
// with the window's shared state played by the test.

#include "app/inlay_control.h"

#include "app/main_actions.h"
#include "app/panels.h"
#include "framework/widgets/threaded_timer.h"
#include "media/engine/audio_man.h"
#include "media/engine/media_devices.h"
#include "media/engine/nav_man.h"
#include "media/engine/video_man.h"

#include <QLineEdit>
#include <QSlider>
#include <gtest/gtest.h>

#include <memory>

namespace {

class InlayControlTest : public testing::Test
{
protected:
    InlayControlTest()
    {
        CreateMainActions(gpal, a);
        video->caInsertTextOn->SetChecked(true);
        inlay = std::make_unique<TInlayControl>(
            host, a, *nav, *video, *audio,
            TInlayPanels{*inlayFrame, *dvFrame, *root, *xslider, *yslider, *videoPanel, *navBar, *intervalPanel},
            TInlayShared{fileName, numberText, hasVideo, hasAudio, current, picture, native, [] {}, [] {}});
    }
    void Patterns(const QString& line1, const QString& line2)
    {
        a.waIncrustPattern1->SetValue(line1);
        a.waIncrustPattern2->SetValue(line2);
    }
    QString Line(int i) const { return video->InsertLine(i).Text; }

    TKvActionList gpal;
    TMainActions a;
    std::unique_ptr<TNavMan> nav{TKvActionComponent::Create<TNavMan>(nullptr)};
    std::unique_ptr<TVideoMan> video{TKvActionComponent::Create<TVideoMan>(nullptr)};
    std::unique_ptr<TAudioMan> audio{TKvActionComponent::Create<TAudioMan>(nullptr)};
    QWidget host;
    TIncrustFrame* inlayFrame = new TIncrustFrame(&host);
    TDVIncrustFrame* dvFrame = new TDVIncrustFrame(&host);
    QLineEdit* root = new QLineEdit(&host);
    QSlider* xslider = new QSlider(Qt::Horizontal, &host);
    QSlider* yslider = new QSlider(Qt::Vertical, &host);
    QWidget* videoPanel = new QWidget(&host);
    QWidget* navBar = new QWidget(&host);
    QWidget* intervalPanel = new QWidget(&host);
    // The window's state, lent.
    QString fileName;
    QString numberText;
    bool hasVideo = false;
    bool hasAudio = false;
    TVideoSource* current = NoVideoSource();
    QRect picture;
    QRect native;
    std::unique_ptr<TInlayControl> inlay;
};

// Entering a text field takes the keys once, however often it is entered;
// leaving gives back what was taken, and only that.
TEST_F(InlayControlTest, TheTypingKeysAreTakenOnceAndGivenBack)
{
    const QKeySequence play(Qt::Key_Space);
    const QKeySequence louder(Qt::Key_Plus | Qt::KeypadModifier);
    const QKeySequence louderToo(Qt::ALT | Qt::Key_P);
    const QKeySequence softer(Qt::Key_Minus | Qt::KeypadModifier);
    struct Row
    {
        const char* steps; // E enters, X leaves
        bool taken;
    };
    const Row rows[] = {{"E", true},  {"EX", false}, {"EEX", false},  {"X", false},
                        {"XE", true}, {"EXE", true}, {"EXEX", false}, {"EXXEX", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.steps);
        nav->caPlay->SetShortCut(play);
        audio->naIncVolume->SetShortCut(louder);
        audio->naIncVolume->SetSecondaryShortcuts({louderToo});
        audio->naDecVolume->SetShortCut(softer);
        for (const char* step = row.steps; *step; ++step)
            *step == 'E' ? inlay->editEnter() : inlay->editExit();
        if (row.taken) {
            EXPECT_TRUE(nav->caPlay->ShortCut().isEmpty());
            EXPECT_TRUE(audio->naIncVolume->ShortCut().isEmpty());
            EXPECT_TRUE(audio->naIncVolume->SecondaryShortcuts().isEmpty());
            EXPECT_TRUE(audio->naDecVolume->ShortCut().isEmpty());
            inlay->editExit();
        } else {
            EXPECT_EQ(nav->caPlay->ShortCut(), play);
            EXPECT_EQ(audio->naIncVolume->ShortCut(), louder);
            EXPECT_EQ(audio->naIncVolume->SecondaryShortcuts(), QList<QKeySequence>{louderToo});
            EXPECT_EQ(audio->naDecVolume->ShortCut(), softer);
        }
    }
}

// The patterns switch the file name, the picture number and the real date on
// and off; the window's name and number, as they change, reach the lines
// that show them.
TEST_F(InlayControlTest, ThePatternsChooseTheSourcesThatFollowTheWindow)
{
    fileName = QStringLiteral("/videos/first.avi");
    numberText = QStringLiteral("007");
    struct Row
    {
        const char* line1;
        const char* line2;
        bool on;
        bool usesFileName, usesNumber, realDate;
        const char* shown1;
        const char* shown2;
    };
    const Row rows[] = {
        {"%F", "", true, true, false, false, "first", ""},
        {"#%N", "%e", true, true, true, false, "#007", ".avi"},
        {"%R", "plain", true, false, false, true, nullptr, "plain"},
        {"%N %F", "%R", false, false, false, false, nullptr, nullptr},
        {"plain", "", true, false, false, false, "plain", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(QStringLiteral("%1 / %2").arg(QLatin1String(row.line1), QLatin1String(row.line2)).toStdString());
        video->caInsertTextOn->SetChecked(row.on);
        Patterns(QString::fromLatin1(row.line1), QString::fromLatin1(row.line2));
        EXPECT_EQ(inlay->UsesFileName(), row.usesFileName);
        EXPECT_EQ(inlay->UsesNumber(), row.usesNumber);
        EXPECT_EQ(inlay->SysDateTimer().Enabled(), row.realDate);
        if (row.shown1) {
            EXPECT_EQ(Line(0), QString::fromLatin1(row.shown1));
        }
        if (row.shown2) {
            EXPECT_EQ(Line(1), QString::fromLatin1(row.shown2));
        }
    }
    video->caInsertTextOn->SetChecked(true);

    // The window's name and number change; the lines that show them follow.
    Patterns("%F #%N", "");
    fileName = QStringLiteral("/videos/second.mpg");
    numberText = QStringLiteral("042");
    inlay->FileNameChanged();
    inlay->NumberChanged();
    EXPECT_EQ(Line(0), QStringLiteral("second #042"));

    // The real date stops with a file, and starts again with the patterns.
    Patterns("%R", "");
    inlay->StopSysDateTimer();
    EXPECT_FALSE(inlay->SysDateTimer().Enabled());
    a.waIncrustPattern1->Apply();
    EXPECT_TRUE(inlay->SysDateTimer().Enabled());
}

} // namespace
