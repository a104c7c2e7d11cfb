#include "BluezReport.h"

#include <QList>

#include <algorithm>
#include <array>
#include <limits>

namespace BluezReport {

namespace {

const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString batteryInterface = QStringLiteral("org.bluez.Battery1");

const QString sectionIndent(6, QLatin1Char(' '));
const QString deviceIndent(10, QLatin1Char(' '));
const QString propertyIndent(14, QLatin1Char(' '));

// The characters the report reader splits lines at.
bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

// What the report reader trims from both ends of a line.
bool isHorizontalSpace(QChar c) {
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

// One line of text: every line break (a CR LF pair counting as one) becomes
// a space, and the ends are trimmed as the reader trims them.
QString singleLine(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            continue;
        result.append(isLineBreak(c) ? QChar(QLatin1Char(' ')) : c);
    }
    qsizetype begin = 0;
    qsizetype end = result.size();
    while (begin < end && isHorizontalSpace(result[begin]))
        ++begin;
    while (end > begin && isHorizontalSpace(result[end - 1]))
        --end;
    return result.mid(begin, end - begin);
}

std::optional<QString> stringProperty(const QVariantMap& properties, const QString& name) {
    const QVariant value = properties.value(name);
    if (value.metaType().id() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

// A property as one non-empty line of text: an empty value would turn its
// "Key: " line into something that reads as a device heading.
std::optional<QString> lineProperty(const QVariantMap& properties, const QString& name) {
    const std::optional<QString> text = stringProperty(properties, name);
    if (!text)
        return std::nullopt;
    QString line = singleLine(*text);
    if (line.isEmpty())
        return std::nullopt;
    return line;
}

std::optional<bool> boolProperty(const QVariantMap& properties, const QString& name) {
    const QVariant value = properties.value(name);
    if (value.metaType().id() != QMetaType::Bool)
        return std::nullopt;
    return value.toBool();
}

// Integers of any D-Bus width; anything else (strings, booleans) is unknown.
std::optional<qint64> integerProperty(const QVariantMap& properties, const QString& name) {
    const QVariant value = properties.value(name);
    switch (value.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::ULongLong:
        if (value.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return value.toLongLong();
    default:
        return std::nullopt;
    }
}

// BlueZ's Percentage is a byte from 0 to 100. Anything else (255 for
// "unknown", a wrong D-Bus type) is no level, and said in NOTES, rather than
// a number passed on.
std::optional<qint64> percentageProperty(const QVariantMap& battery, const QString& path,
                                         QStringList* notes) {
    const QVariant value = battery.value(QStringLiteral("Percentage"));
    if (!value.isValid())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (value.toULongLong() <= 100)
            return static_cast<qint64>(value.toULongLong());
        break;
    default:
        break;
    }
    if (notes)
        notes->append(singleLine(QStringLiteral("bluez-report: ignored the Percentage of %1: %2 %3 is not a "
                                                "byte from 0 to 100")
                                     .arg(path, QLatin1String(value.metaType().name()), value.toString())));
    return std::nullopt;
}

std::optional<QString> word(const char* text) {
    if (!text)
        return std::nullopt;
    return QString::fromLatin1(text);
}

template <std::size_t N>
std::optional<QString> wordAt(const std::array<const char*, N>& words, quint32 index) {
    return index < N ? word(words[index]) : std::nullopt;
}

// "%04X".
QString hex4Digits(quint16 value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

struct Device {
    QString path;
    QString heading;
    std::optional<QString> address;
    QStringList properties;
};

// CONNECTED: no RSSI, which any program's discovery sets on connected
// devices too; the reader would take a device with only that for a sighting.
Device makeDevice(const QString& path, const InterfaceMap& interfaces, bool connected, QStringList* notes) {
    const QVariantMap device = interfaces.value(deviceInterface);
    Device result;
    result.path = path;
    result.address = lineProperty(device, QStringLiteral("Address"));

    for (const QString& key : {QStringLiteral("Alias"), QStringLiteral("Name")}) {
        if (const std::optional<QString> name = lineProperty(device, key)) {
            result.heading = headingName(*name);
            break;
        }
    }
    if (result.heading.isEmpty() && result.address)
        result.heading = headingName(*result.address);

    if (result.address)
        result.properties.append(QStringLiteral("Address: ") + *result.address);
    if (const std::optional<QString> modalias = stringProperty(device, QStringLiteral("Modalias"))) {
        if (const std::optional<DeviceIds> ids = idsFromModalias(*modalias)) {
            result.properties.append(QStringLiteral("Vendor ID: 0x") + hex4Digits(ids->vendor));
            result.properties.append(QStringLiteral("Product ID: 0x") + hex4Digits(ids->product));
        }
    }
    std::optional<QString> minorType;
    const std::optional<qint64> deviceClass = integerProperty(device, QStringLiteral("Class"));
    if (deviceClass && *deviceClass >= 0 && *deviceClass <= 0xFFFFFFFF)
        minorType = minorTypeForClass(static_cast<quint32>(*deviceClass));
    if (!minorType) {
        if (const std::optional<QString> icon = stringProperty(device, QStringLiteral("Icon")))
            minorType = minorTypeForIcon(*icon);
    }
    if (!minorType) {
        // A Bluetooth LE device has no Class; its Appearance says what it is.
        const std::optional<qint64> appearance = integerProperty(device, QStringLiteral("Appearance"));
        if (appearance && *appearance >= 0 && *appearance <= 0xFFFF)
            minorType = minorTypeForAppearance(static_cast<quint16>(*appearance));
    }
    if (minorType)
        result.properties.append(QStringLiteral("Minor Type: ") + *minorType);
    if (!connected) {
        if (const std::optional<qint64> rssi = integerProperty(device, QStringLiteral("RSSI")))
            result.properties.append(QStringLiteral("RSSI: ") + QString::number(*rssi));
    }
    const auto battery = interfaces.constFind(batteryInterface);
    if (battery != interfaces.cend()) {
        if (const std::optional<qint64> percentage = percentageProperty(*battery, path, notes))
            result.properties.append(QStringLiteral("Battery Level: ") + QString::number(*percentage) +
                                     QLatin1Char('%'));
    }
    return result;
}

// By name ignoring case, then by address, then by object path, so that the
// same devices always come out in the same order.
bool comesBefore(const Device& a, const Device& b) {
    if (const int byName = a.heading.compare(b.heading, Qt::CaseInsensitive); byName != 0)
        return byName < 0;
    const QString addressA = a.address.value_or(QString());
    const QString addressB = b.address.value_or(QString());
    if (addressA != addressB)
        return addressA < addressB;
    return a.path < b.path;
}

void appendSection(QString& report, const QString& title, QList<Device>& devices) {
    std::sort(devices.begin(), devices.end(), comesBefore);
    report += sectionIndent + title + QLatin1Char('\n');
    for (const Device& device : devices) {
        report += deviceIndent + device.heading + QStringLiteral(":\n");
        for (const QString& property : device.properties)
            report += propertyIndent + property + QLatin1Char('\n');
    }
}

} // namespace

QString headingName(const QString& name) {
    QString heading = singleLine(name);
    heading.replace(QStringLiteral(": "), QStringLiteral(":\u00A0"));
    // These would read as a section heading or as the computer's own adapter.
    if (heading == QLatin1String("Connected") || heading == QLatin1String("Not Connected") ||
        heading == QLatin1String("Bluetooth Controller"))
        heading += QChar(0x00A0);
    return heading;
}

std::optional<QString> minorTypeForClass(quint32 deviceClass) {
    static constexpr std::array<const char*, 8> computer{nullptr,    "Desktop",    "Server",   "Laptop",
                                                         "Handheld", "Palm-Sized", "Wearable", "Tablet"};
    static constexpr std::array<const char*, 6> phone{nullptr,      "Cellular", "Cordless",
                                                      "Smartphone", "Modem",    "ISDN"};
    static constexpr std::array<const char*, 19> audioVideo{nullptr,
                                                            "Headset",
                                                            "Hands-free",
                                                            nullptr,
                                                            "Microphone",
                                                            "Loudspeaker",
                                                            "Headphones",
                                                            "Portable Audio",
                                                            "Car Audio",
                                                            "Set-top Box",
                                                            "HiFi Audio",
                                                            "VCR",
                                                            "Video Camera",
                                                            "Camcorder",
                                                            "Video Monitor",
                                                            "Video Display and Loudspeaker",
                                                            "Video Conferencing",
                                                            nullptr,
                                                            "Gaming/Toy"};
    static constexpr std::array<const char*, 4> keyboardPointing{nullptr, "Keyboard", "Mouse",
                                                                 "Keyboard/Mouse"};
    static constexpr std::array<const char*, 10> peripheralSubtype{
        nullptr,          "Joystick",       "Gamepad",
        "Remote Control", "Sensing Device", "Digitizer Tablet",
        "Card Reader",    "Digital Pen",    "Handheld Scanner",
        "Gestural Input"};

    const quint32 major = (deviceClass >> 8) & 0x1F;
    const quint32 minor = (deviceClass >> 2) & 0x3F;
    switch (major) {
    case 0x01:
        return wordAt(computer, minor);
    case 0x02:
        return wordAt(phone, minor);
    case 0x04:
        return wordAt(audioVideo, minor);
    case 0x05: {
        // The subtype is the more specific word (a gamepad or pen tablet may
        // also claim to point); the keyboard/pointing bits name the rest.
        if (std::optional<QString> subtype = wordAt(peripheralSubtype, minor & 0x0F))
            return subtype;
        return wordAt(keyboardPointing, minor >> 4);
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> minorTypeForIcon(const QString& icon) {
    static const QMap<QString, QString> words{
        {QStringLiteral("input-keyboard"), QStringLiteral("Keyboard")},
        {QStringLiteral("input-mouse"), QStringLiteral("Mouse")},
        {QStringLiteral("input-tablet"), QStringLiteral("Digitizer Tablet")},
        {QStringLiteral("input-gaming"), QStringLiteral("Gamepad")},
        {QStringLiteral("audio-headset"), QStringLiteral("Headset")},
        {QStringLiteral("audio-headphones"), QStringLiteral("Headphones")},
        {QStringLiteral("phone"), QStringLiteral("Smartphone")},
        {QStringLiteral("computer"), QStringLiteral("Computer")},
    };
    const auto found = words.constFind(icon);
    if (found == words.cend())
        return std::nullopt;
    return *found;
}

std::optional<QString> minorTypeForAppearance(quint16 appearance) {
    const quint16 category = appearance >> 6;
    const quint16 subcategory = appearance & 0x3F;
    switch (category) {
    case 0x001:
        return QStringLiteral("Smartphone");
    case 0x002:
        return QStringLiteral("Computer");
    case 0x00F: {
        // Human interface devices.
        static constexpr std::array<const char*, 9> hid{nullptr,       "Keyboard",    "Mouse",
                                                        "Joystick",    "Gamepad",     "Digitizer Tablet",
                                                        "Card Reader", "Digital Pen", "Handheld Scanner"};
        return wordAt(hid, subcategory);
    }
    case 0x021:
        // Audio sinks: speakers, soundbars.
        return QStringLiteral("Loudspeaker");
    case 0x025:
        // Wearable audio: earbuds, headsets, headphones, neck bands.
        return subcategory == 0x02 ? QStringLiteral("Headset") : QStringLiteral("Headphones");
    default:
        return std::nullopt;
    }
}

std::optional<DeviceIds> idsFromModalias(const QString& modalias) {
    QStringView rest(modalias);
    if (rest.startsWith(QLatin1String("bluetooth:")))
        rest = rest.mid(10);
    else if (rest.startsWith(QLatin1String("usb:")))
        rest = rest.mid(4);
    else
        return std::nullopt;
    // Exactly v + 4 hex digits, p + 4, d + 4, as BlueZ writes it.
    if (rest.size() != 15 || rest[0] != QLatin1Char('v') || rest[5] != QLatin1Char('p') ||
        rest[10] != QLatin1Char('d'))
        return std::nullopt;
    const auto hex4 = [](QStringView digits) -> std::optional<quint16> {
        quint16 value = 0;
        for (const QChar c : digits) {
            int digit = -1;
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                digit = c.unicode() - '0';
            else if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                digit = c.unicode() - 'a' + 10;
            else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
                digit = c.unicode() - 'A' + 10;
            else
                return std::nullopt;
            value = static_cast<quint16>(value * 16 + digit);
        }
        return value;
    };
    const std::optional<quint16> vendor = hex4(rest.mid(1, 4));
    const std::optional<quint16> product = hex4(rest.mid(6, 4));
    if (!vendor || !product || !hex4(rest.mid(11, 4)))
        return std::nullopt;
    return DeviceIds{*vendor, *product};
}

QString failureLine(const QString& errorName, const QString& errorMessage) {
    const QString prefix = QStringLiteral("bluez-report: ");
    QString line;
    if (meansNoBluez(errorName))
        line = prefix + QStringLiteral("BlueZ (org.bluez) is not on the system bus");
    else if (errorName == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
             errorName == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
             errorName == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
        line = prefix + QStringLiteral("BlueZ did not answer within 5 s");
    else if (errorName == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        line = prefix + QStringLiteral("BlueZ refused access: ") + errorMessage;
    else
        line = prefix + QStringLiteral("BlueZ failed: ") + errorName + QStringLiteral(": ") + errorMessage;
    return singleLine(line) + QLatin1Char('\n');
}

bool meansNoBluez(const QString& errorName) {
    return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

QString build(const ManagedObjects& objects, QStringList* notes) {
    QString report = QStringLiteral("Bluetooth:\n\n");
    QList<Device> connected;
    QList<Device> paired;
    // The map is ordered by object path, so controllers come out in path order.
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const InterfaceMap& interfaces = *object;
        if (const auto adapter = interfaces.constFind(adapterInterface); adapter != interfaces.cend()) {
            report += sectionIndent + QStringLiteral("Bluetooth Controller:\n");
            if (const std::optional<QString> address = lineProperty(*adapter, QStringLiteral("Address")))
                report += deviceIndent + QStringLiteral("Address: ") + *address + QLatin1Char('\n');
            if (const std::optional<bool> powered = boolProperty(*adapter, QStringLiteral("Powered")))
                report += deviceIndent + QStringLiteral("State: ") +
                          (*powered ? QStringLiteral("On") : QStringLiteral("Off")) + QLatin1Char('\n');
        }
        const auto device = interfaces.constFind(deviceInterface);
        if (device == interfaces.cend())
            continue;
        if (boolProperty(*device, QStringLiteral("Connected")).value_or(false))
            connected.append(makeDevice(object.key().path(), interfaces, true, notes));
        else if (boolProperty(*device, QStringLiteral("Paired")).value_or(false))
            paired.append(makeDevice(object.key().path(), interfaces, false, notes));
    }
    appendSection(report, QStringLiteral("Connected:"), connected);
    if (!paired.isEmpty())
        appendSection(report, QStringLiteral("Not Connected:"), paired);
    return report;
}

} // namespace BluezReport
