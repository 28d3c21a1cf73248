<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU" sourcelanguage="en">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../src/mainwindow.cpp" line="20"/>
        <source>Library closed on Monday</source>
        <comment>menu entry</comment>
        <translation>Встреча на даче в субботу</translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="40"/>
        <source>Hello everyone</source>
        <extracomment>Shown in the status bar</extracomment>
        <translatorcomment>Keep it short</translatorcomment>
        <translation>Дорогие друзья</translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="60"/>
        <source>the library will be closed on Monday while the new shelves are put in</source>
        <translation>в следующую субботу мы собираемся на даче у реки</translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="80"/>
        <source>Books that are due that day can be returned on Tuesday without a fine</source>
        <translation>Возьмите с собой тёплые вещи</translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="100"/>
        <source>and the reading room on the first floor opens again at nine</source>
        <translation>потому что вечером у воды бывает прохладно</translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="120"/>
        <source>Message number 5</source>
        <translation>Мы будем жарить шашлыки</translation>
    </message>
    <message numerus="yes">
        <location filename="../src/mainwindow.cpp" line="140"/>
        <source>%n new message(s)</source>
        <translation>
            <numerusform>Дорогие друзья (%n)</numerusform>
            <numerusform>в следующую субботу мы собираемся на даче у реки (%n)</numerusform>
        </translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="160"/>
        <source>Check the spelling</source>
        <translation type="unfinished">играть в волейбол и петь песни у костра до самой ночи</translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="180"/>
        <source>Print the page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="200"/>
        <source>Old message</source>
        <translation type="obsolete">Obsolete English text</translation>
    </message>
    <message>
        <location filename="../src/mainwindow.cpp" line="220"/>
        <source>Removed message</source>
        <translation type="vanished">Vanished English text</translation>
    </message>
</context>
</TS>
