#pragma once

// The look every window of the program shares: Fusion drawing and an 8-point sans-serif
// interface font, so the fixed layout fits its captions on any desktop. Call once after the
// QApplication exists.
void setUpAppearance();

class QIcon;
class QString;
class QWidget;

// Gives each control's tool tip to screen readers as its description: Qt passes tool tips on
// for most controls, but not for lists and tables.
void describeToolTips(QWidget *window);

// The green-folder icon at every size it is drawn in; every window carries it.
QIcon programIcon();

// Qt 6.4's own title bar on Wayland (where the compositor leaves it to the program, as weston
// and GNOME do) carries minimise and maximise whatever the window's flags, and a maximised
// window must take the screen's size or the compositor ends the connection. There a window
// that cannot change its size takes the maximised size for a moment and gives it back at once.
bool maximisesAnyway();
void keepUnmaximised(QWidget *window);

// The narrowest window whose title Qt's own Wayland title bar shows whole: it centres the
// title over the window and cuts it where the buttons begin. 0 where the window system draws
// the title itself.
int widthForWholeTitle(const QString &title);
