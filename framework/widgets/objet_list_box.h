#pragma once
// A multi-select list box that owns objects and keeps them sorted by a key
// each object gives for the current sort order. After a mouse release or a
// navigation key it reports changes of the counts (also in its hint) and of
// the focused object; with KeyDelete the Delete key removes the selection.

#include <QListWidget>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// A sort order: an id the objects recognise and the texts that name it.
struct TSortIndex
{
    int Id = 0;
    QString Name;
    QString Caption;
    QString Hint;

    bool operator==(const TSortIndex&) const = default;
};

// The alphabetical order every list box starts with.
const TSortIndex& AlphaSortIndex();

class TAbstractListObjet
{
public:
    virtual ~TAbstractListObjet() = default;
    // The key this object is sorted by in the given order.
    virtual QString Text(const TSortIndex& sort) const = 0;
    // What the list box shows: the alphabetical key unless an object says otherwise.
    virtual QString DisplayText() const { return Text(AlphaSortIndex()); }
};

class TObjetListBox : public QListWidget
{
    Q_OBJECT
public:
    using TonCountsChangeEvent = std::function<void(TObjetListBox* sender, int count, int selected)>;
    using TonActiveChangeEvent = std::function<void(TObjetListBox* sender, TAbstractListObjet* active)>;

    explicit TObjetListBox(QWidget* parent = nullptr);
    ~TObjetListBox() override;

    // Takes the object and inserts it at its sorted place; returns its row.
    int AddObjet(std::unique_ptr<TAbstractListObjet> objet);
    TAbstractListObjet* Objet(int row) const;
    int Count() const { return int(Objets.size()); }
    // Frees every object.
    void Clear();
    // Orders the objects again by the current sort key.
    void Resort();
    // Removes the selected objects and selects the one before the first removed.
    void DeleteSelected();

    const TSortIndex& SortIndex() const { return SortIndex_; }
    // Takes effect at the next Resort.
    void SetSortIndex(const TSortIndex& sort) { SortIndex_ = sort; }

    bool KeyDelete = false;
    TonCountsChangeEvent OnCountsChange;
    TonActiveChangeEvent OnActiveChange;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int SortedRow(const QString& key) const;
    void Refresh();

    std::vector<std::unique_ptr<TAbstractListObjet>> Objets; // in row order
    TSortIndex SortIndex_;
    int LastCount = 0;
    int LastSelected = 0;
    TAbstractListObjet* LastActive = nullptr;
};
