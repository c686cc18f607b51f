// Paths of files on the medium written relative to the medium root, as the
// catalogue stores and opens them ("DICOM/ST1/SE1/IM1", "REFIMG/ST1/SE1/a.jpg").
#pragma once

#include <optional>
#include <string>

// `written` is a file's absolute path, `folder` the top folder's name ("DICOM"
// or "REFIMG") and `mediumRoot` the absolute medium root (the working
// directory). The result is `written` from the folder's name on, looked for
// after the root: a root whose own path holds the name (a disc mounted at
// /media/PACS_DICOM_CD) does not cut the path short. A path outside the root is
// cut at the name's first occurrence. Empty when the name does not occur.
std::optional<std::string> pathFromMediumFolder(const std::string &written, const std::string &folder,
                                                const std::string &mediumRoot);
