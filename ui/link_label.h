#ifndef TERVANE_UI_LINK_LABEL_H_
#define TERVANE_UI_LINK_LABEL_H_

#include <QLabel>

namespace tervane {

// A label drawn as a link (blue, underlined, hand pointer) that reports a left click.
class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tervane

#endif  // TERVANE_UI_LINK_LABEL_H_
