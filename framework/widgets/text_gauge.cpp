#include "framework/widgets/text_gauge.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Caption is user text: only "%d" (the value) and "%%" are formats in it.
QString FormatCaption(const QString& caption, int value)
{
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'%' && i + 1 < caption.size() && (caption[i + 1] == u'd' || caption[i + 1] == u'%')) {
            text += caption[i + 1] == u'd' ? QString::number(value) : QStringLiteral("%");
            ++i;
        } else {
            text += caption[i];
        }
    }
    return text;
}

} // namespace

TTextGauge::TTextGauge(QWidget* parent) : QWidget(parent)
{
    resize(100, 100);
}

template <typename T> void TTextGauge::Set(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    update();
}

void TTextGauge::SetGaugeKind(TGaugeKind kind)
{
    Set(GaugeKind_, kind);
}

void TTextGauge::SetShowText(bool show)
{
    Set(ShowText_, show);
}

void TTextGauge::SetTextKind(int kind)
{
    Set(TextKind_, kind);
}

void TTextGauge::SetBorderStyle(TGaugeBorderStyle style)
{
    Set(BorderStyle_, style);
}

void TTextGauge::SetForeColor(TColor color)
{
    Set(ForeColor_, color);
}

void TTextGauge::SetBackColor(TColor color)
{
    Set(BackColor_, color);
}

void TTextGauge::SetAlertValue(int value)
{
    Set(AlertValue_, value);
}

void TTextGauge::SetMinValue(int value)
{
    if (value > MaxValue_)
        throw EInvalidOperation("The gauge's minimum cannot exceed its maximum");
    MinValue_ = value;
    Progress_ = std::max(Progress_, value);
    update();
}

void TTextGauge::SetMaxValue(int value)
{
    if (value < MinValue_)
        throw EInvalidOperation("The gauge's maximum cannot be less than its minimum");
    MaxValue_ = value;
    Progress_ = std::min(Progress_, value);
    update();
}

void TTextGauge::SetProgress(int value)
{
    Set(Progress_, std::clamp(value, MinValue_, MaxValue_));
}

void TTextGauge::SetCaption(const QString& caption)
{
    Set(Caption_, caption);
}

double TTextGauge::Proportion() const
{
    if (MaxValue_ == MinValue_)
        return 0.0;
    return double(Progress_ - MinValue_) / (double(MaxValue_) - MinValue_);
}

int TTextGauge::PercentDone() const
{
    if (MaxValue_ == MinValue_)
        return 0;
    return int(100 * (qint64(Progress_) - MinValue_) / (qint64(MaxValue_) - MinValue_));
}

TColor TTextGauge::BarColor() const
{
    const bool alert = ((TextKind_ == tkPercent || TextKind_ == tkProgress) && Progress_ > AlertValue_) ||
                       ((TextKind_ == tkRemaining || TextKind_ == tkRemainingPercent) && Progress_ < AlertValue_);
    return alert ? AlertColor : ForeColor_;
}

QString TTextGauge::Text() const
{
    switch (TextKind_) {
    case tkPercent:
        return QString::number(PercentDone()) + u'%';
    case tkProgress:
        return FormatCaption(Caption_, Progress_);
    case tkRemaining:
        return FormatCaption(Caption_, MaxValue_ - Progress_);
    case tkRemainingPercent:
        return QString::number(100 - PercentDone()) + u'%';
    default:
        return QString();
    }
}

void TTextGauge::DrawFigure(QPainter& painter, const QRect& area) const
{
    const QColor bar = ColorToQColor(BarColor(), palette());
    const QColor back = ColorToQColor(BackColor_, palette());
    const double share = Proportion();
    switch (GaugeKind_) {
    case TGaugeKind::Text:
        break;
    case TGaugeKind::HorizontalBar: {
        const int filled = int(std::lround(share * area.width()));
        painter.fillRect(QRect(area.left(), area.top(), filled, area.height()), bar);
        break;
    }
    case TGaugeKind::VerticalBar: {
        const int filled = int(std::lround(share * area.height()));
        painter.fillRect(QRect(area.left(), area.bottom() + 1 - filled, area.width(), filled), bar);
        break;
    }
    case TGaugeKind::Pie: {
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF disc = QRectF(area).adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(back);
        painter.drawEllipse(disc);
        if (share > 0) {
            painter.setBrush(bar);
            painter.drawPie(disc, 90 * 16, -int(std::lround(share * 360 * 16)));
        }
        break;
    }
    case TGaugeKind::Needle: {
        // A half dial standing on the bottom edge; the needle sweeps it from
        // left (the minimum) to right (the maximum).
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(std::floor(area.left() + area.width() / 2.0) + 0.5, area.bottom() + 0.5);
        const double rx = area.width() / 2.0 - 1.5;
        const double ry = area.height() - 1.5;
        painter.setPen(QPen(QColor(160, 160, 164), 1));
        painter.drawArc(QRectF(centre.x() - rx, centre.y() - ry, 2 * rx, 2 * ry), 0, 180 * 16);
        const double angle = std::numbers::pi * (1.0 - share);
        painter.setPen(QPen(bar, 1.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre, centre + QPointF(rx * std::cos(angle), -ry * std::sin(angle)));
        break;
    }
    }
}

QImage TTextGauge::Render() const
{
    const QSize size = this->size();
    QImage figure(size, QImage::Format_RGB32);
    figure.fill(ColorToQColor(BackColor_, palette()));
    QRect area(QPoint(0, 0), size);
    {
        QPainter painter(&figure);
        if (BorderStyle_ == TGaugeBorderStyle::Single) {
            painter.setPen(Qt::black);
            painter.drawRect(area.adjusted(0, 0, -1, -1));
            area.adjust(1, 1, -1, -1);
        }
        painter.setClipRect(area);
        DrawFigure(painter, area);
    }
    if (ShowText_) {
        // White text on black, combined by exclusive-or: black leaves the
        // figure alone, white inverts it.
        QImage text(size, QImage::Format_RGB32);
        text.fill(Qt::black);
        {
            QPainter painter(&text);
            // Pure white pixels only: a grey edge would combine into a fringe
            // of unrelated colours.
            QFont solid = font();
            solid.setStyleStrategy(QFont::NoAntialias);
            painter.setFont(solid);
            painter.setPen(Qt::white);
            painter.drawText(area, Qt::AlignCenter, Text());
        }
        QPainter painter(&figure);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.drawImage(0, 0, text);
    }
    return figure;
}

void TTextGauge::paintEvent(QPaintEvent*)
{
    QPainter(this).drawImage(0, 0, Render());
}

TGaugeVolume::TGaugeVolume(QWidget* parent) : TTextGauge(parent)
{
    resize(48, 20);
    SetGaugeKind(TGaugeKind::Needle);
    SetMaxValue(10000);
    SetTextKind(tkPercent);
    SetBorderStyle(TGaugeBorderStyle::None);
    SetAlertValue(11000);
    SetBackColor(clWhite);
    SetForeColor(clWindowText);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(8);
    setFont(arial);
}
