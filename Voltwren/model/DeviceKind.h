#pragma once

#include <QString>

#include <optional>

// What sort of device a battery belongs to. The raw value (the case name) is
// the only external form; it is what stored overrides carry.
enum class DeviceKind {
    mac,
    airpods,
    airpodsPro,
    airpodsMax,
    headphones,
    mouse,
    trackpad,
    keyboard,
    gameController,
    iphone,
    otherAccessory,
};

// A reference to artwork by name, resolved to pixels by the UI.
struct ImageReference {
    enum class Source { systemSymbol, asset };
    Source source;
    QString name;

    bool operator==(const ImageReference&) const = default;
};

QString rawValue(DeviceKind kind);
// Fails (nullopt) on any string that is not exactly a raw value.
std::optional<DeviceKind> deviceKindFromRawValue(const QString& raw);
ImageReference icon(DeviceKind kind);
