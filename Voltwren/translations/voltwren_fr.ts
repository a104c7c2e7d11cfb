<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>AddDevicePopover</name>
    <message>
        <source>No devices available</source>
        <translation>Aucun appareil disponible</translation>
    </message>
</context>
<context>
    <name>AppState</name>
    <message>
        <source>%1 is at %2%.</source>
        <translation>%1 est à %2&#x202f;%.</translation>
    </message>
    <message>
        <source>%1 battery is low.</source>
        <translation>La batterie de %1 est faible.</translation>
    </message>
    <message>
        <source>%1 is charged to %2%.</source>
        <translation>%1 est chargé à %2&#x202f;%.</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Me le rappeler plus tard</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Show this help and exit.</source>
        <translation>Afficher cette aide et quitter.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Afficher la version et quitter.</translation>
    </message>
    <message>
        <source>status, history: print a JSON array.</source>
        <translation>status, history : afficher un tableau JSON.</translation>
    </message>
    <message>
        <source>status: print one JSON object for a waybar custom module.</source>
        <translation>status : afficher un objet JSON pour un module personnalisé de waybar.</translation>
    </message>
    <message>
        <source>status: with --json or --waybar, print a new line on every change until ended.</source>
        <translation>status : avec --json ou --waybar, afficher une nouvelle ligne à chaque changement jusqu’à l’arrêt.</translation>
    </message>
    <message>
        <source>history: how many days back to print, 1 to 90 (7 by default).</source>
        <translation>history : combien de jours en arrière afficher, de 1 à 90 (7 par défaut).</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>Voltwren watches the charge of this computer&apos;s battery and of its Bluetooth accessories from the tray.

Without a command it starts the tray program (or, when it already runs, opens its panel).</source>
        <translation>Voltwren surveille depuis la zone de notification la charge de la batterie de cet ordinateur et de ses accessoires Bluetooth.

Sans commande, il lance le programme de la zone de notification (ou, s’il tourne déjà, ouvre son panneau).</translation>
    </message>
    <message>
        <source>command</source>
        <translation>commande</translation>
    </message>
    <message>
        <source>status: print each device&apos;s charge and leave. It asks the running program, or, when none runs, reads the sources once itself.
history [DEVICE]: print the recorded charges of every device, or of the one with that name or id.</source>
        <translation>status : afficher la charge de chaque appareil et quitter. Interroge le programme en cours ou, s’il n’y en a aucun, lit les sources une fois lui-même.
history [APPAREIL] : afficher les charges enregistrées de tous les appareils, ou de celui qui porte ce nom ou cet identifiant.</translation>
    </message>
    <message>
        <source>[status | history [DEVICE]]</source>
        <translation>[status | history [APPAREIL]]</translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation>Argument inattendu « %1 ».</translation>
    </message>
    <message>
        <source>Unknown command &apos;%1&apos;.</source>
        <translation>Commande inconnue « %1 ».</translation>
    </message>
    <message>
        <source>--waybar and --watch go with the status command.</source>
        <translation>--waybar et --watch vont avec la commande status.</translation>
    </message>
    <message>
        <source>--days takes a whole number of days from 1 to 90.</source>
        <translation>--days attend un nombre entier de jours de 1 à 90.</translation>
    </message>
    <message>
        <source>--days goes with the history command.</source>
        <translation>--days va avec la commande history.</translation>
    </message>
    <message>
        <source>--json, --waybar and --watch go with the status command.</source>
        <translation>--json, --waybar et --watch vont avec la commande status.</translation>
    </message>
    <message>
        <source>Choose one of --json and --waybar.</source>
        <translation>Choisissez l’une des options --json et --waybar.</translation>
    </message>
    <message>
        <source>--watch needs --json or --waybar: it prints one line per change.</source>
        <translation>--watch a besoin de --json ou --waybar : il affiche une ligne par changement.</translation>
    </message>
    <message>
        <source>Usage: voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] [DEVICE]] | --help | --version</source>
        <translation>Utilisation : voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] [APPAREIL]] | --help | --version</translation>
    </message>
</context>
<context>
    <name>Component</name>
    <message>
        <source>Left earbud</source>
        <translation>Écouteur gauche</translation>
    </message>
    <message>
        <source>Right earbud</source>
        <translation>Écouteur droit</translation>
    </message>
    <message>
        <source>Case</source>
        <translation>Boîtier</translation>
    </message>
</context>
<context>
    <name>ComponentBlock</name>
    <message>
        <source>seen %1 min ago</source>
        <translation>vu il y a %1 min</translation>
    </message>
</context>
<context>
    <name>DeviceRow</name>
    <message>
        <source>%1%</source>
        <translation>%1&#x202f;%</translation>
    </message>
    <message>
        <source>%1 percent</source>
        <translation>%1 pour cent</translation>
    </message>
    <message>
        <source>charge unknown</source>
        <translation>charge inconnue</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Non connecté</translation>
    </message>
    <message>
        <source>, charging</source>
        <translation>, en charge</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>non connecté</translation>
    </message>
</context>
<context>
    <name>FirstStartNotice</name>
    <message>
        <source>Voltwren is running</source>
        <translation>Voltwren est lancé</translation>
    </message>
    <message>
        <source>Voltwren is watching your batteries, but this desktop shows no tray icons. On GNOME, the AppIndicator extension (gnome-shell-extension-appindicator) shows them. Open Voltwren again to see its panel.</source>
        <translation>Voltwren surveille vos batteries, mais ce bureau n’affiche aucune icône dans la zone de notification. Sous GNOME, l’extension AppIndicator (gnome-shell-extension-appindicator) les affiche. Ouvrez de nouveau Voltwren pour voir son panneau.</translation>
    </message>
</context>
<context>
    <name>FreedesktopNotificationCenter</name>
    <message>
        <source>Show Devices</source>
        <translation>Afficher les appareils</translation>
    </message>
</context>
<context>
    <name>HistoryCommand</name>
    <message>
        <source>  not connected</source>
        <translation>  non connecté</translation>
    </message>
    <message>
        <source>voltwren: cannot read the charge history: %1
</source>
        <translation>voltwren : impossible de lire l’historique de charge : %1
</translation>
    </message>
    <message>
        <source>voltwren: no device named &apos;%1&apos; in the charge history
</source>
        <translation>voltwren : aucun appareil nommé « %1 » dans l’historique de charge
</translation>
    </message>
    <message>
        <source>No readings recorded in the last day
</source>
        <translation>Aucune mesure enregistrée le dernier jour
</translation>
    </message>
    <message numerus="yes">
        <source>No readings recorded in the last %n days
</source>
        <translation>
            <numerusform>Aucune mesure enregistrée ces %n derniers jours
</numerusform>
            <numerusform>Aucune mesure enregistrée ces %n derniers jours
</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>No charge history recorded yet</source>
        <translation>Aucun historique de charge enregistré pour l’instant</translation>
    </message>
    <message>
        <source>Last 7 days</source>
        <translation>7 derniers jours</translation>
    </message>
    <message>
        <source>Last 30 days</source>
        <translation>30 derniers jours</translation>
    </message>
    <message>
        <source>Charge of each device</source>
        <translation>Charge de chaque appareil</translation>
    </message>
</context>
<context>
    <name>HistoryWindowController</name>
    <message>
        <source>The charge history cannot be shown.</source>
        <translation>L’historique de charge ne peut pas être affiché.</translation>
    </message>
</context>
<context>
    <name>MenuBarContentView</name>
    <message>
        <source>No battery-powered devices found</source>
        <translation>Aucun appareil sur batterie trouvé</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Paramètres…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
<context>
    <name>MenuBarExtra</name>
    <message>
        <source>Show Devices</source>
        <translation>Afficher les appareils</translation>
    </message>
    <message>
        <source>History…</source>
        <translation>Historique…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Paramètres…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
<context>
    <name>MenuBarLabel</name>
    <message>
        <source>No battery-powered devices found</source>
        <translation>Aucun appareil sur batterie trouvé</translation>
    </message>
</context>
<context>
    <name>OverrideListEditor</name>
    <message>
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Supprimer</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Bluetooth permissions have not been granted. Some accessory battery levels can&apos;t be read.</source>
        <translation>Les autorisations Bluetooth n’ont pas été accordées. Certains niveaux de batterie des accessoires ne peuvent pas être lus.</translation>
    </message>
    <message>
        <source>Open Bluetooth Settings…</source>
        <translation>Ouvrir les paramètres Bluetooth…</translation>
    </message>
    <message>
        <source>Low battery threshold</source>
        <translation>Seuil de batterie faible</translation>
    </message>
    <message>
        <source>You&apos;ll be notified once when a device&apos;s battery drops below its threshold. Choose “None” to never be notified.</source>
        <translation>Vous serez averti une fois lorsque la batterie d’un appareil passe sous son seuil. Choisissez « Aucun » pour ne jamais être averti.</translation>
    </message>
    <message>
        <source>General threshold</source>
        <translation>Seuil général</translation>
    </message>
    <message>
        <source>Device specific thresholds</source>
        <translation>Seuils propres à un appareil</translation>
    </message>
    <message>
        <source>Devices without a specific threshold use the general one.</source>
        <translation>Les appareils sans seuil propre utilisent le seuil général.</translation>
    </message>
    <message>
        <source>Notify</source>
        <translation>Avertir</translation>
    </message>
    <message>
        <source>Highlight menubar icon</source>
        <translation>Mettre en évidence l’icône de la barre</translation>
    </message>
    <message>
        <source>Send notification</source>
        <translation>Envoyer une notification</translation>
    </message>
    <message>
        <source>Notifications are turned off for Voltwren in System Settings.</source>
        <translation>Les notifications sont désactivées pour Voltwren dans les paramètres du système.</translation>
    </message>
    <message>
        <source>Open Notification Settings…</source>
        <translation>Ouvrir les paramètres des notifications…</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Jamais</translation>
    </message>
    <message>
        <source>Every hour</source>
        <translation>Toutes les heures</translation>
    </message>
    <message>
        <source>Every 4 hours</source>
        <translation>Toutes les 4 heures</translation>
    </message>
    <message>
        <source>Remind again while low</source>
        <translation>Rappeler tant que c’est faible</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Désactivé</translation>
    </message>
    <message>
        <source>At %1</source>
        <translation>À %1</translation>
    </message>
    <message>
        <source>Notify when charged</source>
        <translation>Avertir une fois chargé</translation>
    </message>
    <message>
        <source>Polling</source>
        <translation>Interrogation</translation>
    </message>
    <message>
        <source>This is only relevant for background polling. When you open the menubar icon, the app will always show updated battery stats</source>
        <translation>Ceci ne concerne que l’interrogation en arrière-plan. Lorsque vous ouvrez l’icône de la barre, l’application affiche toujours des niveaux de batterie à jour</translation>
    </message>
    <message>
        <source>Check battery every</source>
        <translation>Vérifier la batterie toutes les</translation>
    </message>
    <message>
        <source>Launch Voltwren at login</source>
        <translation>Lancer Voltwren à l’ouverture de session</translation>
    </message>
    <message>
        <source>Updates</source>
        <translation>Mises à jour</translation>
    </message>
    <message>
        <source>Voltwren checks for updates automatically once a day.</source>
        <translation>Voltwren recherche automatiquement les mises à jour une fois par jour.</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Rechercher des mises à jour…</translation>
    </message>
    <message>
        <source>Diagnostic log for troubleshooting</source>
        <translation>Journal de diagnostic pour le dépannage</translation>
    </message>
    <message>
        <source>Show Log File in File Manager…</source>
        <translation>Afficher le journal dans le gestionnaire de fichiers…</translation>
    </message>
    <message>
        <source>Show Charge History…</source>
        <translation>Afficher l’historique de charge…</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Assistance</translation>
    </message>
    <message>
        <source>Voltwren, version: %1</source>
        <translation>Voltwren, version : %1</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
</context>
<context>
    <name>StatusCommand</name>
    <message>
        <source>voltwren: --watch follows the program on the session bus, and there is none</source>
        <translation>voltwren : --watch suit le programme sur le bus de session, et il n’y en a aucun</translation>
    </message>
    <message>
        <source>voltwren: Voltwren is not running; this is a one-off reading of the sources</source>
        <translation>voltwren : Voltwren n’est pas lancé ; ceci est une lecture ponctuelle des sources</translation>
    </message>
    <message>
        <source>voltwren: the session bus went away</source>
        <translation>voltwren : le bus de session a disparu</translation>
    </message>
    <message>
        <source>voltwren: cannot write the status: </source>
        <translation>voltwren : impossible d’écrire l’état : </translation>
    </message>
    <message>
        <source>voltwren: Voltwren is running but does not answer; this is a one-off reading of the sources</source>
        <translation>voltwren : Voltwren est lancé mais ne répond pas ; ceci est une lecture ponctuelle des sources</translation>
    </message>
    <message>
        <source>voltwren: another program holds Voltwren&apos;s name on the session bus; this is a one-off reading of the sources</source>
        <translation>voltwren : un autre programme détient le nom de Voltwren sur le bus de session ; ceci est une lecture ponctuelle des sources</translation>
    </message>
</context>
<context>
    <name>StatusFormat</name>
    <message>
        <source>Not connected</source>
        <translation>Non connecté</translation>
    </message>
    <message>
        <source>, charging</source>
        <translation>, en charge</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1&#x202f;%</translation>
    </message>
    <message>
        <source>L</source>
        <translation>G</translation>
    </message>
    <message>
        <source>R</source>
        <translation>D</translation>
    </message>
    <message>
        <source>No battery-powered devices found
</source>
        <translation>Aucun appareil sur batterie trouvé
</translation>
    </message>
    <message>
        <source>Voltwren is not running</source>
        <translation>Voltwren n’est pas lancé</translation>
    </message>
    <message>
        <source>Voltwren is running but does not answer</source>
        <translation>Voltwren est lancé mais ne répond pas</translation>
    </message>
</context>
<context>
    <name>Stepper</name>
    <message>
        <source>Increase</source>
        <translation>Augmenter</translation>
    </message>
    <message>
        <source>Decrease</source>
        <translation>Diminuer</translation>
    </message>
</context>
<context>
    <name>ThresholdPicker</name>
    <message>
        <source>None</source>
        <translation>Aucun</translation>
    </message>
</context>
<context>
    <name>TimeLeftEstimate</name>
    <message>
        <source>less than an hour</source>
        <translation>moins d’une heure</translation>
    </message>
    <message>
        <source>about 1 hour</source>
        <translation>environ 1 heure</translation>
    </message>
    <message>
        <source>Reaches %1% in %2</source>
        <translation>Atteint %1&#x202f;% dans %2</translation>
    </message>
    <message>
        <source>Reaches 0% in %1</source>
        <translation>Atteint 0&#x202f;% dans %1</translation>
    </message>
    <message numerus="yes">
        <source>about %n hours</source>
        <translation>
            <numerusform>environ %n heure</numerusform>
            <numerusform>environ %n heures</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>about %n days</source>
        <translation>
            <numerusform>environ %n jour</numerusform>
            <numerusform>environ %n jours</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>UpdateAlerts</name>
    <message>
        <source>Software Update</source>
        <translation>Mise à jour du logiciel</translation>
    </message>
</context>
<context>
    <name>UpdateFoundDialog</name>
    <message>
        <source>Software Update</source>
        <translation>Mise à jour du logiciel</translation>
    </message>
    <message>
        <source>A new version of Voltwren is available!</source>
        <translation>Une nouvelle version de Voltwren est disponible !</translation>
    </message>
    <message>
        <source>Voltwren %1 is now available (you have %2). Would you like to download it now?</source>
        <translation>Voltwren %1 est disponible (vous avez la version %2). Voulez-vous la télécharger maintenant ?</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;%1&quot;&gt;Release Notes&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;%1&quot;&gt;Notes de version&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation>Ignorer cette version</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Me le rappeler plus tard</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
</context>
<context>
    <name>VoltwrenApp</name>
    <message>
        <source>Voltwren cannot be reached by other programs</source>
        <translation>Voltwren est injoignable pour les autres programmes</translation>
    </message>
    <message>
        <source>Another program holds Voltwren&apos;s name on the session bus, so “voltwren status”, status bars and a second launch cannot reach it. Voltwren goes on watching your batteries.</source>
        <translation>Un autre programme détient le nom de Voltwren sur le bus de session : « voltwren status », les barres d’état et un second lancement ne peuvent pas le joindre. Voltwren continue de surveiller vos batteries.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>
Try &apos;voltwren --help&apos; for more.
</source>
        <translation>
Essayez « voltwren --help » pour en savoir plus.
</translation>
    </message>
</context>
</TS>
