<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en_US">
<context>
    <name>WaringDlg</name>
    <message>
        <source>Quit</source>
        <translation>結束</translation>
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
<context>
    <name>serverframework::CWaringDlg</name>
    <message>
        <source>Confirm</source>
        <translation>確定</translation>
    </message>
    <message>
        <source>UndoMerge</source>
        <translation>取消</translation>
    </message>
</context>
</TS>
