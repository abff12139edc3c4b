#include "tests/framework/managers/appli_test_support.h"
#include "tests/framework/preferences/prefs_test_support.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

TEST(VisibleBounds, KeepsReachableBoundsAndBringsBackLostOnes)
{
    const QRect primary(0, 0, 1920, 1050);
    const QRect second(1920, 0, 1280, 1000);
    const QList<QRect> screens{primary, second};
    const QSize fallback(640, 480);
    const struct
    {
        const char* name;
        QRect bounds;
        QRect expected;
    } cases[] = {
        {"inside the primary screen", QRect(100, 100, 800, 600), QRect(100, 100, 800, 600)},
        {"on the second screen", QRect(2000, 50, 800, 600), QRect(2000, 50, 800, 600)},
        {"partly off the right edge, title bar reachable", QRect(1800, 10, 800, 600), QRect(1800, 10, 800, 600)},
        {"on a screen that is gone", QRect(4000, 100, 800, 600), QRect(560, 225, 800, 600)},
        {"above every screen", QRect(100, -500, 800, 600), QRect(560, 225, 800, 600)},
        {"title bar under the bottom edge", QRect(100, 1040, 800, 600), QRect(560, 225, 800, 600)},
        {"larger than its screen", QRect(1950, 0, 1600, 1200), QRect(1920, 0, 1280, 1000)},
        {"lost and larger than the primary screen", QRect(-5000, 0, 2500, 1200), QRect(0, 0, 1920, 1050)},
        {"without an area", QRect(100, 100, 0, 0), QRect(640, 285, 640, 480)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VisibleBounds(c.bounds, fallback, screens), c.expected) << c.name;
}

class WindowBoundsTest : public PrefsTest
{
protected:
    // Saves the manager's list into the ini file, as the program does at exit.
    void Save(TKvAppliMan& man)
    {
        auto gp = MakePrefs();
        gp->SetMode(spPortable);
        gp->OnSavePrefs = [&](TMorvekPreferences& p) { p.SaveList(QStringLiteral("MainForm"), man); };
        ASSERT_TRUE(gp->SavePrefs());
    }

    // A new program start: a main window of the layout's size, the stored
    // values loaded into a new manager.
    struct Start
    {
        QWidget window;
        std::unique_ptr<TKvAppliMan> man;
    };
    std::unique_ptr<Start> Load()
    {
        auto start = std::make_unique<Start>();
        start->window.resize(400, 300);
        start->man.reset(TKvActionComponent::Create<TKvAppliMan>(nullptr));
        start->man->SetWinControl(&start->window);
        auto gp = MakePrefs();
        gp->SetMode(gp->DetectMode());
        EXPECT_TRUE(gp->LoadList(QStringLiteral("MainForm"), *start->man));
        return start;
    }

    // The ini file without the header lines that change with each save.
    QString StoredValues()
    {
        // UTF-16 after the byte-order mark; the array's own terminator is a single byte.
        const QByteArray bytes = ReadBytes(IniPath());
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                                (bytes.size() - 2) / 2);
        QStringList lines = text.split(QStringLiteral("\r\n"));
        lines.removeIf([](const QString& l) { return l.startsWith("Last saving="); });
        return lines.join('\n');
    }
};

TEST_F(WindowBoundsTest, FirstStartCentresTheWindow)
{
    auto start = Load();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(start->window.geometry(),
              QRect(QPoint((screen.width() - 400) / 2, (screen.height() - 300) / 2), QSize(400, 300)));
}

TEST_F(WindowBoundsTest, BoundsAndMaximisedStateComeBackUnchanged)
{
    for (const bool maximized : {false, true}) {
        SCOPED_TRACE(maximized ? "maximised" : "normal");
        const QRect bounds(40, 50, 320, 200);
        {
            auto start = Load();
            start->window.setGeometry(bounds);
            start->window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&start->window));
            if (maximized) {
                start->window.showMaximized();
                QTRY_VERIFY(start->window.geometry() != bounds);
            }
            Save(*start->man);
        }
        const QString first = StoredValues();
        {
            auto start = Load();
            EXPECT_EQ(start->window.isMaximized(), maximized);
            EXPECT_EQ(start->window.normalGeometry(), bounds);
            start->window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&start->window));
            Save(*start->man);
        }
        // A second run stores what the first did: nothing drifts.
        EXPECT_EQ(StoredValues(), first);
    }
}

TEST_F(WindowBoundsTest, BoundsFromAScreenThatIsGoneAreBroughtBack)
{
    {
        auto gp = MakePrefs();
        gp->SetMode(spPortable);
        ASSERT_TRUE(gp->OpenKey(QStringLiteral("MainForm")));
        ASSERT_TRUE(gp->WriteRect(QStringLiteral("FormSave"), TRect{5000, 5000, 5300, 5200}));
        gp->CloseKey();
        ASSERT_TRUE(gp->SavePrefs());
    }
    auto start = Load();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(start->window.geometry())) << start->window.geometry().x();
    EXPECT_EQ(start->window.size(), QSize(300, 200));
}

} // namespace
