#pragma once

#include <QMenu>

#include <functional>

// A popup menu whose items carry an image beside their caption and a numeric command id; choosing an
// item calls the command handler with that id. User-interface thread only.
class BCMenu : public QMenu {
public:
    using CommandHandler = std::function<void(int commandId)>;

    BCMenu(const QString& title, QWidget* parent);

    // Appends an item; a null icon gives an item without image.
    QAction* AppendItem(int commandId, const QString& caption, const QIcon& icon = QIcon());
    void SetCommandHandler(CommandHandler handler) { onCommand = std::move(handler); }
    // The item with that command id, or null.
    QAction* Item(int commandId) const;

private:
    CommandHandler onCommand;
};
