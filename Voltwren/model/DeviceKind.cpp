#include "DeviceKind.h"

#include <array>

namespace {

struct KindRow {
    DeviceKind kind;
    const char* raw;
    ImageReference::Source source;
    const char* icon;
};

using S = ImageReference::Source;

constexpr std::array<KindRow, 11> kRows{{
    {DeviceKind::mac, "mac", S::systemSymbol, "laptopcomputer"},
    {DeviceKind::airpods, "airpods", S::systemSymbol, "airpods"},
    {DeviceKind::airpodsPro, "airpodsPro", S::systemSymbol, "airpodspro"},
    {DeviceKind::airpodsMax, "airpodsMax", S::systemSymbol, "airpodsmax"},
    {DeviceKind::headphones, "headphones", S::systemSymbol, "headphones"},
    {DeviceKind::mouse, "mouse", S::systemSymbol, "computermouse"},
    {DeviceKind::trackpad, "trackpad", S::systemSymbol, "trackpad"},
    {DeviceKind::keyboard, "keyboard", S::systemSymbol, "keyboard"},
    {DeviceKind::gameController, "gameController", S::systemSymbol, "gamecontroller"},
    {DeviceKind::iphone, "iphone", S::systemSymbol, "iphone"},
    {DeviceKind::otherAccessory, "otherAccessory", S::asset, "Bluetooth"},
}};

const KindRow& rowFor(DeviceKind kind) {
    return kRows[static_cast<std::size_t>(kind)];
}

} // namespace

QString rawValue(DeviceKind kind) {
    return QString::fromLatin1(rowFor(kind).raw);
}

std::optional<DeviceKind> deviceKindFromRawValue(const QString& raw) {
    for (const KindRow& row : kRows) {
        if (raw == QLatin1String(row.raw))
            return row.kind;
    }
    return std::nullopt;
}

ImageReference icon(DeviceKind kind) {
    const KindRow& row = rowFor(kind);
    return {row.source, QString::fromLatin1(row.icon)};
}
