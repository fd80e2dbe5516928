#include "core/text_table.h"

#include "platform/file_system.h"

namespace sk {

void FillDefaultTexts(TextTable& texts) {
  // Slot n holds text n; the German wording is the program's own and stays as it is.
  static constexpr const char* kDefaults[kTextCount] = {
      "Bitte wählen Sie ein Quellverzeichniss!",                              // 001
      "Einstellungen",                                                        // 002
      "Speicherordner",                                                       // 003
      "Ändern",                                                               // 004
      "Verfügbarer Speicher auf Datenträger:",                                // 005
      "OK",                                                                   // 006
      "Abbrechen",                                                            // 007
      "Bitte wählen Sie einen Pfad für die Backups",                          // 008
      "Projekt",                                                              // 009
      "Über",                                                                 // 010
      "Beenden",                                                              // 011
      "Backup",                                                               // 012
      "Laufwerk/Pfad",                                                        // 013
      "Größe",                                                                // 014
      "Letztes Update",                                                       // 015
      "Erstellen",                                                            // 016
      "Erstellt ein neues Backup!",                                           // 017
      "Aktualisieren",                                                        // 018
      "Aktualisiert ein bestehendes Backup!",                                 // 019
      "Auflisten",                                                            // 020
      "Listet den Inhalt eines Backups auf!",                                 // 021
      "Löschen",                                                              // 022
      "Löscht das zuletzt erstellte Backup!",                                 // 023
      "Restore",                                                              // 024
      "Erstellungsdatum",                                                     // 025
      "Wiederherstellen",                                                     // 026
      "Stellt ein Backup wieder her!",                                        // 027
      "Prozess Abgebrochen ... Bitte Warten!",                                // 028
      "Backup wird erstellt...",                                              // 029
      "Frage",                                                                // 030
      "Backup bereits vorhanden, möchten Sie es ersetzen ?",                  // 031
      "Info",                                                                 // 032
      "Es ist ein Fehler aufgetreten. Backup konnte nicht erstellt werden.",  // 033
      "Prozess wurde Abgebrochen!",                                           // 034
      "Daten Vergleichen...",                                                 // 035
      "Bitte wählen Sie ein Zielverzeichniss",                                // 036
      "Daten wiederherstellen...",                                            // 037
      "Datei %FILE% bereits vorhanden, möchten Sie sie ersetzen ?",           // 038
      "Es ist ein Fehler aufgetreten. Backup konnte nicht vollständig wiederhergestellt "
      "werden.",                                             // 039
      "Möchten Sie das gewählte Backup wirklich Löschen ?",  // 040
      "Backup-Inhalt",                                       // 041
      "Name",                                                // 042
      "CRC32",                                               // 043
      "Schließen",                                           // 044
      "Wiederherstellungs Parameter",                        // 045
      "Komplette Verzeichniss-Struktur übernehmen",          // 046
      "Nur das Unterverzeichniss übernehmen",                // 047
      "Backup überprüfen",                                   // 048
      "Backup wird überprüft...",                            // 049
      "Das Backup ist gültig!",                              // 050
      "Das Backup ist beschädigt!",                          // 051
      "Benötigte Gesamtzeit",                                // 052
      "Verstrichene Zeit",                                   // 053
      "Restzeit",                                            // 054
      "Fortschritt",                                         // 055
      "Unbekannt",                                           // 056
      "Sekunde(n)",                                          // 057
      "Minute(n)",                                           // 058
      "Stunde(n)",                                           // 059
      "Liste wird berechnet...",                             // 060
      "Zurück",                                              // 061
      "<Root>",                                              // 062
      "Verzeichnisse",                                       // 063
      "PackerEngine",                                        // 064
      "Engine",                                              // 065
      "PackLevel",                                           // 066
      "Densepress",                                          // 067
      "JCalG1",                                              // 068
      "ZLIB",                                                // 069
      "Eigenschaften",                                       // 070
      "Haupt-Backup",                                        // 071
      "Wiederherstellungspunkt",                             // 072
      "Name",                                                // 073
      "Größe Gepackt",                                       // 074
      "Größe Ungepackt",                                     // 075
      "Anzahl Ordner",                                       // 076
      "Anzahl Dateien",                                      // 077
      "Doppelklick",                                         // 078
      "Aktion",                                              // 079
      "Backup-Inhalt auflisten",                             // 080
      "Eigenschaften anzeigen",                              // 081
      "Backup überprüfen",                                   // 082
      "Backup aktualisieren",                                // 083
      "Index",                                               // 084
      // Texts this program adds after the 84 of the original table.
      "Nicht gesichert (Verknüpfungen und Sonderdateien, die ein Backup nicht aufnehmen "
      "kann):",                                                                          // 085
      "weitere",                                                                         // 086
      "Der Wiederherstellungspunkt fehlt oder kann nicht gelesen werden:",               // 087
      "Der Kopf des Volumes ist ungültig",                                               // 088
      "Das Volume ist abgeschnitten",                                                    // 089
      "Ein Block lässt sich nicht entpacken:",                                           // 090
      "CRC-Fehler:",                                                                     // 091
      "Das Volume fehlt",                                                                // 092
      "Backup von %FOLDER% geschrieben: %FILES% Dateien, %SIZE%",                        // 093
      "Update von %FOLDER% geschrieben: Wiederherstellungspunkt %INDEX%",                // 094
      "%FOLDER% wiederhergestellt nach %TARGET%",                                        // 095
      "Wiederherstellen...",                                                             // 096
      "Ausschlüsse…",                                                                    // 097
      "Nicht sichern (ein Muster pro Zeile, z. B. *.tmp oder build/):",                  // 098
      "Dieses Muster ist nicht verwendbar:",                                             // 099
      "Ein anderer Lauf (Prozess %PID% auf %HOST%) schreibt gerade dieses Backup.",      // 100
      "Die Ausschlüsse konnten nicht gespeichert werden.",                               // 101
      "Zeitplan…",                                                                       // 102
      "Zeitplan",                                                                        // 103
      "Nie",                                                                             // 104
      "Jede Stunde",                                                                     // 105
      "Jeden Tag",                                                                       // 106
      "Jede Woche",                                                                      // 107
      "Der Zeitplan konnte nicht geändert werden:",                                      // 108
      "Für dieses Backup gibt es einen Zeitplan. Soll er auch entfernt werden?",         // 109
      "Letztes Backup:",                                                                 // 110
      "heute",                                                                           // 111
      "gestern",                                                                         // 112
      "stündlich",                                                                       // 113
      "täglich",                                                                         // 114
      "wöchentlich",                                                                     // 115
      "Geplantes Backup fehlgeschlagen",                                                 // 116
      "Geplantes Backup abgeschlossen",                                                  // 117
      "Geplante Backups",                                                                // 118
      "Nur Fehler melden",                                                               // 119
      "Fehler und Erfolge melden",                                                       // 120
      "Das Backup konnte nicht gelöscht werden.",                                        // 121
      "Dieser Name kann in keinem Backup stehen",                                        // 122
      "Eine Verknüpfung oder Sonderdatei, die kein Backup aufnehmen kann: ausgelassen",  // 123
      "Die Datei hat sich beim Lesen geändert",                                          // 124
      "Es würde außerhalb des Zielordners geschrieben",                                  // 125
      "Nach diesem Ordner kann kein Backup benannt werden (er enthält ein \"@\", einen \":\" nach "
      "dem Laufwerk oder einen leeren Ordnernamen)",                             // 126
      "Das Backup hat keinen Platz für einen weiteren Wiederherstellungspunkt",  // 127
      "Die Metadatendatei fehlt, ist beschädigt oder stammt von einer neueren Version: Rechte, "
      "Eigentümer, Zeiten und Verknüpfungen werden nicht wiederhergestellt",  // 128
      "Erstellt am",                                                          // 129
      "Fertig, mit diesen Problemen:",                                        // 130
      "mit %COUNT% Problemen",                                                // 131
      "Behalten:",                                                            // 132
      "die letzten N",                                                        // 133
      "einen pro Tag für N Tage",                                             // 134
      "einen pro Woche für N Wochen",                                         // 135
      "einen pro Monat für N Monate",                                         // 136
      "keine Änderung",                                                       // 137
      "Jedes Feld nimmt eine Zahl von 0 bis 1000000 (0: aus).",               // 138
  };
  // Written here in UTF-8; windows on Windows show the ANSI code page.
  for (int n = 1; n <= kTextCount; ++n) {
    texts.slots[n] = platform::SystemTextFromUtf8(kDefaults[n - 1]);
  }
}

}  // namespace sk
