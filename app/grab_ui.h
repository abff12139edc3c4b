#pragma once
// What saving pictures asks of the user and of the desktop: whether to
// replace a picture, why a picture could not be saved, and showing a file in
// the desktop's file manager. The window talks only to this interface, so
// tests answer it without a window.

#include <QPointer>
#include <QString>
#include <QWidget>

class TGrabUi
{
public:
    enum TOverwriteAnswer { oaYes, oaNo, oaCancel, oaYesToAll };

    virtual ~TGrabUi() = default;
    // Yes, No, Cancel or Yes to All to `text`.
    virtual TOverwriteAnswer AskOverwrite(const QString& text) = 0;
    virtual void ShowError(const QString& text) = 0;
    virtual void ShowInFolder(const QString& path) = 0;
};

// Qt's message boxes over `parent`'s window, and the desktop's file manager.
class TQtGrabUi final : public TGrabUi
{
public:
    explicit TQtGrabUi(QWidget* parent = nullptr) : FParent(parent) {}

    TOverwriteAnswer AskOverwrite(const QString& text) override;
    void ShowError(const QString& text) override;
    void ShowInFolder(const QString& path) override;

private:
    QPointer<QWidget> FParent;
};

// The question before a picture replaces the file `fileName`.
QString OverwriteQuestionText(const QString& fileName);
// The message when the picture `fileName` could not be written.
QString WriteErrorText(const QString& fileName, const QString& reason);
