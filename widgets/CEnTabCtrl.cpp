#include "widgets/CEnTabCtrl.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include "widgets/ControlId.h"

namespace {

// Reports a mouse press after the strip has let it select a tab. The wheel selects nothing: the strip
// would move its highlight without switching the page, and only the keyboard may leave them apart.
class ClickReportingTabBar final : public QTabBar {
public:
    ClickReportingTabBar(QWidget* parent, std::function<void()> afterClick)
        : QTabBar(parent), afterClick(std::move(afterClick)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        QTabBar::mousePressEvent(event);
        if (event->button() == Qt::LeftButton) {
            afterClick();
        }
    }

    void wheelEvent(QWheelEvent* event) override { event->accept(); }

private:
    std::function<void()> afterClick;
};

}  // namespace

CEnTabCtrl::CEnTabCtrl(QWidget* parent)
    : QWidget(parent), strip(new ClickReportingTabBar(this, [this] { OnStripClicked(); })) {
    strip->setDrawBase(true);
    strip->setExpanding(false);
}

bool CEnTabCtrl::AddPage(QWidget* page, int templateId, const QString& caption) {
    if (page == nullptr || PageCount() >= kMaxPages) {
        return false;
    }
    auto* frame = new QScrollArea(this);
    frame->setFrameShape(QFrame::NoFrame);
    // The frame is no stop of its own for Tab; it scrolls the focused control of its page into view.
    frame->setFocusPolicy(Qt::NoFocus);
    frame->setWidgetResizable(true);
    frame->setWidget(page);
    frame->hide();
    pages.push_back(PageEntry{page, frame, templateId});
    strip->addTab(caption);
    return true;
}

void CEnTabCtrl::selectPage(int index) {
    if (index < 0 || index >= kMaxPages || index >= PageCount()) {
        return;
    }
    ShowPage(index);
    strip->setCurrentIndex(index);
}

void CEnTabCtrl::ShowPage(int index) {
    pages[visiblePage].frame->hide();
    visiblePage = index;
    pages[index].frame->show();
    pages[index].window->setFocus();
}

QWidget* CEnTabCtrl::page(int index) const { return index >= 0 && index < PageCount() ? pages[index].window : nullptr; }

QScrollArea* CEnTabCtrl::PageFrame(int index) const {
    return index >= 0 && index < PageCount() ? pages[index].frame : nullptr;
}

QWidget* CEnTabCtrl::dialogItem(int index, int controlId) const {
    QWidget* window = page(index);
    return window == nullptr ? nullptr : FindControl(*window, controlId);
}

int CEnTabCtrl::TemplateId(int index) const { return index >= 0 && index < PageCount() ? pages[index].templateId : 0; }

void CEnTabCtrl::PlacePages(const QRect& area) {
    for (int i = 0; i < PageCount(); ++i) {
        pages[i].frame->setGeometry(area);
        pages[i].frame->setVisible(i == visiblePage);
    }
}

QRect CEnTabCtrl::DisplayArea() const {
    QRect first = strip->count() > 0 ? strip->tabRect(0) : QRect(0, 0, 0, kStripHeight);
    return QRect(QPoint(first.left(), strip->geometry().bottom() + 1), QPoint(width() - 2, height() - 3));
}

void CEnTabCtrl::SetCustomLook(const QColor& color, int mode, unsigned flags) {
    customLook = true;
    backColor = color;
    drawMode = mode;
    lookFlags = flags;
    strip->setStyleSheet(QStringLiteral("QTabBar::tab { background: %1; color: white; padding: 4px 12px; "
                                        "border: 1px solid %2; }"
                                        "QTabBar::tab:selected { background: %2; }")
                             .arg(color.name(), color.lighter(160).name()));
    strip->update();
    update();
}

void CEnTabCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    strip->setGeometry(0, 0, width(), kStripHeight);
}

void CEnTabCtrl::OnStripClicked() {
    int focused = strip->currentIndex();
    if (focused < 0 || focused >= PageCount() || focused == visiblePage) {
        return;
    }
    ShowPage(focused);
}
