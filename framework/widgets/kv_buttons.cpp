#include "framework/widgets/kv_buttons.h"

#include "framework/actions/action_base.h"
#include "framework/widgets/kv_bar.h"

#include <QAction>

#include <algorithm>
#include <utility>

namespace {

// The glyph fills the button less this border; the drawings scale.
constexpr int kGlyphBorder = 8;
constexpr int kDefaultSide = 28;

} // namespace

TActionButton::TActionButton(QWidget* parent) : QToolButton(parent)
{
    const auto* bar = qobject_cast<TKvBar*>(parent);
    resize(bar ? bar->ButtonWidth() : kDefaultSide, bar ? bar->ButtonHeight() : kDefaultSide);
    connect(this, &QToolButton::clicked, this, [this] {
        if (OnClick_)
            OnClick_();
        else if (Link)
            Link->trigger();
    });
}

void TActionButton::SetAction(TTntCustomAction* action)
{
    if (action == Action_)
        return;
    disconnect(ActionGone);
    delete std::exchange(Link, nullptr); // ends the binding to the previous action
    Action_ = action;
    if (action) {
        Link = new QAction(this);
        action->Bind(Link);
        connect(Link, &QAction::changed, this, &TActionButton::ActionChange);
        ActionGone = connect(action, &QObject::destroyed, this, [this] {
            // The action is half destroyed and still watches its link: let
            // the link go once the action is gone.
            std::exchange(Link, nullptr)->deleteLater();
            ActionChange();
        });
    }
    ActionChange();
}

void TActionButton::SetCaption(const QString& caption)
{
    Caption_ = caption;
    ActionChange();
}

QString TActionButton::ActionCaption() const
{
    return Link ? Link->text() : QString();
}

void TActionButton::ActionChange()
{
    if (Link) {
        setIcon(Link->icon());
        setToolTip(Link->toolTip());
        setEnabled(Link->isEnabled());
        setVisible(Link->isVisible());
    }
    const QString caption = ShownCaption();
    setText(caption);
    setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
}

QSize TActionButton::sizeHint() const
{
    return QToolButton::sizeHint().expandedTo(QSize(kDefaultSide, kDefaultSide));
}

QSize TActionButton::minimumSizeHint() const
{
    const int side = kMinGlyph + kGlyphBorder;
    return QToolButton::minimumSizeHint().boundedTo(sizeHint()).expandedTo(QSize(side, side));
}

void TActionButton::resizeEvent(QResizeEvent* event)
{
    const int side = std::max(kMinGlyph, std::min(width(), height()) - kGlyphBorder);
    setIconSize(QSize(side, side));
    QToolButton::resizeEvent(event);
}

TKvButton::TKvButton(QWidget* parent) : TActionButton(parent) {}

void TKvButton::SetShowCaption(bool show)
{
    ShowCaption_ = show;
    ActionChange();
}

QString TKvButton::ShownCaption() const
{
    if (!ShowCaption_)
        return QString();
    return Caption().isEmpty() ? ActionCaption() : Caption();
}

TKvImgSpeedButton::TKvImgSpeedButton(QWidget* parent) : TActionButton(parent)
{
    setAutoRaise(true);
}

void TKvImgSpeedButton::SetLinkCaption(bool link)
{
    LinkCaption_ = link;
    ActionChange();
}

QString TKvImgSpeedButton::ShownCaption() const
{
    return LinkCaption_ && Action() ? ActionCaption() : Caption();
}
