#include "framework/preferences/morvek_preferences.h"

#include "framework/actions/action_list.h"
#include "framework/preferences/ini_preferences.h"
#include "framework/preferences/reg_preferences.h"
#include "platform/rtl/datetime.h"
#include "platform/win/registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QWidget>

namespace {

// The value the store finds, else the default.
template <class T>
T ReadOrDefault(TPreferencesMan& store, bool (TPreferencesMan::*read)(const QString&, T&), const QString& name,
                const T& defaultValue)
{
    T value = defaultValue;
    return (store.*read)(name, value) ? value : defaultValue;
}

const QString MakerKey = QStringLiteral("Software\\Morvek");

} // namespace

TMorvekPreferences::TMorvekPreferences(QObject* owner, RegistryStore* registry)
    : QObject(owner), FRegistry(registry ? *registry : RegistryStore::instance()),
      FStore(std::make_unique<TNonePreferencesMan>()), FSaveDialog(std::make_unique<TSavePrefsForm>())
{
    SetProgramFolder(QCoreApplication::applicationDirPath());
    auto* form = qobject_cast<QWidget*>(owner);
    if (form && form->isWindow()) {
        FOwner = form;
        form->installEventFilter(this);
        FHooked = true;
    }
}

TMorvekPreferences::~TMorvekPreferences() = default;

void TMorvekPreferences::SetTitre(const QString& value)
{
    FTitre = value;
    ShowTitreInDialog();
}

void TMorvekPreferences::ShowTitreInDialog()
{
    FSaveDialog->SetCaption(QStringLiteral("Saving the preferences of %1").arg(FTitre));
}

void TMorvekPreferences::SetProgramFolder(const QString& folder)
{
    FProgramFolder = QDir(folder).absolutePath();
    if (!FProgramFolder.endsWith(u'/'))
        FProgramFolder += u'/';
}

QString TMorvekPreferences::IniFileName() const
{
    return FProgramFolder + FTitre + QStringLiteral(".ini");
}

QString TMorvekPreferences::RegistryKey() const
{
    return MakerKey + u'\\' + FTitre;
}

void TMorvekPreferences::SetSaveDialog(std::unique_ptr<TSavePrefsDialog> dialog)
{
    FSaveDialog = std::move(dialog);
    ShowTitreInDialog();
}

bool TMorvekPreferences::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FOwner) {
        // A window restored from the task bar gets a spontaneous show: not a new showing.
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            DoShow();
        } else if (event->type() == QEvent::Close) {
            bool canClose = true;
            DoCloseQuery(canClose);
            if (!canClose) {
                event->ignore();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void TMorvekPreferences::Unhook()
{
    if (FOwner)
        FOwner->removeEventFilter(this);
    FHooked = false;
}

void TMorvekPreferences::DoShow()
{
    QCoreApplication::processEvents();
    FMode = DetectMode();
    CreateStore();
    TellUnreadSettings();
    if (FormShow)
        FormShow();
    if (OnLoadPrefs)
        OnLoadPrefs(*this);
}

void TMorvekPreferences::TellUnreadSettings()
{
    // Told once, as the program starts on its defaults; what could not be
    // read is left as it was.
    if (const QString message = FRegistry.takeLoadMessage(); !message.isEmpty())
        FSaveDialog->ShowSaveError(message);
    if (const QString problem = FStore->LoadError(); !problem.isEmpty())
        FSaveDialog->ShowSaveError(QStringLiteral("The preferences file \"%1\" could not be read (%2). The program "
                                                  "starts with its default settings and leaves the file as it is.")
                                       .arg(IniFileName(), problem));
}

void TMorvekPreferences::DoCloseQuery(bool& CanClose)
{
    // Nothing is asked, torn down or saved while the owner still refuses.
    if (FormCloseQuery && !FormCloseQuery()) {
        CanClose = false;
        return;
    }
    ShowTitreInDialog();
    if (FMode == spNone) {
        const std::optional<TSavePreferences> choice = FSaveDialog->Execute();
        if (!choice) {
            CanClose = false; // still hooked: the next close asks again
            return;
        }
        FMode = *choice;
        CreateStore();
    }
    if (FormClose)
        FormClose();
    if (FMode != spNone)
        SavePrefs();
    Unhook();
}

void TMorvekPreferences::SetMode(TSavePreferences aMode)
{
    if (aMode == FMode)
        return;
    FMode = aMode;
    CreateStore();
}

TSavePreferences TMorvekPreferences::DetectMode() const
{
    if (StoreExists(spPortable))
        return spPortable;
    if (StoreExists(spRegistre))
        return spRegistre;
    return spNone;
}

bool TMorvekPreferences::StoreExists(TSavePreferences aMode) const
{
    switch (aMode) {
    case spPortable:
        return QFile::exists(IniFileName());
    case spRegistre:
        return !FTitre.isEmpty() && FRegistry.keyExists(RegistryKey());
    case spNone:
        break;
    }
    return false;
}

void TMorvekPreferences::CreateStore()
{
    // Choosing nothing is final at once; a new store first has to be written.
    const bool written = FMode == spNone || StoreExists(FMode);
    FStore.reset(); // an old ini store writes its unsaved lines as it goes
    switch (FMode) {
    case spRegistre:
        FStore = std::make_unique<TRegPreferencesMan>(FRegistry, RegistryKey());
        break;
    case spPortable:
        FStore = std::make_unique<TIniPreferencesMan>(IniFileName());
        break;
    case spNone:
        FStore = std::make_unique<TNonePreferencesMan>();
        break;
    }
    if (OnChangeMode)
        OnChangeMode(FMode);
    FCleanupPending = !written;
    if (written)
        DeleteUnusedStores();
}

void TMorvekPreferences::DeleteUnusedStores()
{
    if (FMode != spPortable && QFile::exists(IniFileName())) {
        QFile file(IniFileName());
        file.setPermissions(file.permissions() | QFileDevice::WriteOwner);
        file.remove();
    }
    // Without a title the key would be the maker's own, shared with other programs.
    if (FMode != spRegistre && !FTitre.isEmpty() && FRegistry.keyExists(RegistryKey())) {
        FRegistry.deleteTree(RegistryKey());
        // Values at the maker's key belong to someone else: the key stays for them.
        if (FRegistry.keyNames(MakerKey).isEmpty() && FRegistry.valueNames(MakerKey).isEmpty())
            FRegistry.deleteTree(MakerKey);
    }
    FCleanupPending = false;
}

bool TMorvekPreferences::SavePrefs()
{
    FStore->BeginUpdate();
    WriteHeader(version);
    if (OnSavePrefs)
        OnSavePrefs(*this);
    QString error;
    if (!FStore->EndUpdate(error)) {
        FSaveDialog->ShowSaveError(
            error + QStringLiteral("\n\nThe preferences of this session are lost; those saved before are kept."));
        return false;
    }
    if (FCleanupPending)
        DeleteUnusedStores();
    return true;
}

void TMorvekPreferences::WriteHeader(const QString& aVersion)
{
    WriteString(QStringLiteral("Version"), aVersion);
    WriteString(QStringLiteral("Last saving"), FormatDateTime(QStringLiteral("yyyy/mm/dd hh:mm:ss"), Now()));
    WriteString(QStringLiteral("ExeName"), QCoreApplication::applicationFilePath());
}

bool TMorvekPreferences::LoadList(const QString& formName, TCustomKvActionList& list)
{
    // Without a store the list still loads: its actions take their defaults.
    const bool opened = OpenKey(formName);
    const bool loaded = list.LoadFromPrefs(*this);
    if (opened)
        CloseKey();
    return loaded;
}

bool TMorvekPreferences::SaveList(const QString& formName, TCustomKvActionList& list)
{
    if (!OpenKey(formName))
        return false;
    const bool saved = list.SaveToPrefs(*this);
    CloseKey();
    return saved;
}

bool TMorvekPreferences::OpenKey(const QString& name)
{
    return FStore->OpenKey(name, true);
}

void TMorvekPreferences::CloseKey()
{
    FStore->CloseKey();
}

void TMorvekPreferences::GetKeyNames(QStringList& list)
{
    FStore->GetKeyNames(list);
}

bool TMorvekPreferences::ReadBool(const QString& name, bool defaultValue)
{
    return ReadOrDefault(*FStore, &TPreferencesMan::ReadBool, name, defaultValue);
}

int TMorvekPreferences::ReadInteger(const QString& name, int defaultValue)
{
    return ReadOrDefault(*FStore, &TPreferencesMan::ReadInteger, name, defaultValue);
}

QString TMorvekPreferences::ReadString(const QString& name, const QString& defaultValue)
{
    return ReadOrDefault(*FStore, &TPreferencesMan::ReadString, name, defaultValue);
}

double TMorvekPreferences::ReadFloat(const QString& name, double defaultValue)
{
    return ReadOrDefault(*FStore, &TPreferencesMan::ReadFloat, name, defaultValue);
}

TPoint TMorvekPreferences::ReadPoint(const QString& name, const TPoint& defaultValue)
{
    TPoint point;
    const bool found = FStore->ReadInteger(name + QStringLiteral(".X"), point.X) &&
                       FStore->ReadInteger(name + QStringLiteral(".Y"), point.Y);
    return found ? point : defaultValue;
}

TRect TMorvekPreferences::ReadRect(const QString& name, const TRect& defaultValue)
{
    if (!FStore->OpenKey(name, false))
        return defaultValue;
    TRect rect;
    const bool found = FStore->ReadInteger(QStringLiteral("Left"), rect.Left) &&
                       FStore->ReadInteger(QStringLiteral("Top"), rect.Top) &&
                       FStore->ReadInteger(QStringLiteral("Right"), rect.Right) &&
                       FStore->ReadInteger(QStringLiteral("Bottom"), rect.Bottom);
    FStore->CloseKey();
    return found ? rect : defaultValue;
}

TFont TMorvekPreferences::ReadFont(const QString& name, const TFont& defaultValue)
{
    if (!FStore->OpenKey(name, false))
        return defaultValue;
    TFont font = defaultValue;
    int charset = 0, color = 0, pitch = 0, pixelsPerInch = 0;
    bool bold = false, italic = false, strikeOut = false, underline = false;
    // The density must be there, but that of this screen is the one that counts.
    const bool found =
        FStore->ReadInteger(QStringLiteral("Charset"), charset) &&
        FStore->ReadInteger(QStringLiteral("Color"), color) && FStore->ReadString(QStringLiteral("Name"), font.Name) &&
        FStore->ReadInteger(QStringLiteral("Pitch"), pitch) &&
        FStore->ReadInteger(QStringLiteral("PixelsperInch"), pixelsPerInch) &&
        FStore->ReadInteger(QStringLiteral("Size"), font.Size) && FStore->ReadBool(QStringLiteral("Bold"), bold) &&
        FStore->ReadBool(QStringLiteral("Italic"), italic) &&
        FStore->ReadBool(QStringLiteral("StrikeOut"), strikeOut) &&
        FStore->ReadBool(QStringLiteral("Underline"), underline);
    FStore->CloseKey();
    // A character set or pitch that no font can have is as good as missing.
    if (!found || charset < 0 || charset > 255 || pitch < fpDefault || pitch > fpFixed)
        return defaultValue;
    font.Charset = static_cast<TFontCharset>(charset);
    font.Color = static_cast<TColor>(color);
    font.Pitch = static_cast<TFontPitch>(pitch);
    font.Style.clear();
    font.Style.set(fsBold, bold);
    font.Style.set(fsItalic, italic);
    font.Style.set(fsStrikeOut, strikeOut);
    font.Style.set(fsUnderline, underline);
    return font;
}

bool TMorvekPreferences::WriteBool(const QString& name, bool value)
{
    return FStore->WriteBool(name, value);
}

bool TMorvekPreferences::WriteInteger(const QString& name, int value)
{
    return FStore->WriteInteger(name, value);
}

bool TMorvekPreferences::WriteString(const QString& name, const QString& value)
{
    return FStore->WriteString(name, value);
}

bool TMorvekPreferences::WriteFloat(const QString& name, double value)
{
    return FStore->WriteFloat(name, value);
}

bool TMorvekPreferences::WritePoint(const QString& name, const TPoint& value)
{
    return FStore->WriteInteger(name + QStringLiteral(".X"), value.X) &&
           FStore->WriteInteger(name + QStringLiteral(".Y"), value.Y);
}

bool TMorvekPreferences::WriteRect(const QString& name, const TRect& value)
{
    if (!FStore->OpenKey(name, true))
        return false;
    const bool written = FStore->WriteInteger(QStringLiteral("Left"), value.Left) &&
                         FStore->WriteInteger(QStringLiteral("Top"), value.Top) &&
                         FStore->WriteInteger(QStringLiteral("Right"), value.Right) &&
                         FStore->WriteInteger(QStringLiteral("Bottom"), value.Bottom);
    FStore->CloseKey();
    return written;
}

bool TMorvekPreferences::WriteFont(const QString& name, const TFont& value)
{
    if (!FStore->OpenKey(name, true))
        return false;
    const bool written = FStore->WriteInteger(QStringLiteral("Charset"), value.Charset) &&
                         FStore->WriteInteger(QStringLiteral("Color"), static_cast<int>(value.Color)) &&
                         FStore->WriteString(QStringLiteral("Name"), value.Name) &&
                         FStore->WriteInteger(QStringLiteral("Pitch"), value.Pitch) &&
                         FStore->WriteInteger(QStringLiteral("PixelsperInch"), value.PixelsPerInch) &&
                         FStore->WriteInteger(QStringLiteral("Size"), value.Size) &&
                         FStore->WriteBool(QStringLiteral("Bold"), value.Style.contains(fsBold)) &&
                         FStore->WriteBool(QStringLiteral("Italic"), value.Style.contains(fsItalic)) &&
                         FStore->WriteBool(QStringLiteral("StrikeOut"), value.Style.contains(fsStrikeOut)) &&
                         FStore->WriteBool(QStringLiteral("Underline"), value.Style.contains(fsUnderline));
    FStore->CloseKey();
    return written;
}
