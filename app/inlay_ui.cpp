#include "app/inlay_ui.h"

#include <QColorDialog>

std::optional<TColor> TQtInlayUi::ChooseColor(TColor initial, const QString& title)
{
    const QColor colour = QColorDialog::getColor(ColorToQColor(initial), FParent, title);
    if (!colour.isValid())
        return std::nullopt;
    return QColorToColor(colour);
}
