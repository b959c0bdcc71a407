#include "ui/aboutbox.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <string>

#include "ui/link_label.h"
#include "ui/maker_site.h"
#include "ui/shell_opener.h"
#include "ui/window_look.h"

namespace tervane {
namespace {

QLabel* MakeLabel(const QString& text, int left, int top, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TAboutBox::TAboutBox(ShellOpener& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      shell_(shell) {
  setWindowTitle(QStringLiteral("About Tervane Spam Filter For Outlook Express"));
  setWindowIcon(TervaneIcon());
  setFont(DialogFont());
  setFixedSize(320, 249);

  // A groove: lowered outer and raised inner bevel.
  Panel1 = new QFrame(this);
  Panel1->setGeometry(8, 8, 305, 209);
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setGeometry(8, 16, 65, 57);
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setPixmap(TervaneIcon().pixmap(64, 64));

  ProductName = new QLabel(QStringLiteral("Tervane Spam Filter For Outlook Express"), Panel1);
  // Wrapped at the panel's edge, should the font be wider than the one the layout was made for.
  ProductName->setWordWrap(true);
  ProductName->setGeometry(88, 16, Panel1->width() - 88 - 8, 30);
  ProductName->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Version = MakeLabel(QStringLiteral("Version 1.2"), 88, 48, Panel1);

  Label1 = MakeLabel(QStringLiteral("Web Site:"), 8, 152, Panel1);
  Label2 = new LinkLabel(QStringLiteral(" ") + ToQString(kMakerHost), Panel1);
  Label2->setGeometry(80, 152, 130, 15);
  Label3 = MakeLabel(QStringLiteral("Tech Support:"), 8, 176, Panel1);
  Label4 = new LinkLabel(ToQString(kSupportAddress), Panel1);
  Label4->setGeometry(80, 176, 146, 15);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setGeometry(119, 220, 75, 25);
  OKButton->setDefault(true);
  OKButton->setFocus();

  const std::pair<QObject*, const char*> names[] = {
      {Panel1, "Panel1"},   {ProgramIcon, "ProgramIcon"}, {ProductName, "ProductName"},
      {Version, "Version"}, {Label1, "Label1"},           {Label2, "Label2"},
      {Label3, "Label3"},   {Label4, "Label4"},           {OKButton, "OKButton"},
  };
  for (const auto& [object, name] : names) {
    object->setObjectName(QLatin1String(name));
  }

  connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
  connect(Label2, &LinkLabel::clicked, this, &TAboutBox::Label2Click);
  connect(Label4, &LinkLabel::clicked, this, &TAboutBox::Label4Click);
}

void TAboutBox::OKButtonClick() {
  hide();
}

void TAboutBox::Label2Click() {
  shell_.Open("open", kMakerHost, ShowCommand::kShow);
}

void TAboutBox::Label4Click() {
  shell_.Open("", "mailto:" + std::string(kSupportAddress), ShowCommand::kHide);
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    // move() places the frame; its size includes the title bar where the platform knows it.
    const QRect area = screen()->availableGeometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
  }
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
  // A dialog hides on Escape; this one has no cancel button, so Escape does nothing.
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tervane
