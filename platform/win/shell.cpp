#include "platform/win/shell.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

#include <limits>
#include <optional>

namespace {

// A desktop service that does not answer within this long is taken as absent.
constexpr int kDBusTimeoutMs = 2000;

QString existingLocation(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    return !path.isEmpty() && QFileInfo(path).isDir() ? path : QString();
}

QDBusMessage methodCall(const QString& service, const QString& method)
{
    const QString path = u'/' + QString(service).replace(u'.', u'/');
    return QDBusMessage::createMethodCall(service, path, service, method);
}

// The screen saver's inhibition: the cookie the desktop gave, and what the
// program asked for (kept even without a desktop to tell).
struct ScreenSaverState
{
    bool active = true;
    std::optional<uint> cookie;
};

ScreenSaverState& screenSaver()
{
    static ScreenSaverState state;
    return state;
}

} // namespace

QString DocumentsFolder()
{
    const QString documents = existingLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

QString PicturesFolder()
{
    const QString pictures = existingLocation(QStandardPaths::PicturesLocation);
    return pictures.isEmpty() ? DocumentsFolder() : pictures;
}

bool ShellOpen(const QString& target)
{
    return QDesktopServices::openUrl(QUrl::fromUserInput(target, QDir::currentPath(), QUrl::AssumeLocalFile));
}

bool ShowInFolder(const QString& path)
{
    const QFileInfo item(path);
    const QUrl folder = QUrl::fromLocalFile(item.absolutePath());
    const QString fileManager = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    // A file manager that is neither running nor started on demand would
    // only answer with an error, later: the folder opens at once instead.
    QDBusConnectionInterface* services = bus.isConnected() ? bus.interface() : nullptr;
    if (!services || (!services->isServiceRegistered(fileManager).value() &&
                      !services->activatableServiceNames().value().contains(fileManager)))
        return QDesktopServices::openUrl(folder);
    QDBusMessage call = methodCall(fileManager, QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(item.absoluteFilePath()).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kDBusTimeoutMs), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [folder](QDBusPendingCallWatcher* self) {
        if (self->isError())
            QDesktopServices::openUrl(folder);
        self->deleteLater();
    });
    return true;
}

bool MoveToTrash(const QString& path, QString* error)
{
    QFile file(path);
    if (file.moveToTrash())
        return true;
    if (error)
        *error = QStringLiteral("\"%1\" could not be moved to the trash: %2").arg(path, file.errorString());
    return false;
}

std::int16_t GetKeyState(int virtualKey)
{
    Qt::KeyboardModifier modifier;
    switch (virtualKey) {
    case VK_SHIFT:
        modifier = Qt::ShiftModifier;
        break;
    case VK_CONTROL:
        modifier = Qt::ControlModifier;
        break;
    case VK_MENU:
        modifier = Qt::AltModifier;
        break;
    default:
        return 0;
    }
    // Asking the window system needs a GUI application.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 0;
    return QGuiApplication::queryKeyboardModifiers().testFlag(modifier) ? std::numeric_limits<std::int16_t>::min() : 0;
}

bool ScreenSaverActive()
{
    return screenSaver().active;
}

void SetScreenSaverActive(bool active)
{
    ScreenSaverState& state = screenSaver();
    state.active = active;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || active == !state.cookie)
        return;
    const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
    if (active) {
        QDBusMessage call = methodCall(service, QStringLiteral("UnInhibit"));
        call << *state.cookie;
        bus.call(call, QDBus::Block, kDBusTimeoutMs);
        state.cookie.reset();
        return;
    }
    QDBusMessage call = methodCall(service, QStringLiteral("Inhibit"));
    const QString application = QCoreApplication::applicationName();
    call << (application.isEmpty() ? QStringLiteral("Kestrova") : application) << QStringLiteral("Playing video");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kDBusTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1)
        state.cookie = reply.arguments().front().toUInt();
}
