<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en_US">
<context>
    <name>serverframework::CFrameworkMgr</name>
    <message>
        <source>ServiceManager</source>
        <translation>服务管理</translation>
    </message>
    <message>
        <source>ShowClient</source>
        <translation>打开客户端</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Palvex</source>
        <translation>Palvex</translation>
    </message>
    <message>
        <source>QuitPalvex</source>
        <translation>退出Palvex</translation>
    </message>
</context>
</TS>
