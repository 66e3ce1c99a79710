#pragma once

#include <QLabel>
#include <QTreeWidget>

#include <functional>

#include "storage/HistoryView.h"
#include "ui/SaveFileDialog.h"

// The history list of a page with its title line: four columns (record number hidden, value, RTU time,
// server time), image 0 on every row and image 1 in the value column of a flagged record. Gives the
// history operations the page's filter controls through a filter source; a page without filter
// controls leaves it empty. User-interface thread only.
class CHistoryList final : public IHistoryView {
public:
    using FilterSource = std::function<HistoryFilter()>;

    // The list and the title are children of `page`; both are placed by the page.
    CHistoryList(QWidget* page, ISaveFileDialog& saveFile, FilterSource filterSource = {});

    QTreeWidget& List() const { return *list; }
    // Sets the list's font and widens the time columns where a whole time stamp needs more than
    // their usual width, taking the difference from the value column.
    void SetFont(const QFont& font);
    QLabel& Title() const { return *title; }

    std::optional<std::string> CurrentUidText() const override;
    void ClearRows() override;
    void AppendRows(const std::vector<HistoryRow>& rows) override;
    void AppendRow(const HistoryRow& row) { AppendRows({row}); }
    int RowCount() const override;
    HistoryRow Row(int index) const override;
    void RemoveRow(int index) override;
    int FirstSelectedRow() const override;
    std::string TitleLine() const override;
    void SetTitleLine(const std::string& text) override;
    HistoryFilter TakeFilter() override;
    std::optional<std::string> ChooseSaveFile() override;

private:
    QTreeWidget* list;
    QLabel* title;
    ISaveFileDialog& saveFile;
    FilterSource filterSource;
    // Shared by every row: one image each instead of two per row.
    QIcon recordIcon;
    QIcon flagIcon;
};
