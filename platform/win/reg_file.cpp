#include "platform/win/reg_file.h"

#include <QStringConverter>

#include <algorithm>
#include <array>

namespace {

struct RootName
{
    QLatin1StringView name;
    QLatin1StringView shortName;
};
constexpr std::array kRoots = {
    RootName{QLatin1StringView("HKEY_CURRENT_USER"), QLatin1StringView("HKCU")},
    RootName{QLatin1StringView("HKEY_LOCAL_MACHINE"), QLatin1StringView("HKLM")},
    RootName{QLatin1StringView("HKEY_CLASSES_ROOT"), QLatin1StringView("HKCR")},
    RootName{QLatin1StringView("HKEY_USERS"), QLatin1StringView("HKU")},
    RootName{QLatin1StringView("HKEY_CURRENT_CONFIG"), QLatin1StringView("HKCC")},
};

const QLatin1StringView kHeader4("REGEDIT4");
const QLatin1StringView kHeader5("Windows Registry Editor Version 5.00");

QString fold(const QString& name)
{
    return name.toCaseFolded();
}

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QByteArray toUtf16Le(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// 8-bit text is UTF-8 when it is valid UTF-8, else Latin-1.
QString decode8Bit(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

bool parseHex(QStringView digits, int maxDigits, quint32* number)
{
    if (digits.isEmpty() || digits.size() > maxDigits)
        return false;
    bool ok = false;
    *number = digits.toUInt(&ok, 16);
    // toUInt would also take a sign or a "0x" prefix.
    return ok && std::all_of(digits.begin(), digits.end(),
                             [](QChar c) { return c.unicode() < 128 && isxdigit(c.unicode()); });
}

QString quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', QLatin1StringView("\\\\")).replace(u'"', QLatin1StringView("\\\""));
    return u'"' + escaped + u'"';
}

class RegParser
{
public:
    explicit RegParser(const QString& text) : lines_(text.split(u'\n'))
    {
        for (QString& line : lines_)
            if (line.endsWith(u'\r'))
                line.chop(1);
    }

    bool parse(std::vector<RegEdit>* edits, QString* error);

private:
    bool fail(const QString& what)
    {
        error_ = QStringLiteral("line %1: %2").arg(lineNumber_).arg(what);
        return false;
    }
    bool parseKeyLine(const QString& line);
    bool parseValueLine(const QString& line);
    bool parseQuoted(const QString& line, qsizetype* pos, QString* text);
    bool parseHexList(QString list, QByteArray* bytes);

    QStringList lines_;
    qsizetype index_ = 0;
    int lineNumber_ = 0;
    bool regedit4_ = false;
    QString key_;             // the key that value lines go to, empty before the first
    bool keyRemoved_ = false; // value lines under a removed key are ignored
    std::vector<RegEdit> edits_;
    QString error_;
};

bool RegParser::parse(std::vector<RegEdit>* edits, QString* error)
{
    bool headerSeen = false;
    for (; index_ < lines_.size(); ++index_) {
        lineNumber_ = int(index_) + 1;
        const QString line = lines_[index_].trimmed();
        if (line.isEmpty())
            continue;
        bool ok;
        if (!headerSeen) {
            regedit4_ = line == kHeader4;
            ok = regedit4_ || line == kHeader5 ||
                 fail(QStringLiteral("not a registry file (it must start with \"%1\" or \"%2\")")
                          .arg(kHeader5, kHeader4));
            headerSeen = true;
        } else if (line.startsWith(u';')) {
            ok = true;
        } else if (line.startsWith(u'[')) {
            ok = parseKeyLine(line);
        } else if (line.startsWith(u'"') || line.startsWith(u'@')) {
            ok = parseValueLine(line);
        } else {
            ok = fail(QStringLiteral("a line must be a [key], a \"name\"=value or a ; comment"));
        }
        if (!ok) {
            if (error)
                *error = error_;
            return false;
        }
    }
    if (!headerSeen) {
        if (error)
            *error = QStringLiteral("line 1: the file is empty");
        return false;
    }
    *edits = std::move(edits_);
    return true;
}

bool RegParser::parseKeyLine(const QString& line)
{
    if (!line.endsWith(u']'))
        return fail(QStringLiteral("a key line must end with \"]\""));
    QString path = line.mid(1, line.size() - 2);
    keyRemoved_ = path.startsWith(u'-');
    if (keyRemoved_)
        path.remove(0, 1);
    QString problem;
    const QStringList parts = splitRootedPath(path, &problem);
    if (parts.isEmpty())
        return fail(problem);
    if (keyRemoved_ && parts.size() == 1)
        return fail(QStringLiteral("the root key %1 cannot be removed").arg(parts.front()));
    key_ = parts.join(u'\\');
    edits_.push_back({keyRemoved_ ? RegEdit::RemoveKey : RegEdit::AddKey, key_, {}, {}, lineNumber_});
    return true;
}

bool RegParser::parseQuoted(const QString& line, qsizetype* pos, QString* text)
{
    text->clear();
    for (qsizetype i = *pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"') {
            *pos = i + 1;
            return true;
        }
        // Only \\ and \" are escapes; any other backslash stands for itself.
        if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"'))
            ++i;
        text->append(line[i]);
    }
    return fail(QStringLiteral("a quoted text has no closing quote"));
}

bool RegParser::parseValueLine(const QString& line)
{
    if (key_.isEmpty())
        return fail(QStringLiteral("a value comes before any [key]"));
    RegEdit edit{RegEdit::SetValue, key_, {}, {}, lineNumber_};
    qsizetype pos = 0;
    if (line.startsWith(u'@'))
        pos = 1;
    else if (!parseQuoted(line, &pos, &edit.valueName))
        return false;
    if (!isValidValueName(edit.valueName))
        return fail(QStringLiteral("a value name is longer than %1 characters or holds a control character")
                        .arg(kMaxValueNameLength));
    while (pos < line.size() && line[pos].isSpace())
        ++pos;
    if (pos >= line.size() || line[pos] != u'=')
        return fail(QStringLiteral("\"=\" is missing after the value name"));
    const QString data = line.mid(pos + 1).trimmed();

    if (data.startsWith(u'"')) {
        qsizetype end = 0;
        QString text;
        if (!parseQuoted(data, &end, &text))
            return false;
        if (end != data.size())
            return fail(QStringLiteral("unexpected text after the closing quote"));
        edit.value = RegValue::fromString(text);
    } else if (data == u'-') {
        edit.kind = RegEdit::RemoveValue;
    } else if (data.startsWith(QLatin1StringView("dword:"), Qt::CaseInsensitive)) {
        quint32 number;
        if (!parseHex(QStringView(data).mid(6).trimmed(), 8, &number))
            return fail(QStringLiteral("dword: takes 1 to 8 hexadecimal digits"));
        edit.value = RegValue::fromDword(number);
    } else if (data.startsWith(QLatin1StringView("hex"), Qt::CaseInsensitive)) {
        const qsizetype colon = data.indexOf(u':');
        const QStringView kind = QStringView(data).mid(3, colon < 0 ? -1 : colon - 3).trimmed();
        edit.value.type = REG_BINARY;
        if (colon < 0 || (!kind.isEmpty() && !(kind.startsWith(u'(') && kind.endsWith(u')') &&
                                               parseHex(kind.mid(1, kind.size() - 2), 8, &edit.value.type))))
            return fail(QStringLiteral("a hex value is written hex: or hex(type):"));
        if (!parseHexList(data.mid(colon + 1), &edit.value.data))
            return false;
        // Old-style files hold the text types as 8-bit bytes.
        const DWORD type = edit.value.type;
        if (regedit4_ && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
            edit.value.data = toUtf16Le(decode8Bit(edit.value.data));
    } else {
        return fail(QStringLiteral("unknown kind of value (expected \"text\", dword:, hex:, hex(type): or -)"));
    }
    if (!keyRemoved_)
        edits_.push_back(std::move(edit));
    return true;
}

bool RegParser::parseHexList(QString list, QByteArray* bytes)
{
    bytes->clear();
    for (;;) {
        // A trailing backslash continues the list on the next line.
        list = list.trimmed();
        const bool continued = list.endsWith(u'\\');
        if (continued)
            list.chop(1);
        const QStringView rest(list);
        for (qsizetype start = 0; start < rest.size();) {
            qsizetype comma = rest.indexOf(u',', start);
            if (comma < 0)
                comma = rest.size();
            const QStringView item = rest.mid(start, comma - start).trimmed();
            quint32 byte;
            if (!parseHex(item, 2, &byte))
                return fail(QStringLiteral("\"%1\" is not a hexadecimal byte").arg(item.left(20)));
            bytes->append(char(byte));
            start = comma + 1; // so a comma after the last byte ends the line's part
        }
        if (!continued)
            return true;
        // A list goes on with its next line, which holds bytes: the line
        // after a final ",\" may be missing or blank, and neither may end
        // the list, or a cut-off file would import short.
        const auto blank = [this](qsizetype i) { return lines_[i].trimmed().isEmpty(); };
        if (index_ + 1 >= lines_.size() || blank(index_ + 1)) {
            qsizetype next = index_ + 1;
            while (next < lines_.size() && blank(next))
                ++next;
            return fail(next < lines_.size() ? QStringLiteral("the hex list goes on into a blank line")
                                             : QStringLiteral("the hex list goes on past the end of the file"));
        }
        list = lines_[++index_];
        lineNumber_ = int(index_) + 1; // so a bad byte is reported on its own line
    }
}

void writeHexList(QString& out, const QByteArray& data, qsizetype column)
{
    constexpr qsizetype kWidth = 77;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (column + 3 > kWidth && i > 0) {
            out += QLatin1StringView("\\\n  ");
            column = 2;
        }
        static constexpr char kDigits[] = "0123456789abcdef";
        out += QLatin1Char(kDigits[quint8(data[i]) >> 4]);
        out += QLatin1Char(kDigits[quint8(data[i]) & 15]);
        column += 2;
        if (i + 1 < data.size()) {
            out += u',';
            ++column;
        }
    }
}

void writeValue(QString& out, const QString& name, const RegValue& value)
{
    const qsizetype lineStart = out.size();
    out += name.isEmpty() ? QStringLiteral("@") : quoted(name);
    out += u'=';
    const std::optional<QString> text = value.type == REG_SZ ? value.toString() : std::nullopt;
    if (text && !hasControlCharacter(*text) && text->isValidUtf16() && RegValue::fromString(*text) == value) {
        out += quoted(*text);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        out += QString::asprintf("dword:%08x", *value.toDword());
    } else {
        out += value.type == REG_BINARY ? QStringLiteral("hex:") : QString::asprintf("hex(%x):", value.type);
        writeHexList(out, value.data, out.size() - lineStart);
    }
    out += u'\n';
}

void writeKey(QString& out, const QString& path, const RegKey& key)
{
    out += u'[' + path + QLatin1StringView("]\n");
    for (const auto& [name, value] : key.values())
        writeValue(out, name, *value);
    out += u'\n';
    for (const auto& [folded, child] : key.keys)
        writeKey(out, path + u'\\' + child.name, child);
}

} // namespace

RegValue RegValue::fromString(const QString& text)
{
    return {REG_SZ, toUtf16Le(text + QChar(0))};
}

RegValue RegValue::fromDword(DWORD number)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(number >> (8 * i));
    return {REG_DWORD, bytes};
}

std::optional<QString> RegValue::toString() const
{
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return std::nullopt;
    QString text;
    text.reserve(data.size() / 2);
    for (qsizetype i = 0; i + 1 < data.size(); i += 2)
        text.append(QChar(char16_t(quint8(data[i]) | quint8(data[i + 1]) << 8)));
    if (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

std::optional<DWORD> RegValue::toDword() const
{
    if (type != REG_DWORD || data.size() != 4)
        return std::nullopt;
    DWORD number = 0;
    for (int i = 0; i < 4; ++i)
        number |= DWORD(quint8(data[i])) << (8 * i);
    return number;
}

const RegKey* RegKey::find(const QStringList& path) const
{
    const RegKey* key = this;
    for (const QString& part : path) {
        const auto it = key->keys.find(fold(part));
        if (it == key->keys.end())
            return nullptr;
        key = &it->second;
    }
    return key;
}

RegKey* RegKey::find(const QStringList& path)
{
    return const_cast<RegKey*>(std::as_const(*this).find(path));
}

RegKey& RegKey::make(const QStringList& path)
{
    RegKey* key = this;
    for (const QString& part : path) {
        RegKey& child = key->keys[fold(part)];
        if (child.name.isEmpty())
            child.name = part;
        key = &child;
    }
    return *key;
}

bool RegKey::removeKey(const QStringList& path)
{
    if (path.isEmpty())
        return false;
    RegKey* parent = find(path.first(path.size() - 1));
    return parent && parent->keys.erase(fold(path.back())) > 0;
}

const RegValue* RegKey::value(const QString& valueName, QString* madeAs) const
{
    const auto it = values_.find(fold(valueName));
    if (it == values_.end())
        return nullptr;
    if (madeAs)
        *madeAs = it->second.name;
    return &it->second.value;
}

void RegKey::setValue(const QString& valueName, const RegValue& value)
{
    const auto [it, added] = values_.try_emplace(fold(valueName), Entry{valueName, value, nextOrder_});
    if (added)
        ++nextOrder_;
    else
        it->second.value = value;
}

bool RegKey::removeValue(const QString& valueName)
{
    return values_.erase(fold(valueName)) > 0;
}

std::vector<std::pair<QString, const RegValue*>> RegKey::values() const
{
    std::vector<const Entry*> entries;
    entries.reserve(values_.size());
    for (const auto& [folded, entry] : values_)
        entries.push_back(&entry);
    std::sort(entries.begin(), entries.end(), [](const Entry* a, const Entry* b) { return a->order < b->order; });
    std::vector<std::pair<QString, const RegValue*>> result;
    result.reserve(entries.size());
    for (const Entry* entry : entries)
        result.emplace_back(entry->name, &entry->value);
    return result;
}

bool operator==(const RegKey& a, const RegKey& b)
{
    const auto aValues = a.values();
    const auto bValues = b.values();
    return a.name == b.name && a.keys == b.keys &&
           std::equal(aValues.begin(), aValues.end(), bValues.begin(), bValues.end(),
                      [](const auto& x, const auto& y) { return x.first == y.first && *x.second == *y.second; });
}

QString canonicalRootName(const QString& name)
{
    for (const RootName& root : kRoots)
        if (name.compare(root.name, Qt::CaseInsensitive) == 0 || name.compare(root.shortName, Qt::CaseInsensitive) == 0)
            return root.name;
    return {};
}

bool isValidValueName(const QString& name)
{
    return name.size() <= kMaxValueNameLength && !hasControlCharacter(name) && name.isValidUtf16();
}

bool isValidKeyName(const QString& name)
{
    return !name.isEmpty() && name.size() <= kMaxKeyNameLength && !name.contains(u'\\') && isValidValueName(name);
}

QStringList splitRootedPath(const QString& path, QString* error)
{
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    const QString root = parts.isEmpty() ? QString() : canonicalRootName(parts.front());
    if (root.isEmpty()) {
        *error = QStringLiteral("the key \"%1\" does not start with a root key such as HKEY_CURRENT_USER or HKCU")
                     .arg(path.left(80));
        return {};
    }
    parts.front() = root;
    if (parts.size() > kMaxKeyDepth + 1) {
        *error = QStringLiteral("keys are nested deeper than %1 levels").arg(kMaxKeyDepth);
        return {};
    }
    qsizetype pathLength = -1;
    for (qsizetype i = 1; i < parts.size(); ++i)
        pathLength += parts[i].size() + 1;
    if (pathLength > kMaxKeyPathLength) {
        *error = QStringLiteral("a key path is longer than %1 characters").arg(kMaxKeyPathLength);
        return {};
    }
    if (!std::all_of(parts.begin(), parts.end(), isValidKeyName)) {
        *error = QStringLiteral("a key name is longer than %1 characters or holds a control character")
                     .arg(kMaxKeyNameLength);
        return {};
    }
    return parts;
}

bool parseRegText(const QByteArray& bytes, std::vector<RegEdit>* edits, QString* error)
{
    QString text;
    if (const std::optional<QStringConverter::Encoding> encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        text = decoder.decode(bytes);
        if (decoder.hasError()) {
            if (error)
                *error = QStringLiteral("line 1: the text after the byte-order mark is not valid");
            return false;
        }
    } else {
        text = decode8Bit(bytes);
    }
    return RegParser(text).parse(edits, error);
}

namespace {

// Upper estimates of what a key line and a value line take in the text form
// (quotes, escapes, hex digits with their commas and line continuations).
qsizetype keyTextLength(qsizetype pathLength)
{
    return pathLength + 4;
}

qsizetype valueTextLength(const QString& name, const RegValue& value)
{
    return 2 * name.size() + 4 * value.data.size() + 24;
}

RegTreeSize& operator+=(RegTreeSize& a, const RegTreeSize& b)
{
    a.keys += b.keys;
    a.textLength += b.textLength;
    return a;
}

RegTreeSize measureKey(const RegKey& key, qsizetype pathLength)
{
    RegTreeSize size{1, keyTextLength(pathLength)};
    for (const auto& [name, value] : key.values())
        size.textLength += valueTextLength(name, *value);
    for (const auto& [folded, child] : key.keys)
        size += measureKey(child, pathLength + 1 + child.name.size());
    return size;
}

// Follows `path` down from the roots as far as its keys exist. Returns the
// last key reached (null when not even the root exists), with the number of
// parts found and the length of the path to it as its keys spell it.
const RegKey* walk(const RegKey& roots, const QStringList& path, qsizetype* found, qsizetype* pathLength)
{
    const RegKey* key = nullptr;
    *found = 0;
    *pathLength = -1;
    for (const QString& part : path) {
        const RegKey* child = (key ? key : &roots)->find(QStringList{part});
        if (!child)
            break;
        key = child;
        ++*found;
        *pathLength += 1 + child->name.size();
    }
    return key;
}

} // namespace

RegTreeSize measureRegTree(const RegKey& roots)
{
    RegTreeSize size;
    for (const auto& [folded, root] : roots.keys)
        size += measureKey(root, root.name.size());
    return size;
}

RegEditResult applyRegEdit(RegKey& roots, const RegEdit& edit, RegTreeSize& size)
{
    const QStringList path = edit.key.split(u'\\');
    qsizetype found = 0;
    qsizetype pathLength = 0;
    const RegKey* key = walk(roots, path, &found, &pathLength);
    const bool exists = found == path.size();
    switch (edit.kind) {
    case RegEdit::AddKey:
    case RegEdit::SetValue: {
        RegTreeSize added;
        for (qsizetype i = found; i < path.size(); ++i) {
            pathLength += 1 + path[i].size();
            added += {1, keyTextLength(pathLength)};
        }
        const RegValue* old = exists && edit.kind == RegEdit::SetValue ? key->value(edit.valueName) : nullptr;
        if (edit.kind == RegEdit::SetValue)
            added.textLength += old ? valueTextLength({}, edit.value) - valueTextLength({}, *old)
                                    : valueTextLength(edit.valueName, edit.value);
        if (size.keys + added.keys > kMaxKeyCount || size.textLength + added.textLength > kMaxRegTextLength)
            return RegEditResult::TooLarge;
        RegKey& target = roots.make(path);
        if (edit.kind == RegEdit::SetValue)
            target.setValue(edit.valueName, edit.value);
        size += added;
        return RegEditResult::Done;
    }
    case RegEdit::RemoveKey: {
        if (!exists)
            return RegEditResult::NotFound;
        const RegTreeSize removed = measureKey(*key, pathLength);
        roots.removeKey(path);
        size.keys -= removed.keys;
        size.textLength -= removed.textLength;
        return RegEditResult::Done;
    }
    case RegEdit::RemoveValue: {
        QString name;
        const RegValue* value = exists ? key->value(edit.valueName, &name) : nullptr;
        if (!value)
            return RegEditResult::NotFound;
        size.textLength -= valueTextLength(name, *value);
        roots.find(path)->removeValue(edit.valueName);
        return RegEditResult::Done;
    }
    }
    return RegEditResult::NotFound;
}

bool applyRegEdits(RegKey& roots, const std::vector<RegEdit>& edits, RegTreeSize& size, QString* error)
{
    for (const RegEdit& edit : edits) {
        if (applyRegEdit(roots, edit, size) == RegEditResult::TooLarge) {
            if (error)
                *error = QStringLiteral("line %1: the registry would grow beyond %2 keys or %3 MB of text")
                             .arg(edit.line)
                             .arg(kMaxKeyCount)
                             .arg(kMaxRegTextLength >> 20);
            return false;
        }
    }
    return true;
}

QByteArray writeRegText(const RegKey& roots)
{
    QString out = kHeader5 + QLatin1StringView("\n\n");
    for (const auto& [folded, root] : roots.keys)
        writeKey(out, root.name, root);
    return out.toUtf8();
}
