#include "workspace/message_box.h"

#include <QMessageBox>

namespace morvex {

namespace {
WarningInterceptor& interceptor() {
  static WarningInterceptor instance;
  return instance;
}
}  // namespace

void warningBox(QWidget* parent, const QString& text) {
  if (interceptor()) {
    interceptor()(text);
    return;
  }
  QMessageBox::warning(parent, QStringLiteral("Morvex"), text);
}

void setWarningInterceptor(WarningInterceptor i) { interceptor() = std::move(i); }

}  // namespace morvex
