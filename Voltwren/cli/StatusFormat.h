#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// The device list of `voltwren status` in its three forms. Each device is
// an object with the keys of the session bus's Devices property.
namespace StatusFormat {

// The devices as JSON: from the published maps, or from what the bus
// delivered (nested D-Bus arguments included).
QJsonArray fromMaps(const QList<QVariantMap>& devices);
QJsonValue fromDBus(const QVariant& value);

// One line per device, columns aligned: a "!" on low devices, the name,
// the charge ("15%", "15%, charging", "Not connected" or "—"), components ("L 40% · R 12% ·
// Case 80%"). Ends with a line feed; "No battery-powered devices found"
// when the list is empty.
QString text(const QJsonArray& devices);
// Compact, one line.
QString json(const QJsonArray& devices);
// A waybar custom module's object, compact, one line: text (the lowest
// connected charge with a short name), tooltip (every device), class
// ("low" or "normal") and percentage. Text and tooltip are markup, names
// escaped.
QString waybar(const QJsonArray& devices);
// The same while the program does not run: empty text, class "stopped".
QString waybarStopped();
// A program that holds the name but does not answer: empty text, class "not-answering".
QString waybarNotAnswering();

} // namespace StatusFormat
