#pragma once

#include <QString>
#include <QWidget>

#include <string>

// Asks the operator for the name of a file to write. Empty when cancelled. Operations that export
// take this seam, so tests pick the name without a dialog. User-interface thread only.
class ISaveFileDialog {
public:
    // `filter` pairs descriptions and patterns, each part ended by "|": "Excel file (*.csv)|*.csv|".
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

// The toolkit's name filters for a filter of description and pattern pairs: "Excel file (*.csv)|*.csv|"
// becomes "Excel file (*.csv)". A description that does not end in its patterns gets them appended
// in parentheses; several pairs are joined by ";;". The toolkit lists the files a filter's
// parenthesised patterns match.
QString ToolkitFileFilter(const std::string& filter);
