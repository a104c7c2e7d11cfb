#pragma once

class QCoreApplication;

// Loads the program's and Qt's own translations for the user's language
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG); English needs none.
void installTranslations(QCoreApplication& application);
