// Links on the medium: the walks of REFIMG and DICOM, the copies of its
// picture folders and the reports follow a link only to a place inside the
// medium root, so a disc cannot lead them into the rest of the file system;
// the viewer launch starts only programs that lie on the medium. Nothing here
// keeps state: any thread may call it.
#pragma once

#include "platform/directories.h"

#include <string>

// The medium root as the walks compare against it: the current directory with
// every link resolved. Empty when it cannot be read.
std::string resolvedMediumRoot();

// Whether `path`, every link in it followed, names the root `resolvedRoot`
// itself or a place below it. False when it cannot be resolved (missing, a
// dangling link, a loop) or when the root is unknown (empty).
bool resolvesInsideMedium(const std::string &path, const std::string &resolvedRoot);

// Whether the entry `name` of the open directory `directory`, whose path is
// `directoryPath` and whose listing recorded `type` for it, is a link that
// must not be followed: its target lies outside the medium or cannot be
// resolved. Entries that are not links are never refused.
bool linkLeavesMedium(const platform::DirectoryHandle &directory, const std::string &directoryPath,
                      const std::string &name, platform::EntryType type, const std::string &resolvedRoot);

// The same for an entry known by its whole path.
bool linkLeavesMedium(const std::string &path, const std::string &resolvedRoot);

// Whether a program at `path` must not be started because it lies off the
// medium: the path, every link in it followed (".." included), leads outside
// `resolvedRoot`, or it names a link that dangles or loops. A path that names
// nothing at all is not refused here; starting it fails as for any missing program.
bool programLeavesMedium(const std::string &path, const std::string &resolvedRoot);

// What an entry that a directory listing gave is to a walk, links followed as
// far as they stay on the medium.
enum class ListedKind {
  directory,
  regularFile,
  other,       // anything else, or a link that is not followed
  unreadable,  // listed, but it cannot be examined any more: it vanished or the medium fails
};

// The kind of the listed entry at `path`; `status` receives the status of
// what it names (links followed) for a directory or a regular file, `error`
// (when given) the error code of an unreadable entry.
ListedKind examineListedEntry(const std::string &path, const std::string &resolvedRoot,
                              platform::EntryStatus &status, int *error = nullptr);
