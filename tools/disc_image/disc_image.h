// The burnable image of a disc folder: ISO 9660 with Rock Ridge (permissions,
// long names) and Joliet, made by Debian's xorriso, with SHA256SUMS at its
// root listing every other file in the format `sha256sum -c` reads. The same
// folder gives the same bytes: every time stamp in the image is fixed.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace discimage {

// An ISO 9660 volume label: the text transliterated to ASCII, upper case,
// anything but A-Z and 0-9 as "_", at most 32 characters; "VELMORA_BRELANTOR"
// when nothing is left.
std::string volumeLabel(const std::string &text);

// The label from the patient's data on the disc: the first patient of its
// DICOMDIR (name, decoded from its character set as the navigator decodes
// it, ISO 2022 code extensions included), or
// volumeLabel("") when there is none.
std::string labelFromPatientData(const std::string &discFolder);

// The SHA256SUMS text of the folder: one line per regular file below it (a
// SHA256SUMS at its root excepted), sorted by path, names escaped as
// sha256sum escapes them. False with a message on a read failure.
bool checksumList(const std::string &discFolder, std::string &list, std::string *error,
                  const std::atomic<bool> *cancel = nullptr);

// The time every file of the image gets: SOURCE_DATE_EPOCH when it is set,
// else the newest modification time in the folder (so the same input gives
// the same image).
long long imageTime(const std::string &discFolder);

// Writes the image of `discFolder` to `imagePath`, which must not exist,
// with the given label (empty: from the patient's data). The image and its
// checksum list are written beside it under names of their own, for the
// owner alone, and the image is renamed into place only when complete. A
// link inside the folder is stored relative; one leading out of it refuses
// the image with its name. A raised `cancel` stops xorriso and removes every
// file of the run. False with a message in `error` on failure.
bool makeDiscImage(const std::string &discFolder, const std::string &imagePath, const std::string &label,
                   std::string *error, const std::atomic<bool> *cancel = nullptr);

// Burns `imagePath` onto `device`, an xorriso drive address ("/dev/sr0", or
// "stdio:FILE" for a file-backed pseudo drive), then reads the disc back and
// checks every file on it against the disc's own SHA256SUMS: a file missing,
// added or changed fails the burn, naming it. A device that cannot be written
// is refused before anything is written; a pseudo drive this run created is
// removed again on failure, and the read-back copy (beside the image) always.
// `afterWrite`, when given, runs between writing and reading back. A raised
// `cancel` stops xorriso. False with a message on failure; `verified` is the
// number of files checked.
bool burnImage(const std::string &imagePath, const std::string &device, size_t *verified, std::string *error,
               const std::atomic<bool> *cancel = nullptr, const std::function<void()> &afterWrite = {});

}  // namespace discimage
