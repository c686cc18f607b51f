// The attribute listing reads the file as the image reader does, through the
// bounded stream with values past a read length left in the file, and never
// asks the toolkit for a value it did not load: a gigabyte of a private value
// costs its length field only.
#include "imaging/attribute_listing.h"

#include "base/text.h"
#include "catalogue/bounded_dicom_stream.h"
#include "catalogue/dicom_text.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcsequen.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

constexpr Uint32 kReadLength = 4096;
// A listing reads the same header as the image: the same bounds.
const DicomReadLimits kListingLimits{512 << 20, 2000000, 256 * 1024, 2 * G_USEC_PER_SEC};
constexpr size_t kLongestValueText = 300;
constexpr size_t kBytesShown = 16;

std::string tagText(const DcmTagKey &tag) {
  char text[16];
  std::snprintf(text, sizeof text, "(%04X,%04X)", tag.getGroup(), tag.getElement());
  return text;
}

std::string byteCount(unsigned long long bytes) {
  std::string digits = std::to_string(bytes), grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += "\u00a0";
    grouped += digits[i];
  }
  const unsigned long long tens = bytes % 100, ones = bytes % 10;
  return grouped + (bytes == 1                                            ? " bajt"
                    : ones >= 2 && ones <= 4 && (tens < 10 || tens >= 20) ? " bajty"
                                                                          : " bajtów");
}

// One line of at most kLongestValueText bytes: line breaks and other
// controls of a long text as blanks.
std::string oneLine(std::string text) {
  for (char &c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  if (text.size() <= kLongestValueText) return text;
  return cutAtCharacterBoundary(text, kLongestValueText) + "…";
}

bool isBinary(DcmEVR vr) {
  return vr == EVR_OB || vr == EVR_OW || vr == EVR_OF || vr == EVR_OD || vr == EVR_OL || vr == EVR_OV ||
         vr == EVR_UN || vr == EVR_ox || vr == EVR_px || vr == EVR_PixelData || vr == EVR_OverlayData ||
         vr == EVR_pixelSQ || vr == EVR_UNKNOWN || vr == EVR_UNKNOWN2B;
}

// Text whose bytes follow the character set; the other string VRs are ASCII.
const char *textDelimiters(DcmEVR vr) {
  switch (vr) {
    case EVR_PN:
      return "\\^=";
    case EVR_SH:
    case EVR_LO:
    case EVR_UC:
      return "\\";
    case EVR_ST:
    case EVR_LT:
    case EVR_UT:
      return "";
    default:
      return nullptr;
  }
}

std::string valueText(DcmElement &element, DicomTextDecoder &decoder) {
  const DcmEVR vr = element.ident();
  const Uint32 length = element.getLengthField();
  if (vr == EVR_PixelData || vr == EVR_pixelSQ)
    return "(dane obrazu" + (length == DCM_UndefinedLength ? std::string() : ", " + byteCount(length)) + ")";
  if (length == 0) return "";
  if (!element.valueLoaded() || length > kReadLength)
    return "(wartość o długości " + byteCount(length) + " pozostała w pliku, niepokazana)";
  if (isBinary(vr)) {
    Uint8 *bytes = nullptr;
    if (element.getUint8Array(bytes).bad() || bytes == nullptr) return "(" + byteCount(length) + ")";
    std::string text;
    for (size_t i = 0; i < std::min<size_t>(length, kBytesShown); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x ", bytes[i]);
      text += hex;
    }
    return text + (length > kBytesShown ? "… " : "") + "(" + byteCount(length) + ")";
  }
  if (const char *delimiters = textDelimiters(vr)) {
    char *raw = nullptr;
    if (element.getString(raw).bad() || raw == nullptr) return "";
    return oneLine(decoder.decode(raw, delimiters));
  }
  OFString values;
  if (element.getOFStringArray(values).bad()) return "";
  return oneLine(makeValidUtf8(values.c_str()));
}

struct Walk {
  DicomTextDecoder &decoder;
  std::vector<AttributeRow> rows;
  bool full = false;

  void note(int depth, const std::string &text) {
    AttributeRow row;
    row.depth = depth;
    row.name = text;
    row.note = true;
    rows.push_back(std::move(row));
  }

  // False once the rows are full: the caller stops.
  bool item(DcmItem &item, int depth) {
    // From element to element: asking for the i-th walks the list from its
    // start every time.
    for (DcmObject *object = item.nextInContainer(nullptr); object != nullptr;
         object = item.nextInContainer(object)) {
      if (rows.size() >= kMostAttributeRows) {
        if (!full)
          note(depth, "Dalsze atrybuty pominięto: lista ma już " + std::to_string(rows.size()) + " wierszy.");
        full = true;
        return false;
      }
      auto *element = static_cast<DcmElement *>(object);
      DcmTag tag = element->getTag();
      AttributeRow row;
      row.depth = depth;
      row.tag = tagText(tag);
      row.isPrivate = tag.isPrivate();
      const char *name = tag.getTagName();
      row.name = name != nullptr && std::string(name) != DcmTag_ERROR_TagName
                     ? name
                     : (row.isPrivate ? "(atrybut prywatny)" : "(atrybut nieznany)");
      row.vr = DcmVR(element->ident() == EVR_pixelSQ ? EVR_OB : element->ident()).getVRName();
      if (element->ident() == EVR_SQ) {
        auto &sequence = *static_cast<DcmSequenceOfItems *>(element);
        const unsigned long count = sequence.card();
        row.value = "(" + std::to_string(count) + (count == 1 ? " element)" : " elementów)");
        rows.push_back(std::move(row));
        if (!sequenceItems(sequence, depth + 1)) return false;
        continue;
      }
      row.value = valueText(*element, decoder);
      rows.push_back(std::move(row));
    }
    return true;
  }

  bool sequenceItems(DcmSequenceOfItems &sequence, int depth) {
    if (sequence.card() == 0) return true;
    if (depth >= kDeepestAttributeNesting) {
      note(depth, "Dalsze zagnieżdżenie pominięto: sekwencje sięgają głębiej niż " +
                      std::to_string(kDeepestAttributeNesting) + " poziomy.");
      return true;
    }
    for (unsigned long i = 0; i < sequence.card(); ++i) {
      AttributeRow row;
      row.depth = depth;
      row.name = "Element " + std::to_string(i + 1);
      rows.push_back(std::move(row));
      if (!item(*sequence.getItem(i), depth + 1)) return false;
    }
    return true;
  }
};

std::string folded(const std::string &text) {
  std::string result;
  for (char c : text)
    if (c != '(' && c != ')' && c != ',')
      result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string lowered(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::vector<AttributeRow> attributeRows(DcmItem &dataset, DicomTextDecoder &decoder) {
  Walk walk{decoder, {}, false};
  walk.item(dataset, 0);
  return std::move(walk.rows);
}

std::vector<AttributeRow> listAttributes(const std::string &path) {
  DcmFileFormat file;
  BoundedDicomStream stream(path.c_str(), kListingLimits,
                            static_cast<const char *>(__builtin_frame_address(0)));
  DicomTextDecoder decoder;
  Walk walk{decoder, {}, false};
  if (stream.status().bad()) {
    walk.note(0, "Nie można otworzyć pliku.");
    return std::move(walk.rows);
  }
  file.transferInit();
  const OFCondition result = file.read(stream, EXS_Unknown, EGL_noChange, kReadLength);
  file.transferEnd();
  DcmDataset &dataset = *file.getDataset();
  if (dataset.card() == 0 && file.getMetaInfo()->card() == 0) {
    walk.note(0, "To nie jest poprawny plik DICOM.");
    return std::move(walk.rows);
  }
  walk.decoder.selectFor(dataset);
  if (walk.item(*file.getMetaInfo(), 0)) walk.item(dataset, 0);
  if (stream.stopped())
    walk.note(0,
              "Odczyt zatrzymano: plik przekracza granice odczytu (rozmiar, zagnieżdżenie lub czas). "
              "Pokazano atrybuty odczytane do tego miejsca.");
  else if (result.bad())
    walk.note(0, std::string("Odczyt przerwano: plik jest uszkodzony (") + result.text() +
                     "). Pokazano atrybuty odczytane do tego miejsca.");
  return std::move(walk.rows);
}

std::vector<size_t> rowsMatching(const std::vector<AttributeRow> &rows, const std::string &filter) {
  std::vector<size_t> shown;
  const std::string wanted = lowered(filter), wantedTag = folded(filter);
  // The rows of the sequences and items above the row in hand, not yet shown.
  std::vector<size_t> above;
  for (size_t i = 0; i < rows.size(); ++i) {
    const AttributeRow &row = rows[i];
    while (!above.empty() && rows[above.back()].depth >= row.depth) above.pop_back();
    const bool matches = wanted.empty() || row.note ||
                         (!wantedTag.empty() && folded(row.tag).find(wantedTag) != std::string::npos) ||
                         lowered(row.name).find(wanted) != std::string::npos ||
                         lowered(row.value).find(wanted) != std::string::npos;
    if (matches) {
      for (size_t parent : above)
        if (shown.empty() || shown.back() < parent) shown.push_back(parent);
      above.clear();
      shown.push_back(i);
    } else {
      above.push_back(i);
    }
  }
  return shown;
}
