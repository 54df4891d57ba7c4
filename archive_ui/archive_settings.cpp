#include "archive_ui/archive_settings.h"

#include <QSettings>

namespace morvex {

ArchiveSettings loadArchiveSettings() {
  QSettings s("Morvex", "Morvex");
  ArchiveSettings a;
  a.local.aeTitle = s.value("archive/aeTitle", QString::fromStdString(a.local.aeTitle)).toString().toStdString();
  a.local.receivePort = s.value("archive/receivePort", a.local.receivePort).toInt();
  const int n = s.beginReadArray("archive/nodes");
  for (int i = 0; i < n; ++i) {
    s.setArrayIndex(i);
    net::ArchiveNode node;
    node.name = s.value("name").toString().toStdString();
    node.aeTitle = s.value("aeTitle").toString().toStdString();
    node.host = s.value("host").toString().toStdString();
    node.port = s.value("port", 104).toInt();
    a.nodes.push_back(node);
  }
  s.endArray();
  return a;
}

void saveArchiveSettings(const ArchiveSettings& a) {
  QSettings s("Morvex", "Morvex");
  s.setValue("archive/aeTitle", QString::fromStdString(a.local.aeTitle));
  s.setValue("archive/receivePort", a.local.receivePort);
  s.remove("archive/nodes");
  s.beginWriteArray("archive/nodes", static_cast<int>(a.nodes.size()));
  for (std::size_t i = 0; i < a.nodes.size(); ++i) {
    s.setArrayIndex(static_cast<int>(i));
    s.setValue("name", QString::fromStdString(a.nodes[i].name));
    s.setValue("aeTitle", QString::fromStdString(a.nodes[i].aeTitle));
    s.setValue("host", QString::fromStdString(a.nodes[i].host));
    s.setValue("port", a.nodes[i].port);
  }
  s.endArray();
  s.sync();
}

}  // namespace morvex
