#include "framework/widgets/objet_list_box.h"

#include <QKeyEvent>

#include <algorithm>

const TSortIndex& AlphaSortIndex()
{
    static const TSortIndex alpha{0, QStringLiteral("alpha"), QStringLiteral("in alphabetical order"),
                                  QStringLiteral("alphabetically sorted")};
    return alpha;
}

TObjetListBox::TObjetListBox(QWidget* parent) : QListWidget(parent), SortIndex_(AlphaSortIndex())
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
}

TObjetListBox::~TObjetListBox() = default;

int TObjetListBox::SortedRow(const QString& key) const
{
    // After the equal keys, so that objects added with one key keep their order.
    const auto at = std::upper_bound(Objets.begin(), Objets.end(), key, [this](const QString& k, const auto& objet) {
        return k.compare(objet->Text(SortIndex_), Qt::CaseInsensitive) < 0;
    });
    return int(at - Objets.begin());
}

int TObjetListBox::AddObjet(std::unique_ptr<TAbstractListObjet> objet)
{
    const int row = SortedRow(objet->Text(SortIndex_));
    insertItem(row, objet->DisplayText());
    Objets.insert(Objets.begin() + row, std::move(objet));
    return row;
}

TAbstractListObjet* TObjetListBox::Objet(int row) const
{
    return row >= 0 && row < Count() ? Objets[size_t(row)].get() : nullptr;
}

void TObjetListBox::Clear()
{
    QListWidget::clear();
    Objets.clear();
    LastActive = nullptr;
}

void TObjetListBox::Resort()
{
    TAbstractListObjet* current = Objet(currentRow());
    std::vector<TAbstractListObjet*> selected;
    for (int row = 0; row < Count(); ++row) {
        if (item(row)->isSelected())
            selected.push_back(Objets[size_t(row)].get());
    }
    std::stable_sort(Objets.begin(), Objets.end(), [this](const auto& a, const auto& b) {
        return a->Text(SortIndex_).compare(b->Text(SortIndex_), Qt::CaseInsensitive) < 0;
    });
    // Rebuild the rows; the focus and the selection follow their objects.
    QListWidget::clear();
    for (int row = 0; row < Count(); ++row) {
        TAbstractListObjet* objet = Objets[size_t(row)].get();
        addItem(objet->DisplayText());
        if (objet == current)
            setCurrentRow(row, QItemSelectionModel::NoUpdate);
        if (std::find(selected.begin(), selected.end(), objet) != selected.end())
            item(row)->setSelected(true);
    }
}

void TObjetListBox::DeleteSelected()
{
    int first = -1;
    for (int row = Count() - 1; row >= 0; --row) {
        if (!item(row)->isSelected())
            continue;
        delete takeItem(row);
        Objets.erase(Objets.begin() + row);
        first = row;
    }
    if (first < 0 || Count() == 0)
        return;
    setCurrentRow(std::max(first - 1, 0), QItemSelectionModel::ClearAndSelect);
}

void TObjetListBox::Refresh()
{
    const int count = Count();
    const int selected = int(selectedItems().size());
    if (count != LastCount || selected != LastSelected) {
        LastCount = count;
        LastSelected = selected;
        setToolTip(selected < 2 ? QStringLiteral("one item seleteced on %1").arg(count)
                                : QStringLiteral("%1 items selected on %2").arg(selected).arg(count));
        if (OnCountsChange)
            OnCountsChange(this, count, selected);
    }
    TAbstractListObjet* active = Objet(currentRow());
    if (active != LastActive) {
        LastActive = active;
        if (OnActiveChange)
            OnActiveChange(this, active);
    }
}

void TObjetListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    Refresh();
}

void TObjetListBox::keyPressEvent(QKeyEvent* event)
{
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (event->key() == Qt::Key_Delete && KeyDelete && !(event->modifiers() & Qt::ShiftModifier))
        DeleteSelected();
    else
        QListWidget::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Delete:
        if (plain)
            Refresh();
        break;
    default:
        break;
    }
}
