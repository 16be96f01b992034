<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>mainWindow</name>
    <message>
        <source>Form</source>
        <translation>Service Management</translation>
    </message>
    <message>
        <source>Palvex</source>
        <translation>Palvex</translation>
    </message>
    <message>
        <source>ServiceManagement</source>
        <translation>Service Management</translation>
    </message>
    <message>
        <source>HTTPPortNo</source>
        <translation>HTTP port</translation>
    </message>
    <message>
        <source>videoWallPort</source>
        <translation>Video wall port</translation>
    </message>
    <message>
        <source>SMSPort</source>
        <translation>Streaming media port</translation>
    </message>
    <message>
        <source>554</source>
        <translation>554</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>ModifyPort</source>
        <translation>Change Ports</translation>
    </message>
    <message>
        <source>RunTime</source>
        <translation>Running time:</translation>
    </message>
    <message>
        <source>Auto-Launch</source>
        <translation>Start with the system</translation>
    </message>
</context>
<context>
    <name>serverframework::CMainWindow</name>
    <message>
        <source>Palvex</source>
        <translation>Palvex</translation>
    </message>
    <message>
        <source>RunTime</source>
        <translation>Running time:</translation>
    </message>
    <message>
        <source>Sky</source>
        <translation>d </translation>
    </message>
    <message>
        <source>ChooseFile</source>
        <translation>Choose a file</translation>
    </message>
    <message>
        <source>XMLFile</source>
        <translation>XML file </translation>
    </message>
    <message>
        <source>Hint</source>
        <translation>Hint</translation>
    </message>
    <message>
        <source>NoEnoughHDDSpace</source>
        <translation>There is not enough free disk space.</translation>
    </message>
    <message>
        <source>Exported</source>
        <translation>Exported successfully.</translation>
    </message>
    <message>
        <source>ExportFailed</source>
        <translation>The export failed. See the log for the reason.</translation>
    </message>
    <message>
        <source>Tip</source>
        <translation>Tip</translation>
    </message>
    <message>
        <source>Saved.PleaseRestartClient</source>
        <translation>Saved. On confirming, the services restart on the new ports: the tray icon disappears and comes back within a few seconds.</translation>
    </message>
    <message>
        <source>Caution</source>
        <translation>Caution</translation>
    </message>
    <message>
        <source>HTTPPortConflictedSetANewOne</source>
        <translation>The HTTP port is in use. Please set a new one.</translation>
    </message>
    <message>
        <source>WebSocketPortConflictedSetANewOne</source>
        <translation>The WebSocket port is in use. Please set a new one.</translation>
    </message>
    <message>
        <source>PortsNotSaved</source>
        <translation>The new ports could not be saved. See the log for the reason.</translation>
    </message>
    <message>
        <source>RebootTheDeviceNowToMakeNewSettingsEffective</source>
        <translation>Restart the computer now to make the new settings take effect.</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Stopped</translation>
    </message>
</context>
</TS>
