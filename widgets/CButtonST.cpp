#include "widgets/CButtonST.h"

#include "widgets/ResourceIcon.h"

CButtonST::CButtonST(QWidget* parent, const QString& text) : QPushButton(text, parent) {}

void CButtonST::SetIconNumber(int number, QSize size) {
    iconNumber = number;
    setIcon(number == 0 ? QIcon() : ResourceIcon(number));
    setIconSize(size);
}
