#include "gui_environment.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include <csignal>
#include <sys/prctl.h>

namespace {

QString busAddress;

// The layer needs a GUI application (key state, desktop services) but no
// widgets, so this test program makes its own instead of a QApplication.
class GuiEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        startBus();
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    void TearDown() override
    {
        app_.reset();
        if (bus_) {
            bus_->kill();
            bus_->waitForFinished();
        }
        bus_.reset();
        dir_.reset();
    }

private:
    // A bus with no service files: nothing on it starts unless a test puts it there.
    void startBus()
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrova-test-bus");
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        dir_ = std::make_unique<QTemporaryDir>();
        if (daemon.isEmpty() || !dir_->isValid())
            return;
        QFile config(dir_->filePath("bus.conf"));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                         .arg(dir_->path())
                         .toUtf8());
        config.close();
        bus_ = std::make_unique<QProcess>();
        // The bus goes with this program even when a test crashes it.
        bus_->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        bus_->start(daemon, {"--nofork", "--print-address=1", "--config-file=" + config.fileName()});
        if (!bus_->waitForReadyRead(10000))
            return;
        busAddress = QString::fromUtf8(bus_->readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());
    }

    int argc_ = 1;
    char name_[32] = "test_platform_win";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> bus_;
    std::unique_ptr<QGuiApplication> app_;
};

const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

QString privateBusAddress()
{
    return busAddress;
}
