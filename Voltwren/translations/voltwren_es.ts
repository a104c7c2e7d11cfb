<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>AddDevicePopover</name>
    <message>
        <source>No devices available</source>
        <translation>No hay dispositivos disponibles</translation>
    </message>
</context>
<context>
    <name>AppState</name>
    <message>
        <source>%1 is at %2%.</source>
        <translation>%1 está al %2&#xa0;%.</translation>
    </message>
    <message>
        <source>%1 battery is low.</source>
        <translation>La batería de %1 está baja.</translation>
    </message>
    <message>
        <source>%1 is charged to %2%.</source>
        <translation>%1 está cargado al %2&#xa0;%.</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Recordármelo más tarde</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Show this help and exit.</source>
        <translation>Mostrar esta ayuda y salir.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Mostrar la versión y salir.</translation>
    </message>
    <message>
        <source>status, history: print a JSON array.</source>
        <translation>status, history: imprimir un array JSON.</translation>
    </message>
    <message>
        <source>status: print one JSON object for a waybar custom module.</source>
        <translation>status: imprimir un objeto JSON para un módulo personalizado de waybar.</translation>
    </message>
    <message>
        <source>status: with --json or --waybar, print a new line on every change until ended.</source>
        <translation>status: con --json o --waybar, imprimir una línea nueva en cada cambio hasta que se detenga.</translation>
    </message>
    <message>
        <source>history: how many days back to print, 1 to 90 (7 by default).</source>
        <translation>history: cuántos días atrás imprimir, de 1 a 90 (7 por omisión).</translation>
    </message>
    <message>
        <source>N</source>
        <translation>N</translation>
    </message>
    <message>
        <source>Voltwren watches the charge of this computer&apos;s battery and of its Bluetooth accessories from the tray.

Without a command it starts the tray program (or, when it already runs, opens its panel).</source>
        <translation>Voltwren vigila desde la bandeja del sistema la carga de la batería de este equipo y de sus accesorios Bluetooth.

Sin un comando, inicia el programa de la bandeja (o, si ya se está ejecutando, abre su panel).</translation>
    </message>
    <message>
        <source>command</source>
        <translation>comando</translation>
    </message>
    <message>
        <source>status: print each device&apos;s charge and leave. It asks the running program, or, when none runs, reads the sources once itself.
history [DEVICE]: print the recorded charges of every device, or of the one with that name or id.</source>
        <translation>status: imprimir la carga de cada dispositivo y salir. Pregunta al programa en ejecución o, si no hay ninguno, lee las fuentes una vez por sí mismo.
history [DISPOSITIVO]: imprimir las cargas registradas de todos los dispositivos, o del que tenga ese nombre o id.</translation>
    </message>
    <message>
        <source>[status | history [DEVICE]]</source>
        <translation>[status | history [DISPOSITIVO]]</translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation>Argumento inesperado «%1».</translation>
    </message>
    <message>
        <source>Unknown command &apos;%1&apos;.</source>
        <translation>Comando desconocido «%1».</translation>
    </message>
    <message>
        <source>--waybar and --watch go with the status command.</source>
        <translation>--waybar y --watch van con el comando status.</translation>
    </message>
    <message>
        <source>--days takes a whole number of days from 1 to 90.</source>
        <translation>--days espera un número entero de días de 1 a 90.</translation>
    </message>
    <message>
        <source>--days goes with the history command.</source>
        <translation>--days va con el comando history.</translation>
    </message>
    <message>
        <source>--json, --waybar and --watch go with the status command.</source>
        <translation>--json, --waybar y --watch van con el comando status.</translation>
    </message>
    <message>
        <source>Choose one of --json and --waybar.</source>
        <translation>Elija una de --json y --waybar.</translation>
    </message>
    <message>
        <source>--watch needs --json or --waybar: it prints one line per change.</source>
        <translation>--watch necesita --json o --waybar: imprime una línea por cambio.</translation>
    </message>
    <message>
        <source>Usage: voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] [DEVICE]] | --help | --version</source>
        <translation>Uso: voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] [DISPOSITIVO]] | --help | --version</translation>
    </message>
</context>
<context>
    <name>Component</name>
    <message>
        <source>Left earbud</source>
        <translation>Auricular izquierdo</translation>
    </message>
    <message>
        <source>Right earbud</source>
        <translation>Auricular derecho</translation>
    </message>
    <message>
        <source>Case</source>
        <translation>Estuche</translation>
    </message>
</context>
<context>
    <name>ComponentBlock</name>
    <message>
        <source>seen %1 min ago</source>
        <translation>visto hace %1 min</translation>
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
        <translation>%1 por ciento</translation>
    </message>
    <message>
        <source>charge unknown</source>
        <translation>carga desconocida</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>No conectado</translation>
    </message>
    <message>
        <source>, charging</source>
        <translation>, cargando</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>no conectado</translation>
    </message>
</context>
<context>
    <name>FirstStartNotice</name>
    <message>
        <source>Voltwren is running</source>
        <translation>Voltwren se está ejecutando</translation>
    </message>
    <message>
        <source>Voltwren is watching your batteries, but this desktop shows no tray icons. On GNOME, the AppIndicator extension (gnome-shell-extension-appindicator) shows them. Open Voltwren again to see its panel.</source>
        <translation>Voltwren está vigilando sus baterías, pero este escritorio no muestra iconos en la bandeja. En GNOME, la extensión AppIndicator (gnome-shell-extension-appindicator) los muestra. Abra Voltwren de nuevo para ver su panel.</translation>
    </message>
</context>
<context>
    <name>FreedesktopNotificationCenter</name>
    <message>
        <source>Show Devices</source>
        <translation>Mostrar dispositivos</translation>
    </message>
</context>
<context>
    <name>HistoryCommand</name>
    <message>
        <source>  not connected</source>
        <translation>  no conectado</translation>
    </message>
    <message>
        <source>voltwren: cannot read the charge history: %1
</source>
        <translation>voltwren: no se puede leer el historial de carga: %1
</translation>
    </message>
    <message>
        <source>voltwren: no device named &apos;%1&apos; in the charge history
</source>
        <translation>voltwren: no hay ningún dispositivo llamado «%1» en el historial de carga
</translation>
    </message>
    <message>
        <source>No readings recorded in the last day
</source>
        <translation>No se registraron lecturas en el último día
</translation>
    </message>
    <message numerus="yes">
        <source>No readings recorded in the last %n days
</source>
        <translation>
            <numerusform>No se registraron lecturas en los últimos %n días
</numerusform>
            <numerusform>No se registraron lecturas en los últimos %n días
</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>No charge history recorded yet</source>
        <translation>Todavía no se ha registrado ningún historial de carga</translation>
    </message>
    <message>
        <source>Last 7 days</source>
        <translation>Últimos 7 días</translation>
    </message>
    <message>
        <source>Last 30 days</source>
        <translation>Últimos 30 días</translation>
    </message>
    <message>
        <source>Charge of each device</source>
        <translation>Carga de cada dispositivo</translation>
    </message>
</context>
<context>
    <name>HistoryWindowController</name>
    <message>
        <source>The charge history cannot be shown.</source>
        <translation>No se puede mostrar el historial de carga.</translation>
    </message>
</context>
<context>
    <name>MenuBarContentView</name>
    <message>
        <source>No battery-powered devices found</source>
        <translation>No se encontraron dispositivos con batería</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Configuración…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
</context>
<context>
    <name>MenuBarExtra</name>
    <message>
        <source>Show Devices</source>
        <translation>Mostrar dispositivos</translation>
    </message>
    <message>
        <source>History…</source>
        <translation>Historial…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Configuración…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
</context>
<context>
    <name>MenuBarLabel</name>
    <message>
        <source>No battery-powered devices found</source>
        <translation>No se encontraron dispositivos con batería</translation>
    </message>
</context>
<context>
    <name>OverrideListEditor</name>
    <message>
        <source>Add</source>
        <translation>Añadir</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Quitar</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Bluetooth permissions have not been granted. Some accessory battery levels can&apos;t be read.</source>
        <translation>No se han concedido los permisos de Bluetooth. No se pueden leer algunos niveles de batería de los accesorios.</translation>
    </message>
    <message>
        <source>Open Bluetooth Settings…</source>
        <translation>Abrir la configuración de Bluetooth…</translation>
    </message>
    <message>
        <source>Low battery threshold</source>
        <translation>Umbral de batería baja</translation>
    </message>
    <message>
        <source>You&apos;ll be notified once when a device&apos;s battery drops below its threshold. Choose “None” to never be notified.</source>
        <translation>Recibirá un aviso una vez cuando la batería de un dispositivo baje de su umbral. Elija «Ninguno» para no recibir avisos nunca.</translation>
    </message>
    <message>
        <source>General threshold</source>
        <translation>Umbral general</translation>
    </message>
    <message>
        <source>Device specific thresholds</source>
        <translation>Umbrales por dispositivo</translation>
    </message>
    <message>
        <source>Devices without a specific threshold use the general one.</source>
        <translation>Los dispositivos sin un umbral propio usan el general.</translation>
    </message>
    <message>
        <source>Notify</source>
        <translation>Avisar</translation>
    </message>
    <message>
        <source>Highlight menubar icon</source>
        <translation>Resaltar el icono de la barra</translation>
    </message>
    <message>
        <source>Send notification</source>
        <translation>Enviar notificación</translation>
    </message>
    <message>
        <source>Notifications are turned off for Voltwren in System Settings.</source>
        <translation>Las notificaciones están desactivadas para Voltwren en la configuración del sistema.</translation>
    </message>
    <message>
        <source>Open Notification Settings…</source>
        <translation>Abrir la configuración de notificaciones…</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Nunca</translation>
    </message>
    <message>
        <source>Every hour</source>
        <translation>Cada hora</translation>
    </message>
    <message>
        <source>Every 4 hours</source>
        <translation>Cada 4 horas</translation>
    </message>
    <message>
        <source>Remind again while low</source>
        <translation>Recordar de nuevo mientras esté baja</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Desactivado</translation>
    </message>
    <message>
        <source>At %1</source>
        <translation>Al %1</translation>
    </message>
    <message>
        <source>Notify when charged</source>
        <translation>Avisar cuando esté cargado</translation>
    </message>
    <message>
        <source>Polling</source>
        <translation>Sondeo</translation>
    </message>
    <message>
        <source>This is only relevant for background polling. When you open the menubar icon, the app will always show updated battery stats</source>
        <translation>Esto solo afecta al sondeo en segundo plano. Al abrir el icono de la barra, la aplicación siempre muestra los niveles de batería actualizados</translation>
    </message>
    <message>
        <source>Check battery every</source>
        <translation>Comprobar la batería cada</translation>
    </message>
    <message>
        <source>Launch Voltwren at login</source>
        <translation>Iniciar Voltwren al iniciar sesión</translation>
    </message>
    <message>
        <source>Updates</source>
        <translation>Actualizaciones</translation>
    </message>
    <message>
        <source>Voltwren checks for updates automatically once a day.</source>
        <translation>Voltwren busca actualizaciones automáticamente una vez al día.</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Buscar actualizaciones…</translation>
    </message>
    <message>
        <source>Diagnostic log for troubleshooting</source>
        <translation>Registro de diagnóstico para resolver problemas</translation>
    </message>
    <message>
        <source>Show Log File in File Manager…</source>
        <translation>Mostrar el registro en el gestor de archivos…</translation>
    </message>
    <message>
        <source>Show Charge History…</source>
        <translation>Mostrar el historial de carga…</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Soporte</translation>
    </message>
    <message>
        <source>Voltwren, version: %1</source>
        <translation>Voltwren, versión: %1</translation>
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
        <translation>voltwren: --watch sigue al programa en el bus de sesión, y no hay ninguno</translation>
    </message>
    <message>
        <source>voltwren: Voltwren is not running; this is a one-off reading of the sources</source>
        <translation>voltwren: Voltwren no se está ejecutando; esta es una lectura puntual de las fuentes</translation>
    </message>
    <message>
        <source>voltwren: the session bus went away</source>
        <translation>voltwren: el bus de sesión desapareció</translation>
    </message>
    <message>
        <source>voltwren: cannot write the status: </source>
        <translation>voltwren: no se puede escribir el estado: </translation>
    </message>
    <message>
        <source>voltwren: Voltwren is running but does not answer; this is a one-off reading of the sources</source>
        <translation>voltwren: Voltwren se está ejecutando pero no responde; esta es una lectura puntual de las fuentes</translation>
    </message>
    <message>
        <source>voltwren: another program holds Voltwren&apos;s name on the session bus; this is a one-off reading of the sources</source>
        <translation>voltwren: otro programa tiene el nombre de Voltwren en el bus de sesión; esta es una lectura puntual de las fuentes</translation>
    </message>
</context>
<context>
    <name>StatusFormat</name>
    <message>
        <source>Not connected</source>
        <translation>No conectado</translation>
    </message>
    <message>
        <source>, charging</source>
        <translation>, cargando</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1&#xa0;%</translation>
    </message>
    <message>
        <source>L</source>
        <translation>I</translation>
    </message>
    <message>
        <source>R</source>
        <translation>D</translation>
    </message>
    <message>
        <source>No battery-powered devices found
</source>
        <translation>No se encontraron dispositivos con batería
</translation>
    </message>
    <message>
        <source>Voltwren is not running</source>
        <translation>Voltwren no se está ejecutando</translation>
    </message>
    <message>
        <source>Voltwren is running but does not answer</source>
        <translation>Voltwren se está ejecutando pero no responde</translation>
    </message>
</context>
<context>
    <name>Stepper</name>
    <message>
        <source>Increase</source>
        <translation>Aumentar</translation>
    </message>
    <message>
        <source>Decrease</source>
        <translation>Disminuir</translation>
    </message>
</context>
<context>
    <name>ThresholdPicker</name>
    <message>
        <source>None</source>
        <translation>Ninguno</translation>
    </message>
</context>
<context>
    <name>TimeLeftEstimate</name>
    <message>
        <source>less than an hour</source>
        <translation>menos de una hora</translation>
    </message>
    <message>
        <source>about 1 hour</source>
        <translation>aproximadamente 1 hora</translation>
    </message>
    <message>
        <source>Reaches %1% in %2</source>
        <translation>Llega al %1&#xa0;% en %2</translation>
    </message>
    <message>
        <source>Reaches 0% in %1</source>
        <translation>Llega al 0&#xa0;% en %1</translation>
    </message>
    <message numerus="yes">
        <source>about %n hours</source>
        <translation>
            <numerusform>aproximadamente %n hora</numerusform>
            <numerusform>aproximadamente %n horas</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>about %n days</source>
        <translation>
            <numerusform>aproximadamente %n día</numerusform>
            <numerusform>aproximadamente %n días</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>UpdateAlerts</name>
    <message>
        <source>Software Update</source>
        <translation>Actualización de software</translation>
    </message>
</context>
<context>
    <name>UpdateFoundDialog</name>
    <message>
        <source>Software Update</source>
        <translation>Actualización de software</translation>
    </message>
    <message>
        <source>A new version of Voltwren is available!</source>
        <translation>¡Hay una nueva versión de Voltwren disponible!</translation>
    </message>
    <message>
        <source>Voltwren %1 is now available (you have %2). Would you like to download it now?</source>
        <translation>Voltwren %1 ya está disponible (usted tiene la %2). ¿Desea descargarla ahora?</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;%1&quot;&gt;Release Notes&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;%1&quot;&gt;Notas de la versión&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation>Omitir esta versión</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Recordármelo más tarde</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Descargar</translation>
    </message>
</context>
<context>
    <name>VoltwrenApp</name>
    <message>
        <source>Voltwren cannot be reached by other programs</source>
        <translation>Otros programas no pueden comunicarse con Voltwren</translation>
    </message>
    <message>
        <source>Another program holds Voltwren&apos;s name on the session bus, so “voltwren status”, status bars and a second launch cannot reach it. Voltwren goes on watching your batteries.</source>
        <translation>Otro programa tiene el nombre de Voltwren en el bus de sesión, así que «voltwren status», las barras de estado y un segundo inicio no pueden comunicarse con él. Voltwren sigue vigilando sus baterías.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>
Try &apos;voltwren --help&apos; for more.
</source>
        <translation>
Pruebe «voltwren --help» para más información.
</translation>
    </message>
</context>
</TS>
