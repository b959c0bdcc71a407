#include "server/shared_domains.h"

#include <QFile>
#include <sstream>

#include "store/database_maker.h"

namespace tervane {

std::vector<std::string> ShippedSharedDomains() {
  QFile file(":/tervane/shared_mail_domains.txt");
  file.open(QIODevice::ReadOnly);
  std::istringstream text(file.readAll().toStdString());
  return ParseAddressList(text);
}

}  // namespace tervane
