#pragma once

#include <QWidget>

#include <string>

// Asks the operator for the name of a file to write. Empty when cancelled. Operations that export
// take this seam, so tests pick the name without a dialog. User-interface thread only.
class ISaveFileDialog {
public:
    virtual std::string AskSaveFileName(const std::string& suggestedName, const std::string& filter) = 0;

protected:
    ~ISaveFileDialog() = default;
};

// The seam as a QFileDialog that confirms overwriting an existing file.
class QtSaveFileDialog final : public ISaveFileDialog {
public:
    explicit QtSaveFileDialog(QWidget* parent = nullptr) : parent(parent) {}
    std::string AskSaveFileName(const std::string& suggestedName, const std::string& filter) override;

private:
    QWidget* parent;
};
