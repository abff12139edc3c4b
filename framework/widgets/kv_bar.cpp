#include "framework/widgets/kv_bar.h"

#include <QChildEvent>
#include <QEvent>

#include <algorithm>
#include <climits>

namespace {

// Hidden by its own choice; a control of a bar that is not shown yet counts as
// visible.
bool Hidden(const QWidget* control)
{
    return control->isHidden() && control->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

} // namespace

TKvSeparator::TKvSeparator(QWidget* parent) : QFrame(parent)
{
    // No bevel and no border: the parent's colour shows through.
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(false);
    resize(8, 28);
}

TKvBar::TKvBar(QWidget* parent) : QFrame(parent) {}

template <typename T> void TKvBar::Set(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    Realign();
}

void TKvBar::SetButtonHeight(int value)
{
    Set(ButtonHeight_, value);
}

void TKvBar::SetButtonWidth(int value)
{
    Set(ButtonWidth_, value);
}

void TKvBar::SetButtonMargin(int value)
{
    Set(ButtonMargin_, value);
}

void TKvBar::SetButtonTop(int value)
{
    Set(ButtonTop_, value);
}

void TKvBar::SetButtonSpacing(int value)
{
    Set(ButtonSpacing_, value);
}

void TKvBar::SetButtonMinWidth(int value)
{
    Set(ButtonMinWidth_, value);
}

void TKvBar::SetAlignment(TBarAlignment value)
{
    Set(Alignment_, value);
}

void TKvBar::SetAutosize(bool value)
{
    Set(Autosize_, value);
}

void TKvBar::SetAutoSeparation(bool value)
{
    Set(AutoSeparation_, value);
}

QList<QWidget*> TKvBar::Controls() const
{
    QList<QWidget*> controls;
    for (const Entry& entry : List) {
        if (entry.Control)
            controls.append(entry.Control);
    }
    return controls;
}

bool TKvBar::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (auto* control = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            Insert(control);
        break;
    case QEvent::ChildRemoved:
        Remove(static_cast<QChildEvent*>(event)->child());
        break;
    case QEvent::ChildPolished: // a new control is fully built: its size counts now
        Realign();
        break;
    default:
        break;
    }
    return QFrame::event(event);
}

bool TKvBar::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::Move:
    case QEvent::Resize:
        if (watched->parent() == this)
            Realign();
        break;
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}

void TKvBar::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    Realign();
}

void TKvBar::Insert(QWidget* control)
{
    if (control->isWindow())
        return;
    // The child is still being built: watch it and lay out once it is ready.
    List.push_back({control, false});
    control->installEventFilter(this);
}

void TKvBar::Remove(QObject* control)
{
    control->removeEventFilter(this);
    std::erase_if(List, [control](const Entry& entry) { return !entry.Control || entry.Control == control; });
    Realign();
}

void TKvBar::Realign()
{
    if (Aligning)
        return;
    Aligning = true;
    std::erase_if(List, [](const Entry& entry) { return !entry.Control; });
    // Controls keep the order in which they stand; ties keep the list order.
    std::stable_sort(List.begin(), List.end(), [](const Entry& a, const Entry& b) {
        const int left = a.Placed ? a.Control->x() : INT_MAX;
        const int right = b.Placed ? b.Control->x() : INT_MAX;
        return left < right;
    });
    Layout();
    Aligning = false;
}

void TKvBar::Layout()
{
    int total = 2 * ButtonMargin_ - ButtonSpacing_;
    int fixed = total;
    int separators = 0;
    for (const Entry& entry : List) {
        if (Hidden(entry.Control))
            continue;
        const int step = entry.Control->width() + ButtonSpacing_;
        total += step;
        if (qobject_cast<TKvSeparator*>(entry.Control))
            ++separators;
        else
            fixed += step;
    }

    if (AutoSeparation_ && separators > 0) {
        const int gap = std::max(0, (width() - fixed) / separators);
        total = fixed;
        for (const Entry& entry : List) {
            if (auto* separator = qobject_cast<TKvSeparator*>(entry.Control)) {
                separator->resize(gap, separator->height());
                if (!Hidden(separator))
                    total += gap + ButtonSpacing_;
            }
        }
    }

    int x = ButtonMargin_;
    if (Alignment_ == TBarAlignment::Right)
        x = width() - total;
    else if (Alignment_ == TBarAlignment::Center)
        x = (width() - total) / 2;

    for (Entry& entry : List) {
        QWidget* control = entry.Control;
        entry.Placed = true;
        if (Hidden(control)) {
            control->move(x, control->y());
            continue;
        }
        control->setGeometry(x, ButtonTop_, std::max(control->width(), ButtonMinWidth_), ButtonHeight_);
        x += control->width() + ButtonSpacing_;
    }

    if (Autosize_)
        resize(ButtonMargin_ + x, 2 * ButtonTop_ + ButtonHeight_);
}
