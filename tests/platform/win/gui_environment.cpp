#include "test_support.h"

#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

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
        if (busPid_ > 0) {
            kill(busPid_, SIGTERM);
            waitpid(busPid_, nullptr, 0);
        }
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
        // Started by hand rather than through QProcess, whose way of starting
        // processes the thread sanitizer cannot follow. The bus goes with this
        // program even when a test crashes it.
        const QByteArray program = QFile::encodeName(daemon);
        const QByteArray configArgument = "--config-file=" + QFile::encodeName(config.fileName());
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        busPid_ = fork();
        if (busPid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            execl(program.constData(), program.constData(), "--nofork", "--print-address=1", configArgument.constData(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeEnds[1]);
        QFile output;
        if (busPid_ > 0 && output.open(pipeEnds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            busAddress = QString::fromUtf8(output.readLine()).trimmed();
        else
            close(pipeEnds[0]);
        if (busAddress.isEmpty())
            return;
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());
    }

    int argc_ = 1;
    char name_[32] = "test_platform_win";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QTemporaryDir> dir_;
    pid_t busPid_ = 0;
    std::unique_ptr<QGuiApplication> app_;
};

const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

QString privateBusAddress()
{
    return busAddress;
}
