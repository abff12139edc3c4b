#pragma once
// The action base of the platform layer: a named command with caption, hint,
// shortcuts, state, image and an execute event, shown through any number of
// QActions (menus, tool buttons, shortcuts). Actions live in ordered action
// lists that share one image list.

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class TTntActionList;

// The images an action list hands to its actions, by index.
class TCustomImageList : public QObject
{
    Q_OBJECT
public:
    explicit TCustomImageList(QObject* parent = nullptr) : QObject(parent) {}

    int Count() const { return static_cast<int>(FImages.size()); }
    // An empty icon for an index outside the list.
    QIcon Icon(int index) const;
    int Add(const QIcon& icon);
    void Clear();

signals:
    void changed();

private:
    QList<QIcon> FImages;
};

class TTntCustomAction : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TTntCustomAction(QObject* owner = nullptr);
    ~TTntCustomAction() override;

    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }
    int Tag = 0;

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    QString Hint() const { return FHint; }
    void SetHint(const QString& hint);
    QKeySequence ShortCut() const { return FShortCut; }
    void SetShortCut(const QKeySequence& shortCut);
    QList<QKeySequence> SecondaryShortcuts() const { return FSecondaryShortcuts; }
    void SetSecondaryShortcuts(const QList<QKeySequence>& shortCuts);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    bool Checked() const { return FChecked; }
    // The plain state setter: stores the state and shows it, nothing more.
    virtual void SetChecked(bool checked);
    bool AutoCheck() const { return FAutoCheck; }
    void SetAutoCheck(bool autoCheck);
    int ImageIndex() const { return FImageIndex; }
    virtual void SetImageIndex(int index);
    QString Category() const { return FCategory; }
    void SetCategory(const QString& category) { FCategory = category; }

    TTntActionList* ActionList() const { return FActionList; }
    // Moves the action to the end of `list` (or out of any list).
    void SetActionList(TTntActionList* list);

    // Fired with the action as sender when a menu, button or shortcut invokes it.
    TNotifyEvent OnExecute;

    // Runs the action as a user's invocation would: nothing when it is disabled
    // or has no execute event. An auto-check action toggles its state first.
    bool Execute();

    // Shows the action through `action`: text, tips, shortcuts, state and icon
    // follow the action, and triggering `action` executes it. A checkable
    // QAction never toggles by itself: the binding puts its state back and the
    // action decides. The binding ends when either side is destroyed.
    void Bind(QAction* action);
    void Unbind(QAction* action);
    QList<QAction*> BoundActions() const;

signals:
    // Any shown property changed.
    void changed();

private:
    friend class TTntActionList;
    void Changed();
    // Stores a shown property and shows it when it changed.
    template <class T> void Assign(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        Changed();
    }
    void Sync(QAction* action) const;

    QString FCaption;
    QString FHint;
    QKeySequence FShortCut;
    QList<QKeySequence> FSecondaryShortcuts;
    bool FVisible = true;
    bool FEnabled = true;
    bool FChecked = false;
    bool FAutoCheck = false;
    int FImageIndex = -1;
    QString FCategory;
    TTntActionList* FActionList = nullptr;
    QList<QPointer<QAction>> FBound;
};

// An ordered list of actions with a shared image list. The list does not own
// its actions (their QObject owner does); each side forgets the other when it
// is destroyed.
class TTntActionList : public QObject
{
    Q_OBJECT
public:
    explicit TTntActionList(QObject* owner = nullptr);
    ~TTntActionList() override;

    int ActionCount() const { return static_cast<int>(FActions.size()); }
    TTntCustomAction* Actions(int index) const { return FActions.at(index); }
    const QList<TTntCustomAction*>& ActionsInOrder() const { return FActions; }

    TCustomImageList* Images() const { return FImages; }
    void SetImages(TCustomImageList* images);

private:
    friend class TTntCustomAction;
    QList<TTntCustomAction*> FActions;
    QPointer<TCustomImageList> FImages;
    QMetaObject::Connection FImagesChanged;
};
