// Every attribute of one image file as rows for a tree: tag, name, VR and the
// value as text in UTF-8, sequences with their items below them, private
// attributes marked. Bounded: values past a length stay in the file, and a
// nesting, row count or read limit ends the listing with a Polish note in
// the row where it stops. No widget.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class DcmItem;
class DicomTextDecoder;

struct AttributeRow {
  int depth = 0;     // 0: the dataset's own; items and their attributes below
  std::string tag;   // "(0010,0010)"; empty for an item or a note
  std::string name;  // the dictionary's name, "Element 2" for an item, or the note
  std::string vr;
  std::string value;  // UTF-8, at most a line
  bool isPrivate = false;
  bool note = false;  // a row saying where the listing stopped
};

// Rows of a listing are kept below this many; nesting below this depth.
constexpr size_t kMostAttributeRows = 50000;
constexpr int kDeepestAttributeNesting = 64;

// The rows of `dataset`, its text decoded by `decoder`, which has the
// dataset's Specific Character Set.
std::vector<AttributeRow> attributeRows(DcmItem &dataset, DicomTextDecoder &decoder);

// Reads `path` (UTF-8) with the image file's bounds and lists it: the meta
// header's rows, then the dataset's. When the file cannot be read whole, the
// rows read so far and a note; when nothing can be read, only the note.
std::vector<AttributeRow> listAttributes(const std::string &path);

// Which rows to show for `filter` (case does not matter; a tag may be given
// with or without its brackets and comma): the rows whose tag, name or value
// holds it, and the sequences and items they are in, in order. Every row for
// an empty filter.
std::vector<size_t> rowsMatching(const std::vector<AttributeRow> &rows, const std::string &filter);
