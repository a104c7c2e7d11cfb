#pragma once

#include <QList>
#include <QVariantMap>

class AppState;

// The published device list as plain maps, the form the session bus and the
// command line give it: id, name, kind, percent (absent when unknown),
// connected, charging (absent when unknown), low, threshold (the effective one), secondsUntilThreshold and
// secondsUntilEmpty (where there is an estimate) and, where the device has
// them, components (id, label, percent).
namespace DeviceStatus {
QList<QVariantMap> deviceMaps(const AppState& state);
} // namespace DeviceStatus
