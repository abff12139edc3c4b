#pragma once
// The help window: every action of the program, one page per group of action
// lists, with its shortcut, command-line switch, script declaration, hint and
// comments, so that a user can find the key, switch or script procedure for
// anything the program does. A double click runs the action.

#include "framework/widgets/objet_list_box.h"

#include <QPointer>
#include <QWidget>

class QMenu;
class QPlainTextEdit;
class QTabWidget;
class TCustomAbstractAction;
class TLinkEdit;
class TTntActionList;

// The orders of the help lists besides the alphabetical one.
const TSortIndex& ShortcutSortIndex();
const TSortIndex& SwitchSortIndex();

// One action in a help list.
class TActionObjet : public TAbstractListObjet
{
public:
    explicit TActionObjet(TCustomAbstractAction* action);

    // The script name; by shortcut or by switch, that text first, with "zzz"
    // standing for a missing one so that those come last.
    QString Text(const TSortIndex& sort) const override;
    // Null once the action is gone.
    TCustomAbstractAction* Action() const { return FAction; }

private:
    QPointer<TCustomAbstractAction> FAction;
};

class THelpForm : public QWidget
{
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);
    ~THelpForm() override;

    // Lists the actions of `list` on the page titled `title`, made when no page
    // has that title yet.
    void AddActionList(const QString& title, const TTntActionList& list);

    QTabWidget* Pages() const { return FPages; }
    // The list of the page titled `title`, or null.
    TObjetListBox* ListOf(const QString& title) const;
    // The list of the page shown.
    TObjetListBox* ActiveList() const;
    // The sort menu of the lists: alphabetical, by shortcut, by switch.
    QMenu* SortMenu() const { return FSortMenu; }

    // The labels that show the selected action.
    TLinkEdit* NameLabel() const { return FName; }
    TLinkEdit* HintLabel() const { return FHint; }
    QPlainTextEdit* DeclarationEditor() const { return FDeclaration; }
    TLinkEdit* SwitchLabel() const { return FSwitch; }
    TLinkEdit* CommentsLabel() const { return FComments; }

    // Orders every list of the window by `sort`.
    void SortAll(const TSortIndex& sort);
    // Shows the selected action of the page shown.
    void ShowSelected();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TObjetListBox* NewPage(const QString& title);
    void ShowAction(TCustomAbstractAction* action);
    void RunSelected(TObjetListBox* list);

    QTabWidget* FPages;
    QMenu* FSortMenu;
    TLinkEdit* FName;
    TLinkEdit* FHint;
    QPlainTextEdit* FDeclaration;
    TLinkEdit* FComments;
    TLinkEdit* FSwitch;
    int FPageCount = 0;
};

// The program's help window while the application manager holds it.
extern THelpForm* HelpForm;
