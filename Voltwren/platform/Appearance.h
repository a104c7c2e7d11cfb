#pragma once

#include <functional>

// The light or dark preference the user chose in the desktop's settings.
enum class ColorScheme { noPreference, preferDark, preferLight };

// Where the desktop says how its applications should look.
class Appearance {
public:
    virtual ~Appearance() = default;

    // OBSERVER hears the preference once it is known (noPreference when the
    // desktop does not say), then at every change; always later on the main
    // thread, never inside this call. One observer; a second replaces it.
    virtual void observeColorScheme(std::function<void(ColorScheme)> observer) = 0;
};

// The desktop's. Main thread only.
Appearance& appearance();
