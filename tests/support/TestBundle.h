#pragma once

#include "platform/Bundle.h"

#include <QMap>

// A package whose auxiliary executables live in one chosen folder, with
// chosen information values.
class TestBundle final : public Bundle {
public:
    explicit TestBundle(QString libexecDir = {})
        : m_libexecDir(std::move(libexecDir)) {}

    QMap<QString, QString> info;

    std::optional<QString> infoString(const QString& key) const override;
    std::optional<QString> auxiliaryExecutable(const QString& name) const override;
    std::optional<QString> auxiliaryModule(const QString& name) const override {
        return auxiliaryExecutable(name);
    }
    QString launcherPath() const override { return launcher; }
    QString launcher;

private:
    QString m_libexecDir;
};
