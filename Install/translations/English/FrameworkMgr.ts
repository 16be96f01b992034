<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>serverframework::CFrameworkMgr</name>
    <message>
        <source>ServiceManager</source>
        <translation>Service Manager</translation>
    </message>
    <message>
        <source>ShowClient</source>
        <translation>Open Client</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Palvex</source>
        <translation>Palvex</translation>
    </message>
    <message>
        <source>QuitPalvex</source>
        <translation>Quit Palvex</translation>
    </message>
    <message>
        <source>PortsMovedAtStart</source>
        <translation>Ports changed at start</translation>
    </message>
    <message>
        <source>%1Port%2WasTakenBy%3MovedTo%4</source>
        <translation>%1 port %2 was taken by %3; moved to %4</translation>
    </message>
    <message>
        <source>%1Port%2WasTakenMovedTo%3</source>
        <translation>%1 port %2 was taken; moved to %3</translation>
    </message>
    <message>
        <source>WebClientNotOpened</source>
        <translation>The web client could not be opened</translation>
    </message>
    <message>
        <source>OpenTheWebClientAt%1</source>
        <translation>No browser could open it. Open %1 in a browser.</translation>
    </message>
</context>
</TS>
