#include "media/engine/inlay_composer.h"

#include "platform/rtl/numbers.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// The subtitle's letters are this part of the picture's height, at least
// the smallest size read without effort; its foot this part above the
// picture's.
constexpr int kSubtitleHeightParts = 14;
constexpr int kSubtitleMinSize = 12;
constexpr int kSubtitleMarginParts = 24;

} // namespace

TInlayComposer::TInlayComposer()
{
    Font.Name = QStringLiteral("Arial");
    Font.Size = 16;
    Font.Color = clNavy;
    Lines[0].Text = QStringLiteral("Write an inlay");
    Lines[0].Visible = true;
    Lines[0].Stacked = false;
}

void TInlayComposer::SetAlignLines(int alignment)
{
    FAlignLines = alignment;
    if (alignment >= 0 && alignment <= 2) {
        for (TInsertLine& line : Lines)
            line.Alignment = alignment;
    }
}

const TInlayComposer::LineImage& TInlayComposer::OutlinedLine(const QString& text, const LineStyle& style,
                                                              LineCache& next)
{
    const QFont& font = style.font;
    const int width = std::max(0, style.width);
    const LineKey key{text, font.key(), style.colour.rgb(), style.outline.rgb(), width, style.antialias};
    if (const auto found = next.constFind(key); found != next.cend())
        return *found;
    if (const auto found = FLineCache.constFind(key); found != FLineCache.cend())
        return *next.insert(key, *found);

    // Measured as drawn: the same text in the same font.
    const QFontMetrics metrics(font);
    LineImage line;
    line.advance = metrics.horizontalAdvance(text);
    line.height = metrics.height();
    // Room for glyphs that reach past their advance (italics, overhangs).
    const int slack = metrics.height() / 2;
    line.origin = QPoint(width + slack, width);
    line.image =
        QImage(line.advance + 2 * (width + slack), line.height + 2 * width, QImage::Format_ARGB32_Premultiplied);
    line.image.fill(Qt::transparent);
    const QPoint baseline = line.origin + QPoint(0, metrics.ascent());

    QPainter painter(&line.image);
    if (width > 0) {
        // The outline: the text in the outline colour, unsmoothed, at every
        // offset outside the diamond |dx| + |dy| <= width. It is drawn once
        // and stamped, which gives the same pixels as drawing it each time.
        QImage stamp(line.image.size(), QImage::Format_ARGB32_Premultiplied);
        stamp.fill(Qt::transparent);
        {
            QFont hard = font;
            hard.setStyleStrategy(QFont::NoAntialias);
            QPainter stampPainter(&stamp);
            stampPainter.setRenderHint(QPainter::TextAntialiasing, false);
            stampPainter.setFont(hard);
            stampPainter.setPen(style.outline);
            stampPainter.drawText(baseline, text);
        }
        for (int dy = -width; dy <= width; ++dy) {
            for (int dx = -width; dx <= width; ++dx) {
                if (std::abs(dx) + std::abs(dy) > width)
                    painter.drawImage(dx, dy, stamp);
            }
        }
    }
    // Smoothed only over an outline: smoothed edges over the key colour would
    // leave a fringe of neither colour around the letters.
    const bool smooth = style.antialias && width > 0;
    QFont face = font;
    face.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
    painter.setRenderHint(QPainter::TextAntialiasing, smooth);
    painter.setFont(face);
    painter.setPen(style.colour);
    painter.drawText(baseline, text);
    painter.end();
    return *next.insert(key, std::move(line));
}

void TInlayComposer::Compose(QImage& bitmap, int width, int height, bool lines)
{
    const qint64 w = width, h = height;
    // The renderer keeps the last inlay given to it: painting over it would
    // first copy it, only to fill the copy.
    if (bitmap.size() != QSize(width, height) || !bitmap.isDetached())
        bitmap = QImage(width, height, QImage::Format_RGB32);

    TFont font = Font;
    if (AutoSize)
        font.Size = std::max<int>(height / 28, width / 36);
    const LineStyle style{font.toQFont(), ColorToQColor(Font.Color), ColorToQColor(BorderColor), BorderWidth,
                          AntiAliasing};
    const qint64 x0 = qint64(Position.X) * w / kPositionScale;
    const qint64 y0 = qint64(Position.Y) * h / kPositionScale;
    const int outline = std::max(0, BorderWidth);

    bitmap.fill(ColorToQColor(TransparentColor));
    // Only the lines drawn now stay cached, so a text that changes with
    // every frame does not pile up images.
    LineCache drawn;
    {
        QPainter painter(&bitmap);
        qint64 y = 0;
        for (const TInsertLine& line : Lines) {
            if (!lines || !line.Visible)
                continue;
            // Offsets round half to even, as every rounding of the program.
            const qint64 offsetY = Round(double(h) * line.YOffset);
            y = line.Stacked ? y + offsetY : offsetY;
            const LineImage& image = OutlinedLine(line.Text, style, drawn);
            qint64 x = Round(double(w) * line.XOffset);
            if (line.Alignment == 1)
                x -= image.advance;
            else if (line.Alignment == 2)
                x -= image.advance / 2;
            // The text's cell starts one outline width in from the position.
            const QPoint cell(int(x0 + x + outline), int(y0 + y + outline));
            painter.drawImage(cell - image.origin, image.image);
            y += image.height;
        }
        if (!Subtitle.isEmpty())
            DrawSubtitle(painter, width, height, drawn);
    }
    FLineCache = std::move(drawn);
}

void TInlayComposer::DrawSubtitle(QPainter& painter, int width, int height, LineCache& next)
{
    // A colour of the letters that is the key colour would let the video
    // through them: it moves by one step.
    const QRgb key = ColorToQColor(TransparentColor).rgb() & RGB_MASK;
    const auto unlike = [key](QColor colour) {
        if ((colour.rgb() & RGB_MASK) == key)
            colour.setBlue(colour.blue() ^ 1);
        return colour;
    };
    QFont face(QStringLiteral("Arial"));
    const int size = std::max(kSubtitleMinSize, height / kSubtitleHeightParts);
    face.setPixelSize(size);
    // Unsmoothed: smoothed edges over the key colour would fringe the
    // letters with it wherever the outline leaves a gap.
    const LineStyle style{face, unlike(Qt::white), unlike(Qt::black), std::max(2, size / 10), false};

    // From the foot up, each line centred; what would be past the picture's
    // sides is cut off with an ellipsis, and lines above its top are not
    // drawn, so no line's image is larger than the picture.
    const QStringList lines = Subtitle.split(u'\n');
    const QFontMetrics metrics(face);
    int bottom = height - height / kSubtitleMarginParts;
    for (auto line = lines.crbegin(); line != lines.crend() && bottom > 0; ++line) {
        const LineImage& image = OutlinedLine(metrics.elidedText(*line, Qt::ElideRight, width), style, next);
        bottom -= image.height;
        const QPoint cell((width - image.advance) / 2, bottom);
        painter.drawImage(cell - image.origin, image.image);
    }
}
