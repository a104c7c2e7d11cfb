#pragma once

#include "platform/PowerSupplies.h"

#include <QString>

#include <optional>

// The kernel's power-supply class. Entries are symlinks into the device
// tree; they and their attributes are followed only while the resolved path
// stays inside the allowed tree, the folder two levels above the root (/sys
// for the real class folder; a test builds <tmp>/sys/class/power_supply and
// <tmp>/sys/devices).
class SysfsPowerSupplies final : public PowerSupplies {
public:
    explicit SysfsPowerSupplies(QString root = QStringLiteral("/sys/class/power_supply"));

    int registryEntries(QList<RegistryEntry>& entries) const override;
    QList<QVariantMap> powerSourceDescriptions() const override;
    int deviceBatteries(QList<DeviceBattery>& batteries) const override;

private:
    // Entry folders (resolved) in name order, with their names.
    int entryFolders(QList<std::pair<QString, QString>>& folders) const;
    // The trimmed text of an attribute; nullopt when it is missing, outside
    // the allowed tree, not a regular file, too large or fails to read.
    std::optional<QString> attribute(const QString& folder, const QString& name) const;
    std::optional<qint64> integerAttribute(const QString& folder, const QString& name) const;
    QList<QMap<QString, QString>> inputCapabilities(const QString& folder) const;
    std::optional<QString> wirelessStatus(const QString& folder) const;

    QString m_root;
    QString m_allowedTree;
};
