#pragma once
// Buttons bound to a typed action: the glyph (the action's image in its
// list's image list), hint, enabled and visible state follow the action, and
// a click executes it. Each button keeps a caption of its own apart from the
// action's and decides which one it shows.

#include <QPointer>
#include <QToolButton>

#include <functional>

class QAction;
class TTntCustomAction;

class TActionButton : public QToolButton
{
    Q_OBJECT
public:
    TTntCustomAction* Action() const { return Action_; }
    // Null unbinds the button; it then keeps its last glyph and does nothing.
    void SetAction(TTntCustomAction* action);

    // The button's own caption.
    QString Caption() const { return Caption_; }
    void SetCaption(const QString& caption);

    // A click handler of its own: when set, a click runs it instead of the
    // bound action, which still gives the glyph, hint and state.
    void SetOnClick(std::function<void()> handler) { OnClick_ = std::move(handler); }

    // A layout gives the button its bar size, and never less than a glyph
    // of kMinGlyph pixels needs.
    static constexpr int kMinGlyph = 16;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // Takes the size of the bar's buttons when its parent is a button bar.
    explicit TActionButton(QWidget* parent);

    // The text the button shows, from its own caption and the action's.
    virtual QString ShownCaption() const = 0;
    QString ActionCaption() const;
    // Shows the action's state and the chosen caption.
    void ActionChange();

    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<TTntCustomAction> Action_;
    QAction* Link = nullptr; // bound to the action while there is one; owned
    QMetaObject::Connection ActionGone;
    QString Caption_;
    std::function<void()> OnClick_;
};

// The button of the button bars. Its caption shows only with ShowCaption: its
// own caption when it has one, else the action's.
class TKvButton : public TActionButton
{
    Q_OBJECT
public:
    explicit TKvButton(QWidget* parent = nullptr);

    bool ShowCaption() const { return ShowCaption_; }
    void SetShowCaption(bool show);

protected:
    QString ShownCaption() const override;

private:
    bool ShowCaption_ = false;
};

// A flat button that shows the action's caption with LinkCaption, else its
// own caption.
class TKvImgSpeedButton : public TActionButton
{
    Q_OBJECT
public:
    explicit TKvImgSpeedButton(QWidget* parent = nullptr);

    bool LinkCaption() const { return LinkCaption_; }
    void SetLinkCaption(bool link);

protected:
    QString ShownCaption() const override;

private:
    bool LinkCaption_ = false;
};
