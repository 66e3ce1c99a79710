#include "ui/DyInputView.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "platform/profile/IniFileReader.h"
#include "ui/PageDialog.h"
#include "ui/ResourceIds.h"
#include "ui/UiText.h"
#include "widgets/ControlId.h"
#include "widgets/DialogUnits.h"

namespace {
// The model codes the last row offers, in the order the operator sees them.
const char* const kModelCodes[] = {"406", "407", "403", "405", "408", "409"};
// Face of the form's buttons: shaded towards this blue.
constexpr const char* kShadeStyle =
    "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 rgb(55, 55, 255));"
    " border: 1px solid #37474f; border-radius: 3px; padding: 2px; }"
    "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #eceff1, stop:1 rgb(85, 85, 255)); "
    "}"
    "QPushButton:focus { border: 2px solid #ffb300; }";

// Arial a sixth of an inch high: 16 pixels at 96 dots per inch.
QFont RowFont() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
    return CellHeightFont(QStringLiteral("Arial"), static_cast<int>(dpi / 6));
}
}  // namespace

CDyInputView::CDyInputView(QWidget* parent, CSQLDatabase& database, IMessageBox& box)
    : QWidget(parent), database(database), box(box), heading(new QGroupBox(this)), rowFont(RowFont()) {
    DialogUnits units(DialogFont());
    setFont(DialogFont());
    resize(units.Size(241, 183));
    SetControlId(*heading, IDC_FORM_HEADING);
    heading->setGeometry(units.Rect(0, 0, 237, 182));
    deleteButton = MakeButton(IDC_FORM_DELETE, "DEL", IDI_DELETE, 66);
    confirmButton = MakeButton(IDC_FORM_CONFIRM, "Ok", IDI_CONFIRM, 125);
    cancelButton = MakeButton(IDC_FORM_CANCEL, "Esc", IDI_CANCEL, 183);
    connect(deleteButton, &QPushButton::clicked, this, &CDyInputView::Delete);
    connect(confirmButton, &QPushButton::clicked, this, &CDyInputView::Confirm);
    connect(cancelButton, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

CButtonST* CDyInputView::MakeButton(int id, const char* captionKey, int icon, int x) {
    IniFileReader ui(kUiIniPath);
    auto* button = new CButtonST(this, IniText(ui, kButtonsSection, captionKey));
    DialogUnits units(DialogFont());
    SetControlId(*button, id);
    button->setGeometry(units.Rect(x, 162, 50, 16));
    button->SetIconNumber(icon);
    button->setStyleSheet(kShadeStyle);
    // Enter on a focused button presses that button; Enter anywhere else in the form saves.
    button->setAutoDefault(true);
    return button;
}

void CDyInputView::buildRows(const std::vector<std::string>& captions) {
    const int n = std::min<int>(static_cast<int>(captions.size()), kMaxRows);
    for (int k = 0; k < n; ++k) {
        const int c = 60 + 23 * k;
        QWidget* field = nullptr;
        if (k == n - 1) {
            auto* combo = new QComboBox(this);
            combo->setEditable(true);
            // A typed code is kept as the row's text, never added to the codes offered.
            combo->setInsertPolicy(QComboBox::NoInsert);
            for (const char* code : kModelCodes) {
                combo->addItem(QString::fromLatin1(code));
            }
            combo->setCurrentIndex(-1);
            field = combo;
        } else {
            field = new QLineEdit(this);
        }
        field->setGeometry(QRect(QPoint(130, c - 20), QPoint(400, c)));
        SetControlId(*field, IDC_FORM_FIRST_FIELD + k);
        auto* label = new QLabel(UiText(captions[static_cast<std::size_t>(k)]), this);
        label->setGeometry(QRect(QPoint(20, c - 18), QPoint(110, c + 2)));
        SetControlId(*label, IDC_FORM_FIRST_LABEL + k);
        field->setFont(rowFont);
        label->setFont(rowFont);
        fields.push_back(field);
        labels.push_back(label);
    }
    // Tab goes down the rows, then along the buttons below them.
    std::vector<QWidget*> order(fields.begin(), fields.end());
    order.insert(order.end(), {deleteButton, confirmButton, cancelButton});
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void CDyInputView::setHeading(int newMode, const QString& text) {
    heading->setTitle(text);
    mode = newMode;
}

void CDyInputView::prepareAdd(CPageDialog& page) {
    ClearRows();
    if (!fields.empty()) {
        fields.front()->setEnabled(true);
    }
    deleteButton->hide();
    owner = &page;
}

void CDyInputView::prepareEdit(CPageDialog& page) {
    if (!fields.empty()) {
        fields.front()->setEnabled(false);
    }
    deleteButton->show();
    owner = &page;
}

void CDyInputView::fillRows(const std::vector<std::string>& texts) {
    for (std::size_t k = 0; k < fields.size() && k < texts.size(); ++k) {
        SetRowText(static_cast<int>(k), UiText(texts[k]));
    }
}

QRect CDyInputView::ContentsExtent() const {
    QRect extent;
    for (const QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        extent |= control->geometry();
    }
    return extent;
}

std::string CDyInputView::RowText(int row) const {
    const QWidget* field = fields.at(static_cast<std::size_t>(row));
    QString text;
    if (const auto* combo = qobject_cast<const QComboBox*>(field)) {
        text = combo->currentText();
    } else {
        text = static_cast<const QLineEdit*>(field)->text();
    }
    return text.toLocal8Bit().toStdString();
}

void CDyInputView::SetRowText(int row, const QString& text) {
    QWidget* field = fields.at(static_cast<std::size_t>(row));
    if (auto* combo = qobject_cast<QComboBox*>(field)) {
        combo->setEditText(text);
    } else {
        static_cast<QLineEdit*>(field)->setText(text);
    }
}

void CDyInputView::ClearRows() {
    for (int k = 0; k < RowCount(); ++k) {
        SetRowText(k, QString());
    }
}

void CDyInputView::Confirm() {
    if (mode == kAddMode) {
        if (AddRtu(database, *this, box)) {
            Notify(kSuccessSection, "ADD_RTU_OK", MessageIcon::Information);
            ClearRows();
            ReloadOwner();
        } else {
            Notify(kErrorsSection, "ADD_RTU_ERR", MessageIcon::Stop);
        }
    } else if (mode == kEditMode) {
        if (EditRtu(database, *this)) {
            Notify(kSuccessSection, "EDIT_RTU_OK", MessageIcon::Information);
            ClearRows();
            ReloadOwner();
        } else {
            Notify(kErrorsSection, "EDIT_RTU_ERR", MessageIcon::Stop);
        }
        hide();
    }
}

void CDyInputView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        confirmButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CDyInputView::Delete() {
    if (RowCount() == 0 || RowText(0).empty()) {
        return;
    }
    if (DeleteRtu(database, *this, box)) {
        ReloadOwner();
    }
}

void CDyInputView::Notify(const char* section, const char* key, MessageIcon icon) {
    IniFileReader messages(kMessagesIniPath);
    box.Show(messages.readValue(section, key), "", icon, MessageButtons::Ok);
}

void CDyInputView::ReloadOwner() {
    if (owner != nullptr) {
        PostCommand(*owner, CMD_RELOAD_RTU_LIST);
    }
}
