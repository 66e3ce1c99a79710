#pragma once

#include <QWidget>

#include "platform/profile/MessageBox.h"

// Message boxes as modal QMessageBox dialogs over the parent window; a question's default answer is No.
// User-interface thread only.
class QtMessageBox final : public IMessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent(parent) {}
    void SetParent(QWidget* window) { parent = window; }

    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    QWidget* parent;
};

// The caption of a box that names none.
inline constexpr const char* kProgramCaption = "Telvorn";
