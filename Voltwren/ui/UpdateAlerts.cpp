#include "UpdateAlerts.h"

#include "UpdateFoundDialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QMessageBox>

namespace {

void present(QWidget* window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->raise();
    window->activateWindow();
}

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text, const QString& detail) {
    auto* box = new QMessageBox(icon, QCoreApplication::translate("UpdateAlerts", "Software Update"), text,
                                QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText); // failure reasons quote addresses and server text
    box->setInformativeText(detail);
    // A message box sizes itself to its shortest text; keep short texts on
    // few lines.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(360, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(),
                      0, 1, grid->columnCount());
    box->setModal(false);
    present(box);
}

} // namespace

void UpdateAlerts::showUpdateFound(const AppcastItem& update, const QString& runningVersion,
                                   std::function<void(Choice)> reply) {
    auto* dialog = new UpdateFoundDialog(update, runningVersion, m_parent);
    const QUrl download = update.downloadLink;
    QObject::connect(dialog, &UpdateFoundDialog::chosen, dialog, [download, reply](Choice choice) {
        if (choice == Choice::download)
            QDesktopServices::openUrl(download);
        reply(choice);
    });
    present(dialog);
}

void UpdateAlerts::showUpToDate(const QString& runningVersion) {
    showMessage(m_parent, QMessageBox::Information, UpdaterTexts::upToDate(),
                UpdaterTexts::upToDateDetail(runningVersion));
}

void UpdateAlerts::showUpdateError(const QString& message) {
    showMessage(m_parent, QMessageBox::Warning, message, {});
}
