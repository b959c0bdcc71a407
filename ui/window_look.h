#ifndef TERVANE_UI_WINDOW_LOOK_H_
#define TERVANE_UI_WINDOW_LOOK_H_

#include <QFont>
#include <QIcon>

class QWidget;

namespace tervane {

// The program's icon (data/tervane.png, built into the program as a Qt resource).
QIcon TervaneIcon();

// The font the windows are laid out for: "MS Sans Serif" at 8 points, fixed at 11 pixels so the
// pixel layout holds at any screen resolution; a sans-serif font stands in where it is missing.
QFont DialogFont();

// Shows a window, or brings it to the front when it is already shown.
void ShowAndRaise(QWidget* window);

}  // namespace tervane

#endif  // TERVANE_UI_WINDOW_LOOK_H_
