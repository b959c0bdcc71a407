#ifndef TERVANE_UI_MESSAGE_BOX_H_
#define TERVANE_UI_MESSAGE_BOX_H_

#include <QMessageBox>
#include <QString>

class QWidget;

namespace tervane {

// Shows text to the user and returns when it has been acknowledged: a message box with an OK
// button over parent when there is a display; on Qt's offscreen platform, where nobody could
// press the button, the text goes to standard error as one line instead.
void ShowMessageBox(QWidget* parent, const QString& text,
                    QMessageBox::Icon icon = QMessageBox::NoIcon);

// Shows the message of an error raised by the data layer (std::exception::what()).
void ShowErrorMessage(QWidget* parent, const char* what);

}  // namespace tervane

#endif  // TERVANE_UI_MESSAGE_BOX_H_
