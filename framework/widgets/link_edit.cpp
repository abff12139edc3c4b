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

// A link's anchor target: its kind, a colon and its target.
constexpr std::array kLinkPrefixes{std::pair{TLinkKind::Url, QLatin1StringView("url:")},
                                   std::pair{TLinkKind::Mail, QLatin1StringView("mail:")},
                                   std::pair{TLinkKind::Custom, QLatin1StringView("link:")}};

QString AnchorOf(TLinkKind kind, const QString& target)
{
    for (const auto& [linkKind, prefix] : kLinkPrefixes) {
        if (linkKind == kind)
            return prefix + target;
    }
    return {};
}

std::optional<TMarkupLink> LinkOfAnchor(const QString& anchor)
{
    for (const auto& [kind, prefix] : kLinkPrefixes) {
        if (anchor.startsWith(prefix))
            return TMarkupLink{kind, anchor.mid(prefix.size())};
    }
    return std::nullopt;
}

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

    void Run(const QString& markup)
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
        Format.setAnchor(true);
        Format.setAnchorHref(AnchorOf(kind, target));
        Open = OpenedLink{kind, target.isEmpty(), Cursor.position()};
    }

    // Ends the open link and puts back the colour and style it replaced.
    void CloseLink()
    {
        if (Open->TargetIsText) {
            // Without a parameter the link leads to its own text, known only now.
            QTextCursor range(Cursor.document());
            range.setPosition(Open->Start);
            range.setPosition(Cursor.position(), QTextCursor::KeepAnchor);
            QTextCharFormat anchor;
            anchor.setAnchorHref(AnchorOf(Open->Kind, range.selectedText()));
            range.mergeCharFormat(anchor);
        }
        Open.reset();
        Format.setAnchor(false);
        Format.clearProperty(QTextFormat::AnchorHref);
        Format.setForeground(Saved.foreground());
        Format.setFontWeight(Saved.fontWeight());
        Format.setFontItalic(Saved.fontItalic());
        Format.setFontUnderline(Saved.fontUnderline());
        Format.setFontStrikeOut(Saved.fontStrikeOut());
    }

    struct OpenedLink
    {
        TLinkKind Kind;
        bool TargetIsText;
        int Start;
    };

    QTextCursor Cursor;
    const TMarkupBase& Base;
    const QPalette& Palette;
    QTextCharFormat Format;
    QTextCharFormat Saved;
    std::optional<OpenedLink> Open;
};

} // namespace

void RenderMarkup(QTextDocument& document, const QString& markup, const TMarkupBase& base, const QPalette& palette)
{
    MarkupRenderer(document, base, palette).Run(markup);
}

std::optional<TMarkupLink> MarkupLinkOf(const QTextCharFormat& format)
{
    return format.isAnchor() ? LinkOfAnchor(format.anchorHref()) : std::nullopt;
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
    RenderMarkup(*document(), RichText_, base, palette());
}

std::optional<TMarkupLink> TLinkEdit::LinkAt(const QPoint& viewportPos) const
{
    return LinkOfAnchor(anchorAt(viewportPos));
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
