<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>serverframework::CKestApplication</name>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>FailedToReadConfigurjfxcxFAf</source>
        <translation>Failed to read the configuration. The service cannot start.</translation>
    </message>
    <message>
        <source>TheServiceIsAlreadyStarted</source>
        <translation>The service is already running.</translation>
    </message>
    <message>
        <source>PortsCancelledServicesStayDown</source>
        <translation>The port settings were cancelled, so the services stay down. Start the Tavrin service host again to choose the ports.</translation>
    </message>
</context>
</TS>
