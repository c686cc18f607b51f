// The attribute listing of generated files: text in the file's character set,
// sequences as a tree, private attributes marked, the search, and the bounds
// of a gigabyte value and of a sequence 10,000 levels deep.
#include "imaging/attribute_listing.h"

#include "support/scratch_folder.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

using namespace testsupport;

namespace {

void put(std::ofstream &out, std::initializer_list<uint16_t> words, const char *vr, uint32_t length) {
  for (uint16_t word : words) out.write(reinterpret_cast<const char *>(&word), 2);
  if (vr != nullptr) out.write(vr, 4);  // the VR and two reserved bytes
  out.write(reinterpret_cast<const char *>(&length), 4);
}

// A small dataset in Latin-2 with a sequence and private attributes; `tail`
// appends raw elements after it.
std::string writeFile(const ScratchFolder &folder, const char *name, void (*tail)(std::ofstream &)) {
  DcmFileFormat file;
  DcmDataset &d = *file.getDataset();
  d.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 101");
  d.putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
  d.putAndInsertString(DCM_SOPInstanceUID, "1.2.3.4.5");
  d.putAndInsertString(DCM_PatientName, "\xaf\xf3\xb3\xe6^Jan");
  DcmItem *item = nullptr;
  d.findOrCreateSequenceItem(DCM_ReferencedStudySequence, item, -2);
  item->putAndInsertString(DCM_ReferencedSOPInstanceUID, "1.2.3.9");
  d.putAndInsertString(DcmTag(0x0029, 0x0010, EVR_LO), "VELMORA TEST");
  d.putAndInsertString(DcmTag(0x0029, 0x1001, EVR_LO), "tajne");
  const std::string path = folder.path(name);
  EXPECT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
  if (tail != nullptr) {
    std::ofstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(0, std::ios::end);
    tail(out);
  }
  return path;
}

void hugeValue(std::ofstream &out) {
  put(out, {0x0029, 0x1002}, "OB\0\0", 1u << 30);
  // The gigabyte is a hole in a sparse file.
  out.seekp(1u << 30, std::ios::cur);
  const uint16_t tag[] = {0x0029, 0x1003};
  out.write(reinterpret_cast<const char *>(tag), 4);
  out.write("LO\x02\x00po", 6);  // a short VR's length has two bytes
}

void deepSequence(std::ofstream &out) {
  for (int level = 0; level < 10000; ++level) {
    put(out, {0x0029, 0x1004}, "SQ\0\0", 0xffffffff);
    put(out, {0xfffe, 0xe000}, nullptr, 0xffffffff);
  }
  for (int level = 0; level < 10000; ++level) {
    put(out, {0xfffe, 0xe00d}, nullptr, 0);
    put(out, {0xfffe, 0xe0dd}, nullptr, 0);
  }
}

}  // namespace

TEST(AttributeListing, RowsOfEveryAttributeBoundedAndSearched) {
  ScratchFolder folder;
  const std::string plain = writeFile(folder, "plain", nullptr), huge = writeFile(folder, "huge", hugeValue),
                    deep = writeFile(folder, "deep", deepSequence);
  struct Case {
    const char *name;
    const std::string &file;
    const char *filter;
    const char *tag;   // the row wanted; nullptr: a note
    const char *text;  // in its name or value
    int depth;
    bool isPrivate;
    size_t shown;  // rows the filter shows; 0: not counted
  };
  const Case cases[] = {
      {"text in the file's character set", plain, "", "(0010,0010)", "Żółć^Jan", 0, false, 0},
      {"the meta header too", plain, "", "(0002,0010)", "1.2.840.10008.1.2.1", 0, false, 0},
      {"a sequence's item below it", plain, "", "(0008,1155)", "1.2.3.9", 2, false, 0},
      {"a private attribute marked", plain, "", "(0029,1001)", "tajne", 0, true, 0},
      {"a value found with its sequence and item", plain, "1.2.3.9", "(0008,1155)", "1.2.3.9", 2, false, 3},
      {"a tag without brackets", plain, "0010,0010", "(0010,0010)", "PatientName", 0, false, 1},
      {"a name in any case", plain, "PATIENTNAME", "(0010,0010)", "Jan", 0, false, 1},
      {"a gigabyte value left in the file", huge, "", "(0029,1002)",
       "(wartość o długości 1\u00a0073\u00a0741\u00a0824 bajty pozostała w pliku", 0, true, 0},
      {"the attribute after it", huge, "", "(0029,1003)", "po", 0, true, 0},
      {"a deep sequence: where the reading stops", deep, "", nullptr, "Odczyt zatrzymano", 0, false, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<AttributeRow> rows = listAttributes(c.file);
    const std::vector<size_t> shown = rowsMatching(rows, c.filter);
    bool found = false;
    for (size_t index : shown) {
      const AttributeRow &row = rows[index];
      found |= (c.tag == nullptr ? row.note : row.tag == c.tag) && row.depth == c.depth &&
               row.isPrivate == c.isPrivate &&
               (row.name.find(c.text) != std::string::npos || row.value.find(c.text) != std::string::npos);
    }
    EXPECT_TRUE(found);
    if (c.shown != 0) {
      EXPECT_EQ(shown.size(), c.shown);
    }
  }
}
