<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en_US">
<context>
    <name>serverframework::CKestApplication</name>
    <message>
        <source>Information</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>FailedToReadConfigurjfxcxFAf</source>
        <translation>读取配置失败，服务无法启动。</translation>
    </message>
    <message>
        <source>TheServiceIsAlreadyStarted</source>
        <translation>服务已经启动。</translation>
    </message>
    <message>
        <source>PortsCancelledServicesStayDown</source>
        <translation>端口设置已取消，服务未启动。请重新启动Tavrin服务以选择端口。</translation>
    </message>
</context>
</TS>
