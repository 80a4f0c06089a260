<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Ombrix</name>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n file</numerusform>
            <numerusform>%n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) left alone</source>
        <translation>
            <numerusform>%n file left alone</numerusform>
            <numerusform>%n files left alone</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 of %n file(s) selected</source>
        <translation>
            <numerusform>%1 of %n file selected</numerusform>
            <numerusform>%1 of %n files selected</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n earlier run(s) can still be undone from History.</source>
        <translation>
            <numerusform>%n earlier run can still be undone from History.</numerusform>
            <numerusform>%n earlier runs can still be undone from History.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) · %1</source>
        <translation>
            <numerusform>%n file · %1</numerusform>
            <numerusform>%n files · %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) could not be moved. Nothing was lost — they are still where they were.</source>
        <translation>
            <numerusform>%n file could not be moved. Nothing was lost — they are still where they were.</numerusform>
            <numerusform>%n files could not be moved. Nothing was lost — they are still where they were.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Sorted %n file(s)</source>
        <translation>
            <numerusform>Sorted %n file</numerusform>
            <numerusform>Sorted %n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Put %n file(s) back.</source>
        <translation>
            <numerusform>Put %n file back.</numerusform>
            <numerusform>Put %n files back.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) had already moved. They are all accounted for, and you can put them back.</source>
        <translation>
            <numerusform>%n file had already moved. They are all accounted for, and you can put them back.</numerusform>
            <numerusform>%n files had already moved. They are all accounted for, and you can put them back.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) had not been touched.</source>
        <translation>
            <numerusform>%n file had not been touched.</numerusform>
            <numerusform>%n files had not been touched.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) could not be accounted for and were left exactly as they are:</source>
        <translation>
            <numerusform>%n file could not be accounted for and were left exactly as they are:</numerusform>
            <numerusform>%n files could not be accounted for and were left exactly as they are:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n byte(s)</source>
        <translation>
            <numerusform>%n byte</numerusform>
            <numerusform>%n bytes</numerusform>
        </translation>
    </message>
</context>
</TS>
