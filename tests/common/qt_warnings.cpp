#include "tests/common/qt_warnings.h"

#include <QDir>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TState
{
    std::mutex Lock;
    QtMessageHandler Previous = nullptr;
    // The expected texts, with how often each was seen.
    std::map<QString, int> Expected;
};

TState& State()
{
    static TState state;
    return state;
}

// The offscreen platform cannot raise a window or pass size hints on; it
// says so for every window that asks, which tells nothing about the program.
bool PlatformLimit(const QString& text)
{
    return text.startsWith(QLatin1String("This plugin does not support"));
}

void Check(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    TState& state = State();
    bool expected = type == QtDebugMsg || type == QtInfoMsg || PlatformLimit(text);
    QtMessageHandler previous;
    {
        std::lock_guard guard(state.Lock);
        previous = state.Previous;
        for (auto& [pattern, count] : state.Expected) {
            if (!expected && text.contains(pattern)) {
                ++count;
                expected = true;
            }
        }
    }
    if (previous)
        previous(type, context, text);
    else
        fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    if (!expected)
        ADD_FAILURE() << "Qt warned: " << text.toStdString();
}

} // namespace

void FailOnQtWarnings()
{
    // Qt wants a private runtime folder; a bare environment has none. One
    // per user serves every test program.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray folder = QDir::tempPath().toLocal8Bit() + "/kestrova-test-runtime-" +
                                  QByteArray::number(static_cast<qulonglong>(getuid()));
        mkdir(folder.constData(), 0700);
        struct stat made
        {
        };
        if (lstat(folder.constData(), &made) == 0 && S_ISDIR(made.st_mode) && made.st_uid == getuid() &&
            (made.st_mode & 0777) == 0700)
            qputenv("XDG_RUNTIME_DIR", folder);
    }
    TState& state = State();
    std::lock_guard guard(state.Lock);
    state.Previous = qInstallMessageHandler(Check);
}

TExpectQtWarning::TExpectQtWarning(QString text) : FText(std::move(text))
{
    std::lock_guard guard(State().Lock);
    State().Expected[FText] = 0;
}

TExpectQtWarning::~TExpectQtWarning()
{
    std::lock_guard guard(State().Lock);
    State().Expected.erase(FText);
}

int TExpectQtWarning::Count() const
{
    std::lock_guard guard(State().Lock);
    return State().Expected.at(FText);
}
