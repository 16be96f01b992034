<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>EditPortDlg</name>
    <message>
        <source>Form</source>
        <translation>Change Ports</translation>
    </message>
    <message>
        <source>ModifyPort</source>
        <translation>Change Ports</translation>
    </message>
    <message>
        <source>HTTPPortNo</source>
        <translation>HTTP port</translation>
    </message>
    <message>
        <source>VideoWallPortNo</source>
        <translation>Video wall port</translation>
    </message>
    <message>
        <source>SMSPortNo</source>
        <translation>Streaming media port</translation>
    </message>
    <message>
        <source>TamsaPort</source>
        <translation>Device access port</translation>
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
        <source>PreviewThePortMFysKOrxFQ</source>
        <translation>Live view port</translation>
    </message>
    <message>
        <source>VisualIntercomPrevietPkokAnu</source>
        <translation>Video intercom preview port</translation>
    </message>
    <message>
        <source>IntercomPortMyfhFYDiFP</source>
        <translation>Intercom audio port</translation>
    </message>
    <message>
        <source>PlaybackPortbkZdjMmACc</source>
        <translation>Playback port</translation>
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
<context>
    <name>serverframework::CEditPortDlg</name>
    <message>
        <source>UndoMerge</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>HTTPPortNo</source>
        <translation>HTTP port</translation>
    </message>
    <message>
        <source>TamsaPort</source>
        <translation>Device access port</translation>
    </message>
    <message>
        <source>VideoWallPortNo</source>
        <translation>Video wall port</translation>
    </message>
    <message>
        <source>SMSPortNo</source>
        <translation>Streaming media port</translation>
    </message>
    <message>
        <source>PortNumberCannotBeEmpty</source>
        <translation>The port number cannot be empty.</translation>
    </message>
    <message>
        <source>PortCantNotBeTheSame</source>
        <translation>This port is already used by another service. Please choose a different one.</translation>
    </message>
    <message>
        <source>TheWebServersPort%1IsOccupiedBy%2ChangeItToOtherValue</source>
        <translation>Port %1 is in use by %2. Please change it to another value.</translation>
    </message>
    <message>
        <source>HttpPortEqualsTamsaPort</source>
        <translation>The HTTP port equals the device access port: choose another HTTP port.</translation>
    </message>
    <message>
        <source>PortIsOccupied</source>
        <translation>This port is already in use. Please change it to another value.</translation>
    </message>
    <message>
        <source>IPAddressCannotBeEmpty</source>
        <translation>The IP address cannot be empty.</translation>
    </message>
    <message>
        <source>InvalidIPAddress</source>
        <translation>Invalid IP address.</translation>
    </message>
    <message>
        <source>PortNumberMustBeFrom1To65535</source>
        <translation>The port number must be between 1 and 65535.</translation>
    </message>
    <message>
        <source>Caution</source>
        <translation>Caution</translation>
    </message>
    <message>
        <source>PortSettingsNotSaved</source>
        <translation>The port settings could not be saved, so nothing was changed. See the log for the reason.</translation>
    </message>
    <message>
        <source>PortInput%1Refused</source>
        <translation>“%1” was not taken: a port is a whole number from 1 to 65535.</translation>
    </message>
    <message>
        <source>HttpPort%1IsHeldBy%2</source>
        <translation>HTTP port %1 is in use by %2: choose another one.</translation>
    </message>
    <message>
        <source>HttpPort%1CannotBeUsed</source>
        <translation>HTTP port %1 cannot be used: choose another one.</translation>
    </message>
</context>
</TS>
