#include "AppcastFeed.h"

#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

bool isName(const QXmlStreamReader& xml, QLatin1String name) {
    return xml.name() == name;
}

QString attribute(const QXmlStreamAttributes& attributes, QLatin1String name) {
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == name)
            return attribute.value().toString().trimmed();
    }
    return {};
}

// Links from the feed end up in the browser: only https ones are taken.
QUrl secureLink(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
        return {};
    return url;
}

// The digits of each part without leading zeros, trailing zero parts dropped.
std::optional<QStringList> versionParts(const QString& version) {
    if (version.isEmpty())
        return std::nullopt;
    QStringList parts = version.split(QLatin1Char('.'));
    for (QString& part : parts) {
        if (part.isEmpty() || !std::all_of(part.cbegin(), part.cend(), [](QChar c) {
                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
            }))
            return std::nullopt;
        while (part.size() > 1 && part.startsWith(QLatin1Char('0')))
            part.remove(0, 1);
    }
    while (!parts.isEmpty() && parts.last() == QLatin1String("0"))
        parts.removeLast();
    return parts;
}

// Reads one <item>; the reader is at its start and ends at its end.
std::optional<AppcastItem> readItem(QXmlStreamReader& xml) {
    QString version;
    QString shortVersion;
    QString notes;
    QString download;
    QString link;
    bool otherChannel = false;
    while (xml.readNextStartElement()) {
        if (isName(xml, QLatin1String("enclosure"))) {
            const QXmlStreamAttributes attributes = xml.attributes();
            download = attribute(attributes, QLatin1String("url"));
            if (version.isEmpty())
                version = attribute(attributes, QLatin1String("version"));
            if (shortVersion.isEmpty())
                shortVersion = attribute(attributes, QLatin1String("shortVersionString"));
            xml.skipCurrentElement();
        } else if (isName(xml, QLatin1String("version"))) {
            version = xml.readElementText().trimmed();
        } else if (isName(xml, QLatin1String("shortVersionString"))) {
            shortVersion = xml.readElementText().trimmed();
        } else if (isName(xml, QLatin1String("releaseNotesLink"))) {
            notes = xml.readElementText().trimmed();
        } else if (isName(xml, QLatin1String("link"))) {
            link = xml.readElementText().trimmed();
        } else if (isName(xml, QLatin1String("channel"))) {
            // A release for testers on a channel of their own.
            otherChannel = true;
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    const QUrl downloadLink = secureLink(download.isEmpty() ? link : download);
    if (otherChannel || !versionParts(version) || downloadLink.isEmpty())
        return std::nullopt;
    return AppcastItem{version, shortVersion.isEmpty() ? version : shortVersion, secureLink(notes),
                       downloadLink};
}

} // namespace

AppcastFeed::Parsed AppcastFeed::parse(const QByteArray& xmlText) {
    QXmlStreamReader xml(xmlText);
    Parsed parsed;
    qsizetype itemCount = 0;
    bool sawChannel = false;
    if (xml.readNextStartElement()) {
        if (!isName(xml, QLatin1String("rss"))) {
            parsed.error = QStringLiteral("the update feed is not an RSS feed");
            return parsed;
        }
        while (xml.readNextStartElement()) {
            if (!isName(xml, QLatin1String("channel"))) {
                xml.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (xml.readNextStartElement()) {
                if (!isName(xml, QLatin1String("item"))) {
                    xml.skipCurrentElement();
                    continue;
                }
                ++itemCount;
                if (std::optional<AppcastItem> item = readItem(xml))
                    parsed.items.append(*item);
            }
        }
    }
    // Reading on to the end catches anything malformed after the channel.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError()) {
        parsed.items.clear();
        parsed.error = QStringLiteral("the update feed is not valid XML (line %1: %2)")
                           .arg(xml.lineNumber())
                           .arg(xml.errorString());
    } else if (!sawChannel) {
        parsed.error = QStringLiteral("the update feed has no channel");
    } else if (itemCount > 0 && parsed.items.isEmpty()) {
        parsed.error = QStringLiteral("the update feed lists no usable release");
    }
    return parsed;
}

std::optional<AppcastItem> AppcastFeed::newest(const QList<AppcastItem>& items) {
    std::optional<AppcastItem> best;
    for (const AppcastItem& item : items) {
        if (!best || compareVersions(item.version, best->version).value_or(0) > 0)
            best = item;
    }
    return best;
}

std::optional<int> AppcastFeed::compareVersions(const QString& a, const QString& b) {
    const std::optional<QStringList> left = versionParts(a);
    const std::optional<QStringList> right = versionParts(b);
    if (!left || !right)
        return std::nullopt;
    for (qsizetype i = 0; i < std::max(left->size(), right->size()); ++i) {
        const QString x = i < left->size() ? left->at(i) : QStringLiteral("0");
        const QString y = i < right->size() ? right->at(i) : QStringLiteral("0");
        // Without leading zeros, a longer number is the larger one.
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (const int order = x.compare(y); order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}
