#include "ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {

struct Message {
    QString context;
    QString source;
    bool numerus = false;
};

QList<Message> messagesOf(const QString& tsFile) {
    QList<Message> messages;
    QFile file(tsFile);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1String("context")) {
            context.clear();
        } else if (xml.name() == QLatin1String("name") && context.isEmpty()) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            messages.append(
                {context, {}, xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes")});
        } else if (xml.name() == QLatin1String("source") && !messages.isEmpty()) {
            messages.last().source = xml.readElementText();
        }
    }
    return messages;
}

QString translationsSource() {
    return QStringLiteral(VOLTWREN_SOURCE_DIR "/Voltwren/translations");
}

// What the code holds today, extracted the way translators get it.
QList<Message> textsOfTheSources() {
    QTemporaryDir folder;
    const QString ts = folder.filePath(QStringLiteral("extracted.ts"));
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(VOLTWREN_LUPDATE),
                  {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                   QStringLiteral(VOLTWREN_SOURCE_DIR "/Voltwren"), QStringLiteral("-ts"), ts});
    if (!lupdate.waitForFinished(60000) || lupdate.exitCode() != 0) {
        lupdate.kill();
        lupdate.waitForFinished(5000);
        qWarning() << "lupdate:" << lupdate.readAll();
        return {};
    }
    return messagesOf(ts);
}

QString describe(const Message& message) {
    return message.context + QStringLiteral(": \"") + message.source + QLatin1Char('"');
}

} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_extracted = textsOfTheSources();
        // The sources have far more than a handful of texts; fewer means
        // the extraction itself went wrong.
        QVERIFY2(m_extracted.size() > 100, qPrintable(QString::number(m_extracted.size())));
    }

    void everyTextHasATranslation_data() {
        QTest::addColumn<QString>("language");
        for (const QString& language : QStringLiteral(VOLTWREN_LANGUAGES).split(QLatin1Char(',')))
            QTest::newRow(qPrintable(language)) << language;
    }
    void everyTextHasATranslation() {
        QFETCH(QString, language);
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(VOLTWREN_STAGE_DIR "/share/voltwren/translations/voltwren_") +
                                language + QStringLiteral(".qm")));
        QStringList missing;
        for (const Message& message : std::as_const(m_extracted)) {
            const QByteArray context = message.context.toUtf8();
            const QByteArray source = message.source.toUtf8();
            // Both plural forms a language of two has, when there is a number.
            for (const int n : message.numerus ? QList<int>{1, 5} : QList<int>{-1}) {
                const QString translated =
                    translator.translate(context.constData(), source.constData(), nullptr, n);
                if (translated.isEmpty())
                    missing << describe(message) + (n < 0 ? QString() : QStringLiteral(" (n=%1)").arg(n));
                else if (source.contains("%1") && !translated.contains(QLatin1String("%1")))
                    missing << describe(message) + QStringLiteral(" loses %1");
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    }

    // A text changed in the code no longer matches the one its translations
    // were made for: the English texts stay as they are.
    void everyTranslatedTextIsStillInTheSources_data() { everyTextHasATranslation_data(); }
    void everyTranslatedTextIsStillInTheSources() {
        QFETCH(QString, language);
        QSet<QString> current;
        for (const Message& message : std::as_const(m_extracted))
            current.insert(message.context + QChar(0) + message.source);
        const QList<Message> kept = messagesOf(translationsSource() + QStringLiteral("/voltwren_") +
                                               language + QStringLiteral(".ts"));
        QVERIFY(!kept.isEmpty());
        QStringList changed;
        for (const Message& message : kept) {
            if (!current.contains(message.context + QChar(0) + message.source))
                changed << describe(message);
        }
        QVERIFY2(changed.isEmpty(), qPrintable(changed.join(QLatin1Char('\n'))));
    }

    // The staged programs pick the language from the environment at start.
    void programsSpeakTheUsersLanguage_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QStringList help{QStringLiteral("--help")};
        QTest::newRow("help, German")
            << "de_DE.UTF-8" << help << "  -h, --help     Diese Hilfe zeigen und beenden.\n";
        QTest::newRow("help, French") << "fr_FR.UTF-8" << help << "Options :\n";
        QTest::newRow("help, Spanish") << "es_ES.UTF-8" << help << "Uso: ";
        QTest::newRow("help, English") << "C.UTF-8" << help << "  -h, --help     Show this help and exit.\n";
        QTest::newRow("help, English (US)")
            << "en_US.UTF-8" << help << "  -h, --help     Show this help and exit.\n";
        QTest::newRow("help, a language without a translation")
            << "pt_BR.UTF-8" << help << "  -h, --help     Show this help and exit.\n";
        QTest::newRow("usage error, German")
            << "de_DE.UTF-8" << QStringList{QStringLiteral("frobnicate")}
            << "voltwren: Unbekannter Befehl „frobnicate“.\nAufruf: voltwren [status";
        QTest::newRow("history, German")
            << "de_DE.UTF-8"
            << QStringList{QStringLiteral("history"), QStringLiteral("--days"), QStringLiteral("3")}
            << "In den letzten 3 Tagen wurden keine Messwerte aufgezeichnet\n";
        QTest::newRow("history, French, one day")
            << "fr_FR.UTF-8"
            << QStringList{QStringLiteral("history"), QStringLiteral("--days"), QStringLiteral("1")}
            << "Aucune mesure enregistrée le dernier jour\n";
        QTest::newRow("history, English")
            << "C.UTF-8"
            << QStringList{QStringLiteral("history"), QStringLiteral("--days"), QStringLiteral("3")}
            << "No readings recorded in the last 3 days\n";
    }
    void programsSpeakTheUsersLanguage() {
        QFETCH(QString, lang);
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        ProgramRun run(nullptr, nullptr);
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            run.environment.remove(QLatin1String(name));
        run.environment.insert(QStringLiteral("LANG"), lang);
        QString output;
        run.runToEnd(arguments, &output);
        QVERIFY2(output.contains(expected), qPrintable(output));
    }

private:
    QList<Message> m_extracted;
};

QTEST_GUILESS_MAIN(TranslationsTest)
#include "tst_translations.moc"
