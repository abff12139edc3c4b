#pragma once
// The button bar: a panel that lines up its child controls in the order in
// which they stand, left, right or centred, with fixed button height, and
// optionally stretches its separators to fill the bar or sizes itself to the
// buttons. It lays out again on every property change, on insertion, removal,
// showing, hiding, moving or resizing of a child, and when it is resized.

#include <QFrame>
#include <QPointer>

#include <vector>

// A gap between groups of buttons; with AutoSeparation the bar shares its
// free width between the separators.
class TKvSeparator : public QFrame
{
    Q_OBJECT
public:
    explicit TKvSeparator(QWidget* parent = nullptr);
};

class TKvBar : public QFrame
{
    Q_OBJECT
public:
    enum class TBarAlignment { Left, Right, Center };

    explicit TKvBar(QWidget* parent = nullptr);

    int ButtonHeight() const { return ButtonHeight_; }
    int ButtonWidth() const { return ButtonWidth_; }
    int ButtonMargin() const { return ButtonMargin_; }
    int ButtonTop() const { return ButtonTop_; }
    int ButtonSpacing() const { return ButtonSpacing_; }
    int ButtonMinWidth() const { return ButtonMinWidth_; }
    TBarAlignment Alignment() const { return Alignment_; }
    bool Autosize() const { return Autosize_; }
    bool AutoSeparation() const { return AutoSeparation_; }

    void SetButtonHeight(int value);
    // The width a new button of the bar takes (the bar's buttons read it).
    void SetButtonWidth(int value);
    void SetButtonMargin(int value);
    void SetButtonTop(int value);
    void SetButtonSpacing(int value);
    void SetButtonMinWidth(int value);
    void SetAlignment(TBarAlignment value);
    void SetAutosize(bool value);
    void SetAutoSeparation(bool value);

    // The listed controls in their current order.
    QList<QWidget*> Controls() const;
    // Orders the controls by their left edge and lays them out.
    void Realign();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Entry
    {
        QPointer<QWidget> Control;
        bool Placed; // laid out at least once; a new control goes to the end
    };

    template <typename T> void Set(T& field, T value);
    void Insert(QWidget* control);
    void Remove(QObject* control);
    void Layout();

    int ButtonHeight_ = 28;
    int ButtonWidth_ = 28;
    int ButtonMargin_ = 0;
    int ButtonTop_ = 4;
    int ButtonSpacing_ = 0;
    int ButtonMinWidth_ = 0;
    TBarAlignment Alignment_ = TBarAlignment::Left;
    bool Autosize_ = false;
    bool AutoSeparation_ = false;

    std::vector<Entry> List;
    bool Aligning = false;
};
