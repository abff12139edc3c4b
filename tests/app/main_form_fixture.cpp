#include "main_form_fixture.h"

#include "platform/core/task_memory.h"
#include "platform/filters/system_filters.h"
#include "platform/renderers/renderer_interfaces.h"
#include "platform/renderers/renderers.h"
#include "platform/win/messages.h"
#include "tests/media/clip_reader.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <chrono>

namespace {

// The program's own registry must never be the user's: every test program
// run gets one of its own, before anything reaches it.
struct PrivateRegistry
{
    PrivateRegistry()
    {
        qputenv("KESTROVA_REGISTRY", (folder.path() + QStringLiteral("/program-registry.reg")).toUtf8());
    }
    QTemporaryDir folder;
};
const PrivateRegistry privateRegistry;

int ShownFrame(IBaseFilter* renderer)
{
    const auto control = ComPtr<IBaseFilter>(renderer).as<IVMRWindowlessControl9>();
    BYTE* dib = nullptr;
    if (!control || control->GetCurrentImage(&dib) != S_OK)
        return -2;
    CoTaskMemPtr<BYTE> owned(dib);
    return clips::readBarcodeFromDib(dib);
}

} // namespace

void MainFormTest::SetUp()
{
    static const bool registered = (RegisterSystemFilters(), RegisterRenderers(), true);
    (void)registered;
    ASSERT_TRUE(dir.isValid());
    registry = std::make_unique<RegistryStore>(dir.filePath(QStringLiteral("registry.reg")));
    // The program's folder holds the private filters, as an installed one does.
    ASSERT_TRUE(QFile::link(QStringLiteral(KESTROVA_PRIVATE_FOLDER), dir.filePath(QStringLiteral("LAV"))));
    Start();
}

void MainFormTest::TearDown()
{
    MacroTarget = nullptr;
    form.reset();
    ProcessMessages();
}

void MainFormTest::Start(const TScriptParts& scripts, const std::function<void()>& beforeShow)
{
    form.reset();
    ProcessMessages();
    TMainFormOptions options;
    options.Registry = registry.get();
    options.ProgramFolder = dir.path();
    options.Scripts = scripts;
    form = std::make_unique<TMainForm>(options);
    auto dialog = std::make_unique<FakeSaveDialog>();
    saveDialog = dialog.get();
    form->gp->SetSaveDialog(std::move(dialog));
    auto ui = std::make_unique<FakeFileUi>();
    fileUi = ui.get();
    form->ficman->SetUi(std::move(ui));
    auto grab = std::make_unique<FakeGrabUi>();
    grabUi = grab.get();
    form->SetGrabUi(std::move(grab));
    form->resize(1025, 644);
    if (beforeShow)
        beforeShow();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ProcessMessages();
}

FakeScript* MainFormTest::StartWithFakeScript()
{
    FakeScript* host = nullptr;
    TScriptParts parts;
    parts.CreateHost = [&host] {
        auto made = std::make_unique<FakeScript>();
        host = made.get();
        return made;
    };
    Start(parts);
    if (host)
        host->Compile();
    return host;
}

bool MainFormTest::Close(std::optional<TSavePreferences> answer)
{
    saveDialog->answers.push_back(answer);
    const bool closed = form->close();
    ProcessMessages();
    return closed;
}

bool MainFormTest::Until(const std::function<bool()>& done, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return done();
        WaitServingMessages(done, 5);
        ProcessMessages();
    }
    return true;
}

int MainFormTest::Shown(int timeoutMs)
{
    int frame = -2;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((frame = ShownFrame(form->vidman->Renderer())) == -2 && std::chrono::steady_clock::now() < until) {
        WaitServingMessages([] { return false; }, 5);
        ProcessMessages();
    }
    return frame;
}

int MainFormTest::WaitFor(int frame, int timeoutMs)
{
    int shown = -2;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((shown = ShownFrame(form->vidman->Renderer())) != frame && std::chrono::steady_clock::now() < until) {
        WaitServingMessages([] { return false; }, 5);
        ProcessMessages();
    }
    return shown;
}

void MainFormTest::Settle()
{
    const auto filter = ComPtr<IBaseFilter>(form->vidman->Renderer()).as<IMediaFilter>();
    WaitServingMessages(
        [&] {
            FILTER_STATE state;
            return filter->GetState(0, &state) != VFW_S_STATE_INTERMEDIATE;
        },
        10'000);
    ProcessMessages();
}

bool MainFormTest::GraphSettled() const
{
    const auto control = ComPtr<IGraphBuilder>(form->NavMan->GraphBuilder()).as<IMediaControl>();
    OAFilterState state = 0;
    return control && control->GetState(0, &state) == S_OK;
}

QString MainFormTest::Copy(const char* clipName, const QString& name)
{
    const QString path = dir.filePath(name);
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(clips::path(QString::fromUtf8(clipName)), path)) << clipName;
    return path;
}

void MainFormTest::Drop(const QString& file)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QWidget* target = form->videoPanel;
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ProcessMessages();
}
