// Saving a copy of a report.
#include "reader/report_copy.h"

#include "base/medium_links.h"
#include "base/text.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"

#include <glib.h>
#include <glib/gstdio.h>

CopySaving saveReportCopy(const std::string &report, const std::string &target,
                          const std::string &resolvedRoot) {
  UniqueString folder(g_path_get_dirname(target.c_str()));
  if (resolvesInsideMedium(folder.get(), resolvedRoot)) return CopySaving::OntoMedium;
  if (g_file_test(target.c_str(), G_FILE_TEST_EXISTS) || g_file_test(target.c_str(), G_FILE_TEST_IS_SYMLINK))
    return CopySaving::Exists;
  if (!platform::copyFileNoOverwrite(report, target)) return CopySaving::Failed;
  // The copy is the user's own file now, not read-only as on the disc.
  g_chmod(target.c_str(), 0644);
  return CopySaving::Saved;
}

std::string copySavingMessage(CopySaving result, const std::string &target) {
  const std::string name = "„" + makeValidUtf8(target) + "”";
  switch (result) {
    case CopySaving::Saved:
      return "Kopię opisu zapisano w pliku " + name + ".";
    case CopySaving::OntoMedium:
      return "Na płycie nie można zapisać kopii. Wybierz folder na dysku komputera.";
    case CopySaving::Exists:
      return "Plik " + name + " już istnieje. Wybierz inną nazwę lub inny folder.";
    case CopySaving::Failed:
      break;
  }
  return "Nie udało się zapisać kopii opisu w pliku " + name +
         ". Sprawdź, czy folder istnieje, czy można w nim zapisywać i czy jest na nim miejsce.";
}
