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
</context>
</TS>
