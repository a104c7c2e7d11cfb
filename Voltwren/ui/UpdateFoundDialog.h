#pragma once

#include "app/UpdaterUserDriver.h"

#include <QDialog>

class QLabel;
class QPushButton;

// "A new version is available": the new and the running version, a link to
// the release notes and the three answers. Closing it is "Remind Me Later".
class UpdateFoundDialog final : public QDialog {
    Q_OBJECT

public:
    UpdateFoundDialog(const AppcastItem& update, const QString& runningVersion, QWidget* parent = nullptr);

    QPushButton* downloadButton() const { return m_download; }
    QPushButton* skipButton() const { return m_skip; }
    QPushButton* remindButton() const { return m_remind; }

Q_SIGNALS:
    // Once, when the dialog closes.
    void chosen(UpdaterUserDriver::Choice choice);

private:
    void choose(UpdaterUserDriver::Choice choice);

    UpdaterUserDriver::Choice m_choice = UpdaterUserDriver::Choice::remindMeLater;
    QPushButton* m_download = nullptr;
    QPushButton* m_skip = nullptr;
    QPushButton* m_remind = nullptr;
};
