<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Ombrix</name>
    <message numerus="yes">
        <source>%Ln file(s)</source>
        <translation>
            <numerusform>%Ln file</numerusform>
            <numerusform>%Ln files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file(s) left alone</source>
        <translation>
            <numerusform>%Ln file left alone</numerusform>
            <numerusform>%Ln files left alone</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 of %Ln file(s) selected</source>
        <translation>
            <numerusform>%1 of %Ln file selected</numerusform>
            <numerusform>%1 of %Ln files selected</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln earlier run(s) can still be undone from History.</source>
        <translation>
            <numerusform>%Ln earlier run can still be undone from History.</numerusform>
            <numerusform>%Ln earlier runs can still be undone from History.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file(s) · %1</source>
        <translation>
            <numerusform>%Ln file · %1</numerusform>
            <numerusform>%Ln files · %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file(s) could not be moved. Nothing was lost — they are still where they were.</source>
        <translation>
            <numerusform>%Ln file could not be moved. Nothing was lost — they are still where they were.</numerusform>
            <numerusform>%Ln files could not be moved. Nothing was lost — they are still where they were.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Sorted %Ln file(s)</source>
        <translation>
            <numerusform>Sorted %Ln file</numerusform>
            <numerusform>Sorted %Ln files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Put %Ln file(s) back.</source>
        <translation>
            <numerusform>Put %Ln file back.</numerusform>
            <numerusform>Put %Ln files back.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file(s) had already moved. They are all accounted for, and you can put them back.</source>
        <translation>
            <numerusform>%Ln file had already moved. They are all accounted for, and you can put them back.</numerusform>
            <numerusform>%Ln files had already moved. They are all accounted for, and you can put them back.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file(s) had not been touched.</source>
        <translation>
            <numerusform>%Ln file had not been touched.</numerusform>
            <numerusform>%Ln files had not been touched.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file(s) could not be accounted for and were left exactly as they are:</source>
        <translation>
            <numerusform>%Ln file could not be accounted for and were left exactly as they are:</numerusform>
            <numerusform>%Ln files could not be accounted for and were left exactly as they are:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln byte(s)</source>
        <translation>
            <numerusform>%Ln byte</numerusform>
            <numerusform>%Ln bytes</numerusform>
        </translation>
    </message>
</context>
</TS>
