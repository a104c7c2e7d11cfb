#include "ui/UpdateAlerts.h"
#include "ui/UpdateFoundDialog.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QString shownText(const QWidget& window) {
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->isVisible())
            texts << label->text();
    }
    return texts.join('\n');
}

template <typename Window> Window* visibleWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<Window*>(window); found && found->isVisible())
            return found;
    }
    return nullptr;
}

void saveScreenshot(QWidget& window, const QString& name) {
    const QString path = QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + name;
    QVERIFY2(window.grab().save(path), qPrintable(path));
}

} // namespace

class UpdateAlertsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dialogShowsVersionsAndAnswers() {
        const AppcastItem update{"2.10", "2.10 (build 7)", QUrl("https://voltwren.app/notes/2.10.html"),
                                 QUrl("https://voltwren.app/download/2.10.tar.gz")};
        UpdateFoundDialog dialog(update, "2.9");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        const QString text = shownText(dialog);
        QVERIFY2(text.contains("Voltwren 2.10 (build 7) is now available (you have 2.9)"), qPrintable(text));
        QVERIFY2(text.contains("href=\"https://voltwren.app/notes/2.10.html\""), qPrintable(text));
        QCOMPARE(dialog.downloadButton()->text(), "Download");
        QCOMPARE(dialog.skipButton()->text(), "Skip This Version");
        QCOMPARE(dialog.remindButton()->text(), "Remind Me Later");
        QVERIFY(dialog.downloadButton()->isDefault());
        for (const QPushButton* button :
             {dialog.downloadButton(), dialog.skipButton(), dialog.remindButton()})
            QVERIFY(button->isVisible() && button->width() >= button->sizeHint().width());
        saveScreenshot(dialog, "update-dialog.png");

        QSignalSpy chosen(&dialog, &UpdateFoundDialog::chosen);
        dialog.skipButton()->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().value<UpdaterUserDriver::Choice>(),
                 UpdaterUserDriver::Choice::skipThisVersion);
        QVERIFY(!dialog.isVisible());
    }

    void messageBoxes_data() {
        QTest::addColumn<bool>("upToDate");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up to date")
            << true << "You're up to date.\nVoltwren 0.1.0 is currently the newest version available.";
        QTest::newRow("failure") << false
                                 << "Couldn't check for updates: the server answered with HTTP status 404";
    }
    void messageBoxes() {
        QFETCH(bool, upToDate);
        QFETCH(QString, expected);
        UpdateAlerts alerts;
        if (upToDate)
            alerts.showUpToDate("0.1.0");
        else
            alerts.showUpdateError("Couldn't check for updates: the server answered with HTTP status 404");
        QMessageBox* box = visibleWindow<QMessageBox>();
        QVERIFY(box);
        QVERIFY(QTest::qWaitForWindowExposed(box));
        QCOMPARE(QStringList({box->text(), box->informativeText()}).join('\n').trimmed(), expected);
        QCOMPARE(box->icon(), upToDate ? QMessageBox::Information : QMessageBox::Warning);
        saveScreenshot(*box, upToDate ? "update-up-to-date.png" : "update-failed.png");
        box->close();
    }
};

QTEST_MAIN(UpdateAlertsTest)
#include "tst_updatealerts.moc"
