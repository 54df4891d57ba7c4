#pragma once
// User-facing warnings. They are modal warning boxes; tests install an interceptor so that no box
// blocks them and the texts can be checked.

#include <QString>
#include <functional>

class QWidget;

namespace morvex {

void warningBox(QWidget* parent, const QString& text);

// While set, warningBox hands its text to the interceptor instead of opening a box.
using WarningInterceptor = std::function<void(const QString&)>;
void setWarningInterceptor(WarningInterceptor interceptor);

// Questions before work could be lost: Save / Discard / Cancel, and Yes / No. Tests answer them
// through an interceptor (which receives the question's text).
enum class Answer { Save, Discard, Cancel, Yes, No };
Answer askToSave(QWidget* parent, const QString& text);
Answer askYesNo(QWidget* parent, const QString& text);
using QuestionInterceptor = std::function<Answer(const QString&)>;
void setQuestionInterceptor(QuestionInterceptor interceptor);

}  // namespace morvex
