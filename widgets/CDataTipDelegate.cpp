#include "widgets/CDataTipDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

bool CDataTipDelegate::IsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return sizeHint(option, index).width() > option.rect.width();
}

bool CDataTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip || !index.isValid() ||
        !index.data(Qt::ToolTipRole).isNull()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    if (IsCut(option, index)) {
        QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view->viewport(), option.rect);
    } else {
        QToolTip::hideText();
    }
    return true;
}
