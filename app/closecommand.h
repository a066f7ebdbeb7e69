#pragma once

class QWidget;

// Withdrawing and restoring the window manager's Close command of a top-level window. While it
// is withdrawn the window offers no close button and refuses the close command.
namespace Module1 {
void RemoveCloseMenu(QWidget *window);
void RestoreCloseMenu(QWidget *window);
bool isCloseWithdrawn(const QWidget *window);
} // namespace Module1
