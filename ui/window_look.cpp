#include "ui/window_look.h"

#include <QWidget>

namespace tervane {

QIcon TervaneIcon() {
  return QIcon(QStringLiteral(":/tervane/tervane.png"));
}

QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  // The stand-in fonts run wider than the one the layout was made for.
  font.setStretch(QFont::SemiCondensed);
  return font;
}

void ShowAndRaise(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace tervane
