#include "Translations.h"

#include "LinuxBundle.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// The first of the user's languages that has a file wins, as Qt's own
// QTranslator::load(QLocale, ...) chooses.
bool loadProgram(QTranslator& translator) {
    const LinuxBundle bundle = LinuxBundle::forRunningExecutable();
    for (QString language : QLocale().uiLanguages()) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        for (;;) {
            if (language.startsWith(QLatin1String("en")))
                return false; // the source language
            const std::optional<QString> file = bundle.dataFile(
                QStringLiteral("voltwren/translations/voltwren_") + language + QStringLiteral(".qm"));
            if (file && translator.load(*file))
                return true;
            const qsizetype cut = language.lastIndexOf(QLatin1Char('_'));
            if (cut < 0)
                break;
            language.truncate(cut);
        }
    }
    return false;
}

} // namespace

void installTranslations(QCoreApplication& application) {
    auto* program = new QTranslator(&application);
    if (!loadProgram(*program)) {
        delete program;
        return;
    }
    QCoreApplication::installTranslator(program);
    // Qt's dialogs and standard buttons in the same language, when installed.
    auto* base = new QTranslator(&application);
    if (base->load(QLocale(program->language()), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(base);
    else
        delete base;
}
