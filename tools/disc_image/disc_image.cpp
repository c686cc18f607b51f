// xorriso writes the ISO 9660 structures (we never do): its mkisofs emulation
// with Rock Ridge (-r: modes kept, owners 0, no write bits) and Joliet, every
// file date set to one time and SOURCE_DATE_EPOCH for the volume's own dates
// and identifiers, so that two runs over the same folder give the same bytes.
#include "disc_image.h"

#include "child_program.h"

#include "catalogue/dicom_text.h"

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <system_error>
#include <vector>

namespace discimage {

namespace {

namespace fs = std::filesystem;

const char *const kSumsName = "SHA256SUMS";

bool fail(std::string *error, const std::string &message) {
  if (error) *error = message;
  return false;
}

// Every regular file below `root` by its path relative to it, sorted by bytes.
bool regularFiles(const fs::path &root, std::vector<std::string> &files, std::string *error) {
  std::error_code code;
  fs::recursive_directory_iterator walk(root, fs::directory_options::none, code), end;
  for (; !code && walk != end; walk.increment(code)) {
    if (!walk->is_regular_file(code) || walk->is_symlink(code)) continue;
    const std::string relative = fs::relative(walk->path(), root, code).generic_string();
    if (relative != kSumsName) files.push_back(relative);
  }
  if (code) return fail(error, root.string() + ": " + code.message());
  std::sort(files.begin(), files.end());
  return true;
}

bool interrupted(const std::atomic<bool> *cancel) { return cancel != nullptr && *cancel; }

bool fileSha256(const std::string &path, std::string &hex, std::string *error,
                const std::atomic<bool> *cancel) {
  std::unique_ptr<FILE, decltype(&std::fclose)> file(g_fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return fail(error, path + ": cannot be read");
  std::unique_ptr<GChecksum, decltype(&g_checksum_free)> sum(g_checksum_new(G_CHECKSUM_SHA256),
                                                             g_checksum_free);
  std::vector<guchar> buffer(1 << 16);
  size_t got;
  while (!interrupted(cancel) && (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0)
    g_checksum_update(sum.get(), buffer.data(), static_cast<gssize>(got));
  if (interrupted(cancel)) return fail(error, "interrupted");
  if (std::ferror(file.get())) return fail(error, path + ": read error");
  hex = g_checksum_get_string(sum.get());
  return true;
}

// As sha256sum writes a name with a backslash or a line break: the line
// starts with "\" and those characters are escaped.
std::string sumLine(const std::string &hex, const std::string &name) {
  if (name.find_first_of("\\\n\r") == std::string::npos) return hex + "  " + name + "\n";
  std::string escaped;
  for (char c : name) {
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '\n')
      escaped += "\\n";
    else if (c == '\r')
      escaped += "\\r";
    else
      escaped += c;
  }
  return "\\" + hex + "  " + escaped + "\n";
}

// A path in xorriso's graft-point syntax: "=" and "\" are escaped.
std::string graftEscaped(const std::string &path) {
  std::string escaped;
  for (char c : path) {
    if (c == '=' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// `stopSignal` SIGKILL where we remove its output whatever state it is in;
// SIGTERM where it must leave a drive in order.
bool runXorriso(const std::vector<std::string> &arguments, long long epoch, const std::atomic<bool> *cancel,
                std::string *error, int stopSignal = SIGKILL) {
  ChildSettings settings;
  settings.arguments = arguments;
  if (epoch >= 0) settings.environment = {{"SOURCE_DATE_EPOCH", std::to_string(epoch)}};
  settings.cancel = cancel;
  settings.stopSignal = stopSignal;
  std::string messages;
  switch (runChild(settings, &messages)) {
    case ChildEnd::succeeded:
      return true;
    case ChildEnd::cancelled:
      return fail(error, "interrupted");
    case ChildEnd::notStarted:
      return fail(error, "xorriso: " + messages);
    case ChildEnd::failed:
      break;
  }
  return fail(error, "xorriso failed: " + messages);
}

// A link stored as the building machine has it would point into that
// machine's folders on the disc: a link to something inside the folder is
// stored relative to its own place, and one leading out of it is refused.
struct StoredLink {
  std::string path;    // absolute, on this machine
  std::string inDisc;  // "/..." inside the image
  std::string target;  // relative
};

bool discLinks(const fs::path &root, std::vector<StoredLink> &links, std::string *error) {
  std::error_code code;
  const fs::path top = fs::canonical(root, code);
  if (code) return fail(error, root.string() + ": " + code.message());
  fs::recursive_directory_iterator walk(top, fs::directory_options::none, code), end;
  for (; !code && walk != end; walk.increment(code)) {
    if (!walk->is_symlink(code)) continue;
    const fs::path link = walk->path();
    const std::string name = link.lexically_relative(top).generic_string();
    std::error_code broken;
    const fs::path target = fs::weakly_canonical(link.parent_path() / fs::read_symlink(link, broken), broken);
    const fs::path inside = target.lexically_relative(top);
    if (broken) return fail(error, name + ": the link cannot be followed (" + broken.message() + ")");
    if (inside.empty() || *inside.begin() == "..")
      return fail(error, name + ": the link leads out of the disc folder, refused");
    links.push_back({(fs::absolute(root) / name).lexically_normal().string(), "/" + name,
                     target.lexically_relative(link.parent_path()).string()});
  }
  if (code) return fail(error, root.string() + ": " + code.message());
  std::sort(links.begin(), links.end(),
            [](const StoredLink &a, const StoredLink &b) { return a.path < b.path; });
  return true;
}

// Whatever this run made beside the image, removed on every way out.
class ImageFiles {
 public:
  ~ImageFiles() {
    for (const std::string &link : links) g_unlink(link.c_str());
    if (!linkFolder.empty()) g_rmdir(linkFolder.c_str());
    for (const std::string *file : {&sums, &partial})
      if (!file->empty()) g_unlink(file->c_str());
  }
  std::string sums, partial, linkFolder;
  std::vector<std::string> links;
};

// A new file beside `base`, for its owner alone.
bool privateFile(const std::string &base, const std::string &suffix, std::string &made, std::string *error) {
  std::string pattern = base + suffix + "-XXXXXX";
  const int file = g_mkstemp_full(&pattern[0], O_RDWR | O_CLOEXEC, 0600);
  if (file < 0) return fail(error, base + ": " + g_strerror(errno));
  close(file);
  made = pattern;
  return true;
}

// The file behind a drive address: "stdio:FILE" is a file-backed pseudo drive.
const char *const kPseudoDrive = "stdio:";

std::string deviceFile(const std::string &device) {
  return device.rfind(kPseudoDrive, 0) == 0 ? device.substr(std::strlen(kPseudoDrive)) : device;
}

// Refused before xorriso starts, so a device that cannot take the disc gets
// no partial write. `created`: the pseudo drive's file is new, this run's own.
bool writableDevice(const std::string &device, bool *created, std::string *error) {
  const std::string file = deviceFile(device);
  *created = false;
  GStatBuf status;
  if (file.empty()) return fail(error, "no device named");
  if (g_stat(file.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) return fail(error, device + ": a folder, not a drive or file to write to");
    if (access(file.c_str(), W_OK) != 0)
      return fail(error, device + ": cannot be written (" + g_strerror(errno) + ")");
    return true;
  }
  const int missing = errno;
  if (missing != ENOENT || file == device)
    return fail(error, device + ": no such drive (" + g_strerror(missing) + ")");
  const std::string parent =
      fs::path(file).parent_path().empty() ? "." : fs::path(file).parent_path().string();
  if (!g_file_test(parent.c_str(), G_FILE_TEST_IS_DIR) || access(parent.c_str(), W_OK | X_OK) != 0)
    return fail(error, device + ": cannot be written (its folder " + parent + " is missing or read-only)");
  *created = true;
  return true;
}

// A disc read back keeps the disc's read-only modes: its folders are made
// writable again before it is removed.
void removeReadBack(const std::string &folder) {
  std::error_code code;
  for (fs::recursive_directory_iterator walk(folder, code), end; !code && walk != end; walk.increment(code))
    if (walk->is_directory(code) && !walk->is_symlink(code))
      fs::permissions(walk->path(), fs::perms::owner_all, fs::perm_options::add, code);
  fs::remove_all(folder, code);
}

// The file named by a SHA256SUMS line (escapes as sha256sum writes them).
std::string nameInSumLine(const std::string &line) {
  const size_t at = line.find("  ");
  if (at == std::string::npos) return line;
  std::string name = line.substr(at + 2), plain;
  if (line.empty() || line[0] != '\\') return name;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 1 < name.size()) {
      const char next = name[++i];
      plain += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      plain += name[i];
    }
  }
  return plain;
}

std::set<std::string> linesOf(const std::string &text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

// Every file of the disc read back against the SHA256SUMS found on it.
bool verifyReadBack(const std::string &disc, size_t *verified, std::string *error,
                    const std::atomic<bool> *cancel) {
  gchar *bytes = nullptr;
  gsize length = 0;
  if (!g_file_get_contents((disc + "/" + kSumsName).c_str(), &bytes, &length, nullptr))
    return fail(error, std::string("verification failed: the disc read back has no ") + kSumsName);
  const std::string listed(bytes, length);
  g_free(bytes);
  std::string found;
  if (!checksumList(disc, found, error, cancel)) return false;
  const std::set<std::string> expected = linesOf(listed), actual = linesOf(found);
  std::vector<std::string> wrong;
  for (const std::string &line : expected)
    if (actual.count(line) == 0)
      wrong.push_back(nameInSumLine(line) + " differs from its checksum or is missing");
  for (const std::string &line : actual)
    if (expected.count(line) == 0 &&
        std::find_if(expected.begin(), expected.end(), [&](const std::string &e) {
          return nameInSumLine(e) == nameInSumLine(line);
        }) == expected.end())
      wrong.push_back(nameInSumLine(line) + " is on the disc but not in " + kSumsName);
  if (!wrong.empty())
    return fail(error, "verification failed: " + std::to_string(wrong.size()) +
                           (wrong.size() == 1 ? " file does" : " files do") + " not match " + kSumsName +
                           " (" + wrong.front() + (wrong.size() > 1 ? ", ..." : "") + ")");
  *verified = expected.size();
  return true;
}

}  // namespace

std::string volumeLabel(const std::string &text) {
  std::string valid = text;
  if (!g_utf8_validate(valid.c_str(), static_cast<gssize>(valid.size()), nullptr)) valid.clear();
  std::unique_ptr<gchar, decltype(&g_free)> ascii(g_str_to_ascii(valid.c_str(), "C"), g_free);
  std::string label;
  for (const char *c = ascii.get(); *c != '\0' && label.size() < 32; ++c) {
    if (g_ascii_isalnum(*c))
      label += g_ascii_toupper(*c);
    else if (!label.empty() && label.back() != '_')
      label += '_';
  }
  while (!label.empty() && label.back() == '_') label.pop_back();
  return label.empty() ? "VELMORA_DISC" : label;
}

std::string labelFromPatientData(const std::string &discFolder) {
  DcmFileFormat directory;
  const std::string path = discFolder + "/DICOMDIR";
  if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) || directory.loadFile(path.c_str()).bad())
    return volumeLabel("");
  DcmDataset *dataset = directory.getDataset();
  DcmSequenceOfItems *records = nullptr;
  if (dataset->findAndGetSequence(DCM_DirectoryRecordSequence, records).bad() || records == nullptr)
    return volumeLabel("");
  OFString fileSet;
  dataset->findAndGetOFStringArray(DCM_SpecificCharacterSet, fileSet);
  for (unsigned long i = 0; i < records->card(); ++i) {
    DcmItem *record = records->getItem(i);
    OFString type, name, own;
    if (record->findAndGetOFString(DCM_DirectoryRecordType, type).good() && type == "PATIENT" &&
        record->findAndGetOFStringArray(DCM_PatientName, name).good()) {
      // A record may name its own character set; the name is read as the navigator reads it.
      const bool recordSet = record->findAndGetOFStringArray(DCM_SpecificCharacterSet, own).good();
      DicomTextDecoder decoder;
      decoder.select(recordSet ? own.c_str() : fileSet.c_str());
      return volumeLabel(decoder.decodePersonName(name.c_str()));
    }
  }
  return volumeLabel("");
}

bool checksumList(const std::string &discFolder, std::string &list, std::string *error,
                  const std::atomic<bool> *cancel) {
  std::vector<std::string> files;
  if (!regularFiles(discFolder, files, error)) return false;
  list.clear();
  for (const std::string &name : files) {
    std::string hex;
    if (!fileSha256(discFolder + "/" + name, hex, error, cancel)) return false;
    list += sumLine(hex, name);
  }
  return true;
}

long long imageTime(const std::string &discFolder) {
  if (const char *epoch = g_getenv("SOURCE_DATE_EPOCH")) {
    char *end = nullptr;
    long long value = std::strtoll(epoch, &end, 10);
    if (end != epoch && *end == '\0' && value >= 0) return value;
  }
  long long newest = 0;
  std::error_code code;
  for (fs::recursive_directory_iterator walk(discFolder, code), end; !code && walk != end;
       walk.increment(code)) {
    GStatBuf status;
    if (g_lstat(walk->path().c_str(), &status) == 0)
      newest = std::max<long long>(newest, static_cast<long long>(status.st_mtime));
  }
  return newest;
}

bool makeDiscImage(const std::string &discFolder, const std::string &imagePath, const std::string &label,
                   std::string *error, const std::atomic<bool> *cancel) {
  std::string localError;
  if (!error) error = &localError;
  if (!g_file_test(discFolder.c_str(), G_FILE_TEST_IS_DIR))
    return fail(error, discFolder + " is not a folder");
  // Only what this run makes is ever replaced or removed.
  if (g_file_test(imagePath.c_str(), G_FILE_TEST_EXISTS) ||
      g_file_test(imagePath.c_str(), G_FILE_TEST_IS_SYMLINK))
    return fail(error, imagePath + " exists; the image is made under a new name only");
  std::vector<StoredLink> links;
  if (!discLinks(discFolder, links, error)) return false;
  std::string sums;
  if (!checksumList(discFolder, sums, error, cancel)) return false;

  // Everything this run writes lives beside the image while it is made, for
  // its owner alone, and never in the disc folder.
  ImageFiles made;
  if (!privateFile(imagePath, ".SHA256SUMS", made.sums, error) ||
      !privateFile(imagePath, ".partial", made.partial, error))
    return false;
  GError *failure = nullptr;
  if (!g_file_set_contents_full(made.sums.c_str(), sums.data(), static_cast<gssize>(sums.size()),
                                G_FILE_SET_CONTENTS_CONSISTENT, 0600, &failure)) {
    std::string message = failure->message;
    g_error_free(failure);
    return fail(error, message);
  }
  const long long epoch = imageTime(discFolder);
  const std::string volume = label.empty() ? labelFromPatientData(discFolder) : volumeLabel(label);
  const std::string sumsInImage = std::string("/") + kSumsName;
  std::vector<std::string> arguments = {"xorriso",
                                        "-no_rc",
                                        "-as",
                                        "mkisofs",
                                        "-quiet",
                                        "-r",
                                        "-J",
                                        "-joliet-long",
                                        "-V",
                                        volume,
                                        "--set_all_file_dates",
                                        "=" + std::to_string(epoch),
                                        "-m",
                                        discFolder + sumsInImage};
  std::vector<std::string> grafts = {"/=" + graftEscaped(discFolder),
                                     graftEscaped(sumsInImage) + "=" + graftEscaped(made.sums)};
  if (!links.empty()) {
    std::string folder = imagePath + ".links-XXXXXX";
    if (!g_mkdtemp_full(&folder[0], 0700)) return fail(error, imagePath + ": " + g_strerror(errno));
    made.linkFolder = folder;
  }
  for (size_t i = 0; i < links.size(); ++i) {
    const std::string stored = made.linkFolder + "/" + std::to_string(i);
    if (symlink(links[i].target.c_str(), stored.c_str()) != 0)
      return fail(error, stored + ": " + g_strerror(errno));
    made.links.push_back(stored);
    arguments.insert(arguments.end(), {"-m", links[i].path});
    grafts.push_back(graftEscaped(links[i].inDisc) + "=" + graftEscaped(stored));
  }
  arguments.insert(arguments.end(), {"-o", made.partial, "-graft-points"});
  arguments.insert(arguments.end(), grafts.begin(), grafts.end());
  if (!runXorriso(arguments, epoch, cancel, error)) return false;
  if (interrupted(cancel)) return fail(error, "interrupted");
  g_chmod(made.partial.c_str(), 0644);
  // Complete, and put in place only where nothing has appeared meanwhile.
  if (renameat2(AT_FDCWD, made.partial.c_str(), AT_FDCWD, imagePath.c_str(), RENAME_NOREPLACE) != 0)
    return fail(error, imagePath + ": the image cannot be put in place (" + g_strerror(errno) + ")");
  made.partial.clear();
  return true;
}

bool burnImage(const std::string &imagePath, const std::string &device, size_t *verified, std::string *error,
               const std::atomic<bool> *cancel, const std::function<void()> &afterWrite) {
  std::string localError;
  if (!error) error = &localError;
  *verified = 0;
  if (!g_file_test(imagePath.c_str(), G_FILE_TEST_IS_REGULAR))
    return fail(error, imagePath + " is not an image");
  bool created = false;
  if (!writableDevice(device, &created, error)) return false;
  // A pseudo drive left half-written by this run would pass for a disc.
  struct PseudoDrive {
    std::string file;
    bool keep = false;
    ~PseudoDrive() {
      if (!file.empty() && !keep) g_unlink(file.c_str());
    }
  } drive{created ? deviceFile(device) : ""};
  // SIGTERM: xorriso ends the write and releases the drive itself.
  if (!runXorriso({"xorriso", "-no_rc", "-as", "cdrecord", "dev=" + device, imagePath}, -1, cancel, error,
                  SIGTERM))
    return fail(error, device + ": " + *error);
  if (interrupted(cancel)) return fail(error, "interrupted");
  if (afterWrite) afterWrite();
  std::string folder = imagePath + ".readback-XXXXXX";
  if (!g_mkdtemp_full(&folder[0], 0700)) return fail(error, imagePath + ": " + g_strerror(errno));
  struct ReadBack {
    std::string folder;
    ~ReadBack() { removeReadBack(folder); }
  } readBack{folder};
  const std::string disc = folder + "/disc";
  if (!runXorriso({"xorriso", "-no_rc", "-osirrox", "on", "-indev", device, "-extract", "/", disc}, -1,
                  cancel, error, SIGKILL))
    return fail(error, interrupted(cancel) ? "interrupted" : "the disc cannot be read back: " + *error);
  if (!verifyReadBack(disc, verified, error, cancel)) return false;
  drive.keep = true;
  return true;
}

}  // namespace discimage
