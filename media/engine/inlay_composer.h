#pragma once
// The inlay's picture: up to eight lines of outlined text drawn at their
// place over the key colour, in a bitmap of the video picture's size that
// the renderer mixes over the video. Each line is drawn once for its text
// and style and stamped again while it is shown unchanged.
//
// GUI thread only; nothing here knows the renderer.

#include "framework/actions/action_types.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>

#include <array>

class QPainter;

// One line of the inlay.
struct TInsertLine
{
    QString Text;
    // Fractions of the picture's width and height.
    float XOffset = 0;
    float YOffset = 0;
    bool Visible = false;
    // The vertical offset is added to the running line position instead of
    // replacing it.
    bool Stacked = true;
    // 0 left, 1 right, 2 centre.
    int Alignment = 0;
};

class TInlayComposer
{
public:
    static constexpr int kLineCount = 8;
    // The position is in this fraction of the picture's width and height.
    static constexpr int kPositionScale = 10000;

    // Arial 16 in navy; the first line "Write an inlay", shown and not
    // stacked; the others hidden and stacked.
    TInlayComposer();

    // The style of every line.
    TFont Font;
    // Outline width in pixels and its colour.
    int BorderWidth = 2;
    TColor BorderColor = clBlack;
    // What is not text; the renderer lets the video through there.
    TColor TransparentColor = clFuchsia;
    // Smoothed letters over the outline.
    bool AntiAliasing = true;
    // Where the first line starts, in kPositionScale parts of the picture.
    TPoint Position;
    // The font size follows the picture's size.
    bool AutoSize = false;
    std::array<TInsertLine, kLineCount> Lines;

    // The subtitle shown with the lines: centred near the foot of the
    // picture, white letters outlined in black at a size that follows the
    // picture's height; "\n" breaks it. A line wider than the picture ends
    // in an ellipsis at its edge; lines above its top are left out.
    QString Subtitle;

    int AlignLines() const { return FAlignLines; }
    // Also gives every line that alignment when it is 0, 1 or 2.
    void SetAlignLines(int alignment);

    // Draws the visible lines (with `lines`) and the subtitle into
    // `bitmap`, which becomes width x height on the key colour.
    void Compose(QImage& bitmap, int width, int height, bool lines = true);

private:
    // A line of outlined text, drawn once for its text and style.
    struct LineKey
    {
        QString text;
        QString font;
        QRgb colour;
        QRgb outline;
        int width;
        bool antialias;
        friend bool operator==(const LineKey&, const LineKey&) = default;
        friend size_t qHash(const LineKey& key, size_t seed = 0)
        {
            return qHashMulti(seed, key.text, key.font, key.colour, key.outline, key.width, key.antialias);
        }
    };
    struct LineImage
    {
        QImage image;
        // Where the text's cell starts in the image, and its size.
        QPoint origin;
        int advance = 0;
        int height = 0;
    };
    using LineCache = QHash<LineKey, LineImage>;
    // How a line is drawn.
    struct LineStyle
    {
        QFont font;
        QColor colour;
        QColor outline;
        int width;
        bool antialias;
    };
    // The line from the cache, or drawn; either way kept in `next`.
    const LineImage& OutlinedLine(const QString& text, const LineStyle& style, LineCache& next);
    void DrawSubtitle(QPainter& painter, int width, int height, LineCache& next);

    int FAlignLines = 0;
    LineCache FLineCache;
};
