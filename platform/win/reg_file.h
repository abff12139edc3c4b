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

    const RegValue* value(const QString& valueName) const;
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
// not start with a root or a name is not allowed.
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

// One change that a .reg file asks for, in file order.
struct RegEdit
{
    enum Kind { AddKey, RemoveKey, SetValue, RemoveValue };
    Kind kind;
    QStringList path; // starts with a canonical root name
    QString valueName;
    RegValue value;
};

// Parses .reg text: "REGEDIT4" or "Windows Registry Editor Version 5.00",
// UTF-16 with a byte-order mark or 8-bit (UTF-8 when valid, else Latin-1).
// On failure returns false with `error` as "line N: what is wrong".
bool parseRegText(const QByteArray& bytes, std::vector<RegEdit>* edits, QString* error);

// Applies parsed edits to a tree whose top-level keys are the roots.
void applyRegEdits(RegKey& roots, const std::vector<RegEdit>& edits);

// Writes a tree whose top-level keys are the roots as UTF-8 .reg text that
// parseRegText reads back to the same tree.
QByteArray writeRegText(const RegKey& roots);
