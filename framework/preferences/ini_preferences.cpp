#include "framework/preferences/ini_preferences.h"

#include "platform/rtl/numbers.h"
#include "platform/win/save_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringConverter>

namespace {

// Settings fill some kilobytes; a file far larger is no settings file.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

bool IsHeader(const QString& line)
{
    return line.size() >= 2 && line.startsWith(u'[') && line.endsWith(u']');
}

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// A value line holds its name before the first "="; other lines have none.
bool LineHasName(const QString& line, const QString& name)
{
    const qsizetype equals = line.indexOf(u'=');
    return equals >= 0 && QStringView(line).left(equals).compare(name, Qt::CaseInsensitive) == 0;
}

QString ParentPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'\\');
    return slash < 0 ? QString() : path.left(slash);
}

} // namespace

TIniPreferencesMan::TIniPreferencesMan(const QString& fileName) : FFileName(fileName)
{
    if (fileName.isEmpty() || !QFile::exists(fileName)) {
        // A new file starts with the root section alone, and is written even
        // when nothing else is: the file is what makes the next start portable.
        FLines.append(QStringLiteral("[]"));
        Enter(QString());
        FChanged = true;
        return;
    }
    // A device or a pipe (a link to /dev/zero) would never end, and a huge
    // file would take the memory: either is refused unread and left alone.
    QByteArray content;
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile())
        FLoadError = QStringLiteral("it is not a regular file");
    else if (!file.open(QIODevice::ReadOnly))
        FLoadError = file.errorString();
    else if (!ReadAtMost(file, kMaxFileSize, &content))
        FLoadError = QStringLiteral("it is larger than %1 MB").arg(kMaxFileSize >> 20);
    else if (file.error() != QFileDevice::NoError)
        FLoadError = file.errorString();
    if (!FLoadError.isEmpty())
        content.clear();
    Load(content);
}

TIniPreferencesMan::TIniPreferencesMan(const QString& fileName, const QByteArray& content) : FFileName(fileName)
{
    Load(content);
}

TIniPreferencesMan::~TIniPreferencesMan()
{
    QString ignored;
    Save(ignored);
}

void TIniPreferencesMan::Load(const QByteArray& content)
{
    FLines = DecodeLines(content);
    // An existing file without a root section, even an empty one, gets it appended.
    Enter(QString());
}

QStringList TIniPreferencesMan::DecodeLines(const QByteArray& content)
{
    // Only the byte-order marks of UTF-16 and UTF-8: FF FE 00 00 is UTF-16
    // text that begins with a NUL, not UTF-32.
    auto encoding = QStringConverter::Utf8;
    if (content.startsWith("\xFF\xFE"))
        encoding = QStringConverter::Utf16LE;
    else if (content.startsWith("\xFE\xFF"))
        encoding = QStringConverter::Utf16BE;
    QStringDecoder decoder(encoding);
    QString text = decoder.decode(content);
    if (text.isEmpty())
        return {};
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    // The last line break ends the last line; a lone line break is one empty line.
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text.split(u'\n');
}

QByteArray TIniPreferencesMan::EncodeLines(const QStringList& lines)
{
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    QByteArray bytes = encoder.encode(text);
    if (bytes.isEmpty()) // no text, still a UTF-16 file
        bytes = QByteArray("\xFF\xFE", 2);
    return bytes;
}

bool TIniPreferencesMan::Save(QString& error)
{
    error.clear();
    if (!FChanged || FFileName.isEmpty())
        return true;
    if (!FLoadError.isEmpty()) {
        error = QStringLiteral("The preferences file \"%1\" could not be read (%2), so it is not overwritten.")
                    .arg(FFileName, FLoadError);
        return false;
    }
    QString problem;
    if (!SaveFileAtomically(FFileName, EncodeLines(FLines), &problem)) {
        error = QStringLiteral("The preferences could not be written to \"%1\": %2.").arg(FFileName, problem);
        return false;
    }
    FChanged = false;
    return true;
}

bool TIniPreferencesMan::EndUpdate(QString& error)
{
    return Save(error);
}

int TIniPreferencesMan::FindHeader(const QString& path) const
{
    const QString header = u'[' + path + u']';
    for (qsizetype i = 0; i < FLines.size(); ++i)
        if (FLines[i].compare(header, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

int TIniPreferencesMan::SectionEnd() const
{
    qsizetype i = FSection + 1;
    while (i < FLines.size() && !IsHeader(FLines[i]))
        ++i;
    return int(i);
}

int TIniPreferencesMan::FindValue(const QString& name) const
{
    const int end = SectionEnd();
    for (int i = FSection + 1; i < end; ++i)
        if (LineHasName(FLines[i], name))
            return i;
    return -1;
}

bool TIniPreferencesMan::Enter(const QString& path)
{
    if (HasLineBreak(path))
        return false;
    int header = FindHeader(path);
    if (header < 0) {
        FLines.append(QString());
        FLines.append(u'[' + path + u']');
        FChanged = true;
        header = int(FLines.size() - 1);
    }
    FPath = path;
    FSection = header;
    return true;
}

bool TIniPreferencesMan::OpenKey(const QString& name, bool)
{
    return Enter(FPath.isEmpty() ? name : FPath + u'\\' + name);
}

bool TIniPreferencesMan::CloseKey()
{
    return Enter(ParentPath(FPath));
}

bool TIniPreferencesMan::DeleteKey(const QString& name)
{
    if (name.isEmpty() || HasLineBreak(name))
        return false;
    const QString path = FPath.isEmpty() ? name : FPath + u'\\' + name;
    const QString header = u'[' + path + u']';
    const QString below = u'[' + path + u'\\';
    bool removed = false;
    qsizetype i = 0;
    while (i < FLines.size()) {
        const QString& line = FLines[i];
        if (IsHeader(line) &&
            (line.compare(header, Qt::CaseInsensitive) == 0 || line.startsWith(below, Qt::CaseInsensitive))) {
            // The section's lines, up to the next header.
            qsizetype end = i + 1;
            while (end < FLines.size() && !IsHeader(FLines[end]))
                ++end;
            FLines.remove(i, end - i);
            removed = true;
        } else {
            ++i;
        }
    }
    if (removed) {
        FSection = FindHeader(FPath);
        FChanged = true;
    }
    return removed;
}

bool TIniPreferencesMan::GetValueNames(QStringList& list)
{
    list.clear();
    const int end = SectionEnd();
    for (int i = FSection + 1; i < end; ++i) {
        const qsizetype equals = FLines[i].indexOf(u'=');
        if (equals >= 0)
            list.append(FLines[i].left(equals));
    }
    return true;
}

bool TIniPreferencesMan::GetKeyNames(QStringList& list)
{
    list.clear();
    // Every section lies below the root, whose own header is "[]".
    const QString prefix = FPath.isEmpty() ? QStringLiteral("[") : u'[' + FPath + u'\\';
    for (const QString& line : FLines)
        if (IsHeader(line) && line.size() > prefix.size() + 1 && line.startsWith(prefix, Qt::CaseInsensitive))
            list.append(line.mid(prefix.size(), line.size() - prefix.size() - 1));
    return true;
}

bool TIniPreferencesMan::WriteString(const QString& name, const QString& value)
{
    // A line break or a name that looks like a header would break the file's lines apart.
    if (name.contains(u'=') || name.startsWith(u'[') || HasLineBreak(name) || HasLineBreak(value))
        return false;
    const QString line = name + u'=' + value;
    const int found = FindValue(name);
    if (found >= 0) {
        if (FLines[found] == line)
            return true;
        FLines[found] = line;
    } else {
        FLines.insert(SectionEnd(), line);
    }
    FChanged = true;
    return true;
}

bool TIniPreferencesMan::ReadString(const QString& name, QString& value)
{
    const int found = FindValue(name);
    if (found < 0)
        return false;
    value = FLines[found].mid(FLines[found].indexOf(u'=') + 1);
    return true;
}

bool TIniPreferencesMan::DeleteValue(const QString& name)
{
    const int found = FindValue(name);
    if (found < 0)
        return false;
    FLines.removeAt(found);
    FChanged = true;
    return true;
}

bool TIniPreferencesMan::WriteBool(const QString& name, bool value)
{
    return WriteString(name, value ? QStringLiteral("True") : QStringLiteral("False"));
}

bool TIniPreferencesMan::ReadBool(const QString& name, bool& value)
{
    QString text;
    if (!ReadString(name, text))
        return false;
    if (text == QLatin1String("True"))
        value = true;
    else if (text == QLatin1String("False"))
        value = false;
    else
        return false;
    return true;
}

bool TIniPreferencesMan::WriteInteger(const QString& name, int value)
{
    return WriteString(name, IntToStr(value));
}

bool TIniPreferencesMan::ReadInteger(const QString& name, int& value)
{
    QString text;
    if (!ReadString(name, text))
        return false;
    value = StrToIntDef(text, 0);
    return true;
}

bool TIniPreferencesMan::WriteFloat(const QString& name, double value)
{
    return WriteString(name, FloatToStr(value));
}

bool TIniPreferencesMan::ReadFloat(const QString& name, double& value)
{
    QString text;
    if (!ReadString(name, text))
        return false;
    // A portable file may come from a machine whose decimal separator differs
    // from ours; no thousands separator is ever written, so both read safely.
    const QChar own = DecimalSeparator();
    if (!TryStrToFloat(text, value, own) && !TryStrToFloat(text, value, own == u'.' ? u',' : u'.'))
        value = 0;
    return true;
}
