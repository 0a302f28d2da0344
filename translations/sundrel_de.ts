<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>LinkOpener</name>
    <message>
        <source>The operating system is out
of memory or resources.</source>
        <translation>Das Betriebssystem hat nicht genügend
Speicher oder Ressourcen.</translation>
    </message>
    <message>
        <source>The specified file was not found.</source>
        <translation>Die angegebene Datei wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The specified path was not found.</source>
        <translation>Der angegebene Pfad wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>The operating system denied
access to the specified file.</source>
        <translation>Das Betriebssystem hat den Zugriff
auf die angegebene Datei verweigert.</translation>
    </message>
    <message>
        <source>There was not enough memory to complete the operation.</source>
        <translation>Für den Vorgang war nicht genügend Speicher vorhanden.</translation>
    </message>
    <message>
        <source>The .EXE file is invalid
(non-Win32 .EXE or error in .EXE image).</source>
        <translation>Die .EXE-Datei ist ungültig
(keine Win32-.EXE oder Fehler im .EXE-Abbild).</translation>
    </message>
    <message>
        <source>A sharing violation occurred. </source>
        <translation>Es ist eine Freigabeverletzung aufgetreten. </translation>
    </message>
    <message>
        <source>The filename association is
incomplete or invalid.</source>
        <translation>Die Dateinamenzuordnung ist
unvollständig oder ungültig.</translation>
    </message>
    <message>
        <source>The DDE transaction could not
be completed because the request timed out.</source>
        <translation>Die DDE-Transaktion konnte nicht
abgeschlossen werden, da die Anfrage zu lange dauerte.</translation>
    </message>
    <message>
        <source>The DDE transaction failed.</source>
        <translation>Die DDE-Transaktion ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The DDE transaction could not
be completed because other DDE transactions
were being processed.</source>
        <translation>Die DDE-Transaktion konnte nicht
abgeschlossen werden, da andere DDE-Transaktionen
bearbeitet wurden.</translation>
    </message>
    <message>
        <source>There is no application associated
with the given filename extension.</source>
        <translation>Der angegebenen Dateinamenerweiterung
ist keine Anwendung zugeordnet.</translation>
    </message>
    <message>
        <source>The specified dynamic-link library was not found.</source>
        <translation>Die angegebene DLL-Datei wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Unknown Error (%1) occurred.</source>
        <translation>Unbekannter Fehler (%1) aufgetreten.</translation>
    </message>
    <message>
        <source>Unable to open hyperlink:

</source>
        <translation>Der Link kann nicht geöffnet werden:

</translation>
    </message>
</context>
<context>
    <name>OptionsDialog</name>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>File Name Pattern</source>
        <translation>Dateinamensmuster</translation>
    </message>
    <message>
        <source>Output Security</source>
        <translation>Ausgabesicherheit</translation>
    </message>
    <message>
        <source>Output Properties</source>
        <translation>Ausgabeeigenschaften</translation>
    </message>
    <message>
        <source>The options could not be saved in %1 (%2).

They apply until Sundrel is closed.</source>
        <translation>Die Optionen konnten nicht in %1 gespeichert werden (%2).

Sie gelten, bis Sundrel beendet wird.</translation>
    </message>
</context>
<context>
    <name>sundrel::ui::AboutDialog</name>
    <message>
        <source>About Orvane Sundrel 2.0</source>
        <translation>Über Orvane Sundrel 2.0</translation>
    </message>
    <message>
        <source>Sundrel icon</source>
        <translation>Sundrel-Symbol</translation>
    </message>
    <message>
        <source>Copyright (C) 2026 Orvane. All rights reserved.</source>
        <translation>Copyright (C) 2026 Orvane. Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Web: %1</source>
        <translation>Web: %1</translation>
    </message>
    <message>
        <source>Email: %1</source>
        <translation>E-Mail: %1</translation>
    </message>
</context>
<context>
    <name>sundrel::ui::MainDialog</name>
    <message>
        <source>File name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Kennwort</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Add PDF Files</source>
        <translation>PDF-Dateien hinzufügen</translation>
    </message>
    <message>
        <source>All Supported Formats (*.pdf)</source>
        <translation>Alle unterstützten Formate (*.pdf)</translation>
    </message>
    <message>
        <source>PDF Files (*.pdf)</source>
        <translation>PDF-Dateien (*.pdf)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is too small, we will skip this PDF file.</source>
        <translation>„%1“ ist zu klein, diese PDF-Datei wird übersprungen.</translation>
    </message>
    <message>
        <source>Output directory</source>
        <translation>Ausgabeordner</translation>
    </message>
    <message>
        <source>PDF File List:</source>
        <translation>PDF-Dateiliste:</translation>
    </message>
    <message>
        <source>Add Directory</source>
        <translation>Ordner laden</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>PDF File List</source>
        <translation>PDF-Dateiliste</translation>
    </message>
    <message>
        <source>Split by file size:</source>
        <translation>Nach Dateigröße teilen:</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Benutzerdefiniert</translation>
    </message>
    <message>
        <source>Split by file size</source>
        <translation>Nach Dateigröße teilen</translation>
    </message>
    <message>
        <source>Size limit in bytes</source>
        <translation>Größengrenze in Bytes</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>Original directory</source>
        <translation>Ursprungsordner</translation>
    </message>
    <message>
        <source>Split progress</source>
        <translation>Fortschritt der Teilung</translation>
    </message>
    <message>
        <source>Alternative directory</source>
        <translation>Anderer Ordner</translation>
    </message>
    <message>
        <source>Alternative directory folder</source>
        <translation>Pfad des anderen Ordners</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Wählen</translation>
    </message>
    <message>
        <source>Begin Split</source>
        <translation>Teilen starten</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>Optionen...</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>%1 - closing when the split ends</source>
        <translation>%1 - wird nach der Teilung geschlossen</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keines</translation>
    </message>
</context>
<context>
    <name>sundrel::ui::NamePatternPage</name>
    <message>
        <source>Output Name</source>
        <translation>Ausgabename</translation>
    </message>
    <message>
        <source>Name pattern:</source>
        <translation>Muster:</translation>
    </message>
</context>
<context>
    <name>sundrel::ui::PropertiesPage</name>
    <message>
        <source>Title:</source>
        <translation>Titel:</translation>
    </message>
    <message>
        <source>Subject:</source>
        <translation>Thema:</translation>
    </message>
    <message>
        <source>Author:</source>
        <translation>Verfasser:</translation>
    </message>
    <message>
        <source>Keywords:</source>
        <translation>Stichwörter:</translation>
    </message>
    <message>
        <source>Creator:</source>
        <translation>Anwendung:</translation>
    </message>
    <message>
        <source>Producer:</source>
        <translation>Erzeugt mit:</translation>
    </message>
</context>
<context>
    <name>sundrel::ui::SecurityPage</name>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Low Resolution</source>
        <translation>Niedrige Auflösung</translation>
    </message>
    <message>
        <source>High Resolution</source>
        <translation>Hohe Auflösung</translation>
    </message>
    <message>
        <source>Inserting, deleting, and rotation pages</source>
        <translation>Einfügen, Löschen und Drehen von Seiten</translation>
    </message>
    <message>
        <source>Filling in form fields and signing signature</source>
        <translation>Ausfüllen von Formularfeldern und Signieren</translation>
    </message>
    <message>
        <source>Commenting, filling in form fields, signature</source>
        <translation>Kommentieren, Formularfelder ausfüllen, Signieren</translation>
    </message>
    <message>
        <source>Any except extracting pages</source>
        <translation>Alles außer Entnehmen von Seiten</translation>
    </message>
    <message>
        <source>Keep original file encryption</source>
        <translation>Originalverschlüsselung behalten</translation>
    </message>
    <message>
        <source>Special security</source>
        <translation>Besondere Sicherheit</translation>
    </message>
    <message>
        <source>Adding Security</source>
        <translation>Sicherheit hinzufügen</translation>
    </message>
    <message>
        <source>Require a password to open the document</source>
        <translation>Kennwort zum Öffnen des Dokuments verlangen</translation>
    </message>
    <message>
        <source>Document open password:</source>
        <translation>Kennwort zum Öffnen:</translation>
    </message>
    <message>
        <source>Permissions</source>
        <translation>Berechtigungen</translation>
    </message>
    <message>
        <source>Use a password to restrict permissions</source>
        <translation>Berechtigungen mit einem Kennwort einschränken</translation>
    </message>
    <message>
        <source>Permissions Password:</source>
        <translation>Berechtigungskennwort:</translation>
    </message>
    <message>
        <source>Print Allowed:</source>
        <translation>Drucken erlaubt:</translation>
    </message>
    <message>
        <source>Changes Allowed:</source>
        <translation>Änderungen erlaubt:</translation>
    </message>
    <message>
        <source>Enable copying of text, images, and other content</source>
        <translation>Kopieren von Text, Bildern und anderem Inhalt erlauben</translation>
    </message>
</context>
</TS>
