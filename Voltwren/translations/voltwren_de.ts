<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>AddDevicePopover</name>
    <message>
        <source>No devices available</source>
        <translation>Keine Geräte verfügbar</translation>
    </message>
</context>
<context>
    <name>AppState</name>
    <message>
        <source>%1 is at %2%.</source>
        <translation>%1 ist bei %2&#xa0;%.</translation>
    </message>
    <message>
        <source>%1 battery is low.</source>
        <translation>Akku von %1 ist schwach.</translation>
    </message>
    <message>
        <source>%1 is charged to %2%.</source>
        <translation>%1 ist zu %2&#xa0;% geladen.</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Später erinnern</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Show this help and exit.</source>
        <translation>Diese Hilfe zeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Die Version zeigen und beenden.</translation>
    </message>
    <message>
        <source>status, history: print a JSON array.</source>
        <translation>status, history: ein JSON-Array ausgeben.</translation>
    </message>
    <message>
        <source>status: print one JSON object for a waybar custom module.</source>
        <translation>status: ein JSON-Objekt für ein eigenes Waybar-Modul ausgeben.</translation>
    </message>
    <message>
        <source>status: with --json or --waybar, print a new line on every change until ended.</source>
        <translation>status: mit --json oder --waybar bei jeder Änderung eine neue Zeile ausgeben, bis es beendet wird.</translation>
    </message>
    <message>
        <source>history: how many days back to print, 1 to 90 (7 by default).</source>
        <translation>history: wie viele Tage zurück ausgegeben werden, 1 bis 90 (standardmäßig 7).</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>Voltwren watches the charge of this computer&apos;s battery and of its Bluetooth accessories from the tray.

Without a command it starts the tray program (or, when it already runs, opens its panel).</source>
        <translation>Voltwren überwacht von der Taskleiste aus den Ladestand des Akkus dieses Computers und seines Bluetooth-Zubehörs.

Ohne Befehl startet es das Programm in der Taskleiste (oder öffnet, wenn es schon läuft, seine Übersicht).</translation>
    </message>
    <message>
        <source>command</source>
        <translation>befehl</translation>
    </message>
    <message>
        <source>status: print each device&apos;s charge and leave. It asks the running program, or, when none runs, reads the sources once itself.
history [DEVICE]: print the recorded charges of every device, or of the one with that name or id.</source>
        <translation>status: den Ladestand jedes Geräts ausgeben und beenden. Fragt das laufende Programm oder liest, wenn keines läuft, die Quellen einmal selbst.
history [GERÄT]: die aufgezeichneten Ladestände aller Geräte ausgeben, oder des Geräts mit diesem Namen oder dieser ID.</translation>
    </message>
    <message>
        <source>[status | history [DEVICE]]</source>
        <translation>[status | history [GERÄT]]</translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation>Unerwartetes Argument „%1“.</translation>
    </message>
    <message>
        <source>Unknown command &apos;%1&apos;.</source>
        <translation>Unbekannter Befehl „%1“.</translation>
    </message>
    <message>
        <source>--waybar and --watch go with the status command.</source>
        <translation>--waybar und --watch gehören zum Befehl status.</translation>
    </message>
    <message>
        <source>--days takes a whole number of days from 1 to 90.</source>
        <translation>--days erwartet eine ganze Zahl von Tagen von 1 bis 90.</translation>
    </message>
    <message>
        <source>--days goes with the history command.</source>
        <translation>--days gehört zum Befehl history.</translation>
    </message>
    <message>
        <source>--json, --waybar and --watch go with the status command.</source>
        <translation>--json, --waybar und --watch gehören zum Befehl status.</translation>
    </message>
    <message>
        <source>Choose one of --json and --waybar.</source>
        <translation>Bitte nur eines von --json und --waybar wählen.</translation>
    </message>
    <message>
        <source>--watch needs --json or --waybar: it prints one line per change.</source>
        <translation>--watch braucht --json oder --waybar: es gibt eine Zeile pro Änderung aus.</translation>
    </message>
    <message>
        <source>Usage: voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] [DEVICE]] | --help | --version</source>
        <translation>Aufruf: voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] [GERÄT]] | --help | --version</translation>
    </message>
</context>
<context>
    <name>Component</name>
    <message>
        <source>Left earbud</source>
        <translation>Linker Ohrhörer</translation>
    </message>
    <message>
        <source>Right earbud</source>
        <translation>Rechter Ohrhörer</translation>
    </message>
    <message>
        <source>Case</source>
        <translation>Etui</translation>
    </message>
</context>
<context>
    <name>ComponentBlock</name>
    <message>
        <source>seen %1 min ago</source>
        <translation>vor %1 Min. gesehen</translation>
    </message>
</context>
<context>
    <name>DeviceRow</name>
    <message>
        <source>%1%</source>
        <translation>%1&#xa0;%</translation>
    </message>
    <message>
        <source>%1 percent</source>
        <translation>%1 Prozent</translation>
    </message>
    <message>
        <source>charge unknown</source>
        <translation>Ladestand unbekannt</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>, charging</source>
        <translation>, wird geladen</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>nicht verbunden</translation>
    </message>
</context>
<context>
    <name>FirstStartNotice</name>
    <message>
        <source>Voltwren is running</source>
        <translation>Voltwren läuft</translation>
    </message>
    <message>
        <source>Voltwren is watching your batteries, but this desktop shows no tray icons. On GNOME, the AppIndicator extension (gnome-shell-extension-appindicator) shows them. Open Voltwren again to see its panel.</source>
        <translation>Voltwren überwacht Ihre Akkus, aber diese Arbeitsumgebung zeigt keine Symbole in der Taskleiste. Unter GNOME zeigt die Erweiterung AppIndicator (gnome-shell-extension-appindicator) sie an. Öffnen Sie Voltwren erneut, um seine Übersicht zu sehen.</translation>
    </message>
</context>
<context>
    <name>FreedesktopNotificationCenter</name>
    <message>
        <source>Show Devices</source>
        <translation>Geräte zeigen</translation>
    </message>
</context>
<context>
    <name>HistoryCommand</name>
    <message>
        <source>  not connected</source>
        <translation>  nicht verbunden</translation>
    </message>
    <message>
        <source>voltwren: cannot read the charge history: %1
</source>
        <translation>voltwren: der Ladeverlauf kann nicht gelesen werden: %1
</translation>
    </message>
    <message>
        <source>voltwren: no device named &apos;%1&apos; in the charge history
</source>
        <translation>voltwren: kein Gerät namens „%1“ im Ladeverlauf
</translation>
    </message>
    <message>
        <source>No readings recorded in the last day
</source>
        <translation>Am letzten Tag wurden keine Messwerte aufgezeichnet
</translation>
    </message>
    <message numerus="yes">
        <source>No readings recorded in the last %n days
</source>
        <translation>
            <numerusform>In den letzten %n Tagen wurden keine Messwerte aufgezeichnet
</numerusform>
            <numerusform>In den letzten %n Tagen wurden keine Messwerte aufgezeichnet
</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>No charge history recorded yet</source>
        <translation>Noch kein Ladeverlauf aufgezeichnet</translation>
    </message>
    <message>
        <source>Last 7 days</source>
        <translation>Letzte 7 Tage</translation>
    </message>
    <message>
        <source>Last 30 days</source>
        <translation>Letzte 30 Tage</translation>
    </message>
    <message>
        <source>Charge of each device</source>
        <translation>Ladestand jedes Geräts</translation>
    </message>
</context>
<context>
    <name>HistoryWindowController</name>
    <message>
        <source>The charge history cannot be shown.</source>
        <translation>Der Ladeverlauf kann nicht angezeigt werden.</translation>
    </message>
</context>
<context>
    <name>MenuBarContentView</name>
    <message>
        <source>No battery-powered devices found</source>
        <translation>Keine akkubetriebenen Geräte gefunden</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>MenuBarExtra</name>
    <message>
        <source>Show Devices</source>
        <translation>Geräte zeigen</translation>
    </message>
    <message>
        <source>History…</source>
        <translation>Verlauf…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>MenuBarLabel</name>
    <message>
        <source>No battery-powered devices found</source>
        <translation>Keine akkubetriebenen Geräte gefunden</translation>
    </message>
</context>
<context>
    <name>OverrideListEditor</name>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Bluetooth permissions have not been granted. Some accessory battery levels can&apos;t be read.</source>
        <translation>Bluetooth-Berechtigungen wurden nicht erteilt. Einige Akkustände von Zubehör können nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Open Bluetooth Settings…</source>
        <translation>Bluetooth-Einstellungen öffnen…</translation>
    </message>
    <message>
        <source>Low battery threshold</source>
        <translation>Schwelle für schwachen Akku</translation>
    </message>
    <message>
        <source>You&apos;ll be notified once when a device&apos;s battery drops below its threshold. Choose “None” to never be notified.</source>
        <translation>Sie werden einmal benachrichtigt, wenn der Akku eines Geräts unter seine Schwelle fällt. Wählen Sie „Keine“, um nie benachrichtigt zu werden.</translation>
    </message>
    <message>
        <source>General threshold</source>
        <translation>Allgemeine Schwelle</translation>
    </message>
    <message>
        <source>Device specific thresholds</source>
        <translation>Gerätespezifische Schwellen</translation>
    </message>
    <message>
        <source>Devices without a specific threshold use the general one.</source>
        <translation>Geräte ohne eigene Schwelle verwenden die allgemeine.</translation>
    </message>
    <message>
        <source>Notify</source>
        <translation>Benachrichtigen</translation>
    </message>
    <message>
        <source>Highlight menubar icon</source>
        <translation>Symbol in der Leiste hervorheben</translation>
    </message>
    <message>
        <source>Send notification</source>
        <translation>Benachrichtigung senden</translation>
    </message>
    <message>
        <source>Notifications are turned off for Voltwren in System Settings.</source>
        <translation>Benachrichtigungen sind für Voltwren in den Systemeinstellungen ausgeschaltet.</translation>
    </message>
    <message>
        <source>Open Notification Settings…</source>
        <translation>Benachrichtigungseinstellungen öffnen…</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Nie</translation>
    </message>
    <message>
        <source>Every hour</source>
        <translation>Jede Stunde</translation>
    </message>
    <message>
        <source>Every 4 hours</source>
        <translation>Alle 4 Stunden</translation>
    </message>
    <message>
        <source>Remind again while low</source>
        <translation>Erneut erinnern, solange schwach</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>At %1</source>
        <translation>Bei %1</translation>
    </message>
    <message>
        <source>Notify when charged</source>
        <translation>Benachrichtigen, wenn geladen</translation>
    </message>
    <message>
        <source>Polling</source>
        <translation>Abfrage</translation>
    </message>
    <message>
        <source>This is only relevant for background polling. When you open the menubar icon, the app will always show updated battery stats</source>
        <translation>Dies betrifft nur die Abfrage im Hintergrund. Wenn Sie das Symbol in der Leiste öffnen, zeigt das Programm immer aktuelle Akkustände</translation>
    </message>
    <message>
        <source>Check battery every</source>
        <translation>Akku prüfen alle</translation>
    </message>
    <message>
        <source>Launch Voltwren at login</source>
        <translation>Voltwren bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Updates</source>
        <translation>Aktualisierungen</translation>
    </message>
    <message>
        <source>Voltwren checks for updates automatically once a day.</source>
        <translation>Voltwren sucht einmal am Tag automatisch nach Aktualisierungen.</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Nach Aktualisierungen suchen…</translation>
    </message>
    <message>
        <source>Diagnostic log for troubleshooting</source>
        <translation>Diagnoseprotokoll zur Fehlersuche</translation>
    </message>
    <message>
        <source>Show Log File in File Manager…</source>
        <translation>Protokolldatei in der Dateiverwaltung zeigen…</translation>
    </message>
    <message>
        <source>Show Charge History…</source>
        <translation>Ladeverlauf zeigen…</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Voltwren, version: %1</source>
        <translation>Voltwren, Version: %1</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 Min.</translation>
    </message>
</context>
<context>
    <name>StatusCommand</name>
    <message>
        <source>voltwren: --watch follows the program on the session bus, and there is none</source>
        <translation>voltwren: --watch folgt dem Programm auf dem Sitzungsbus, und dort läuft keines</translation>
    </message>
    <message>
        <source>voltwren: Voltwren is not running; this is a one-off reading of the sources</source>
        <translation>voltwren: Voltwren läuft nicht; dies ist eine einmalige Abfrage der Quellen</translation>
    </message>
    <message>
        <source>voltwren: the session bus went away</source>
        <translation>voltwren: der Sitzungsbus ist verschwunden</translation>
    </message>
    <message>
        <source>voltwren: cannot write the status: </source>
        <translation>voltwren: der Status kann nicht geschrieben werden: </translation>
    </message>
    <message>
        <source>voltwren: Voltwren is running but does not answer; this is a one-off reading of the sources</source>
        <translation>voltwren: Voltwren läuft, antwortet aber nicht; dies ist eine einmalige Abfrage der Quellen</translation>
    </message>
    <message>
        <source>voltwren: another program holds Voltwren&apos;s name on the session bus; this is a one-off reading of the sources</source>
        <translation>voltwren: ein anderes Programm belegt den Namen von Voltwren auf dem Sitzungsbus; dies ist eine einmalige Abfrage der Quellen</translation>
    </message>
</context>
<context>
    <name>StatusFormat</name>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>, charging</source>
        <translation>, wird geladen</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1&#xa0;%</translation>
    </message>
    <message>
        <source>L</source>
        <translation>L</translation>
    </message>
    <message>
        <source>R</source>
        <translation>R</translation>
    </message>
    <message>
        <source>No battery-powered devices found
</source>
        <translation>Keine akkubetriebenen Geräte gefunden
</translation>
    </message>
    <message>
        <source>Voltwren is not running</source>
        <translation>Voltwren läuft nicht</translation>
    </message>
    <message>
        <source>Voltwren is running but does not answer</source>
        <translation>Voltwren läuft, antwortet aber nicht</translation>
    </message>
</context>
<context>
    <name>Stepper</name>
    <message>
        <source>Increase</source>
        <translation>Erhöhen</translation>
    </message>
    <message>
        <source>Decrease</source>
        <translation>Verringern</translation>
    </message>
</context>
<context>
    <name>ThresholdPicker</name>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
</context>
<context>
    <name>TimeLeftEstimate</name>
    <message>
        <source>less than an hour</source>
        <translation>weniger als einer Stunde</translation>
    </message>
    <message>
        <source>about 1 hour</source>
        <translation>etwa einer Stunde</translation>
    </message>
    <message>
        <source>Reaches %1% in %2</source>
        <translation>Erreicht %1&#xa0;% in %2</translation>
    </message>
    <message>
        <source>Reaches 0% in %1</source>
        <translation>Erreicht 0&#xa0;% in %1</translation>
    </message>
    <message numerus="yes">
        <source>about %n hours</source>
        <translation>
            <numerusform>etwa %n Stunde</numerusform>
            <numerusform>etwa %n Stunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>about %n days</source>
        <translation>
            <numerusform>etwa %n Tag</numerusform>
            <numerusform>etwa %n Tagen</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>UpdateAlerts</name>
    <message>
        <source>Software Update</source>
        <translation>Softwareaktualisierung</translation>
    </message>
</context>
<context>
    <name>UpdateFoundDialog</name>
    <message>
        <source>Software Update</source>
        <translation>Softwareaktualisierung</translation>
    </message>
    <message>
        <source>A new version of Voltwren is available!</source>
        <translation>Eine neue Version von Voltwren ist verfügbar!</translation>
    </message>
    <message>
        <source>Voltwren %1 is now available (you have %2). Would you like to download it now?</source>
        <translation>Voltwren %1 ist jetzt verfügbar (installiert ist %2). Möchten Sie es jetzt herunterladen?</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;%1&quot;&gt;Release Notes&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;%1&quot;&gt;Versionshinweise&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation>Diese Version überspringen</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Später erinnern</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
</context>
<context>
    <name>VoltwrenApp</name>
    <message>
        <source>Voltwren cannot be reached by other programs</source>
        <translation>Voltwren ist für andere Programme nicht erreichbar</translation>
    </message>
    <message>
        <source>Another program holds Voltwren&apos;s name on the session bus, so “voltwren status”, status bars and a second launch cannot reach it. Voltwren goes on watching your batteries.</source>
        <translation>Ein anderes Programm belegt den Namen von Voltwren auf dem Sitzungsbus, daher erreichen „voltwren status“, Statusleisten und ein zweiter Start es nicht. Voltwren überwacht Ihre Akkus weiterhin.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>
Try &apos;voltwren --help&apos; for more.
</source>
        <translation>
Mehr mit „voltwren --help“.
</translation>
    </message>
</context>
</TS>
