#include "platform/win/messages.h"
#include "platform/win/shell.h"

#include "test_support.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <mutex>

namespace {

// Receives what the program asks the desktop to open.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    OpenedUrls()
    {
        for (const char* scheme : {"file", "mailto", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~OpenedUrls() override
    {
        for (const char* scheme : {"file", "mailto", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// What the fake desktop services were asked, in order.
class Calls
{
public:
    void add(const QString& call)
    {
        std::lock_guard lock(mutex_);
        calls_.append(call);
    }
    QStringList all() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    QStringList calls_;
};

// Desktop services on the test's private bus. They answer on a thread of
// their own, as a real desktop answers from another process.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    explicit FakeFileManager(Calls& calls) : calls_(calls) {}

public slots:
    void ShowItems(const QStringList& uris, const QString&) { calls_.add(uris.join(u' ')); }

private:
    Calls& calls_;
};

class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit FakeScreenSaver(Calls& calls) : calls_(calls) {}

public slots:
    uint Inhibit(const QString& application, const QString& reason)
    {
        calls_.add(QStringLiteral("Inhibit %1: %2").arg(application, reason));
        return 1234;
    }
    void UnInhibit(uint cookie) { calls_.add(QStringLiteral("UnInhibit %1").arg(cookie)); }

private:
    Calls& calls_;
};

// Puts an object on the private bus under a service name for one test. The
// object lives and dies on a thread of its own; it is made before that thread
// starts and only Calls passes anything back, so every hand-over between the
// threads is one that the thread sanitizer can see.
class FakeService
{
public:
    FakeService(const QString& name, QObject* object)
        : name_(name), path_(u'/' + QString(name).replace(u'.', u'/')),
          bus_(QDBusConnection::connectToBus(privateBusAddress(), name))
    {
        object->moveToThread(&thread_);
        QObject::connect(&thread_, &QThread::finished, object, &QObject::deleteLater);
        registered_ = bus_.registerObject(path_, object, QDBusConnection::ExportAllSlots) && bus_.registerService(name);
        thread_.start();
    }
    ~FakeService()
    {
        // The connection itself stays until the program ends: closing it
        // while the bus thread still holds it upsets the D-Bus library.
        bus_.unregisterService(name_);
        bus_.unregisterObject(path_);
        thread_.quit();
        thread_.wait();
    }
    bool registered() const { return registered_; }

private:
    QString name_;
    QString path_;
    QDBusConnection bus_;
    QThread thread_;
    bool registered_ = false;
};

bool waitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 2000 && !done(); ++i) {
        ProcessMessages();
        QThread::msleep(5);
    }
    return done();
}

class Shell : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    OpenedUrls opened;
};

TEST_F(Shell, KnownFoldersFallBackToWhatExists)
{
    ScopedEnvironment home("HOME", dir.path());
    ScopedEnvironment config("XDG_CONFIG_HOME", path("config"));
    QDir().mkpath(path("config"));
    writeFile(path("config/user-dirs.dirs"),
              "XDG_PICTURES_DIR=\"$HOME/Bilder\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");

    EXPECT_EQ(PicturesFolder(), dir.path()) << "neither folder exists";
    EXPECT_EQ(DocumentsFolder(), dir.path());
    QDir().mkpath(path("Dokumente"));
    EXPECT_EQ(PicturesFolder(), path("Dokumente"));
    EXPECT_EQ(DocumentsFolder(), path("Dokumente"));
    QDir().mkpath(path("Bilder"));
    EXPECT_EQ(PicturesFolder(), path("Bilder"));
}

TEST_F(Shell, OpensAddressesMailAndFiles)
{
    EXPECT_TRUE(ShellOpen("mailto:author@example.org?subject=About Kestrova&body="));
    EXPECT_TRUE(ShellOpen("https://example.org/kestrova"));
    EXPECT_TRUE(ShellOpen(path("a picture.jpg")));
    ASSERT_EQ(opened.urls.size(), 3);
    EXPECT_EQ(opened.urls[0].scheme(), "mailto");
    EXPECT_EQ(opened.urls[0].path(), "author@example.org");
    EXPECT_EQ(opened.urls[0].query(QUrl::FullyDecoded), "subject=About Kestrova&body=");
    EXPECT_EQ(opened.urls[1], QUrl("https://example.org/kestrova"));
    EXPECT_EQ(opened.urls[2], QUrl::fromLocalFile(path("a picture.jpg")));
}

TEST_F(Shell, ShowInFolderAsksTheFileManagerAndElseOpensTheFolder)
{
    if (privateBusAddress().isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    const QString file = path("Grabs/shot 1.jpg");

    // No file manager on the bus: the folder opens instead.
    EXPECT_TRUE(ShowInFolder(file));
    ASSERT_TRUE(waitFor([&] { return !opened.urls.isEmpty(); }));
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(path("Grabs"))});

    opened.urls.clear();
    Calls calls;
    {
        FakeService service("org.freedesktop.FileManager1", new FakeFileManager(calls));
        ASSERT_TRUE(service.registered());
        EXPECT_TRUE(ShowInFolder(file));
        ASSERT_TRUE(waitFor([&] { return !calls.all().isEmpty(); }));
        EXPECT_EQ(calls.all(), QStringList{QUrl::fromLocalFile(file).toString()});
        ProcessMessages();
        EXPECT_TRUE(opened.urls.isEmpty()) << "the folder is not opened as well";
    }
}

TEST_F(Shell, ScreenSaverIsInhibitedAndReleased)
{
    if (privateBusAddress().isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    ASSERT_TRUE(ScreenSaverActive());
    Calls calls;
    {
        FakeService service("org.freedesktop.ScreenSaver", new FakeScreenSaver(calls));
        ASSERT_TRUE(service.registered());
        SetScreenSaverActive(false);
        EXPECT_FALSE(ScreenSaverActive());
        SetScreenSaverActive(false); // once is enough
        SetScreenSaverActive(true);
        EXPECT_TRUE(ScreenSaverActive());
    }
    EXPECT_EQ(calls.all(), QStringList({"Inhibit test_platform_win: Playing video", "UnInhibit 1234"}));

    // Without a screen saver on the bus the wish is still recorded.
    SetScreenSaverActive(false);
    EXPECT_FALSE(ScreenSaverActive());
    SetScreenSaverActive(true);
    EXPECT_TRUE(ScreenSaverActive());
}

TEST_F(Shell, TrashTakesFilesAndRefusesMissingOnes)
{
    ScopedEnvironment dataHome("XDG_DATA_HOME", path("data"));
    QDir().mkpath(path("data"));
    const QString file = path("old grab.jpg");
    writeFile(file, "picture");

    QString error;
    EXPECT_TRUE(MoveToTrash(file, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QFile::exists(path("data/Trash/files/old grab.jpg")));

    EXPECT_FALSE(MoveToTrash(path("never there.jpg"), &error));
    EXPECT_TRUE(error.contains("never there.jpg"));
}

} // namespace

#include "shell_test.moc"
