#pragma once
// Puts a value into a control without its change signal, so that showing a
// value an action applied does not set the action again.

#include <QSignalBlocker>

template <class Control, class Set> void Quietly(Control* control, Set&& set)
{
    const QSignalBlocker quiet(control);
    set(control);
}
