#include "script/host/script_editor.h"

#include <Qsci/qscilexerpascal.h>

#include <QFont>
#include <QRegularExpression>

#include <initializer_list>
#include <vector>

namespace {

struct TClassLook
{
    std::vector<int> styles; // the lexer's styles the class covers
    QColor foreground;
    bool bold = false;
};

// The lexer's styles by class, and how each class writes its text.
const TClassLook& Look(TScriptEditor::THighlightClass cls)
{
    using L = QsciLexerPascal;
    static const TClassLook looks[TScriptEditor::hcCount] = {
        {{L::Default}, Qt::black},
        {{L::Identifier}, Qt::black},
        {{L::Comment, L::CommentParenthesis, L::CommentLine}, QColor(0, 128, 0)},
        {{L::PreProcessor, L::PreProcessorParenthesis}, QColor(128, 0, 128)},
        {{L::Number}, QColor(0, 0, 192)},
        {{L::HexNumber}, QColor(0, 0, 192)},
        {{L::Keyword}, QColor(0, 0, 128), true},
        {{L::SingleQuotedString, L::UnclosedString}, QColor(160, 0, 0)},
        {{L::Character}, QColor(160, 0, 0)},
        {{L::Operator}, Qt::black},
        {{L::Asm}, QColor(128, 64, 0)},
    };
    return looks[cls];
}

const QRegularExpression& LineEnd()
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    return lineEnd;
}

} // namespace

TScriptEditor::TScriptEditor(QWidget* parent) : QsciScintilla(parent), FLexer(new QsciLexerPascal(this))
{
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    FLexer->setDefaultFont(font);
    FLexer->setFont(font);
    for (int cls = 0; cls < hcCount; ++cls) {
        const TClassLook& look = Look(static_cast<THighlightClass>(cls));
        QFont classFont = font;
        classFont.setBold(look.bold);
        for (int style : look.styles) {
            FLexer->setColor(look.foreground, style);
            FLexer->setFont(classFont, style);
        }
    }
    setLexer(FLexer);
    setUtf8(true);
    setEolMode(EolUnix);
    setMarginWidth(0, 0);
    setMarginWidth(1, 0);
}

void TScriptEditor::SetBackground(const QColor& color)
{
    FLexer->setDefaultPaper(color);
    FLexer->setPaper(color);
    setPaper(color);
}

QColor TScriptEditor::ClassBackground(THighlightClass cls) const
{
    return FLexer->paper(Look(cls).styles.front());
}

QColor TScriptEditor::ClassForeground(THighlightClass cls) const
{
    return FLexer->color(Look(cls).styles.front());
}

QStringList TScriptEditor::SplitLines(const QString& text)
{
    QStringList lines = text.isEmpty() ? QStringList() : text.split(LineEnd());
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TScriptEditor::JoinLines(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + u'\n';
    return text;
}

QStringList TScriptEditor::Lines() const
{
    const QString shown = text();
    return shown.isEmpty() ? QStringList() : shown.split(LineEnd());
}

void TScriptEditor::SetLines(const QStringList& lines)
{
    setText(lines.join(u'\n'));
}

void TScriptEditor::AppendLine(const QString& line)
{
    if (text().isEmpty())
        setText(line);
    else
        append(u'\n' + line);
}
