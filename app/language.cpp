#include "app/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initTranslationResources() { Q_INIT_RESOURCE(morvex_translations); }

namespace morvex {

namespace {

bool known(const QString& language) { return language == "en" || language == "ko"; }

// The installed translators live as long as the process (the application keeps raw pointers).
std::unique_ptr<QTranslator>& programTranslator() {
  static std::unique_ptr<QTranslator> instance;
  return instance;
}
std::unique_ptr<QTranslator>& toolkitTranslator() {
  static std::unique_ptr<QTranslator> instance;
  return instance;
}

}  // namespace

QString chooseLanguage(const QString& option, const QString& environment, const QLocale& system) {
  for (const QString& requested : {option, environment}) {
    const QString language = requested.trimmed().toLower();
    if (known(language)) return language;
  }
  return system.language() == QLocale::Korean ? QStringLiteral("ko") : QStringLiteral("en");
}

QString takeLanguageOption(QStringList& args) {
  QString value;
  for (int i = 0; i < args.size();) {
    if (args[i] == "--lang" && i + 1 < args.size()) {
      value = args[i + 1];
      args.erase(args.begin() + i, args.begin() + i + 2);
    } else if (args[i].startsWith("--lang=")) {
      value = args[i].mid(7);
      args.removeAt(i);
    } else {
      ++i;
    }
  }
  return value;
}

bool installLanguage(const QString& language) {
  initTranslationResources();
  auto program = std::make_unique<QTranslator>();
  if (!known(language) || !program->load(":/translations/morvex_" + language + ".qm")) return false;
  for (auto* slot : {&programTranslator(), &toolkitTranslator()})
    if (*slot) QCoreApplication::removeTranslator(slot->get());
  programTranslator() = std::move(program);
  QCoreApplication::installTranslator(programTranslator().get());
  auto toolkit = std::make_unique<QTranslator>();
  if (toolkit->load("qtbase_" + language, QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
    toolkitTranslator() = std::move(toolkit);
    QCoreApplication::installTranslator(toolkitTranslator().get());
  } else {
    toolkitTranslator().reset();
  }
  return true;
}

QString installLanguageFor(QStringList& args) {
  const QString option = takeLanguageOption(args);
  const QString language =
      chooseLanguage(option, qEnvironmentVariable("MORVEX_LANG"), QLocale::system());
  installLanguage(language);
  return language;
}

}  // namespace morvex
