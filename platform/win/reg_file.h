#pragma once
// Registry data and its text form. A tree of keys holds typed values as the
// program's code sees them (a type number and raw bytes; strings are UTF-16LE
// with their terminating NUL). The text form is the registry editor's export
// format, which is both what `reg import` reads and how the store keeps its
// file, so one parser serves both.

#include "platform/core/types.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <utility>
#include <vector>

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

struct RegValue
{
    DWORD type = REG_NONE;
    QByteArray data;

    static RegValue fromString(const QString& text); // REG_SZ
    static RegValue fromDword(DWORD number);         // REG_DWORD
    static RegValue fromBinary(const QByteArray& bytes) { return {REG_BINARY, bytes}; }

    // A string or expandable string, without its trailing NUL; an odd last
    // byte is ignored. Empty for other types.
    std::optional<QString> toString() const;
    // A REG_DWORD of 4 bytes; empty otherwise.
    std::optional<DWORD> toDword() const;

    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// One key: sub-keys ordered by name, values in the order they were first set.
// Names compare without regard to case and keep the case they were made with.
struct RegKey
{
    QString name;
    std::map<QString, RegKey> keys; // by folded name

    const RegKey* find(const QStringList& path) const;
    RegKey* find(const QStringList& path);
    RegKey& make(const QStringList& path);
    bool removeKey(const QStringList& path); // the key and all below it

    // The value, and the name it was made with in `madeAs`.
    const RegValue* value(const QString& valueName, QString* madeAs = nullptr) const;
    void setValue(const QString& valueName, const RegValue& value);
    bool removeValue(const QString& valueName);
    void clearValues() { values_.clear(); }
    // Names and values in the order the values were first set.
    std::vector<std::pair<QString, const RegValue*>> values() const;

    friend bool operator==(const RegKey& a, const RegKey& b);

private:
    struct Entry
    {
        QString name;
        RegValue value;
        quint64 order;
    };
    std::map<QString, Entry> values_; // by folded name
    quint64 nextOrder_ = 0;
};

// The roots a key path may start with. Paths in a RegKey tree for a whole
// store start with the root's canonical name ("HKEY_CURRENT_USER").
QString canonicalRootName(const QString& name); // HKCU or HKEY_CURRENT_USER etc.; empty when unknown

// Splits "HKCU\Software\X" into parts, dropping empty ones; the first part
// becomes the canonical root name. Empty with `error` set when the path does
// not start with a root, a name is not allowed or the path is too deep or too
// long.
QStringList splitRootedPath(const QString& path, QString* error);

// A name may hold any character except line breaks and other control
// characters (they could not be written back); a key name no backslash either.
// Names and depth are bounded as the original registry bounds them, which also
// keeps a hostile file from nesting keys deeper than the stack can follow.
constexpr int kMaxKeyNameLength = 255;
constexpr int kMaxValueNameLength = 16383;
constexpr int kMaxKeyDepth = 512; // parts below a root
bool isValidValueName(const QString& name);
bool isValidKeyName(const QString& name);

// The text form writes every key line with the key's whole path, so a tree's
// text grows with the sum of its keys' path lengths, not with the size of the
// file that made it: a few deep chains of long names would make a text of
// gigabytes. A path, the number of keys and the length of the text are
// bounded, so that every tree the store holds is written and read back in
// reasonable time and memory.
constexpr int kMaxKeyPathLength = 1024;           // characters below the root, separators included
constexpr qsizetype kMaxKeyCount = 100'000;       // keys of all roots, the roots included
constexpr qsizetype kMaxRegTextLength = 16 << 20; // characters of the text form, roughly

// A tree's keys and the length of its text form, kept up to date as edits
// are applied so that the bounds are checked without writing the text.
struct RegTreeSize
{
    qsizetype keys = 0;
    qsizetype textLength = 0;

    friend bool operator==(const RegTreeSize&, const RegTreeSize&) = default;
};
RegTreeSize measureRegTree(const RegKey& roots);

// One change that a .reg file asks for, in file order.
struct RegEdit
{
    enum Kind { AddKey, RemoveKey, SetValue, RemoveValue };
    Kind kind;
    // Starts with a canonical root name; parts are joined by "\". A whole
    // path in one text keeps a parsed file close to the size of its text.
    QString key;
    QString valueName;
    RegValue value;
    int line = 0; // where the file asks for it
};

// Parses .reg text: "REGEDIT4" or "Windows Registry Editor Version 5.00",
// UTF-16 with a byte-order mark or 8-bit (UTF-8 when valid, else Latin-1).
// On failure returns false with `error` as "line N: what is wrong".
bool parseRegText(const QByteArray& bytes, std::vector<RegEdit>* edits, QString* error);

enum class RegEditResult { Done, NotFound, TooLarge };
// Applies one edit to a tree whose top-level keys are the roots, with `size`
// its measure, which is kept up to date. An edit that would take the tree
// beyond kMaxKeyCount keys or kMaxRegTextLength characters changes nothing
// and is TooLarge; removing what is not there is NotFound.
RegEditResult applyRegEdit(RegKey& roots, const RegEdit& edit, RegTreeSize& size);
// Applies edits in order and stops at the first one that is TooLarge, with
// `error` as "line N: what is wrong"; the edits before it stay applied.
bool applyRegEdits(RegKey& roots, const std::vector<RegEdit>& edits, RegTreeSize& size, QString* error);

// Writes a tree whose top-level keys are the roots as UTF-8 .reg text that
// parseRegText reads back to the same tree.
QByteArray writeRegText(const RegKey& roots);
