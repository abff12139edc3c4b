#pragma once
// What the inlay settings ask of the user: a colour. The window talks only to
// this interface, so tests answer it without a dialog.

#include "platform/rtl/color.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class TInlayUi
{
public:
    virtual ~TInlayUi() = default;
    // The colour chosen, starting from `initial`; nothing when cancelled.
    virtual std::optional<TColor> ChooseColor(TColor initial, const QString& title) = 0;
};

// Qt's colour dialog over `parent`'s window.
class TQtInlayUi final : public TInlayUi
{
public:
    explicit TQtInlayUi(QWidget* parent = nullptr) : FParent(parent) {}

    std::optional<TColor> ChooseColor(TColor initial, const QString& title) override;

private:
    QPointer<QWidget> FParent;
};
