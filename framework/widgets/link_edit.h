#pragma once
// A read-only rich-text label that shows a small tag mark-up and three kinds
// of links (web, mail and custom) whose hints and clicks the owner handles.
//
// Mark-up: text outside angle brackets is shown as it stands; a tag is
// "<NAME parameter>", the name compared without regard to case:
//   B /B, I /I, U /U, S /S    bold, italic, underline, strike-out on and off
//   COLOR name, /COLOR        a colour of the table (unknown names change nothing)
//   SIZE n, /SIZE             font size in points
//   FONT name, /FONT          font family
//   URL t, MAIL t, LINK t     a link to t up to /URL, /MAIL or /LINK (t empty:
//                             the enclosed text), drawn in the link colour
//   BR [LEFT|RIGHT|CENTER]    line break; the new paragraph takes the alignment
// The control itself opens nothing.

#include "platform/rtl/color.h"

#include <QColor>
#include <QString>
#include <QTextEdit>

#include <functional>
#include <optional>

class QPalette;
class QTextDocument;

enum class TLinkKind { Url, Mail, Custom };

struct TMarkupLink
{
    TLinkKind Kind;
    QString Target;
};

class QTextCharFormat;

// What the mark-up starts from and returns to with the closing tags.
struct TMarkupBase
{
    QFont Font;
    QColor TextColor;
    Qt::Alignment Alignment = Qt::AlignLeft;
    QColor UrlColor;
    QColor MailColor;
    QColor LinkColor;
};

// The colour a COLOR tag names (case-insensitive), or none for a name outside
// the table.
std::optional<TColor> MarkupColor(const QString& name);

// Replaces the document's content by the rendered mark-up. The text of a link
// is an anchor of the document, whose target tells the link's kind and
// target. System colours are taken from the palette.
void RenderMarkup(QTextDocument& document, const QString& markup, const TMarkupBase& base, const QPalette& palette);
// The link a character of rendered mark-up belongs to, if any.
std::optional<TMarkupLink> MarkupLinkOf(const QTextCharFormat& format);

class TLinkEdit : public QTextEdit
{
    Q_OBJECT
public:
    using TLinkHintEvent = std::function<void(TLinkEdit* sender, const QString& link, QString& linkhint)>;
    using TLinkClickEvent = std::function<void(TLinkEdit* sender, const QString& link)>;

    explicit TLinkEdit(QWidget* parent = nullptr);

    QString RichText() const { return RichText_; }
    void SetRichText(const QString& markup);

    TColor UrlColor() const { return UrlColor_; }
    TColor MailColor() const { return MailColor_; }
    TColor LinkColor() const { return LinkColor_; }
    void SetUrlColor(TColor color);
    void SetMailColor(TColor color);
    void SetLinkColor(TColor color);

    // The alignment of the first paragraph and of a line break without a
    // keyword.
    Qt::Alignment Alignment() const { return Alignment_; }
    void SetAlignment(Qt::Alignment alignment);

    // The link whose text holds the character at a viewport position, if any.
    std::optional<TMarkupLink> LinkAt(const QPoint& viewportPos) const;

    TLinkHintEvent OnUrlHint;
    TLinkHintEvent OnMailHint;
    TLinkHintEvent OnCustomLinkHint;
    TLinkClickEvent OnUrlClick;
    TLinkClickEvent OnMailClick;
    TLinkClickEvent OnCustomLinkClick;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Render();
    const TLinkHintEvent& HintEvent(TLinkKind kind) const;
    const TLinkClickEvent& ClickEvent(TLinkKind kind) const;

    QString RichText_;
    TColor UrlColor_ = clBlue;
    TColor MailColor_ = clBlue;
    TColor LinkColor_ = clBlue;
    Qt::Alignment Alignment_ = Qt::AlignLeft;
};
