<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en_US">
<context>
    <name>EditPort</name>
    <message>
        <source>Form</source>
        <translation>修改連接埠</translation>
    </message>
    <message>
        <source>ModifyPort</source>
        <translation>修改連接埠</translation>
    </message>
    <message>
        <source>HTTPPort</source>
        <translation>HTTP 連接埠</translation>
    </message>
    <message>
        <source>WebSocketPort</source>
        <translation>WebSocket 連接埠</translation>
    </message>
    <message>
        <source>OutsideTheWebAddress</source>
        <translation>外部網路存取</translation>
    </message>
    <message>
        <source>IP</source>
        <translation>外部 IP 位址</translation>
    </message>
    <message>
        <source>AlarmEvents(40)ThePortNumber</source>
        <translation>警報事件(40)連接埠</translation>
    </message>
    <message>
        <source>AlarmEvents(50)ThePortNumber</source>
        <translation>警報事件(50)連接埠</translation>
    </message>
    <message>
        <source>ImageStoreServerPortNumber</source>
        <translation>圖片儲存伺服器連接埠</translation>
    </message>
    <message>
        <source>UndoMerge</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>確定</translation>
    </message>
</context>
</TS>
