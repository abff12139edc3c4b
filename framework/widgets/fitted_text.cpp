#include "framework/widgets/fitted_text.h"

#include <QEvent>
#include <QLabel>
#include <QObject>
#include <QVariant>

#include <algorithm>

namespace {

constexpr char kWhole[] = "fittedText";
constexpr char kSide[] = "fittedSide";

void Fit(QLabel* label)
{
    const QString whole = label->property(kWhole).toString();
    const auto side = Qt::TextElideMode(label->property(kSide).toInt());
    // The label's own margins and indent take part of its width.
    const int room = label->contentsRect().width() - 2 * std::max(0, label->indent()) - 2 * label->margin();
    const QString shown = label->fontMetrics().elidedText(whole, side, std::max(0, room));
    label->setText(shown);
    label->setToolTip(whole);
}

// Fits each label it watches again when the label is resized.
class TRefitter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::FontChange)
            Fit(static_cast<QLabel*>(watched));
        return false;
    }
};

} // namespace

void SetFittedText(QLabel* label, const QString& text, Qt::TextElideMode side)
{
    if (!label->property(kWhole).isValid())
        label->installEventFilter(new TRefitter(label));
    label->setProperty(kWhole, text);
    label->setProperty(kSide, int(side));
    Fit(label);
}

QString FittedText(const QLabel* label)
{
    return label->property(kWhole).toString();
}
