// The disc's pages for a web browser: INDEX.HTM at the root and, in
// IHE_PDI/, the list of studies with a picture of each series and the
// reports. Plain XHTML without scripts, every link relative, so that they
// open from the disc in any browser, where no program of the disc can run.
#pragma once

#include "disc_plan.h"

#include <string>
#include <vector>

namespace makedisc {

struct WebContents {
  std::string patientName;           // readable (UTF-8)
  std::vector<std::string> reports;  // report files at the root, in the navigator's order
};

// Writes `root`/INDEX.HTM and `root`/IHE_PDI/. The pictures are looked for
// under `root`/REFIMG: a series whose first picture is missing is listed
// without one.
bool writeWebPages(const std::string &root, const DiscPlan &plan, const WebContents &contents,
                   std::string *error);

}  // namespace makedisc
