#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// One release offered by an update feed.
struct AppcastItem {
    QString version;        // compared with the running version
    QString displayVersion; // shown to the user; the version when the feed gives none
    QUrl releaseNotesLink;  // empty when the feed gives no https link
    QUrl downloadLink;      // always https

    friend bool operator==(const AppcastItem&, const AppcastItem&) = default;
};

// The update feed: an RSS 2.0 channel whose items carry a version, a short
// version string, a release-notes link and a download enclosure. Elements and
// attributes are matched by local name, whatever namespace the feed uses.
namespace AppcastFeed {

struct Parsed {
    QList<AppcastItem> items;     // in feed order
    std::optional<QString> error; // why the feed is unusable; items is then empty
};

// Items without a version or an https download link are left out; a feed
// that lists items but none usable is an error, an empty channel is not.
Parsed parse(const QByteArray& xml);

// The item with the highest version; the first of equal ones.
std::optional<AppcastItem> newest(const QList<AppcastItem>& items);

// Dotted whole numbers compared part by part, missing parts as zero: 2.10 is
// newer than 2.9 and 1.0 equals 1.0.0. Negative, zero or positive as A is
// older, equal or newer; nullopt when either is not such a version.
std::optional<int> compareVersions(const QString& a, const QString& b);

} // namespace AppcastFeed
