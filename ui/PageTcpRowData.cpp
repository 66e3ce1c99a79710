#include "ui/PageTcpRowData.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

#include "ui/ResourceIds.h"

namespace {
// The list's place in the page: at (8, 28), 16 pixels narrower and 44 lower than the page.
constexpr QPoint kListOrigin(8, 28);
constexpr int kListSpareWidth = 16;
constexpr int kListSpareHeight = 44;
// The least list that still shows a few lines.
constexpr QSize kLeastList(200, 100);
}  // namespace

// Sizes every row to the longest line: a uniform-size list asks for the size of one row only.
class RawDataListBox::WidestRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const int textWidth = option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
        size.setWidth(size.width() - textWidth + widest);
        return size;
    }

    int widest = 0;
};

RawDataListBox::RawDataListBox(QWidget* parent) : QListWidget(parent), rows(new WidestRowDelegate(this)) {
    setItemDelegate(rows);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void RawDataListBox::AppendLine(const QString& line) {
    // Measured once here, so that laying out never measures more than one row.
    rows->widest = std::max(rows->widest, fontMetrics().horizontalAdvance(line));
    // At the end as last laid out: the operator has not scrolled away, so the view follows.
    const QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    addItem(line);
    if (atEnd && !followPending) {
        // Scrolling lays the whole list out: once for the lines queued now, not once for each.
        followPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                followPending = false;
                scrollToBottom();
            },
            Qt::QueuedConnection);
    }
}

void RawDataListBox::ClearLines() {
    clear();
    rows->widest = 0;
}

CPageTcpRowData::CPageTcpRowData(QWidget* parent)
    : CPageDialog(parent, kTemplateId, 562, 283), list(new RawDataListBox(this)), reset(new CButtonST(this, "Reset")) {
    PlaceControl(*list, IDC_RAW_DATA_LIST, 7, 21, 487, 255);
    PlaceControl(*reset, IDC_RAW_DATA_RESET, 7, 0, 40, 14);
    // Lines arrive one by one; without uniform sizes every append re-measures the whole list.
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    connect(reset, &QPushButton::clicked, list, &RawDataListBox::ClearLines);

    reset->SetIconNumber(IDI_DELETE);
}

void CPageTcpRowData::AddLine(const char* text) {
    // The core's lines end in "\r\n" as they would in a Windows list box; a list item shows none.
    QString line = QString::fromLocal8Bit(text);
    while (line.endsWith('\n') || line.endsWith('\r')) {
        line.chop(1);
    }
    gate.CallAndWait([this, &line] { list->AppendLine(line); });
}

int CPageTcpRowData::Count() {
    int count = 0;
    gate.CallAndWait([this, &count] { count = list->count(); });
    return count;
}

void CPageTcpRowData::Clear() {
    gate.CallAndWait([this] { list->ClearLines(); });
}

void CPageTcpRowData::resizeEvent(QResizeEvent* event) {
    CPageDialog::resizeEvent(event);
    list->setGeometry(kListOrigin.x(), kListOrigin.y(), width() - kListSpareWidth, height() - kListSpareHeight);
}

QSize CPageTcpRowData::MinimumSize() const {
    const QSize list(kLeastList.width() + kListSpareWidth, kLeastList.height() + kListSpareHeight);
    return list.expandedTo(QSize(reset->geometry().right() + 1, reset->geometry().bottom() + 1));
}
