<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en_US">
<context>
    <name>serverframework::CFrameworkMgr</name>
    <message>
        <source>ServiceManager</source>
        <translation>服務管理</translation>
    </message>
    <message>
        <source>ShowClient</source>
        <translation>開啟用戶端</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>結束</translation>
    </message>
    <message>
        <source>Palvex</source>
        <translation>Palvex</translation>
    </message>
    <message>
        <source>QuitPalvex</source>
        <translation>結束 Palvex</translation>
    </message>
    <message>
        <source>PortsMovedAtStart</source>
        <translation>啟動時已變更連接埠</translation>
    </message>
    <message>
        <source>%1Port%2WasTakenBy%3MovedTo%4</source>
        <translation>%1 連接埠 %2 已被 %3 佔用，已改為 %4</translation>
    </message>
    <message>
        <source>%1Port%2WasTakenMovedTo%3</source>
        <translation>%1 連接埠 %2 已被佔用，已改為 %3</translation>
    </message>
    <message>
        <source>WebClientNotOpened</source>
        <translation>無法開啟用戶端</translation>
    </message>
    <message>
        <source>OpenTheWebClientAt%1</source>
        <translation>沒有可用的瀏覽器。請在瀏覽器中開啟 %1。</translation>
    </message>
</context>
</TS>
