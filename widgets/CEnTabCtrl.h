#pragma once

#include <QColor>
#include <QScrollArea>
#include <QTabBar>
#include <QWidget>

#include <vector>

// A tab strip over up to 12 page windows, one shown at a time. Pages are deleted with this control. A
// mouse click switches pages; moving the tab selection by keyboard does not. Each page sits in a frame
// of its own that fills the page area: the page grows with the area but never below its minimum size
// (QWidget::minimumSize), and scrolls inside the frame when the area is smaller than that.
// User-interface thread only.
class CEnTabCtrl : public QWidget {
public:
    static constexpr int kMaxPages = 12;
    // The strip's height; pages start below it.
    static constexpr int kStripHeight = 28;

    explicit CEnTabCtrl(QWidget* parent);

    // Takes the page into a hidden frame and adds its tab. False, and the page untouched, for a null
    // page or when 12 pages exist already.
    bool AddPage(QWidget* page, int templateId, const QString& caption);
    // Ignores an index above 11 or without a page; otherwise hides the visible page, shows the page at
    // index, gives it the focus and moves the tab selection there.
    void selectPage(int index);
    QWidget* page(int index) const;
    // The scrolling frame that holds the page at index, or null.
    QScrollArea* PageFrame(int index) const;
    // Control `controlId` of page `index`, or null.
    QWidget* dialogItem(int index, int controlId) const;

    int PageCount() const { return static_cast<int>(pages.size()); }
    int VisiblePage() const { return visiblePage; }
    int TemplateId(int index) const;
    QTabBar& TabBar() const { return *strip; }

    // Places every page's frame at `area` (in this control's coordinates), the visible one shown.
    void PlacePages(const QRect& area);
    // The area below the strip where pages go.
    QRect DisplayArea() const;

    // The owner-drawn look: tabs painted in the back colour; draw mode and look flags are kept for the
    // painting code and for callers that ask.
    void SetCustomLook(const QColor& backColor, int drawMode, unsigned lookFlags);
    bool HasCustomLook() const { return customLook; }
    QColor BackColor() const { return backColor; }
    int DrawMode() const { return drawMode; }
    unsigned LookFlags() const { return lookFlags; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct PageEntry {
        QWidget* window;
        QScrollArea* frame;
        int templateId;
    };
    void OnStripClicked();
    void ShowPage(int index);

    QTabBar* strip;
    std::vector<PageEntry> pages;
    int visiblePage = 0;
    bool customLook = false;
    QColor backColor;
    int drawMode = 0;
    unsigned lookFlags = 0;
};
