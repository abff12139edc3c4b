#include <QGuiApplication>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The layer needs a GUI application (key state, desktop services) but no
// widgets, so this test program makes its own instead of a QApplication.
class GuiEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[32] = "test_platform_win";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace
