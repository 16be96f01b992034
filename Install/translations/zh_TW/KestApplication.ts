<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en_US">
<context>
    <name>serverframework::CKestApplication</name>
    <message>
        <source>Information</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>FailedToReadConfigurjfxcxFAf</source>
        <translation>讀取設定失敗，服務無法啟動。</translation>
    </message>
    <message>
        <source>TheServiceIsAlreadyStarted</source>
        <translation>服務已經啟動。</translation>
    </message>
    <message>
        <source>PortsCancelledServicesStayDown</source>
        <translation>連接埠設定已取消，服務未啟動。請重新啟動 Tavrin 服務以選擇連接埠。</translation>
    </message>
</context>
</TS>
