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
</context>
</TS>
