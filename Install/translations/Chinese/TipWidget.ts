<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en_US">
<context>
    <name>TipWidget</name>
    <message>
        <source>Form</source>
        <translation>提示</translation>
    </message>
</context>
</TS>
