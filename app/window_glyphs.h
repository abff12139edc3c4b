#pragma once
// The glyphs of the main window's button bar and menus: the window's own
// actions, its file manager's and the video manager's take theirs from the
// shared image lists, which this object holds for as long as the window.

#include "framework/widgets/image_modules.h"

#include <QObject>

class TMainForm;

class TWindowGlyphs : public QObject
{
    Q_OBJECT
public:
    // Made after the window's managers, and a child of the window.
    explicit TWindowGlyphs(TMainForm& form);

private:
    TImageModuleRef<TdmKvPackImages> FKvPack;
    TImageModuleRef<TdmMorvekImages> FMorvek;
};
