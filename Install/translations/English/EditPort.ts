<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>EditPort</name>
    <message>
        <source>Form</source>
        <translation>Change Ports</translation>
    </message>
    <message>
        <source>ModifyPort</source>
        <translation>Change Ports</translation>
    </message>
    <message>
        <source>HTTPPort</source>
        <translation>HTTP port</translation>
    </message>
    <message>
        <source>WebSocketPort</source>
        <translation>WebSocket port</translation>
    </message>
    <message>
        <source>OutsideTheWebAddress</source>
        <translation>External access</translation>
    </message>
    <message>
        <source>IP</source>
        <translation>External IP address</translation>
    </message>
    <message>
        <source>AlarmEvents(40)ThePortNumber</source>
        <translation>Alarm event port (40)</translation>
    </message>
    <message>
        <source>AlarmEvents(50)ThePortNumber</source>
        <translation>Alarm event port (50)</translation>
    </message>
    <message>
        <source>ImageStoreServerPortNumber</source>
        <translation>Image storage server port</translation>
    </message>
    <message>
        <source>UndoMerge</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
