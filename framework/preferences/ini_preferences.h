#pragma once
// The ini-file store of the portable mode: the file beside the program, in
// UTF-16 little-endian with a byte-order mark and CR LF line ends. Sections
// are "[" path "]" lines, the nested key names of the path joined by "\";
// the root section is "[]". A value is a "name=value" line of its section.
// Names of sections and values compare without regard to case; Booleans are
// "True" and "False" exactly.
//
// All lines are kept in memory; the file is written whole, through a
// temporary file renamed over it, at EndUpdate and when the store goes away
// with unsaved changes. A store on a file that does not exist yet has one
// unsaved change: the file itself.

#include "framework/preferences/preferences_man.h"

#include <QByteArray>

class TIniPreferencesMan final : public TPreferencesMan
{
public:
    // Loads the file, or starts with the root section alone when there is
    // none; stands on the root, appending it when the file lacks it. An empty
    // file name keeps everything in memory. What is not a regular file, or
    // is larger than any settings file (16 MB), is not read: the store then
    // starts empty and LoadError says why.
    explicit TIniPreferencesMan(const QString& fileName);
    // A store over the given text, as if it had been read from a file.
    TIniPreferencesMan(const QString& fileName, const QByteArray& content);
    ~TIniPreferencesMan() override;
    TIniPreferencesMan(const TIniPreferencesMan&) = delete;
    TIniPreferencesMan& operator=(const TIniPreferencesMan&) = delete;

    bool GetValueNames(QStringList& list) override;
    // The sections below the current one, with their paths relative to it.
    bool GetKeyNames(QStringList& list) override;
    // Always makes a missing section, whatever CanCreate says, so a compound
    // value that is only read gets its empty section at once.
    bool OpenKey(const QString& name, bool CanCreate) override;
    bool CloseKey() override;
    bool DeleteKey(const QString& name) override;
    bool WriteString(const QString& name, const QString& value) override;
    bool ReadString(const QString& name, QString& value) override;
    bool DeleteValue(const QString& name) override;
    bool WriteBool(const QString& name, bool value) override;
    bool ReadBool(const QString& name, bool& value) override;
    bool WriteInteger(const QString& name, int value) override;
    bool ReadInteger(const QString& name, int& value) override;
    bool WriteFloat(const QString& name, double value) override;
    bool ReadFloat(const QString& name, double& value) override;

    // Writes the file when something changed.
    bool EndUpdate(QString& error) override;

    QString FileName() const { return FFileName; }
    const QStringList& Lines() const { return FLines; }
    QString CurrentPath() const { return FPath; }
    // Why an existing file could not be read; empty when it was read. Such a
    // file is never overwritten.
    QString LoadError() const override { return FLoadError; }

    // The lines of a file's text: UTF-16 or UTF-8 by its byte-order mark,
    // UTF-8 without one; CR LF, LF or CR end a line.
    static QStringList DecodeLines(const QByteArray& content);
    // UTF-16 little-endian with its byte-order mark, every line ended by CR LF.
    static QByteArray EncodeLines(const QStringList& lines);

private:
    void Load(const QByteArray& content);
    bool Save(QString& error);
    // Stands on the section `path`, appending a blank line and its header
    // at the end when it is missing.
    bool Enter(const QString& path);
    int FindHeader(const QString& path) const;
    // One past the last line of the current section.
    int SectionEnd() const;
    // The line of a value of the current section, or -1.
    int FindValue(const QString& name) const;

    QString FFileName;
    QString FLoadError; // set when an existing file could not be read; it is then never overwritten
    QStringList FLines;
    QString FPath;
    int FSection = 0; // index of the current section's header line
    bool FChanged = false;
};
