#include "media/engine/private_filters.h"

#include "media/private/private_classes.h"
#include "platform/win/registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr CLSID kFfdshowVideo = "{04FE9017-F873-410E-871E-AB91661A4EF7}"_guid;
constexpr CLSID kFfdshowAudio = "{0F40E1E5-4F79-4988-B1A9-CC98794E6B55}"_guid;
constexpr CLSID kVSFilter = "{93A22E7A-5091-45EF-BA61-6DA26156A5D0}"_guid;

// The settings file goes into the registry; the text says what went wrong
// for the family named in `cannot`.
QString Install(const QString& regFile, const char* cannot)
{
    const QString title = QString::fromLatin1(cannot);
    const QString path = QDir::toNativeSeparators(regFile);
    if (!QFileInfo::exists(regFile))
        return QStringLiteral("%1\r\nThe file %2 is missing").arg(title, path);
    if (!RunRegCommand(QStringLiteral("import \"%1\"").arg(regFile), true))
        return QStringLiteral("%1\r\nThe file %2 could not be imported").arg(title, path);
    return {};
}

// Deletes a family's settings; none to delete is no failure.
bool Uninstall(const char* key)
{
    const QString name = QString::fromLatin1(key);
    if (!RegistryStore::instance().keyExists(QStringLiteral("Software\\") + name))
        return true;
    return RunRegCommand(QStringLiteral("delete HKCU\\Software\\%1 /F").arg(name), true);
}

} // namespace

TPrivateFilterRecs& PrivateFilterRecs()
{
    static TPrivateFilterRecs recs{
        {CLSID_PrivateSplitterSource, fkPrivate, QStringLiteral("Private LAV Splitter Source")},
        {CLSID_PrivateSplitterSource, fkPrivate, QStringLiteral("Wave LAV Splitter Source")},
        {CLSID_PrivateSplitter, fkPrivate, QStringLiteral("Private LAV Splitter")},
        {CLSID_PrivateAudioDecoder, fkPrivate, QStringLiteral("Private LAV Audio Decoder")},
        {CLSID_PrivateAudioDecoder, fkPrivate, QStringLiteral("Private LAV Audio Decoder for Sondrel")},
        {CLSID_PrivateVideoDecoder, fkPrivate, QStringLiteral("Private LAV Video Decoder")},
        {kFfdshowVideo, fkPrivate, QStringLiteral("Private ffdshow Video decoder")},
        {kFfdshowAudio, fkPrivate, QStringLiteral("Private ffdshow Audio decoder")},
        {kVSFilter, fkPrivate, QStringLiteral("Private VSFilter")},
    };
    return recs;
}

QString DefaultPrivateFolder()
{
    return QCoreApplication::applicationDirPath() + QDir::separator();
}

void RegisterPrivateLAVFilters(const QString& folder)
{
    PrivateFilterRecs();
    TPrivateFactories& factories = TPrivateFactories::Instance();
    const QDir dir(folder);
    const QString splitter = dir.filePath(QStringLiteral("LAVSplitter.ax"));
    if (QFileInfo::exists(splitter)) {
        factories.Add(CLSID_PrivateSplitterSource, splitter);
        factories.Add(CLSID_PrivateSplitter, splitter);
    }
    const QString audio = dir.filePath(QStringLiteral("LAVAudio.ax"));
    if (QFileInfo::exists(audio))
        factories.Add(CLSID_PrivateAudioDecoder, audio);
    const QString video = dir.filePath(QStringLiteral("LAVVideo.ax"));
    if (QFileInfo::exists(video))
        factories.Add(CLSID_PrivateVideoDecoder, video);
}

void RegisterPrivateFfdshowFilters(const QString& modulePath)
{
    PrivateFilterRecs();
    TPrivateFactories::Instance().Add(kFfdshowVideo, modulePath);
    TPrivateFactories::Instance().Add(kFfdshowAudio, modulePath);
}

void RegisterPrivateVSFilter(const QString& modulePath)
{
    PrivateFilterRecs();
    if (QFileInfo::exists(modulePath))
        TPrivateFactories::Instance().Add(kVSFilter, modulePath);
}

QString InstallPrivateLAV(const QString& regFile)
{
    return Install(regFile, "Impossible to install the private  LAV filters.");
}

QString InstallPrivateFfdshow(const QString& regFile)
{
    return Install(regFile, "Impossible to install the private ffdshow filters.");
}

QString InstallPrivateVSFilter(const QString& regFile)
{
    return Install(regFile, "Impossible to install the private VSFilter.");
}

bool UninstallPrivateLAV()
{
    return Uninstall("LBV");
}

bool UninstallPrivateFfdshow()
{
    return Uninstall("KVR");
}

bool UninstallPrivateVSFilter()
{
    return Uninstall("MPC-HD");
}
