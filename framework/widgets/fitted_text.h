#pragma once
// Labels whose text may be wider than the room a window of the smallest size
// leaves them: the text is shortened with an ellipsis where it would be cut,
// the whole of it is the label's tool tip, and it is fitted again each time
// the label changes size.

#include <QString>
#include <Qt>

class QLabel;

// Shows `text` in `label`, shortened at `side` (the start, the middle or the
// end) when it does not fit the label's width.
void SetFittedText(QLabel* label, const QString& text, Qt::TextElideMode side = Qt::ElideRight);

// The text last given to SetFittedText, whole.
QString FittedText(const QLabel* label);
