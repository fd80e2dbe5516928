// Checks the language catalogs that ship beside the program. They are data files edited by hand
// (and by translators), so a stray LF line end, a lost key or a comma in a time unit would only
// show up as a wrong text at run time; these tests catch that at build time instead.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sk {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr int kTextCount = 101;

// The built-in texts, keys 001 to 101 in order. Kept here on purpose, independent of the
// program's own table, so that a slip on either side shows up as a difference.
constexpr std::array<std::string_view, kTextCount> kGermanTexts = {
    "Bitte wählen Sie ein Quellverzeichniss!",
    "Einstellungen",
    "Speicherordner",
    "Ändern",
    "Verfügbarer Speicher auf Datenträger:",
    "OK",
    "Abbrechen",
    "Bitte wählen Sie einen Pfad für die Backups",
    "Projekt",
    "Über",
    "Beenden",
    "Backup",
    "Laufwerk/Pfad",
    "Größe",
    "Letztes Update",
    "Erstellen",
    "Erstellt ein neues Backup!",
    "Aktualisieren",
    "Aktualisiert ein bestehendes Backup!",
    "Auflisten",
    "Listet den Inhalt eines Backups auf!",
    "Löschen",
    "Löscht das zuletzt erstellte Backup!",
    "Restore",
    "Erstellungsdatum",
    "Wiederherstellen",
    "Stellt ein Backup wieder her!",
    "Prozess Abgebrochen ... Bitte Warten!",
    "Backup wird erstellt...",
    "Frage",
    "Backup bereits vorhanden, möchten Sie es ersetzen ?",
    "Info",
    "Es ist ein Fehler aufgetreten. Backup konnte nicht erstellt werden.",
    "Prozess wurde Abgebrochen!",
    "Daten Vergleichen...",
    "Bitte wählen Sie ein Zielverzeichniss",
    "Daten wiederherstellen...",
    "Datei %FILE% bereits vorhanden, möchten Sie sie ersetzen ?",
    "Es ist ein Fehler aufgetreten. Backup konnte nicht vollständig wiederhergestellt werden.",
    "Möchten Sie das gewählte Backup wirklich Löschen ?",
    "Backup-Inhalt",
    "Name",
    "CRC32",
    "Schließen",
    "Wiederherstellungs Parameter",
    "Komplette Verzeichniss-Struktur übernehmen",
    "Nur das Unterverzeichniss übernehmen",
    "Backup überprüfen",
    "Backup wird überprüft...",
    "Das Backup ist gültig!",
    "Das Backup ist beschädigt!",
    "Benötigte Gesamtzeit",
    "Verstrichene Zeit",
    "Restzeit",
    "Fortschritt",
    "Unbekannt",
    "Sekunde(n)",
    "Minute(n)",
    "Stunde(n)",
    "Liste wird berechnet...",
    "Zurück",
    "<Root>",
    "Verzeichnisse",
    "PackerEngine",
    "Engine",
    "PackLevel",
    "Densepress",
    "JCalG1",
    "ZLIB",
    "Eigenschaften",
    "Haupt-Backup",
    "Wiederherstellungspunkt",
    "Name",
    "Größe Gepackt",
    "Größe Ungepackt",
    "Anzahl Ordner",
    "Anzahl Dateien",
    "Doppelklick",
    "Aktion",
    "Backup-Inhalt auflisten",
    "Eigenschaften anzeigen",
    "Backup überprüfen",
    "Backup aktualisieren",
    "Index",
    "Nicht gesichert (Verknüpfungen und Sonderdateien, die ein Backup nicht aufnehmen kann):",
    "weitere",
    "Der Wiederherstellungspunkt fehlt oder kann nicht gelesen werden:",
    "Der Kopf des Volumes ist ungültig",
    "Das Volume ist abgeschnitten",
    "Ein Block lässt sich nicht entpacken:",
    "CRC-Fehler:",
    "Das Volume fehlt",
    "Backup von %FOLDER% geschrieben: %FILES% Dateien, %SIZE%",
    "Update von %FOLDER% geschrieben: Wiederherstellungspunkt %INDEX%",
    "%FOLDER% wiederhergestellt nach %TARGET%",
    "Wiederherstellen...",
    "Ausschlüsse…",
    "Nicht sichern (ein Muster pro Zeile, z. B. *.tmp oder build/):",
    "Dieses Muster ist nicht verwendbar:",
    "Ein anderer Lauf (Prozess %PID% auf %HOST%) schreibt gerade dieses Backup.",
    "Die Ausschlüsse konnten nicht gespeichert werden.",
};

// The texts of schedules, keys 102 to 120.
constexpr int kScheduleFirst = 102;
constexpr std::array<std::string_view, 19> kGermanScheduleTexts = {
    "Zeitplan…",
    "Zeitplan",
    "Nie",
    "Jede Stunde",
    "Jeden Tag",
    "Jede Woche",
    "Der Zeitplan konnte nicht geändert werden:",
    "Für dieses Backup gibt es einen Zeitplan. Soll er auch entfernt werden?",
    "Letztes Backup:",
    "heute",
    "gestern",
    "stündlich",
    "täglich",
    "wöchentlich",
    "Geplantes Backup fehlgeschlagen",
    "Geplantes Backup abgeschlossen",
    "Geplante Backups",
    "Nur Fehler melden",
    "Fehler und Erfolge melden",
};

// The texts of what jobs report, keys 121 to 131.
constexpr int kReportFirst = 121;
constexpr std::array<std::string_view, 11> kGermanReportTexts = {
    "Das Backup konnte nicht gelöscht werden.",
    "Dieser Name kann in keinem Backup stehen",
    "Eine Verknüpfung oder Sonderdatei, die kein Backup aufnehmen kann: ausgelassen",
    "Die Datei hat sich beim Lesen geändert",
    "Es würde außerhalb des Zielordners geschrieben",
    "Nach diesem Ordner kann kein Backup benannt werden (er enthält ein \"@\", einen \":\" "
    "nach dem Laufwerk oder einen leeren Ordnernamen)",
    "Das Backup hat keinen Platz für einen weiteren Wiederherstellungspunkt",
    "Die Metadatendatei fehlt, ist beschädigt oder stammt von einer neueren Version: Rechte, "
    "Eigentümer, Zeiten und Verknüpfungen werden nicht wiederhergestellt",
    "Erstellt am",
    "Fertig, mit diesen Problemen:",
    "mit %COUNT% Problemen",
};

// The texts of retention policies, keys 132 to 138.
constexpr int kPolicyFirst = 132;
constexpr std::array<std::string_view, 7> kGermanPolicyTexts = {
    "Behalten:",
    "die letzten N",
    "einen pro Tag für N Tage",
    "einen pro Woche für N Wochen",
    "einen pro Monat für N Monate",
    "keine Änderung",
    "Jedes Feld nimmt eine Zahl von 0 bis 1000000 (0: aus).",
};

// Every key of the table, in order.
std::vector<int> TextKeys() {
  std::vector<int> keys;
  for (int n = 1; n <= kTextCount; ++n) keys.push_back(n);
  for (int n = 0; n < static_cast<int>(kGermanScheduleTexts.size()); ++n) {
    keys.push_back(kScheduleFirst + n);
  }
  for (int n = 0; n < static_cast<int>(kGermanReportTexts.size()); ++n) {
    keys.push_back(kReportFirst + n);
  }
  for (int n = 0; n < static_cast<int>(kGermanPolicyTexts.size()); ++n) {
    keys.push_back(kPolicyFirst + n);
  }
  return keys;
}

std::string_view GermanText(int n) {
  if (n >= kPolicyFirst) return kGermanPolicyTexts[n - kPolicyFirst];
  if (n >= kReportFirst) return kGermanReportTexts[n - kReportFirst];
  return n <= kTextCount ? kGermanTexts[n - 1] : kGermanScheduleTexts[n - kScheduleFirst];
}

fs::path CatalogFolder() { return fs::path(SK_SOURCE_DIR) / "catalogs"; }

std::string ThreeDigitKey(int n) {
  std::string key = std::to_string(n);
  return std::string(3 - key.size(), '0') + key;
}

std::vector<fs::path> CatalogPaths() {
  std::vector<fs::path> paths;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(CatalogFolder(), error)) {
    if (item.is_regular_file() && item.path().extension() == ".catalog") {
      paths.push_back(item.path());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Returns the offset of the first byte that is not part of a well-formed UTF-8 sequence
// (overlong forms, surrogates and values above U+10FFFF count as malformed), or npos.
size_t FirstBadUtf8(std::string_view text) {
  struct SequenceForm {
    unsigned char lead_mask;
    unsigned char lead_bits;
    int extra;
    char32_t minimum;
  };
  constexpr std::array<SequenceForm, 3> kForms = {{
      {0xE0, 0xC0, 1, 0x80},
      {0xF0, 0xE0, 2, 0x800},
      {0xF8, 0xF0, 3, 0x10000},
  }};
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    const auto form = std::find_if(kForms.begin(), kForms.end(), [&](const SequenceForm& f) {
      return (lead & f.lead_mask) == f.lead_bits;
    });
    if (form == kForms.end() || text.size() - i <= static_cast<size_t>(form->extra)) return i;
    char32_t code = lead & static_cast<unsigned char>(~form->lead_mask);
    for (int k = 1; k <= form->extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return i;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < form->minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
    i += form->extra + 1;
  }
  return std::string_view::npos;
}

// Splits text into lines that must each end in CR LF. On a bare CR, a bare LF or a last line
// without its CR LF, returns false and names the line.
bool SplitCrLfLines(std::string_view text, std::vector<std::string>* lines, std::string* error) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    const std::string where = "line " + std::to_string(lines->size() + 1);
    if (end == std::string_view::npos) {
      *error = where + " does not end with CR LF";
      return false;
    }
    if (text[end] != '\r' || end + 1 >= text.size() || text[end + 1] != '\n') {
      *error = where + " has a line end other than CR LF";
      return false;
    }
    lines->emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A no-break space at either end would survive the reader's trimming but still look like a
// leading or trailing blank on screen.
bool HasOuterSpace(std::string_view value) {
  constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
  return IsBlank(value.front()) || IsBlank(value.back()) || value.starts_with(kNoBreakSpace) ||
         value.ends_with(kNoBreakSpace);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

struct ParsedCatalog {
  bool has_catalog_group = false;
  std::map<std::string, std::string> texts;  // key -> value, entries of the CATALOG group
  std::vector<std::string> problems;
};

// Reads the lines the way the program's INI writer lays them out: "; " comments, "[name]"
// groups and "key = value" entries. Anything else, and any repeated key, is a problem.
ParsedCatalog ParseCatalogLines(const std::vector<std::string>& lines) {
  ParsedCatalog parsed;
  bool in_catalog = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    if (line.empty()) {
      parsed.problems.push_back(where + "empty line");
    } else if (line[0] == ';') {
      if (line.size() < 2 || line[1] != ' ') parsed.problems.push_back(where + "bad comment");
    } else if (line[0] == '[') {
      if (line.back() != ']') parsed.problems.push_back(where + "unclosed group");
      in_catalog = Lower(line) == "[catalog]";
      parsed.has_catalog_group = parsed.has_catalog_group || in_catalog;
    } else {
      const size_t equals = line.find(" = ");
      if (equals == std::string::npos) {
        parsed.problems.push_back(where + "not a 'key = value' entry");
        continue;
      }
      const std::string key = line.substr(0, equals);
      const std::string value = line.substr(equals + 3);
      if (!in_catalog) {
        parsed.problems.push_back(where + "entry outside [CATALOG]");
      } else if (!parsed.texts.emplace(key, value).second) {
        parsed.problems.push_back(where + "key " + key + " repeated");
      }
    }
  }
  return parsed;
}

struct LoadedCatalog {
  std::string name;
  std::string bytes;
  ParsedCatalog parsed;
  std::string line_error;  // empty when every line ends in CR LF
};

LoadedCatalog LoadCatalogFile(const fs::path& path) {
  LoadedCatalog catalog;
  catalog.name = path.filename().string();
  catalog.bytes = ReadBytes(path);
  std::string_view body = catalog.bytes;
  if (body.starts_with(kUtf8Bom)) body.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> lines;
  if (SplitCrLfLines(body, &lines, &catalog.line_error)) {
    catalog.parsed = ParseCatalogLines(lines);
  }
  return catalog;
}

std::vector<LoadedCatalog> LoadAllCatalogs() {
  std::vector<LoadedCatalog> catalogs;
  for (const fs::path& path : CatalogPaths()) catalogs.push_back(LoadCatalogFile(path));
  return catalogs;
}

TEST(CatalogFilesTest, EveryKnownLanguageHasItsFile) {
  // These are the names picked from the user's language; a misspelt or differently
  // normalised name would silently fall back to the built-in texts.
  const std::set<std::string> expected = {"Deutsch.catalog", "English.catalog", "Français.catalog",
                                          "Español.catalog"};
  std::set<std::string> found;
  for (const fs::path& path : CatalogPaths()) found.insert(path.filename().string());
  for (const std::string& name : expected) EXPECT_TRUE(found.contains(name)) << name;
}

TEST(CatalogFilesTest, FilesAreUtf8WithByteOrderMarkAndCrLf) {
  const std::vector<LoadedCatalog> catalogs = LoadAllCatalogs();
  ASSERT_FALSE(catalogs.empty());
  for (const LoadedCatalog& catalog : catalogs) {
    SCOPED_TRACE(catalog.name);
    EXPECT_TRUE(std::string_view(catalog.bytes).starts_with(kUtf8Bom));
    const size_t bad = FirstBadUtf8(catalog.bytes);
    EXPECT_EQ(bad, std::string_view::npos) << "malformed UTF-8 at byte " << bad;
    EXPECT_EQ(catalog.line_error, "");
  }
}

TEST(CatalogFilesTest, EachFileHoldsExactlyTheKeysOfTheTextTable) {
  for (const LoadedCatalog& catalog : LoadAllCatalogs()) {
    SCOPED_TRACE(catalog.name);
    if (!catalog.line_error.empty()) {
      ADD_FAILURE() << "lines not readable: " << catalog.line_error;
      continue;
    }
    const ParsedCatalog& parsed = catalog.parsed;
    EXPECT_TRUE(parsed.has_catalog_group);
    for (const std::string& problem : parsed.problems) ADD_FAILURE() << problem;
    for (const int n : TextKeys()) {
      EXPECT_TRUE(parsed.texts.contains(ThreeDigitKey(n))) << "missing " << ThreeDigitKey(n);
    }
    EXPECT_EQ(parsed.texts.size(), TextKeys().size()) << "unexpected extra keys";
    for (const auto& [key, value] : parsed.texts) {
      ASSERT_FALSE(value.empty()) << key;
      EXPECT_FALSE(HasOuterSpace(value)) << key << " = '" << value << "'";
    }
  }
}

TEST(CatalogFilesTest, PlaceholdersUnitsAndFixedNamesSurviveTranslation) {
  for (const LoadedCatalog& catalog : LoadAllCatalogs()) {
    SCOPED_TRACE(catalog.name);
    const auto& texts = catalog.parsed.texts;
    auto text = [&](const char* key) {
      const auto it = texts.find(key);
      return it == texts.end() ? std::string() : it->second;
    };
    // The restore question substitutes the file name here.
    EXPECT_NE(text("038").find("%FILE%"), std::string::npos);
    // So do the outcomes of the jobs in the status bar.
    for (const char* placeholder : {"%FOLDER%", "%FILES%", "%SIZE%"}) {
      EXPECT_NE(text("093").find(placeholder), std::string::npos) << placeholder;
    }
    EXPECT_NE(text("094").find("%INDEX%"), std::string::npos);
    EXPECT_NE(text("095").find("%TARGET%"), std::string::npos);
    // The lock message names the other run.
    EXPECT_NE(text("100").find("%PID%"), std::string::npos);
    EXPECT_NE(text("100").find("%HOST%"), std::string::npos);
    // The time units are joined with commas and split again, so a comma would shift them.
    for (const char* key : {"057", "058", "059"}) {
      EXPECT_EQ(text(key).find(','), std::string::npos) << key;
    }
    EXPECT_EQ(text("043"), "CRC32");
    EXPECT_EQ(text("067"), "Densepress");
    EXPECT_EQ(text("068"), "JCalG1");
    EXPECT_EQ(text("069"), "ZLIB");
  }
}

TEST(CatalogFilesTest, GermanCatalogRepeatsTheBuiltInTexts) {
  const fs::path path = CatalogFolder() / "Deutsch.catalog";
  ASSERT_TRUE(fs::is_regular_file(path));
  const LoadedCatalog catalog = LoadCatalogFile(path);
  for (const int n : TextKeys()) {
    const auto it = catalog.parsed.texts.find(ThreeDigitKey(n));
    ASSERT_NE(it, catalog.parsed.texts.end()) << ThreeDigitKey(n);
    EXPECT_EQ(it->second, GermanText(n)) << ThreeDigitKey(n);
  }
}

}  // namespace
}  // namespace sk
