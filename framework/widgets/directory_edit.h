#pragma once
// A read-only edit with a button beside it that opens a dialog, and its
// folder variant. The folder dialog sits behind an interface, so that tests
// answer it without a window.

#include <QFrame>
#include <QString>

#include <functional>

#include "framework/widgets/image_modules.h"

class QLineEdit;
class QToolButton;

// Asks the user for a folder. Returns False when the user cancels; on True,
// folder holds the chosen folder.
class IFolderChooser
{
public:
    virtual ~IFolderChooser() = default;
    virtual bool ChooseFolder(const QString& caption, const QString& root, QString& folder, bool canCreateNew) = 0;
};

// Replaces the folder dialog (null puts the real one back).
void SetFolderChooser(IFolderChooser* chooser);

// The folder dialog with the current folder preselected; other windows are
// disabled while it shows.
bool WideSelectDirectory(const QString& caption, const QString& root, QString& folder, bool canCreateNew = true);

class TWideDialogEdit : public QFrame
{
    Q_OBJECT
public:
    explicit TWideDialogEdit(QWidget* parent = nullptr);

    int ButtonWidth() const { return ButtonWidth_; }
    void SetButtonWidth(int width);
    QString ButtonHint() const;
    void SetButtonHint(const QString& hint);
    QString DialogTitle;

    QString Text() const;
    void SetText(const QString& text);

    QLineEdit* Edit() const { return Edit_; }
    QToolButton* Button() const { return Button_; }

    // Fired with the value the dialog gave.
    std::function<void(TWideDialogEdit* sender, const QString& value)> OnAfterDialog;

    // As high as the edit needs, so that a layout never squeezes it away.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    virtual void ButtonClick() = 0;

private:
    void Arrange();

    TImageModuleRef<TdmMorvekImages> Images;
    QLineEdit* Edit_;
    QToolButton* Button_;
    int ButtonWidth_ = 24;
};

class TWideDirectoryEdit : public TWideDialogEdit
{
    Q_OBJECT
public:
    explicit TWideDirectoryEdit(QWidget* parent = nullptr);

    QString Folder() const { return Folder_; }
    // Shows the folder in the edit.
    void SetFolder(const QString& folder);

    bool CanCreateNew = true;
    QString Root;

protected:
    void ButtonClick() override;

private:
    QString Folder_;
};
