#pragma once

// The look every window of the program shares: Fusion drawing and an 8-point sans-serif
// interface font, so the fixed layout fits its captions on any desktop. Call once after the
// QApplication exists.
void setUpAppearance();

class QIcon;
class QWidget;

// Gives each control's tool tip to screen readers as its description: Qt passes tool tips on
// for most controls, but not for lists and tables.
void describeToolTips(QWidget *window);

// The green-folder icon at every size it is drawn in; every window carries it.
QIcon programIcon();
