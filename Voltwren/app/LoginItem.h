#pragma once

class LoginItemService;

// Applies the launch-at-login setting to the login-item registration; a
// failure is printed, never thrown, and the setting is left as chosen.
void updateLaunchAtLogin(bool enabled);
void updateLaunchAtLogin(bool enabled, LoginItemService& service);
