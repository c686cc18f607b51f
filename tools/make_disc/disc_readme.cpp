// README.TXT: plain values in, text out. Polish without its diacritics (the
// file is ASCII, as the media profile asks), and the same in English for a
// clinic abroad.
#include "disc_readme.h"

#include <glib.h>

namespace makedisc {

namespace {

// Printable ASCII only: a name from a file may hold anything.
std::string ascii(const std::string &text) {
  std::string kept;
  for (char c : text)
    if (c >= 0x20 && c < 0x7F) kept += c;
  return kept;
}

std::string modalityList(const std::set<std::string> &modalities) {
  std::string list;
  for (const std::string &modality : modalities) {
    const std::string kept = ascii(modality);
    if (!kept.empty()) list += (list.empty() ? "" : ", ") + kept;
  }
  return list;
}

std::string englishCount(int count, const char *noun) {
  return std::to_string(count) + " " + noun + (count == 1 || std::string(noun) == "series" ? "" : "s");
}

std::string englishContents(const DiscContents &contents) {
  const std::string modalities = modalityList(contents.modalities);
  return std::string(contents.studies == 1 ? "1 study" : std::to_string(contents.studies) + " studies") +
         (modalities.empty() ? "" : " (" + modalities + ")") + ", " +
         englishCount(contents.series, "series") + ", " + englishCount(contents.images, "image") + ", " +
         englishCount(contents.reports, "report");
}

}  // namespace

DiscContents contentsOf(const DiscPlan &plan, int reports) {
  DiscContents contents;
  contents.studies = static_cast<int>(plan.studies.size());
  contents.reports = reports;
  for (const PlannedStudy &study : plan.studies)
    for (const PlannedSeries &series : study.series) {
      if (series.refimgFolder.empty()) continue;
      ++contents.series;
      for (const PlannedInstance &instance : series.instances) {
        ++contents.images;
        if (!instance.file->modality.empty()) contents.modalities.insert(instance.file->modality);
      }
    }
  return contents;
}

std::string counted(int count, const char *one, const char *few, const char *many) {
  const int tens = count % 100, units = count % 10;
  const char *noun = count == 1 ? one : (units >= 2 && units <= 4 && (tens < 12 || tens > 14)) ? few : many;
  return std::to_string(count) + " " + noun;
}

std::string describeContents(const DiscContents &contents) {
  const std::string modalities = modalityList(contents.modalities);
  return counted(contents.studies, "badanie", "badania", "badan") +
         (modalities.empty() ? "" : " (" + modalities + ")") + ", " +
         counted(contents.series, "seria", "serie", "serii") + ", " +
         counted(contents.images, "obraz", "obrazy", "obrazow") + ", " +
         counted(contents.reports, "opis", "opisy", "opisow");
}

std::string readmeText(const ReadmeContents &readme) {
  std::string text;
  auto line = [&text](const std::string &one) { text += ascii(one) + "\r\n"; };
  const std::string set = readme.discNumber.empty() ? "" : " " + readme.discNumber;
  const std::string navigator = readme.navigator.empty() ? "" : ascii(readme.navigator);
  const std::string viewer = readme.viewer.empty() ? "" : ascii(readme.viewer);

  line("PLYTA Z BADANIAMI OBRAZOWYMI" + set);
  line("");
  line("Na tej plycie: " + describeContents(readme.contents) + ".");
  if (!readme.otherDiscs.empty()) {
    line("To jest plyta " + readme.discNumber + " kompletu. Na pozostalych plytach:");
    for (const std::string &other : readme.otherDiscs) line("  " + other);
  }
  line("");
  line("Jak otworzyc plyte");
  if (!navigator.empty()) {
    if (readme.windowsProgram) line("  Windows: program uruchamia sie sam po wlozeniu plyty; jesli nie,");
    if (readme.windowsProgram) line("    uruchom gtk\\bin\\velmora-brelantor.exe z plyty.");
    line("  Linux: uruchom plik autorun.sh z glownego folderu plyty.");
  }
  if (readme.webPages) line("  Przegladarka internetowa: otworz plik INDEX.HTM (lista badan i opisy).");
  line("  Inny program DICOM: wskaz mu plik DICOMDIR z glownego folderu plyty.");
  line("");
  line("Programy na plycie");
  line("  Nawigator: " + (navigator.empty() ? std::string("brak") : navigator));
  line("  Przegladarka diagnostyczna: " + (viewer.empty() ? std::string("brak") : viewer));
  line("");
  line("Zawartosc");
  line("  DICOMDIR    spis obiektow DICOM (profil " + ascii(readme.profile) + ")");
  line("  DICOM\\      obiekty DICOM, nazwy wedlug normy DICOM dla nosnikow");
  line("  REFIMG\\     obrazy podgladowe JPEG, w tym samym ukladzie co DICOM\\");
  if (readme.webPages) line("  IHE_PDI\\    strony WWW otwierane z INDEX.HTM");
  line("  gtk\\, Program\\, img\\  programy plyty");
  line("");
  line("Uwagi dla programow sprawdzajacych DICOMDIR");
  line("  Rekordy DICOMDIR zawieraja klucze, ktorych wymaga profil nosnika (np.");
  line("  Image Type, Rows, Columns, Institution Name, Patient's Sex), a ktorych nie");
  line("  wymienia sam modul katalogu; dciodvfy zglasza je jako ostrzezenia, nie bledy.");
  if (readme.profile.find("relaxed") != std::string::npos) {
    line("  Eksport zawieral kodowania spoza profili ogolnych; pliki skopiowano bez");
    line("  zmian, wiec program trzymajacy sie scisle profilu moze ich nie otworzyc.");
  }
  line("");
  line("Ten plik nie zawiera danych pacjenta.");
  line("");
  line("----------------------------------------------------------------------");
  line("MEDICAL IMAGING DISC" + set);
  line("");
  line("On this disc: " + englishContents(readme.contents) + ".");
  if (!readme.otherDiscs.empty())
    line("This is disc " + readme.discNumber + " of a set; the other discs are listed above.");
  if (!navigator.empty())
    line("To open it: start autorun.sh (Linux)" +
         std::string(readme.windowsProgram ? " or gtk\\bin\\velmora-brelantor.exe (Windows)" : "") + ".");
  line(std::string(readme.webPages ? "Or open INDEX.HTM in a web browser, or point" : "Or point") +
       " any DICOM program at DICOMDIR.");
  line("Navigator: " + (navigator.empty() ? std::string("none") : navigator) +
       "; diagnostic viewer: " + (viewer.empty() ? std::string("none") : viewer) + ".");
  line("DICOMDIR profile: " + ascii(readme.profile) + ". Its records carry the keys the media");
  line("profile requires (Image Type, Rows, Columns, Institution Name, Patient's Sex...),");
  line("which the directory module does not list: dciodvfy warns of them; they are no errors.");
  line("This file holds no patient data.");
  return text;
}

}  // namespace makedisc
