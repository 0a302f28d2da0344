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
        <source>The options could not be read from %1 (%2).

Check the security and the properties before you press OK.</source>
        <translation>Die Optionen konnten nicht aus %1 gelesen werden (%2).

Prüfen Sie die Sicherheit und die Eigenschaften, bevor Sie OK drücken.</translation>
    </message>
    <message>
        <source>The options could not be saved in %1 (%2).

They apply until Sundrel is closed.</source>
        <translation>Die Optionen konnten nicht in %1 gespeichert werden (%2).

Sie gelten, bis Sundrel beendet wird.</translation>
    </message>
</context>
<context>
    <name>sundrel::ui</name>
    <message>
        <source>it could not be read; it may be damaged or not a PDF file.</source>
        <translation>sie konnte nicht gelesen werden; sie ist vielleicht beschädigt oder keine PDF-Datei.</translation>
    </message>
    <message>
        <source>the password given for it is wrong.</source>
        <translation>das angegebene Kennwort ist falsch.</translation>
    </message>
    <message>
        <source>it is password-protected.</source>
        <translation>sie ist kennwortgeschützt.</translation>
    </message>
    <message>
        <source>the PDF engine was not found</source>
        <translation>die PDF-Engine wurde nicht gefunden</translation>
    </message>
    <message>
        <source>the engine failed while measuring its pages</source>
        <translation>die Engine ist beim Messen der Seiten gescheitert</translation>
    </message>
    <message>
        <source>a part could not be written</source>
        <translation>ein Teil konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>the security could not be applied to a part, so that part was deleted</source>
        <translation>die Sicherheit konnte nicht auf einen Teil angewendet werden, daher wurde er gelöscht</translation>
    </message>
    <message>
        <source>a part would have replaced another file</source>
        <translation>ein Teil hätte eine andere Datei ersetzt</translation>
    </message>
    <message>
        <source>the engine ran out of time or memory and was stopped</source>
        <translation>der Engine gingen Zeit oder Speicher aus; sie wurde angehalten</translation>
    </message>
    <message>
        <source>it was replaced or changed while it was being split</source>
        <translation>sie wurde ersetzt oder geändert, während sie geteilt wurde</translation>
    </message>
    <message>
        <source>it could not be split</source>
        <translation>sie konnte nicht geteilt werden</translation>
    </message>
    <message>
        <source>page %1 (%2 bytes)</source>
        <translation>Seite %1 (%2 Bytes)</translation>
    </message>
    <message>
        <source>and %1 more.</source>
        <translation>und %1 weitere.</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>No parts were written.</source>
        <translation>Es wurden keine Teile geschrieben.</translation>
    </message>
    <message>
        <source>Some pages alone are larger than the limit of %1 bytes; each was written as a part by itself:</source>
        <translation>Einige Seiten sind allein größer als die Grenze von %1 Bytes; jede wurde als eigener Teil geschrieben:</translation>
    </message>
    <message>
        <source>, and 1 more page</source>
        <translation>, und 1 weitere Seite</translation>
    </message>
    <message>
        <source>, and %1 more pages</source>
        <translation>, und %1 weitere Seiten</translation>
    </message>
    <message>
        <source>1 other folder</source>
        <translation>1 anderen Ordner</translation>
    </message>
    <message>
        <source>%1 other folders</source>
        <translation>%1 andere Ordner</translation>
    </message>
    <message>
        <source>1 part was written to %2.</source>
        <translation>1 Teil wurde nach %2 geschrieben.</translation>
    </message>
    <message>
        <source>%1 parts were written to %2.</source>
        <translation>%1 Teile wurden nach %2 geschrieben.</translation>
    </message>
    <message>
        <source>1 file could not be split:</source>
        <translation>1 Datei konnte nicht geteilt werden:</translation>
    </message>
    <message>
        <source>%1 files could not be split:</source>
        <translation>%1 Dateien konnten nicht geteilt werden:</translation>
    </message>
    <message>
        <source>The run stopped early; 1 file was not reached:</source>
        <translation>Die Teilung endete vorzeitig; 1 Datei wurde nicht erreicht:</translation>
    </message>
    <message>
        <source>The run stopped early; %1 files were not reached:</source>
        <translation>Die Teilung endete vorzeitig; %1 Dateien wurden nicht erreicht:</translation>
    </message>
    <message>
        <source>1 file was not reached:</source>
        <translation>1 Datei wurde nicht erreicht:</translation>
    </message>
    <message>
        <source>%1 files were not reached:</source>
        <translation>%1 Dateien wurden nicht erreicht:</translation>
    </message>
    <message>
        <source>1 warning:</source>
        <translation>1 Warnung:</translation>
    </message>
    <message>
        <source>%1 warnings:</source>
        <translation>%1 Warnungen:</translation>
    </message>
    <message>
        <source>The run was stopped; 1 file was not finished:</source>
        <translation>Der Lauf wurde angehalten; 1 Datei wurde nicht fertig:</translation>
    </message>
    <message>
        <source>The run was stopped; %1 files were not finished:</source>
        <translation>Der Lauf wurde angehalten; %1 Dateien wurden nicht fertig:</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 Datei</translation>
    </message>
    <message>
        <source>%1 files</source>
        <translation>%1 Dateien</translation>
    </message>
    <message>
        <source>Split %1.</source>
        <translation>%1 geteilt.</translation>
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
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Split status</source>
        <translation>Stand der Teilung</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>%1 of %2: %3</source>
        <translation>%1 von %2: %3</translation>
    </message>
    <message>
        <source>page %1 of %2, 1 part so far</source>
        <translation>Seite %1 von %2, bisher 1 Teil</translation>
    </message>
    <message>
        <source>page %1 of %2, %3 parts so far</source>
        <translation>Seite %1 von %2, bisher %3 Teile</translation>
    </message>
    <message>
        <source>E-mail %1 MB</source>
        <translation>E-Mail %1 MB</translation>
    </message>
    <message>
        <source>not a size</source>
        <translation>keine Größe</translation>
    </message>
    <message>
        <source>= %1 bytes</source>
        <translation>= %1 Bytes</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a size limit: %2.</source>
        <translation>„%1“ ist keine Größengrenze: %2.</translation>
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
    <message>
        <source>Smaller parts: embed only the glyphs each part uses</source>
        <translation>Kleinere Teile: nur die Zeichen einbetten, die jeder Teil verwendet</translation>
    </message>
</context>
<context>
    <name>sundrel::ui::PasswordColumn</name>
    <message>
        <source>Set Password...</source>
        <translation>Kennwort festlegen...</translation>
    </message>
    <message>
        <source>Checking...</source>
        <translation>Prüfung...</translation>
    </message>
    <message>
        <source>Required</source>
        <translation>Erforderlich</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Festgelegt</translation>
    </message>
    <message>
        <source>Wrong</source>
        <translation>Falsch</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keins</translation>
    </message>
    <message>
        <source>Enter the password that opens this file. Leave it empty to remove a password given before.</source>
        <translation>Geben Sie das Kennwort ein, das diese Datei öffnet. Lassen Sie das Feld leer, um ein zuvor angegebenes Kennwort zu entfernen.</translation>
    </message>
    <message numerus="yes">
        <source>Enter the password that opens the %n selected files. Leave it empty to remove a password given before.</source>
        <translation>
            <numerusform>Geben Sie das Kennwort ein, das die ausgewählte Datei öffnet. Lassen Sie das Feld leer, um ein zuvor angegebenes Kennwort zu entfernen.</numerusform>
            <numerusform>Geben Sie das Kennwort ein, das die %n ausgewählten Dateien öffnet. Lassen Sie das Feld leer, um ein zuvor angegebenes Kennwort zu entfernen.</numerusform>
        </translation>
    </message>
    <message>
        <source>The password given for this file was wrong. Enter the password that opens it, or skip the file in this split.</source>
        <translation>Das für diese Datei angegebene Kennwort war falsch. Geben Sie das Kennwort ein, das sie öffnet, oder überspringen Sie die Datei bei dieser Teilung.</translation>
    </message>
    <message>
        <source>This file is protected. Enter the password that opens it, or skip the file in this split.</source>
        <translation>Diese Datei ist geschützt. Geben Sie das Kennwort ein, das sie öffnet, oder überspringen Sie die Datei bei dieser Teilung.</translation>
    </message>
</context>
<context>
    <name>sundrel::ui::PasswordDialog</name>
    <message>
        <source>Password</source>
        <translation>Kennwort</translation>
    </message>
    <message>
        <source>Skip this file</source>
        <translation>Diese Datei überspringen</translation>
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
