#include "ui/message_box.h"

#include <QGuiApplication>
#include <iostream>

namespace tervane {

void ShowMessageBox(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    std::cerr << text.toStdString() << std::endl;
    return;
  }
  QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
  box.exec();
}

void ShowErrorMessage(QWidget* parent, const char* what) {
  ShowMessageBox(parent, QString::fromUtf8(what), QMessageBox::Critical);
}

}  // namespace tervane
