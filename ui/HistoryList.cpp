#include "ui/HistoryList.h"

#include <QHeaderView>
#include <QStyle>

#include <algorithm>

#include "core/RtuSlot.h"
#include "platform/profile/IniFileReader.h"
#include "ui/CurrentRtu.h"
#include "ui/ResourceIds.h"
#include "ui/UiText.h"
#include "widgets/ResourceIcon.h"

namespace {
constexpr int kColumnWidths[] = {0, 100, 130, 130};
constexpr int kValueColumn = 1;
constexpr int kTimeColumns[] = {2, 3};
// The widest time stamp the columns must show whole.
constexpr const char* kWidestTimeStamp = "0000-00-00 00:00:00";
constexpr const char* kCsvFilter = "Excel file (*.csv)|*.csv|";

std::string Bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }
}  // namespace

CHistoryList::CHistoryList(QWidget* page, ISaveFileDialog& saveFile, FilterSource filterSource)
    : list(new QTreeWidget(page)),
      title(new QLabel(page)),
      saveFile(saveFile),
      filterSource(std::move(filterSource)),
      recordIcon(ResourceIcon(IDI_RECORD)),
      flagIcon(ResourceIcon(IDI_STATE_FLAG)) {
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setUniformRowHeights(true);
    IniFileReader ui(kUiIniPath);
    QStringList captions;
    for (int i = 0; i < 4; ++i) {
        captions << IniText(ui, kRtuStateTextSection, "DATALISTC" + std::to_string(i));
    }
    list->setHeaderLabels(captions);
    list->header()->setMinimumSectionSize(0);
    for (int i = 0; i < 4; ++i) {
        list->header()->resizeSection(i, kColumnWidths[i]);
    }
}

void CHistoryList::SetFont(const QFont& font) {
    list->setFont(font);
    // An item's text keeps a focus-frame margin and one pixel clear on each side, and its drawn width
    // may round up by one pixel from the measured advance.
    const int margins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 1;
    const int stamp = list->fontMetrics().horizontalAdvance(QLatin1String(kWidestTimeStamp)) + margins;
    int valueWidth = kColumnWidths[kValueColumn];
    for (int column : kTimeColumns) {
        const int width = std::max(kColumnWidths[column], stamp);
        valueWidth -= width - kColumnWidths[column];
        list->header()->resizeSection(column, width);
    }
    list->header()->resizeSection(kValueColumn, std::max(valueWidth, list->header()->sectionSizeHint(kValueColumn)));
}

std::optional<std::string> CHistoryList::CurrentUidText() const {
    if (currentRtu == nullptr) {
        return std::nullopt;
    }
    return currentRtu->Read([](const RtuRecord& record) { return std::string(record.uidText); });
}

void CHistoryList::ClearRows() { list->clear(); }

// The items are made without a parent and handed over in one insertion: the view then lays out once
// instead of once per row.
void CHistoryList::AppendRows(const std::vector<HistoryRow>& rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const HistoryRow& row : rows) {
        auto* item = new QTreeWidgetItem(
            QStringList{UiText(row.rid), UiText(row.value), UiText(row.rtuTime), UiText(row.localTime)});
        item->setIcon(0, recordIcon);
        item->setIcon(1, row.flagged ? flagIcon : recordIcon);
        item->setData(1, Qt::UserRole, row.flagged);
        items << item;
    }
    list->addTopLevelItems(items);
}

int CHistoryList::RowCount() const { return list->topLevelItemCount(); }

HistoryRow CHistoryList::Row(int index) const {
    const QTreeWidgetItem* item = list->topLevelItem(index);
    if (item == nullptr) {
        return {};
    }
    return HistoryRow{Bytes(item->text(0)), Bytes(item->text(1)), Bytes(item->text(2)), Bytes(item->text(3)),
                      item->data(1, Qt::UserRole).toBool()};
}

void CHistoryList::RemoveRow(int index) { delete list->takeTopLevelItem(index); }

int CHistoryList::FirstSelectedRow() const {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->isSelected()) {
            return i;
        }
    }
    return -1;
}

std::string CHistoryList::TitleLine() const { return Bytes(title->text()); }

void CHistoryList::SetTitleLine(const std::string& text) { title->setText(UiText(text)); }

HistoryFilter CHistoryList::TakeFilter() { return filterSource ? filterSource() : HistoryFilter{}; }

std::optional<std::string> CHistoryList::ChooseSaveFile() {
    std::string chosen = saveFile.AskSaveFileName("", kCsvFilter);
    if (chosen.empty()) {
        return std::nullopt;
    }
    return chosen;
}
