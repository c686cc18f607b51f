// DICOM files built to exhaust the attribute reader: nesting deep enough to
// overflow its stack, a deflated value of gigabytes, a deflated flood of tiny
// items. Each is read in a child process that must end in time, with a
// bounded memory high-water, having refused the file; sound files of the same
// shapes are still read.
#include "catalogue/study_metadata_reader.h"

#include "support/scoped_medium.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

namespace {

using testsupport::ScopedMedium;

// ---- Raw element streams, explicit VR little endian ----

std::string le16(unsigned value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }
std::string le32(std::uint32_t value) { return le16(value & 0xFFFF) + le16(value >> 16); }
std::string tag(unsigned group, unsigned element) { return le16(group) + le16(element); }

std::string element(unsigned group, unsigned element, const char *vr, std::string value) {
  if (value.size() % 2 != 0) value += ' ';
  bool longForm = false;
  for (const char *longVr : {"OB", "OW", "SQ", "UN", "UT"}) longForm = longForm || std::string(vr) == longVr;
  std::string length = longForm ? le16(0) + le32(static_cast<std::uint32_t>(value.size()))
                                : le16(static_cast<unsigned>(value.size()));
  return tag(group, element) + vr + length + value;
}

const std::uint32_t kUndefined = 0xFFFFFFFF;
std::string sequenceStart() { return tag(0x0008, 0x1115) + "SQ" + le16(0) + le32(kUndefined); }
std::string itemStart(std::uint32_t length = kUndefined) { return tag(0xFFFE, 0xE000) + le32(length); }
std::string itemEnd() { return tag(0xFFFE, 0xE00D) + le32(0); }
std::string sequenceEnd() { return tag(0xFFFE, 0xE0DD) + le32(0); }

std::string fileWith(const char *transferSyntax, const std::string &dataset) {
  std::string meta = element(0x0002, 0x0001, "OB", std::string("\0\1", 2)) +
                     element(0x0002, 0x0002, "UI", std::string("1.2.840.10008.5.1.4.1.1.7\0", 26)) +
                     element(0x0002, 0x0003, "UI", "1.2.3.4") + element(0x0002, 0x0010, "UI", transferSyntax);
  return std::string(128, '\0') + "DICM" +
         element(0x0002, 0x0000, "UL", le32(static_cast<std::uint32_t>(meta.size()))) + meta + dataset;
}

std::string attributesBefore() {
  return element(0x0008, 0x0020, "DA", "20240101") + element(0x0008, 0x0060, "CS", "CT");
}
std::string attributesAfter() {
  return element(0x0010, 0x0010, "PN", "Kowalska^Anna") + element(0x0010, 0x0020, "LO", "123");
}

std::string nested(int depth) {
  std::string opening, closing;
  for (int level = 0; level < depth; ++level) {
    opening += sequenceStart() + itemStart();
    closing += itemEnd() + sequenceEnd();
  }
  return opening + closing;
}

// Raw deflate of `head` followed by `count` copies of `repeated`, fed in
// pieces of about a megabyte.
std::string deflated(const std::string &head, const std::string &repeated = "", std::uint64_t count = 0) {
  std::string block;
  while (!repeated.empty() && block.size() < (1u << 20)) block += repeated;
  const std::uint64_t perBlock = repeated.empty() ? 1 : block.size() / repeated.size();
  z_stream stream{};
  deflateInit2(&stream, 1, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string out;
  char buffer[1 << 16];
  auto feed = [&](const std::string &piece, int flush) {
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(piece.data()));
    stream.avail_in = static_cast<uInt>(piece.size());
    do {
      stream.next_out = reinterpret_cast<Bytef *>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
  };
  feed(head, Z_NO_FLUSH);
  for (std::uint64_t left = count; left > 0;) {
    std::uint64_t n = std::min(left, perBlock);
    feed(n == perBlock ? block : block.substr(0, n * repeated.size()), Z_NO_FLUSH);
    left -= n;
  }
  feed(std::string(), Z_FINISH);
  deflateEnd(&stream);
  return out;
}

const char kExplicit[] = "1.2.840.10008.1.2.1";
const char kDeflated[] = "1.2.840.10008.1.2.1.99";

struct DicomAttack {
  const char *name;
  std::function<std::string()> bytes;
  bool readable;  // a sound file of the same shape, read whole
};

const DicomAttack kAttacks[] = {
    {"TenThousandNestedSequences",
     [] { return fileWith(kExplicit, attributesBefore() + nested(10000) + attributesAfter()); }, false},
    {"FiveNestedSequences",
     [] { return fileWith(kExplicit, attributesBefore() + nested(5) + attributesAfter()); }, true},
    {"DeflatedValueOfFourGigabytes",
     [] {
       std::string head = attributesBefore() + tag(0x0008, 0x0070) + "OB" + le16(0) + le32(0xFFFFFFF0);
       return fileWith(kDeflated, deflated(head, std::string(4096, '\0'), 32 * 1024));
     },
     false},
    {"DeflatedFloodOfEmptyItems",
     [] {
       return fileWith(kDeflated, deflated(attributesBefore() + sequenceStart(), itemStart(0), 5000000));
     },
     false},
    {"DeflatedSoundFile",
     [] { return fileWith(kDeflated, deflated(attributesBefore() + attributesAfter())); }, true},
};

void PrintTo(const DicomAttack &attack, std::ostream *out) { *out << attack.name; }

class ExhaustingDicom : public testing::TestWithParam<DicomAttack> {};

long maxResidentKilobytes() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryAllowanceKb = 400 * 1024;  // redzones and the quarantine of freed blocks
#else
constexpr long kMemoryAllowanceKb = 96 * 1024;  // the reader's 64 MiB and the process's own growth
#endif

TEST_P(ExhaustingDicom, IsReadOrRefusedInTimeWithBoundedMemory) {
  ScopedMedium medium;
  medium.writeFile("DICOM/ST1/SE1/IM1", GetParam().bytes());

  int results[2];
  ASSERT_EQ(pipe(results), 0);
  gint64 started = g_get_monotonic_time();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);  // a reader that never ends fails the test instead of hanging it
    long before = maxResidentKilobytes();
    StudyMetadataMap records = readStudyMetadata({{0, {{0, {"DICOM/ST1/SE1/IM1"}}}}});
    std::string report = std::to_string(maxResidentKilobytes() - before) + " " +
                         // A refused file leaves its series' fields empty.
                         (records.at(0).at(0).at(0).patientId.empty() ? std::string("-")
                                                                      : records.at(0).at(0).at(0).patientId);
    ssize_t ignored = write(results[1], report.data(), report.size());
    (void)ignored;
    _exit(0);
  }
  close(results[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  double seconds = (g_get_monotonic_time() - started) / 1e6;
  char buffer[256] = {};
  ssize_t got = read(results[0], buffer, sizeof buffer - 1);
  close(results[0]);

  ASSERT_TRUE(WIFEXITED(status)) << "the reader died of signal " << WTERMSIG(status);
  ASSERT_GT(got, 0);
  long growthKb = 0;
  char patientId[64] = {};
  ASSERT_EQ(std::sscanf(buffer, "%ld %63s", &growthKb, patientId), 2) << buffer;
  EXPECT_STREQ(patientId, GetParam().readable ? "123" : "-");
  EXPECT_LT(growthKb, kMemoryAllowanceKb);
  EXPECT_LT(seconds, 20.0);  // the reader's own limit is 2 s a file
}

INSTANTIATE_TEST_SUITE_P(HostileMedium, ExhaustingDicom, testing::ValuesIn(kAttacks),
                         [](const testing::TestParamInfo<DicomAttack> &info) { return info.param.name; });

}  // namespace
