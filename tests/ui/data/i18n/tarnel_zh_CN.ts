<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name></name>
    <message id="appTitle">
        <source>Tarnel %1 (%2)</source>
        <translation>Tarnel %1（%2）</translation>
    </message>
    <message id="auto">
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message id="Automatic">
        <source>Automatic</source>
        <translation>自动选择</translation>
    </message>
</context>
</TS>
