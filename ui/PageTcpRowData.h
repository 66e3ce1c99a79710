#pragma once

#include <QListWidget>

#include "core/RawDataList.h"
#include "ui/CrossThreadGate.h"
#include "ui/PageDialog.h"
#include "widgets/CButtonST.h"

// The line list. A list view lays out new rows on a zero-time timer, which never fires while workers
// keep the event loop busy with lines; painting would then show an empty list. It lays out what is
// pending before each paint instead, at most once a frame.
//
// Every row has the same size (appending stays cheap), and that size is as wide as the longest line
// so far: the list scrolls sideways to the end of every line instead of cutting it. While the view is
// at the end, it follows the newest line; once the operator scrolls away, it stays where it is.
class RawDataListBox final : public QListWidget {
public:
    explicit RawDataListBox(QWidget* parent);

    // Appends a line and widens the rows when it is the longest so far.
    void AppendLine(const QString& line);
    // Removes every line; the rows shrink back.
    void ClearLines();

protected:
    void paintEvent(QPaintEvent* event) override {
        executeDelayedItemsLayout();
        QListWidget::paintEvent(event);
    }

private:
    class WidestRowDelegate;
    WidestRowDelegate* rows;
    // A scroll to the newest line is queued behind the lines being added.
    bool followPending = false;
};

// Page 1, the traffic monitor: the list of raw-data lines and a Reset button.
//
// Threads: the IRawDataList operations may be called from any thread; from a worker each runs on the
// user-interface thread and returns once it ran there, so a line is in the list when AddLine returns.
// Everything else, Detach included, on the user-interface thread.
class CPageTcpRowData final : public CPageDialog, public IRawDataList {
public:
    static constexpr int kTemplateId = 129;

    explicit CPageTcpRowData(QWidget* parent);

    void AddLine(const char* text) override;
    int Count() override;
    void Clear() override;

    // Refuses further calls from workers and waits until those under way are done; afterwards a
    // worker's call returns at once and changes nothing.
    void Detach() { gate.Close(); }

    QListWidget& List() const { return *list; }
    CButtonST& ResetButton() const { return *reset; }

    // The Reset button and a list of a few lines.
    QSize MinimumSize() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    RawDataListBox* list;
    CButtonST* reset;
    CrossThreadGate gate;
};
