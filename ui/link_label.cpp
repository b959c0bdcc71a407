#include "ui/link_label.h"

#include <QMouseEvent>

namespace tervane {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QFont linkFont(QStringLiteral("Arial Unicode MS"));
  linkFont.setStyleHint(QFont::SansSerif);
  linkFont.setPixelSize(11);
  linkFont.setStretch(QFont::SemiCondensed);
  linkFont.setUnderline(true);
  setFont(linkFont);
  QPalette linkPalette = palette();
  linkPalette.setColor(QPalette::WindowText, Qt::blue);
  setPalette(linkPalette);
  setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
}

}  // namespace tervane
