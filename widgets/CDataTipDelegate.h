#pragma once

#include <QStyledItemDelegate>

// Item drawing for report lists whose columns are narrower than some texts: a cell cut short shows its
// whole text as a tooltip when the pointer rests on it; a cell shown whole shows none.
// User-interface thread only.
class CDataTipDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // True when the cell at `option.rect` cannot show its text and image whole.
    bool IsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
