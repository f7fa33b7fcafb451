<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="es">
<context>
    <name>BarraVolumen</name>
    <message>
        <source>Volumen de %1</source>
        <translation>Volume of %1</translation>
    </message>
    <message>
        <source>Volumen</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Silenciado</source>
        <translation>Muted</translation>
    </message>
    <message>
        <source>Quitar silencio</source>
        <translation>Unmute</translation>
    </message>
    <message>
        <source>Silenciar</source>
        <translation>Mute</translation>
    </message>
</context>
<context>
    <name>FilaApp</name>
    <message>
        <source>Salida de %1</source>
        <translation>Output of %1</translation>
    </message>
    <message>
        <source>Elegir por dónde suena esta app</source>
        <translation>Choose where this app plays</translation>
    </message>
</context>
<context>
    <name>Indicador</name>
    <message>
        <source>Silenciada</source>
        <translation>Muted</translation>
    </message>
</context>
<context>
    <name>MenuOpciones</name>
    <message>
        <source>Controlar pestañas del navegador…</source>
        <translation>Control browser tabs…</translation>
    </message>
    <message>
        <source>Abrir Sonvia al iniciar sesión</source>
        <translation>Open Sonvia at login</translation>
    </message>
    <message>
        <source>Atajos de la app que tienes adelante</source>
        <translation>Shortcuts for the app in front</translation>
    </message>
    <message>
        <source>⌃⌥↑ ↓ volumen · ⌃⌥M silencio</source>
        <translation>⌃⌥↑ ↓ volume · ⌃⌥M mute</translation>
    </message>
    <message>
        <source>Modo llamada</source>
        <translation>Call mode</translation>
    </message>
    <message>
        <source>Bajar las demás apps en llamadas</source>
        <translation>Lower other apps during calls</translation>
    </message>
    <message>
        <source>Bajarlas a</source>
        <translation>Lower them to</translation>
    </message>
    <message>
        <source>Acerca de Sonvia</source>
        <translation>About Sonvia</translation>
    </message>
    <message>
        <source>Salir de Sonvia</source>
        <translation>Quit Sonvia</translation>
    </message>
</context>
<context>
    <name>MenuSalida</name>
    <message>
        <source>Salida</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>Igual que el sistema</source>
        <translation>Same as the system</translation>
    </message>
</context>
<context>
    <name>ModeloPanel</name>
    <message>
        <source>Silenciada</source>
        <translation>Muted</translation>
    </message>
    <message>
        <source>Bajada por la llamada</source>
        <translation>Lowered for the call</translation>
    </message>
    <message>
        <source>En llamada</source>
        <translation>In a call</translation>
    </message>
    <message>
        <source>Salida desconectada</source>
        <translation>Output disconnected</translation>
    </message>
    <message>
        <source>Refuerzo +%1 %</source>
        <translation>Boost +%1 %</translation>
    </message>
    <message>
        <source>Sonando</source>
        <translation>Playing</translation>
    </message>
    <message>
        <source>Pestañas con audio</source>
        <translation>Tabs with sound</translation>
    </message>
    <message>
        <source>En pausa</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>1 pestaña con audio</source>
        <translation>1 tab with sound</translation>
    </message>
    <message>
        <source>%1 pestañas con audio</source>
        <translation>%1 tabs with sound</translation>
    </message>
    <message>
        <source>Nada sonando</source>
        <translation>Nothing playing</translation>
    </message>
    <message>
        <source>1 app sonando</source>
        <translation>1 app playing</translation>
    </message>
    <message>
        <source>%1 apps sonando</source>
        <translation>%1 apps playing</translation>
    </message>
</context>
<context>
    <name>Panel</name>
    <message>
        <source>Devuelve todas las apps a su volumen y salida normales</source>
        <translation>Returns every app to its normal volume and output</translation>
    </message>
    <message>
        <source>Más opciones</source>
        <translation>More options</translation>
    </message>
    <message>
        <source>En llamada · %1</source>
        <translation>In a call · %1</translation>
    </message>
    <message>
        <source>Modo llamada: las demás apps bajaron para que escuches bien</source>
        <translation>Call mode: the other apps were lowered so you hear well</translation>
    </message>
    <message>
        <source>Salida del sistema: %1</source>
        <translation>System output: %1</translation>
    </message>
    <message>
        <source>Salida del sistema</source>
        <translation>System output</translation>
    </message>
    <message>
        <source>Salida del sistema: la usan todas las apps que no tienen una propia</source>
        <translation>System output: every app without one of its own uses it</translation>
    </message>
    <message>
        <source>El servidor de audio no responde. Sonvia volverá a conectarse en cuanto esté de vuelta.</source>
        <translation>The audio server is not answering. Sonvia will reconnect as soon as it is back.</translation>
    </message>
    <message>
        <source>Ninguna app está sonando</source>
        <translation>No app is playing</translation>
    </message>
    <message>
        <source>Pon algo de música o un video: la app aparecerá aquí con su propio volumen.</source>
        <translation>Play some music or a video: the app will show up here with its own volume.</translation>
    </message>
    <message>
        <source>Otras apps con audio</source>
        <translation>Other apps with sound</translation>
    </message>
    <message>
        <source>Mueve Sonvia a la carpeta Aplicaciones y ábrela desde ahí: así funciona el control por pestaña.</source>
        <translation>Move Sonvia to the Applications folder and open it from there: that is how per-tab control works.</translation>
    </message>
    <message>
        <source>La extensión del navegador se actualizó. Recárgala en </source>
        <translation>The browser extension was updated. Reload it at </translation>
    </message>
    <message>
        <source> (botón ↻ de Sonvia).</source>
        <translation> (Sonvia&apos;s ↻ button).</translation>
    </message>
    <message>
        <source>Cerrar</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Controlar pestañas del navegador</source>
        <translation>Control browser tabs</translation>
    </message>
    <message>
        <source>Pestañas</source>
        <translation>Tabs</translation>
    </message>
    <message>
        <source>Al iniciar sesión</source>
        <translation>At login</translation>
    </message>
    <message>
        <source>Abrir Sonvia al iniciar sesión</source>
        <translation>Open Sonvia at login</translation>
    </message>
    <message>
        <source>El volumen, el silencio y la salida de cada app.</source>
        <translation>Every app&apos;s own volume, mute and output.</translation>
    </message>
</context>
<context>
    <name>Textos</name>
    <message>
        <source>No se pudo intervenir el audio. Revisa el permiso de audio de Sonvia en Configuración del Sistema.</source>
        <translation>Could not take over the audio. Check Sonvia&apos;s audio permission in the system settings.</translation>
    </message>
    <message>
        <source>Esa salida no se puede usar desde Sonvia. Prueba con otra.</source>
        <translation>That output cannot be used from Sonvia. Try another one.</translation>
    </message>
    <message>
        <source>No se pudo preparar el audio. Prueba de nuevo.</source>
        <translation>Could not prepare the audio. Try again.</translation>
    </message>
</context>
</TS>
