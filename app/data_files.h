#pragma once
// Data files the program reads at run time ("images/...", "stylesheet.qss"): looked up in the
// working directory first and then beside the executable, so the program also starts from elsewhere.

#include <QString>

namespace morvex {

// Path of a data file given relative to the program's folder; the relative path itself when the
// file exists in neither place.
QString dataFilePath(const QString& relativePath);

// Registers the compiled-in "darkstyle" pictures (":/darkstyle/..."); safe to call again.
void registerDarkStyle();

// Reads the application style sheet; empty when the file is missing or unreadable.
QString readStyleSheet(const QString& relativePath = QStringLiteral("stylesheet.qss"));

}  // namespace morvex
