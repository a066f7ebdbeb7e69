#pragma once

// The look every window of the program shares: Fusion drawing and an 8-point sans-serif
// interface font, so the fixed layout fits its captions on any desktop. Call once after the
// QApplication exists.
void setUpAppearance();

class QIcon;
// The green-folder icon at every size it is drawn in; every window carries it.
QIcon programIcon();
