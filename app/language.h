#pragma once
// The interface language: English or Korean, from the system locale unless "--lang en|ko" on the
// command line or MORVEX_LANG in the environment says otherwise (the option wins).

#include <QLocale>
#include <QString>
#include <QStringList>

namespace morvex {

// "ko" or "en". option is the value of --lang (empty when absent), environment that of MORVEX_LANG;
// an unknown value is ignored. Without either, Korean for a Korean system locale, else English.
QString chooseLanguage(const QString& option, const QString& environment, const QLocale& system);

// Removes "--lang VALUE" / "--lang=VALUE" from args and returns VALUE (empty when absent).
QString takeLanguageOption(QStringList& args);

// Installs the compiled-in translation of language ("en" or "ko") for the whole application,
// replacing the one installed before, and Qt's own texts (standard buttons) when the system has
// them. False when the language has no translation. Needs the application object.
bool installLanguage(const QString& language);

// The language chosen for this process: takes --lang from args, reads MORVEX_LANG and the system
// locale, installs it and returns it.
QString installLanguageFor(QStringList& args);

}  // namespace morvex
