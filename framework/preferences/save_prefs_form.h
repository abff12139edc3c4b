#pragma once
// The where-to-save question asked at the first exit, and the message shown
// when the preferences could not be saved. The preferences component talks to
// the TSavePrefsDialog interface, so tests answer it without a window.

#include "framework/preferences/preferences_man.h"

#include <QDialog>

#include <optional>

class QPushButton;
class TLinkEdit;

class TSavePrefsDialog
{
public:
    virtual ~TSavePrefsDialog() = default;
    virtual void SetCaption(const QString& caption) = 0;
    virtual QString Caption() const = 0;
    // Shows the question modally; nothing when it was closed without a choice.
    virtual std::optional<TSavePreferences> Execute() = 0;
    virtual void ShowSaveError(const QString& message) = 0;
};

class TSavePrefsForm final : public QDialog, public TSavePrefsDialog
{
    Q_OBJECT
public:
    explicit TSavePrefsForm(QWidget* parent = nullptr);

    void SetCaption(const QString& caption) override;
    QString Caption() const override;
    std::optional<TSavePreferences> Execute() override;
    void ShowSaveError(const QString& message) override;

    // The last choice and whether a button gave it since Execute began.
    TSavePreferences Choice() const { return FChoice; }
    bool Answered() const { return FAnswered; }

    TLinkEdit* Text;
    QPushButton* NormalBtn;
    QPushButton* PortableBtn;
    QPushButton* AucunBtn;

private:
    QPushButton* AddChoice(const QString& caption, const QString& hint, TSavePreferences choice);

    TSavePreferences FChoice = spNone;
    bool FAnswered = false;
};
