<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en_US">
<context>
    <name>CheckCorretLineEdit</name>
    <message>
        <source>Form</source>
        <translation>連接埠</translation>
    </message>
</context>
</TS>
