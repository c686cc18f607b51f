// xorriso writes the ISO 9660 structures (we never do): its mkisofs emulation
// with Rock Ridge (-r: modes kept, owners 0, no write bits) and Joliet, every
// file date set to one time and SOURCE_DATE_EPOCH for the volume's own dates
// and identifiers, so that two runs over the same folder give the same bytes.
#include "disc_image.h"

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <gio/gio.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
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

bool fileSha256(const std::string &path, std::string &hex, std::string *error) {
  std::unique_ptr<FILE, decltype(&std::fclose)> file(g_fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return fail(error, path + ": cannot be read");
  std::unique_ptr<GChecksum, decltype(&g_checksum_free)> sum(g_checksum_new(G_CHECKSUM_SHA256),
                                                             g_checksum_free);
  std::vector<guchar> buffer(1 << 16);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0)
    g_checksum_update(sum.get(), buffer.data(), static_cast<gssize>(got));
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

bool runXorriso(const std::vector<std::string> &arguments, long long epoch, std::string *error) {
  std::vector<char *> argv;
  for (const std::string &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
  argv.push_back(nullptr);
  gchar **environment = g_get_environ();
  environment = g_environ_setenv(environment, "SOURCE_DATE_EPOCH", std::to_string(epoch).c_str(), TRUE);
  gchar *messages = nullptr;
  gint status = 0;
  GError *failure = nullptr;
  const bool ran = g_spawn_sync(nullptr, argv.data(), environment, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                nullptr, &messages, &status, &failure);
  g_strfreev(environment);
  std::string text = messages ? messages : "";
  g_free(messages);
  if (!ran) {
    std::string message = std::string("xorriso: ") + failure->message;
    g_error_free(failure);
    return fail(error, message);
  }
  if (!g_spawn_check_wait_status(status, nullptr)) return fail(error, "xorriso failed: " + text);
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
  return label.empty() ? "VELMORA_BRELANTOR" : label;
}

std::string labelFromPatientData(const std::string &discFolder) {
  DcmFileFormat directory;
  const std::string path = discFolder + "/DICOMDIR";
  if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) || directory.loadFile(path.c_str()).bad())
    return volumeLabel("");
  DcmDataset *dataset = directory.getDataset();
  // The names as text: converted from the file's character set where it names one.
  dataset->convertToUTF8();
  DcmSequenceOfItems *records = nullptr;
  if (dataset->findAndGetSequence(DCM_DirectoryRecordSequence, records).bad() || records == nullptr)
    return volumeLabel("");
  for (unsigned long i = 0; i < records->card(); ++i) {
    DcmItem *record = records->getItem(i);
    OFString type, name;
    if (record->findAndGetOFString(DCM_DirectoryRecordType, type).good() && type == "PATIENT" &&
        record->findAndGetOFStringArray(DCM_PatientName, name).good())
      return volumeLabel(name.c_str());
  }
  return volumeLabel("");
}

bool checksumList(const std::string &discFolder, std::string &list, std::string *error) {
  std::vector<std::string> files;
  if (!regularFiles(discFolder, files, error)) return false;
  list.clear();
  for (const std::string &name : files) {
    std::string hex;
    if (!fileSha256(discFolder + "/" + name, hex, error)) return false;
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
                   std::string *error) {
  std::string localError;
  if (!error) error = &localError;
  if (!g_file_test(discFolder.c_str(), G_FILE_TEST_IS_DIR))
    return fail(error, discFolder + " is not a folder");
  std::string sums;
  if (!checksumList(discFolder, sums, error)) return false;

  // The list lives beside the image while it is made, never in the disc folder.
  const std::string sumsPath = imagePath + ".SHA256SUMS.partial";
  const std::string partial = imagePath + ".partial";
  GError *failure = nullptr;
  if (!g_file_set_contents(sumsPath.c_str(), sums.data(), static_cast<gssize>(sums.size()), &failure)) {
    std::string message = failure->message;
    g_error_free(failure);
    return fail(error, message);
  }
  g_chmod(sumsPath.c_str(), 0444);
  g_unlink(partial.c_str());

  const long long epoch = imageTime(discFolder);
  const std::string volume = label.empty() ? labelFromPatientData(discFolder) : volumeLabel(label);
  const std::string sumsInImage = std::string("/") + kSumsName;
  const bool made =
      runXorriso({"xorriso", "-no_rc", "-as", "mkisofs", "-quiet", "-r", "-J", "-joliet-long", "-V", volume,
                  "--set_all_file_dates", "=" + std::to_string(epoch), "-m", discFolder + sumsInImage, "-o",
                  partial, "-graft-points", "/=" + graftEscaped(discFolder),
                  graftEscaped(sumsInImage) + "=" + graftEscaped(sumsPath)},
                 epoch, error);
  g_unlink(sumsPath.c_str());
  if (!made) {
    g_unlink(partial.c_str());
    return false;
  }
  if (g_rename(partial.c_str(), imagePath.c_str()) != 0) {
    g_unlink(partial.c_str());
    return fail(error, imagePath + ": the image cannot be put in place");
  }
  return true;
}

}  // namespace discimage
