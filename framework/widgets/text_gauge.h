#pragma once
// A gauge that shows a value between a minimum and a maximum as text, a bar,
// a pie or a needle, with a text drawn over the figure by exclusive-or so that
// it stays readable on both. The bar turns to the alert colour past AlertValue.

#include "platform/rtl/color.h"

#include <QString>
#include <QWidget>

#include <stdexcept>

// Raised by a setter that would make the control's state inconsistent.
class EInvalidOperation : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

enum class TGaugeKind { Text, HorizontalBar, VerticalBar, Pie, Needle };
enum class TGaugeBorderStyle { None, Single };

class TTextGauge : public QWidget
{
    Q_OBJECT
public:
    // Text kinds: the percentage; Caption formatted with the progress; Caption
    // formatted with what remains up to the maximum; the remaining percentage.
    // The first two alert above AlertValue, the last two below it.
    enum TextKinds { tkPercent = 0, tkProgress = 1, tkRemaining = 2, tkRemainingPercent = 3 };

    static constexpr TColor AlertColor = RGB(238, 162, 162);

    explicit TTextGauge(QWidget* parent = nullptr);

    TGaugeKind GaugeKind() const { return GaugeKind_; }
    bool ShowText() const { return ShowText_; }
    int TextKind() const { return TextKind_; }
    TGaugeBorderStyle BorderStyle() const { return BorderStyle_; }
    TColor ForeColor() const { return ForeColor_; }
    TColor BackColor() const { return BackColor_; }
    int AlertValue() const { return AlertValue_; }
    int MinValue() const { return MinValue_; }
    int MaxValue() const { return MaxValue_; }
    int Progress() const { return Progress_; }
    QString Caption() const { return Caption_; }

    void SetGaugeKind(TGaugeKind kind);
    void SetShowText(bool show);
    void SetTextKind(int kind);
    void SetBorderStyle(TGaugeBorderStyle style);
    void SetForeColor(TColor color);
    void SetBackColor(TColor color);
    void SetAlertValue(int value);
    // Raise EInvalidOperation and change nothing when the minimum would pass
    // the maximum.
    void SetMinValue(int value);
    void SetMaxValue(int value);
    // Kept within the minimum and the maximum.
    void SetProgress(int value);
    // A format with one %d.
    void SetCaption(const QString& caption);

    // Share of the range reached, 0 to 1; 0 when the range is empty.
    double Proportion() const;
    int PercentDone() const;
    TColor BarColor() const;
    QString Text() const;
    // The whole control as drawn on screen.
    QImage Render() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <typename T> void Set(T& field, const T& value);
    void DrawFigure(QPainter& painter, const QRect& area) const;

    TGaugeKind GaugeKind_ = TGaugeKind::HorizontalBar;
    bool ShowText_ = true;
    int TextKind_ = tkPercent;
    TGaugeBorderStyle BorderStyle_ = TGaugeBorderStyle::Single;
    TColor ForeColor_ = clMoneyGreen;
    TColor BackColor_ = clWhite;
    int AlertValue_ = 80;
    int MinValue_ = 0;
    int MaxValue_ = 100;
    int Progress_ = 0;
    QString Caption_ = QStringLiteral("%d");
};

// The volume display: a small needle over 0..10000 that never alerts.
class TGaugeVolume : public TTextGauge
{
    Q_OBJECT
public:
    explicit TGaugeVolume(QWidget* parent = nullptr);
};
