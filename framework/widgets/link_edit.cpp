#include "framework/widgets/link_edit.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <array>

std::optional<TColor> MarkupColor(const QString& name)
{
    struct Named
    {
        const char* name;
        TColor color;
    };
    static constexpr std::array table{
        Named{"RED", clRed},
        Named{"GREEN", clGreen},
        Named{"YELLOW", clYellow},
        Named{"BLUE", clBlue},
        Named{"BLACK", clBlack},
        Named{"WHITE", clWhite},
        Named{"AQUA", clAqua},
        Named{"DKGRAY", clDkGray},
        Named{"OLIVE", clOlive},
        Named{"PURPLE", clPurple},
        Named{"FUCHSIA", clFuchsia},
        Named{"GRAY", clGray},
        Named{"LIME", clLime},
        Named{"MAROON", clMaroon},
        Named{"NAVY", clNavy},
        Named{"LTGRAY", clLtGray},
        Named{"MEDGRAY", RGB(160, 160, 164)},
        Named{"SILVER", clSilver},
        Named{"TEAL", clTeal},
        Named{"MONEYGREEN", clMoneyGreen},
        Named{"CREAM", clCream},
        Named{"SKYBLUE", clSkyBlue},
        Named{"BTNFACE", clBtnFace},
        Named{"APPWORKSPACE", clAppWorkSpace},
    };
    const QString upper = name.trimmed().toUpper();
    for (const Named& entry : table) {
        if (upper == QLatin1String(entry.name))
            return entry.color;
    }
    return std::nullopt;
}

namespace {

// Walks the mark-up once, inserting plain text with the current character
// format and turning each tag into a format change, a paragraph or a link.
class MarkupRenderer
{
public:
    MarkupRenderer(QTextDocument& document, const TMarkupBase& base, const QPalette& palette)
        : Cursor(&document), Base(base), Palette(palette)
    {
        document.clear();
        Format.setFont(base.Font);
        Format.setForeground(base.TextColor);
        QTextBlockFormat block;
        block.setAlignment(base.Alignment);
        Cursor.setBlockFormat(block);
        Cursor.setCharFormat(Format);
    }

    QList<TMarkupLink> Run(const QString& markup)
    {
        qsizetype i = 0;
        while (i < markup.size()) {
            const qsizetype open = markup.indexOf(u'<', i);
            const qsizetype close = open < 0 ? -1 : markup.indexOf(u'>', open + 1);
            if (close < 0) {
                // No complete tag left: the rest, "<" included, is text.
                Insert(markup.mid(i));
                break;
            }
            Insert(markup.mid(i, open - i));
            Tag(markup.mid(open + 1, close - open - 1));
            i = close + 1;
        }
        if (Open)
            CloseLink();
        return Links;
    }

private:
    void Insert(QString text)
    {
        if (text.isEmpty())
            return;
        // Hints and comments carry Windows line ends: each is one line break.
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        Cursor.insertText(text, Format);
    }

    void Tag(const QString& tag)
    {
        const QString trimmed = tag.trimmed();
        static const QRegularExpression whitespace(QStringLiteral("\\s"));
        const qsizetype blank = trimmed.indexOf(whitespace);
        const QString name = (blank < 0 ? trimmed : trimmed.left(blank)).toUpper();
        const QString param = blank < 0 ? QString() : trimmed.mid(blank + 1).trimmed();

        if (name == u"B")
            Format.setFontWeight(QFont::Bold);
        else if (name == u"/B")
            Format.setFontWeight(QFont::Normal);
        else if (name == u"I")
            Format.setFontItalic(true);
        else if (name == u"/I")
            Format.setFontItalic(false);
        else if (name == u"U")
            Format.setFontUnderline(true);
        else if (name == u"/U")
            Format.setFontUnderline(false);
        else if (name == u"S")
            Format.setFontStrikeOut(true);
        else if (name == u"/S")
            Format.setFontStrikeOut(false);
        else if (name == u"COLOR") {
            if (const auto color = MarkupColor(param))
                Format.setForeground(ColorToQColor(*color, Palette));
        } else if (name == u"/COLOR")
            Format.setForeground(Base.TextColor);
        else if (name == u"SIZE") {
            bool ok = false;
            const int size = param.toInt(&ok);
            if (ok && size > 0)
                Format.setFontPointSize(size);
        } else if (name == u"/SIZE")
            Format.setFontPointSize(Base.Font.pointSizeF());
        else if (name == u"FONT") {
            if (!param.isEmpty())
                Format.setFontFamilies({param});
        } else if (name == u"/FONT")
            Format.setFontFamilies(Base.Font.families().isEmpty() ? QStringList{Base.Font.family()}
                                                                  : Base.Font.families());
        else if (name == u"URL")
            OpenLink(TLinkKind::Url, param, Base.UrlColor);
        else if (name == u"MAIL")
            OpenLink(TLinkKind::Mail, param, Base.MailColor);
        else if (name == u"LINK")
            OpenLink(TLinkKind::Custom, param, Base.LinkColor);
        else if (name == u"/URL" || name == u"/MAIL" || name == u"/LINK") {
            if (Open)
                CloseLink();
        } else if (name == u"BR")
            Break(param.toUpper());
    }

    void Break(const QString& keyword)
    {
        Qt::Alignment alignment = Base.Alignment;
        if (keyword == u"LEFT")
            alignment = Qt::AlignLeft;
        else if (keyword == u"RIGHT")
            alignment = Qt::AlignRight;
        else if (keyword == u"CENTER")
            alignment = Qt::AlignHCenter;
        QTextBlockFormat block;
        block.setAlignment(alignment);
        Cursor.insertBlock(block, Format);
    }

    void OpenLink(TLinkKind kind, const QString& target, const QColor& color)
    {
        if (Open)
            CloseLink();
        Saved = Format;
        Format.setForeground(color);
        Format.setFontUnderline(true);
        Open = TMarkupLink{kind, target, Cursor.position(), 0};
    }

    // Ends the open link and puts back the colour and style it replaced.
    void CloseLink()
    {
        Open->End = Cursor.position();
        if (Open->Target.isEmpty()) {
            QTextCursor range(Cursor.document());
            range.setPosition(Open->Start);
            range.setPosition(Open->End, QTextCursor::KeepAnchor);
            Open->Target = range.selectedText();
        }
        Links.append(*Open);
        Open.reset();
        Format.setForeground(Saved.foreground());
        Format.setFontWeight(Saved.fontWeight());
        Format.setFontItalic(Saved.fontItalic());
        Format.setFontUnderline(Saved.fontUnderline());
        Format.setFontStrikeOut(Saved.fontStrikeOut());
    }

    QTextCursor Cursor;
    const TMarkupBase& Base;
    const QPalette& Palette;
    QTextCharFormat Format;
    QTextCharFormat Saved;
    std::optional<TMarkupLink> Open;
    QList<TMarkupLink> Links;
};

} // namespace

QList<TMarkupLink> RenderMarkup(QTextDocument& document, const QString& markup, const TMarkupBase& base,
                                const QPalette& palette)
{
    return MarkupRenderer(document, base, palette).Run(markup);
}

TLinkEdit::TLinkEdit(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::ArrowCursor);
}

void TLinkEdit::SetRichText(const QString& markup)
{
    RichText_ = markup;
    Render();
}

void TLinkEdit::SetUrlColor(TColor color)
{
    UrlColor_ = color;
    Render();
}

void TLinkEdit::SetMailColor(TColor color)
{
    MailColor_ = color;
    Render();
}

void TLinkEdit::SetLinkColor(TColor color)
{
    LinkColor_ = color;
    Render();
}

void TLinkEdit::SetAlignment(Qt::Alignment alignment)
{
    Alignment_ = alignment;
    Render();
}

void TLinkEdit::Render()
{
    const QPalette& colors = palette();
    TMarkupBase base{font(),
                     colors.color(QPalette::Text),
                     Alignment_,
                     ColorToQColor(UrlColor_, colors),
                     ColorToQColor(MailColor_, colors),
                     ColorToQColor(LinkColor_, colors)};
    Links_ = RenderMarkup(*document(), RichText_, base, palette());
}

std::optional<TMarkupLink> TLinkEdit::LinkAt(const QPoint& viewportPos) const
{
    const QPoint docPos = viewportPos + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int position = document()->documentLayout()->hitTest(docPos, Qt::ExactHit);
    if (position < 0)
        return std::nullopt;
    for (const TMarkupLink& link : Links_) {
        if (position >= link.Start && position < link.End)
            return link;
    }
    return std::nullopt;
}

const TLinkEdit::TLinkHintEvent& TLinkEdit::HintEvent(TLinkKind kind) const
{
    switch (kind) {
    case TLinkKind::Url:
        return OnUrlHint;
    case TLinkKind::Mail:
        return OnMailHint;
    case TLinkKind::Custom:
        break;
    }
    return OnCustomLinkHint;
}

const TLinkEdit::TLinkClickEvent& TLinkEdit::ClickEvent(TLinkKind kind) const
{
    switch (kind) {
    case TLinkKind::Url:
        return OnUrlClick;
    case TLinkKind::Mail:
        return OnMailClick;
    case TLinkKind::Custom:
        break;
    }
    return OnCustomLinkClick;
}

void TLinkEdit::mouseMoveEvent(QMouseEvent* event)
{
    const auto link = LinkAt(event->position().toPoint());
    if (link && HintEvent(link->Kind)) {
        viewport()->setCursor(Qt::PointingHandCursor);
        QString hint;
        HintEvent(link->Kind)(this, link->Target, hint);
        setToolTip(hint);
    } else {
        viewport()->setCursor(isReadOnly() ? Qt::ArrowCursor : Qt::IBeamCursor);
        setToolTip(QString());
    }
    QTextEdit::mouseMoveEvent(event);
}

void TLinkEdit::mousePressEvent(QMouseEvent* event)
{
    if (const auto link = LinkAt(event->position().toPoint())) {
        if (const TLinkClickEvent& click = ClickEvent(link->Kind)) {
            // The handler may close the window that holds this control.
            QPointer<TLinkEdit> self(this);
            click(this, link->Target);
            if (!self)
                return;
        }
    }
    QTextEdit::mousePressEvent(event);
}
