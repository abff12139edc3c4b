// Interval capture on the real clips. The first tests replace the grab by
// one that only notes the frame the renderer shows and the volume at that
// moment, so that the capture's own steps, stops and endings are seen apart
// from saving; the last ones save real pictures.

#include "main_form_fixture.h"

#include "platform/win/messages.h"
#include "tests/app/picture_files.h"
#include "tests/media/clip_reader.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>

namespace {

class MainIntervalTest : public MainFormTest
{
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        form->A.naGrab->InternalApply = [this] {
            frames.push_back(Shown());
            volumes.push_back(form->audman->Volume());
            if (onGrab)
                onGrab(int(frames.size()));
        };
    }
    void Open(const char* clip)
    {
        ASSERT_TRUE(form->ficman->OpenFile(clips::path(QString::fromLatin1(clip))));
        ASSERT_EQ(Shown(), 0);
    }
    // Every `delay` units from the position shown.
    void Every(int delay, int unit)
    {
        form->A.iaIntervalloUnit->SetValue(unit);
        form->A.iaIntervalloDelai->SetValue(delay);
    }
    // Runs the capture to its end message.
    void Capture()
    {
        form->A.naIntervalloStart->Execute();
        EXPECT_TRUE(Until([&] { return !form->IntervalRunning(); }));
        Settle();
    }
    // Runs `action` once the window next serves its messages.
    void Later(std::function<void()> action)
    {
        QMetaObject::invokeMethod(form.get(), std::move(action), Qt::QueuedConnection);
    }

    std::vector<int> frames;
    std::vector<int> volumes;
    std::function<void(int pictures)> onGrab;
};

std::vector<int> Range(int first, int step, int count)
{
    std::vector<int> values;
    for (int i = 0; i < count; ++i)
        values.push_back(first + i * step);
    return values;
}

TEST_F(MainIntervalTest, TenSecondsFromTheStartOfNinetyFiveGiveTenPicturesInSilence)
{
    form->audman->iaVolume->SetValue(7000);
    Open("long.mp4");
    form->A.caIntervalloShow->SetChecked(true);
    EXPECT_FALSE(form->intervalloframe->isHidden());
    Every(10, 1);
    EXPECT_EQ(form->IntervalCount(), 10);
    EXPECT_EQ(form->IntervalStep(), 100'000'000);
    EXPECT_EQ(form->intervalloframe->chronolab->text(), QStringLiteral("10"));
    EXPECT_EQ(form->intervalloframe->seIntervallo->value(), 10);
    EXPECT_EQ(form->intervalloframe->cboxIntervallo->currentIndex(), 1);

    // While it runs the settings are locked, the switch is on and the count
    // left goes down picture by picture.
    std::vector<int> left;
    onGrab = [&](int) {
        EXPECT_TRUE(form->intervalloframe->RxSwitch1->isChecked());
        EXPECT_FALSE(form->intervalloframe->seIntervallo->isEnabled());
        left.push_back(form->intervalloframe->chronolab->text().toInt());
    };
    Capture();
    EXPECT_EQ(frames, Range(0, 250, 10));
    EXPECT_EQ(left, Range(10, -1, 10));
    EXPECT_EQ(volumes, std::vector<int>(10, 0));
    // Then the sound comes back and the video rests at its start.
    EXPECT_EQ(form->audman->Volume(), 7000);
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePaused);
    EXPECT_EQ(Shown(), 0);
    EXPECT_FALSE(form->intervalloframe->RxSwitch1->isChecked());
    EXPECT_TRUE(form->intervalloframe->cboxIntervallo->isEnabled());
    EXPECT_EQ(form->intervalloframe->chronolab->text(), QStringLiteral("10"));
}

TEST_F(MainIntervalTest, OneFrameGivesEveryFrameToTheEnd)
{
    // The navigation's own duration handler belongs to whoever sets it (a
    // script, another panel), and the grab action's watchers see each grab:
    // the capture displaces neither.
    int durations = 0, grabs = 0;
    form->NavMan->OnDuration = [&](const QString&) { ++durations; };
    form->A.naGrab->OnAfterApply = [&] { ++grabs; };
    Open("mpeg1.mpg");
    Every(1, 0);
    // The count waits for the video's frame duration.
    EXPECT_TRUE(Until([&] { return form->IntervalCount() == 75; }));
    EXPECT_GT(durations, 0);
    Capture();
    EXPECT_EQ(frames, Range(0, 1, 75));
    EXPECT_EQ(grabs, 75);
    form->A.naGrab->OnAfterApply = nullptr;
    form->NavMan->OnDuration = nullptr;
}

TEST_F(MainIntervalTest, TheCaptureStartsWhereTheCountWasLastMade)
{
    Open("long.mp4");
    Every(20, 1);
    ASSERT_EQ(form->IntervalCount(), 5);
    // Moving on does not move the start.
    form->NavMan->SetStrPosition(QStringLiteral("0:00:30:00"));
    ASSERT_EQ(WaitFor(750), 750);
    Capture();
    EXPECT_EQ(frames, Range(0, 500, 5));

    // A count made at 30 seconds starts there.
    frames.clear();
    form->NavMan->SetStrPosition(QStringLiteral("0:00:30:00"));
    ASSERT_EQ(WaitFor(750), 750);
    form->A.iaIntervalloDelai->SetValue(30);
    EXPECT_EQ(form->IntervalCount(), 3);
    Capture();
    EXPECT_EQ(frames, Range(750, 750, 3));
}

// A file opened with the delay in frames is counted from its own start
// once its frame duration is known, whatever the count before it started
// from.
TEST_F(MainIntervalTest, AFileOpenedWithTheDelayInFramesIsCountedFromItsStart)
{
    Open("long.mp4");
    form->NavMan->SetStrPosition(QStringLiteral("0:00:30:00"));
    ASSERT_EQ(WaitFor(750), 750);
    Every(1, 1);
    ASSERT_EQ(form->IntervalStart(), 300'000'000);
    form->A.iaIntervalloUnit->SetValue(0);
    Open("h264.mp4");
    EXPECT_TRUE(Until([&] { return form->IntervalCount() == 75; })) << form->IntervalCount();
    EXPECT_EQ(form->IntervalStart(), 0);
    EXPECT_EQ(form->intervalloframe->chronolab->text(), QStringLiteral("75"));
}

TEST_F(MainIntervalTest, ACaptureStartedWhilePlayingPausesFirst)
{
    Open("long.mp4");
    Every(30, 1);
    form->NavMan->caPlay->SetChecked(true);
    Capture();
    EXPECT_FALSE(form->NavMan->caPlay->Checked());
    EXPECT_EQ(frames, Range(0, 750, 4));
}

TEST_F(MainIntervalTest, CountsWithoutAStepOrAfterTheEndChangeNothingOrTakeNothing)
{
    Open("long.mp4");
    Every(10, 1);
    ASSERT_EQ(form->IntervalCount(), 10);
    // No delay, or the list's empty item: the last count stays.
    form->A.iaIntervalloDelai->SetValue(0);
    EXPECT_EQ(form->IntervalCount(), 10);
    form->A.iaIntervalloDelai->SetValue(-5);
    EXPECT_EQ(form->IntervalCount(), 10);
    form->A.iaIntervalloDelai->SetValue(10);
    form->A.iaIntervalloUnit->SetValue(3);
    EXPECT_EQ(form->IntervalCount(), 10);
    form->A.iaIntervalloUnit->SetValue(2);
    EXPECT_EQ(form->IntervalCount(), 1);
    EXPECT_EQ(form->IntervalStep(), 6'000'000'000);

    // Without a video nothing is taken, and the end still comes.
    form->ficman->naCloseFile->Execute();
    form->A.iaIntervalloUnit->SetValue(1);
    EXPECT_EQ(form->IntervalCount(), 0);
    Capture();
    EXPECT_TRUE(frames.empty());
}

// Only a picture counts: a file of sound alone, or a video and then a file
// of sound alone, gives no picture to take, in any unit.
TEST_F(MainIntervalTest, ASoundWithoutAPictureCountsNothingAndTakesNothing)
{
    const QString sound = Copy("audio_only.wav", QStringLiteral("sound.avi"));
    const struct
    {
        const char* before;
        int unit;
    } cases[] = {{nullptr, 1}, {"long.mp4", 1}, {"long.mp4", 2}};
    for (const auto& c : cases) {
        if (c.before) {
            Open(c.before);
            Every(1, c.unit);
            ASSERT_GT(form->IntervalCount(), 0) << c.before;
        }
        form->openfile(sound);
        ASSERT_TRUE(form->HasAudio());
        Every(1, c.unit);
        ASSERT_EQ(form->IntervalCount(), 0) << c.unit;
        EXPECT_EQ(form->intervalloframe->chronolab->text(), QStringLiteral("0"));
        Capture();
        EXPECT_TRUE(frames.empty()) << c.unit;
        EXPECT_EQ(form->audman->Volume(), form->audman->iaVolume->Value()) << "the sound is given back";
    }
}

TEST_F(MainIntervalTest, AStopAskedWhileAPictureIsSoughtComesBeforeItsGrab)
{
    form->audman->iaVolume->SetValue(6000);
    Open("long.mp4");
    Every(5, 1);
    ASSERT_EQ(form->IntervalCount(), 19);
    // Esc arrives while the fourth picture is sought.
    onGrab = [&](int pictures) {
        if (pictures == 3)
            Later([&] { QTest::keyClick(form.get(), Qt::Key_Escape); });
    };
    Capture();
    EXPECT_EQ(frames, Range(0, 125, 3));
    EXPECT_EQ(form->audman->Volume(), 6000);
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePaused);
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(form->IntervalCount(), 19);

    // The break action, and the switch.
    frames.clear();
    onGrab = [&](int pictures) {
        if (pictures == 2)
            Later([&] { form->A.naIntervalloBreak->Execute(); });
    };
    Capture();
    EXPECT_EQ(frames.size(), 2u);
    frames.clear();
    onGrab = [&](int pictures) {
        if (pictures == 1)
            Later([&] { form->intervalloframe->RxSwitch1->click(); });
    };
    form->intervalloframe->RxSwitch1->click();
    EXPECT_TRUE(Until([&] { return !form->IntervalRunning(); }));
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_EQ(form->audman->Volume(), 6000);
}

TEST_F(MainIntervalTest, AStopAskedDuringAGrabEndsTheCaptureAfterIt)
{
    Open("long.mp4");
    Every(10, 1);
    // Cancel in the question before a picture is replaced works like this.
    onGrab = [&](int pictures) {
        if (pictures == 2)
            form->A.naIntervalloBreak->Execute();
    };
    Capture();
    EXPECT_EQ(frames, Range(0, 250, 2));
}

TEST_F(MainIntervalTest, OpeningClosingOrQuittingFirstEndsACapture)
{
    form->audman->iaVolume->SetValue(8000);
    const QString other = Copy("mpeg1.mpg", QStringLiteral("other.mpg"));
    Open("long.mp4");
    Every(10, 1);
    onGrab = [&](int pictures) {
        if (pictures == 2) {
            ASSERT_TRUE(form->ficman->OpenFile(other));
            // Ended at once: the sound is back before the capture unwinds.
            EXPECT_FALSE(form->IntervalRunning());
            EXPECT_EQ(form->audman->Volume(), 8000);
        }
    };
    Capture();
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(form->VideoFileName(), other);
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(form->audman->Volume(), 8000);

    frames.clear();
    Open("long.mp4");
    onGrab = [&](int pictures) {
        if (pictures == 1)
            form->ficman->naCloseFile->Execute();
    };
    Capture();
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_TRUE(form->VideoFileName().isEmpty());
    EXPECT_EQ(form->audman->Volume(), 8000);

    // Quitting saves the volume the capture silenced, not the silence.
    frames.clear();
    Open("long.mp4");
    form->gp->SetMode(spPortable);
    bool closed = false;
    onGrab = [&](int pictures) {
        if (pictures == 1)
            closed = Close(std::nullopt);
    };
    Capture();
    EXPECT_TRUE(closed);
    EXPECT_EQ(frames.size(), 1u);
    Start();
    EXPECT_EQ(form->audman->iaVolume->Value(), 8000);
}

// The same captures with the real grab: pictures saved as JPEG files.
class IntervalPicturesTest : public MainIntervalTest
{
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        pictures = dir.filePath(QStringLiteral("pictures/"));
        ASSERT_TRUE(QDir().mkpath(pictures));
        TMainActions& a = form->A;
        a.waDossierSave->SetValue(pictures);
        a.iaImageExtension->SetValue(1);
        a.iaImageAjouter->SetValue(1);
        a.iaNomFichierImage->SetValue(0);
    }
    QStringList Saved() const { return QDir(pictures).entryList(QDir::Files, QDir::Name); }
    // The frame in the barcode of each saved picture, in name order.
    std::vector<int> SavedFrames() const
    {
        std::vector<int> frames;
        for (const QString& name : Saved())
            frames.push_back(clips::readBarcode(picture_files::ReadJpeg(pictures + name)));
        return frames;
    }

    QString pictures;
};

TEST_F(IntervalPicturesTest, EveryTenSecondsOfNinetyFiveAreSavedWithTheirNumbersGoingOn)
{
    Open("long.mp4");
    // Opening numbered from 1 again; the capture goes on from 7.
    form->A.iaNextNum->SetValue(7);
    Every(10, 1);
    Capture();
    QStringList names;
    for (int number = 7; number < 17; ++number)
        names.append(QStringLiteral("Kestrova_%1.jpg").arg(number, 3, 10, QLatin1Char('0')));
    EXPECT_EQ(Saved(), names);
    EXPECT_EQ(SavedFrames(), Range(0, 250, 10));
    EXPECT_EQ(form->A.iaNextNum->Value(), 17);
    EXPECT_TRUE(grabUi->errors.isEmpty());
    EXPECT_EQ(Shown(), 0);
}

TEST_F(IntervalPicturesTest, OneFrameSavesEveryFrame)
{
    Open("mpeg1.mpg");
    Every(1, 0);
    ASSERT_TRUE(Until([&] { return form->IntervalCount() == 75; }));
    Capture();
    EXPECT_EQ(SavedFrames(), Range(0, 1, 75));
}

// Every fifth frame of MPEG-2 with B-frames: keyframes, P-frames and
// B-frames in turn, each saved as the frame asked for.
TEST_F(IntervalPicturesTest, EveryFifthFrameOfPicturesDecodedOutOfOrderIsSavedAsItself)
{
    Open("mpeg2_bframes.mpg");
    Every(5, 0);
    ASSERT_TRUE(Until([&] { return form->IntervalCount() == 15; }));
    Capture();
    EXPECT_EQ(SavedFrames(), Range(0, 5, 15));
}

TEST_F(IntervalPicturesTest, AFolderThatCannotBeWrittenEndsTheCaptureWithItsMessage)
{
    form->audman->iaVolume->SetValue(9000);
    Open("long.mp4");
    Every(10, 1);
    const QByteArray folder = QFile::encodeName(pictures);
    ASSERT_EQ(chmod(folder.constData(), 0555), 0);
    {
        picture_files::PermissionsApply obeyed;
        Capture();
    }
    chmod(folder.constData(), 0755);
    ASSERT_EQ(grabUi->errors.size(), 1);
    EXPECT_TRUE(grabUi->errors[0].contains(QStringLiteral("Kestrova_001.jpg")));
    EXPECT_TRUE(Saved().isEmpty());
    EXPECT_EQ(form->A.iaNextNum->Value(), 1);
    EXPECT_EQ(form->audman->Volume(), 9000);
    EXPECT_EQ(form->NavMan->GraphState(), kGraphStatePaused);
}

TEST_F(IntervalPicturesTest, CancelInTheQuestionBeforeAReplacementEndsTheCapture)
{
    Open("long.mp4");
    Every(10, 1);
    form->A.baConfirmerImage->SetValue(true);
    QFile existing(pictures + QStringLiteral("Kestrova_003.jpg"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("kept");
    existing.close();
    grabUi->answers = {TGrabUi::oaCancel};
    Capture();
    EXPECT_EQ(grabUi->questions.size(), 1);
    EXPECT_EQ(Saved(), (QStringList{"Kestrova_001.jpg", "Kestrova_002.jpg", "Kestrova_003.jpg"}));
    EXPECT_EQ(picture_files::Contents(pictures + QStringLiteral("Kestrova_003.jpg")), QByteArray("kept"));
}

} // namespace
