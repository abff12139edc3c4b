#include "script/host/kv_script.h"

#include "framework/actions/actions.h"
#include "platform/win/shell.h"
#include "script/compiler/class_import.h"
#include "script/runtime/native_bridge.h"
#include "script/runtime/value_ops.h"
#include "script/runtime/values.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <utility>

namespace {

const QString kCompiled = QStringLiteral("*** Compilation succeeded ***");
const QString kNotCompiled = QStringLiteral("### Compilation Failed");
const QString kNotReady = QStringLiteral("### Compilation not Ready");
const QString kRunError = QStringLiteral("### Error while executing: ");
const QString kExecuted = QStringLiteral("*** Succesfully Executed ***");
const QString kStopped = QStringLiteral("### Execution stopped");

// How often a running script lets the windows have their messages.
constexpr qint64 kServeEveryMs = 20;
// Instructions between two looks at the clock.
constexpr std::uint32_t kClockEvery = 4096;

QString FromScript(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

std::u16string ToScript(const QString& text)
{
    return text.toStdU16String();
}

// The position of the last of `delimiters` in `name`, -1 when none.
qsizetype LastDelimiter(const QString& delimiters, const QString& name)
{
    for (qsizetype i = name.size() - 1; i >= 0; --i)
        if (delimiters.contains(name.at(i)))
            return i;
    return -1;
}

// Whether window messages can be served here: the GUI thread of a running
// application.
bool CanServeMessages()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// A routine of an action: its arguments reach the action's entry as the
// Qt values the actions read, whatever script types the action declared.
class TEntryRoutine final : public psnative::Routine
{
public:
    explicit TEntryRoutine(TScriptEntry entry) : FEntry(std::move(entry)) {}

    bool Invoke(TPSExec* exec, TPSStack* stack) override
    {
        const std::size_t count = decl.params.size();
        QVariantList args;
        args.reserve(static_cast<qsizetype>(count));
        for (std::size_t i = 0; i < count; ++i) {
            TPSValueRef ref;
            if (!exec->ParamTarget(stack->Items(-static_cast<std::ptrdiff_t>(i) - 1), ref))
                return false;
            QVariant value = Read(decl.params[i], ref);
            if (!value.isValid())
                return false;
            args.append(std::move(value));
        }
        FEntry(args);
        // As between the requests of the command line: what the action set
        // going (a file that opens, a graph that seeks) tells its outcome
        // before the next line of the script acts on it.
        if (CanServeMessages())
            QCoreApplication::processEvents();
        return true;
    }

    // Whether every parameter can be handed over: value parameters only, as
    // an entry gives nothing back.
    static bool Takes(const TPSNativeDecl& decl)
    {
        if (decl.isFunction)
            return false;
        for (const TPSNativeParam& param : decl.params)
            if (param.mode == TPSNativeMode::Var || param.mode == TPSNativeMode::Out || param.type.openArray)
                return false;
        return true;
    }

private:
    static QVariant Read(const TPSNativeParam& param, const TPSValueRef& ref)
    {
        using ps::BaseType;
        if (psnative::KindOf(param.type.name) == psnative::Kind::Boolean)
            return QVariant(psnative::ReadInteger(ref) != 0);
        switch (ref.type->baseType) {
        case BaseType::Single:
        case BaseType::Double:
        case BaseType::Extended:
        case BaseType::Currency:
            return QVariant(static_cast<double>(psnative::ReadReal(ref)));
        case BaseType::Char:
        case BaseType::WideChar:
            return QVariant(QString(QChar(psnative::ReadChar(ref))));
        case BaseType::AnsiString:
        case BaseType::PChar:
            return QVariant(QString::fromStdString(GetValueAsAnsiString(ref.data, ref.type)));
        case BaseType::WideString:
        case BaseType::UnicodeString:
            return QVariant(QString::fromStdU16String(GetValueAsUnicodeString(ref.data, ref.type)));
        default:
            break;
        }
        // Every ordinal, enumerations and colours included.
        std::int64_t ordinal = 0;
        if (GetIntegerValue(ref.data, ref.type, ordinal))
            return QVariant(static_cast<qint64>(ordinal));
        return QVariant();
    }

    TScriptEntry FEntry;
};

} // namespace

void TScriptUi::ShowMessage(const QString& text)
{
    QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
}

TKvScript::TKvScript() : FUi(std::make_unique<TScriptUi>())
{
    // A new host records nothing half-way: no action is applying a change.
    MacroGuard = false;
    UseDebugInfo = false;
    UsePreProcessor = true;
    TPSScript::OnCompile = [this](TPSScript*) { DeclareHostRoutines(); };
    OnLine = [this](TPSScript*) { KeepAlive(); };
}

TKvScript::~TKvScript() = default;

void TKvScript::SetUi(std::unique_ptr<TScriptUi> ui)
{
    FUi = ui ? std::move(ui) : std::make_unique<TScriptUi>();
}

// ---- Compiling ------------------------------------------------------------------

void TKvScript::CompileScript()
{
    // A script that runs keeps its compile and its lines.
    if (IsRunning())
        return;
    UsePreProcessor = true;
    Messages.clear();
    FCompiled = Compile();
    // The compiler's lines and the outcome, nothing else: a script that
    // compiles but cannot load (a member no class backs) says only that the
    // compile failed.
    for (std::size_t i = 0; i < CompilerMessageCount(); ++i)
        Messages.append(QString::fromStdString(CompilerMessage(i)->MessageToString()));
    Messages.append(FCompiled ? kCompiled : kNotCompiled);
}

void TKvScript::DoOnCompile()
{
    struct Window
    {
        bool& compiling;
        ~Window() { compiling = false; }
    } window{FCompiling};
    FCompiling = true;
    TPSScript::DoOnCompile();
}

void TKvScript::DeclareHostRoutines()
{
    RegisterBuiltins();
    RegisterGraphicsClasses(Comp(), false);
}

TScriptLink::TCompileEvent TKvScript::OnCompile() const
{
    const TPSEvent chain = TPSScript::OnCompile;
    if (!chain)
        return nullptr;
    return [this, chain](TScriptLink*) { chain(const_cast<TKvScript*>(this)); };
}

void TKvScript::SetOnCompile(TCompileEvent handler)
{
    if (!handler) {
        TPSScript::OnCompile = nullptr;
        return;
    }
    TPSScript::OnCompile = [this, handler = std::move(handler)](TPSScript*) { handler(this); };
}

void TKvScript::RegisterBuiltins()
{
    TPSScript::AddMethod(this, &TKvScript::FindFirst,
                         "function findfirst(dossier:widestring;masque:widestring):widestring;");
    TPSScript::AddMethod(this, &TKvScript::FindNext, "function findnext:widestring;");
    TPSScript::AddMethod(this, &TKvScript::FindClose, "procedure findclose;");
    TPSScript::AddMethod(this, &TKvScript::ShowMessage, "procedure showmessage(z:string);");
    TPSScript::AddMethod(this, &TKvScript::Sleep, "procedure sleep(milli:Cardinal);");
    TPSScript::AddMethod(this, &TKvScript::ProcessMessages, "procedure processmessages;");
    TPSScript::AddMethod(this, &TKvScript::ForceDirectories, "procedure forcedirectories(dir:widestring);");
    TPSScript::AddMethod(this, &TKvScript::ChangeFileExt,
                         "function changefileext(fichier:widestring;ext:widestring):widestring;");
    TPSScript::AddMethod(this, &TKvScript::DeleteFileToRecycleBin,
                         "function deletefiletorecyclebin(fichier:widestring):Boolean;");
    TPSScript::AddMethod(this, &TKvScript::RenameFile, "procedure renamefile(oldfile,newname:widestring);");
    TPSScript::AddMethod(this, &TKvScript::ExtractFileName, "function extractfilename(fichier:widestring):widestring;");
    TPSScript::AddMethod(this, &TKvScript::ExtractFilePath, "function extractfilepath(fichier:widestring):widestring;");
    TPSScript::AddMethod(this, &TKvScript::ExtractFileExt, "function extractfileext(fichier:widestring):widestring;");

    TPSPascalCompiler& c = Comp();
    c.AddConstantN("clMoneyGreen", "Integer")->SetInt(0xC0DCC0);
    c.AddConstantN("clSkyBlue", "Integer")->SetInt(15780518);
    c.AddConstantN("clCream", "Integer")->SetInt(0xF0FBFF);
    c.AddTypeS("TAlignment", "(taLeftJustify, taRightJustify, taCenter)");
    c.AddConstantN("SecsPerDay", "Longint")->SetInt(86400);
    c.AddConstantN("MSecPerDay", "Longint")->SetInt(86400000);
    for (const auto& [name, declaration] : std::initializer_list<std::pair<const char*, const char*>>{
             {"HResult", "LongInt"},
             {"TGUID", "record D1: LongWord; D2: Word; D3: Word; D4: array[0..7] of Byte; end;"},
             {"TCLSID", "TGUID"},
             {"TIID", "TGUID"},
             {"TPoint", "record x,y: Longint; end;"},
             {"TScrollBarKind", "(sbHorizontal, sbVertical)"},
             {"TScrollBarInc", "SmallInt"},
             {"TFormBorderStyle", "(bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin)"},
             {"TBorderStyle", "TFormBorderStyle"},
             {"TWindowState", "(wsNormal, wsMinimized, wsMaximized)"},
             {"TFormStyle", "(fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop)"},
             {"TPosition", "(poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, "
                           "poDesktopCenter, poMainFormCenter, poOwnerFormCenter)"},
             {"TPrintScale", "(poNone, poProportional, poPrintToFit)"},
             {"TCloseAction", "(caNone, caHide, caFree, caMinimize)"},
             {"TBorderIcon", "(biSystemMenu, biMinimize, biMaximize, biHelp)"},
             {"TBorderIcons", "set of TBorderIcon"},
             {"THELPCONTEXT", "Longint"},
             {"TRect", "record Left, Top, Right, Bottom: Integer; end;"},
             {"TEditCharCase", "(ecNormal, ecUpperCase, ecLowerCase)"},
             {"TScrollStyle", "(ssNone, ssHorizontal, ssVertical, ssBoth)"},
             {"TComboBoxStyle", "(csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable)"},
             {"TCheckBoxState", "(cbUnchecked, cbChecked, cbGrayed)"},
             {"TListBoxStyle", "(lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable)"},
             {"TScrollCode", "(scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, "
                             "scEndScroll)"},
             {"TEOwnerDrawState", "(odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault, odHotLight, "
                                  "odInactive, odNoAccel, odNoFocusRect, odReserved1, odReserved2, odComboBoxEdit)"},
             {"TTextLayout", "( tlTop, tlCenter, tlBottom )"},
             {"TOwnerDrawState", "set of TEOwnerDrawState"},
             {"TSHORTCUT", "WORD"},
             {"TSavePreferences", "(spRegistre,spPortable,spNone)"},
         })
        c.AddTypeS(name, declaration);
}

bool TKvScript::AddMethod(QObject* self, TScriptEntry entry, const std::string& declaration)
{
    if (!FCompiling)
        return false;
    TPSNativeDecl decl;
    std::string why;
    if (!ParseNativeDecl(declaration, decl, why) || !TEntryRoutine::Takes(decl))
        return false;
    try {
        Comp().AddNativeFunction(declaration);
    } catch (const EPSCompilerException&) {
        return false;
    }
    auto routine = std::make_unique<TEntryRoutine>(std::move(entry));
    routine->signature = decl.Signature();
    routine->decl = std::move(decl);
    psnative::Register(Exec(), std::move(routine), self);
    return true;
}

bool TKvScript::DoOnNeedFile(const std::string& originFileName, std::string& fileName, std::string& output)
{
    if (TPSScript::DoOnNeedFile(originFileName, fileName, output))
        return true;
    // An include names its file from the folder of the file that includes
    // it, whatever the program's working folder.
    const QString including = QString::fromStdString(originFileName.empty() ? MainFileName() : originFileName);
    QString name = QString::fromStdString(fileName);
    if (QFileInfo(name).isRelative()) {
        const QFileInfo base(including);
        if (including.isEmpty() || base.isRelative())
            return false;
        name = base.dir().filePath(name);
    }
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = file.readAll();
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    output = text.toStdString();
    fileName = QFileInfo(name).absoluteFilePath().toStdString();
    return true;
}

// ---- Running --------------------------------------------------------------------

void TKvScript::RunScript()
{
    // One run at a time: a script that starts itself again does nothing.
    if (IsRunning())
        return;
    Messages.clear();
    if (!FCompiled) {
        Messages.append(kNotReady);
        return;
    }
    bool succeeded = false;
    try {
        succeeded = Execute();
    } catch (const EPSScriptError& e) {
        Messages.append(kRunError + QString::fromStdString(e.what()));
        return;
    }
    if (FStopped)
        Messages.append(kStopped);
    else if (succeeded)
        Messages.append(kExecuted);
    else
        Messages.append(kRunError + QString::fromStdString(RuntimeErrorText()));
}

bool TKvScript::Execute()
{
    // A run already under way keeps its own state.
    if (!IsRunning())
        FStopped = false;
    FInstructions = 0;
    FSinceServed.start();
    return TPSScript::Execute();
}

void TKvScript::Stop()
{
    if (IsRunning())
        FStopped = true;
    TPSScript::Stop();
}

void TKvScript::DoAfterExecute()
{
    // A search the script left open ends with the run.
    FindClose();
    TPSScript::DoAfterExecute();
}

void TKvScript::KeepAlive()
{
    if (++FInstructions % kClockEvery != 0 || FSinceServed.elapsed() < kServeEveryMs)
        return;
    if (CanServeMessages())
        QCoreApplication::processEvents();
    FSinceServed.restart();
}

// ---- The script's routines ------------------------------------------------------

std::u16string TKvScript::FindFirst(std::u16string dossier, std::u16string masque)
{
    FindClose();
    QString folder = FromScript(dossier);
    if (!folder.endsWith(u'/'))
        folder += u'/';
    FSearchFolder = folder;
    QString mask = FromScript(masque);
    // "*.*" means every name, with or without a dot.
    if (mask == QStringLiteral("*.*"))
        mask = QStringLiteral("*");
    const QDir dir(folder);
    if (!mask.isEmpty() && dir.exists())
        FSearchNames = dir.entryList({mask}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name | QDir::IgnoreCase);
    return FindNext();
}

std::u16string TKvScript::FindNext()
{
    if (FSearchNames.isEmpty())
        return {};
    return ToScript(FSearchFolder + FSearchNames.takeFirst());
}

void TKvScript::FindClose()
{
    FSearchFolder.clear();
    FSearchNames.clear();
}

void TKvScript::ShowMessage(std::string z)
{
    Ui().ShowMessage(QString::fromStdString(z));
}

void TKvScript::Sleep(std::uint32_t milli)
{
    if (!CanServeMessages()) {
        QThread::msleep(milli);
        return;
    }
    // The windows keep their messages, so a Stop can end the wait.
    QTimer end;
    end.setSingleShot(true);
    end.start(static_cast<int>(std::min<std::uint32_t>(milli, INT_MAX)));
    while (end.isActive() && !FStopped && Exec().Status() == TPSStatus::Running)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TKvScript::ProcessMessages()
{
    if (CanServeMessages())
        QCoreApplication::processEvents();
}

void TKvScript::ForceDirectories(std::u16string dir)
{
    const QString path = FromScript(dir);
    if (!path.isEmpty())
        QDir().mkpath(path);
}

std::u16string TKvScript::ChangeFileExt(std::u16string fichier, std::u16string ext)
{
    const QString name = FromScript(fichier);
    const qsizetype at = LastDelimiter(QStringLiteral("./"), name);
    const QString base = at >= 0 && name.at(at) == u'.' ? name.left(at) : name;
    return ToScript(base + FromScript(ext));
}

bool TKvScript::DeleteFileToRecycleBin(std::u16string fichier)
{
    const QString name = FromScript(fichier);
    return !name.isEmpty() && QFileInfo::exists(name) && MoveToTrash(name);
}

void TKvScript::RenameFile(std::u16string oldfile, std::u16string newname)
{
    const QString from = FromScript(oldfile);
    const QString to = FromScript(newname);
    if (from.isEmpty() || to.isEmpty())
        return;
    if (QFileInfo(from).isDir())
        QDir().rename(from, to);
    else
        QFile::rename(from, to);
}

std::u16string TKvScript::ExtractFileName(std::u16string fichier)
{
    const QString name = FromScript(fichier);
    return ToScript(name.mid(name.lastIndexOf(u'/') + 1));
}

std::u16string TKvScript::ExtractFilePath(std::u16string fichier)
{
    const QString name = FromScript(fichier);
    return ToScript(name.left(name.lastIndexOf(u'/') + 1));
}

std::u16string TKvScript::ExtractFileExt(std::u16string fichier)
{
    const QString name = FromScript(fichier);
    const qsizetype at = LastDelimiter(QStringLiteral("./"), name);
    return at >= 0 && name.at(at) == u'.' ? ToScript(name.mid(at)) : std::u16string();
}
