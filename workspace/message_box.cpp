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

namespace {
QuestionInterceptor& questions() {
  static QuestionInterceptor instance;
  return instance;
}
}  // namespace

Answer askToSave(QWidget* parent, const QString& text) {
  if (questions()) return questions()(text);
  switch (QMessageBox::question(parent, QStringLiteral("Morvex"), text,
                                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save)) {
    case QMessageBox::Save: return Answer::Save;
    case QMessageBox::Discard: return Answer::Discard;
    default: return Answer::Cancel;
  }
}

Answer askYesNo(QWidget* parent, const QString& text) {
  if (questions()) return questions()(text);
  return QMessageBox::question(parent, QStringLiteral("Morvex"), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes
             ? Answer::Yes
             : Answer::No;
}

void setQuestionInterceptor(QuestionInterceptor i) { questions() = std::move(i); }

}  // namespace morvex
