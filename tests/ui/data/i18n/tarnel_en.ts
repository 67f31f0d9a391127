<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="appTitle">
        <source>Tarnel %1 (%2)</source>
        <translation>Tarnel %1 (%2)</translation>
    </message>
    <message id="auto">
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message id="Automatic">
        <source>Automatic</source>
        <translation>Automatic</translation>
    </message>
</context>
</TS>
