#pragma once

// Where the running program is found on the session bus.
namespace SessionNames {
inline constexpr const char* service = "app.voltwren.Voltwren";
inline constexpr const char* objectPath = "/app/voltwren/Voltwren";
inline constexpr const char* interface = "app.voltwren.Voltwren1";
} // namespace SessionNames
