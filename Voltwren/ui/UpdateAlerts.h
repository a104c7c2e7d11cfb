#pragma once

#include "app/UpdaterUserDriver.h"

#include <QPointer>
#include <QWidget>

// The update checks' windows: the update dialog and the two message boxes,
// all non-modal so the tray keeps working while they are open.
class UpdateAlerts final : public UpdaterUserDriver {
public:
    // PARENT (may be null) is the window they belong to.
    explicit UpdateAlerts(QWidget* parent = nullptr)
        : m_parent(parent) {}

    // "Download" opens the download link in the browser before replying.
    void showUpdateFound(const AppcastItem& update, const QString& runningVersion,
                         std::function<void(Choice)> reply) override;
    void showUpToDate(const QString& runningVersion) override;
    void showUpdateError(const QString& message) override;

private:
    QPointer<QWidget> m_parent;
};
