#pragma once
// The editor of the script window: the script language highlighted in
// eleven classes, each with a background of its own, in a fixed-pitch font.
// The text is kept as lines, as the script component reads it.

#include <Qsci/qsciscintilla.h>

#include <QColor>
#include <QStringList>

class QsciLexerPascal;

class TScriptEditor : public QsciScintilla
{
    Q_OBJECT
public:
    // The highlighting classes.
    enum THighlightClass {
        hcSpace,
        hcIdentifier,
        hcComment,
        hcDirective,
        hcNumber,
        hcHexNumber,
        hcKeyword,
        hcString,
        hcCharacter,
        hcSymbol,
        hcAsm,
        hcCount
    };

    explicit TScriptEditor(QWidget* parent = nullptr);

    // Gives the editor and every highlighting class the background `color`.
    void SetBackground(const QColor& color);
    QColor ClassBackground(THighlightClass cls) const;
    QColor ClassForeground(THighlightClass cls) const;

    // The lines the editor shows, without their ends (none when empty).
    QStringList Lines() const;
    void SetLines(const QStringList& lines);
    // Adds `line` after the last line.
    void AppendLine(const QString& line);

    // The lines of a file, whatever its line ends: the end of its last line
    // starts no line of its own.
    static QStringList SplitLines(const QString& text);
    // The text of a file: every line followed by its end.
    static QString JoinLines(const QStringList& lines);

private:
    QsciLexerPascal* FLexer;
};
