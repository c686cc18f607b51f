// DICOM text in any character set of the standard, through iconv (GLib's
// g_iconv: the C library's iconv where there is one, GLib's own converter on
// Windows).
#include "catalogue/dicom_text.h"

#include "base/text.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcelem.h>
#include <dcmtk/dcmdata/dcspchrs.h>

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// How the bytes of one graphic set are handed to iconv.
enum class Form {
  asStored,  // the bytes as they stand
  high,      // each byte with its high bit set (the EUC form of a G0 set)
  jisX0212,  // the same after the EUC-JP single shift 0x8F
  katakana,  // each byte after the EUC-JP single shift 0x8E
};

struct GraphicSet {
  const char *encoding = nullptr;  // iconv's name; null: ASCII as it stands
  Form form = Form::asStored;
  size_t width = 1;  // bytes a character
};

const GraphicSet kAscii{};
const GraphicSet kRomaji{"ISO646-JP"};
const GraphicSet kKatakana{"EUC-JP", Form::katakana};
const GraphicSet kJisX0208{"EUC-JP", Form::high, 2};
const GraphicSet kJisX0212{"EUC-JP", Form::jisX0212, 2};
const GraphicSet kKsX1001{"EUC-KR", Form::asStored, 2};
const GraphicSet kGb2312{"GB2312", Form::asStored, 2};

// The single-byte upper halves, by the ISO-IR number of their term.
struct UpperHalf {
  const char *number;
  const char *encoding;
  const char *finalByte;  // of the escape sequence ESC - F that designates it to G1
};
const UpperHalf kUpperHalves[] = {
    {"100", "ISO-8859-1", "A"},  {"101", "ISO-8859-2", "B"}, {"109", "ISO-8859-3", "C"},
    {"110", "ISO-8859-4", "D"},  {"144", "ISO-8859-5", "L"}, {"127", "ISO-8859-6", "G"},
    {"126", "ISO-8859-7", "F"},  {"138", "ISO-8859-8", "H"}, {"148", "ISO-8859-9", "M"},
    {"203", "ISO-8859-15", "b"}, {"166", "TIS-620", "T"},
};

// The sets a term puts into G0 and G1 at the start of every component.
struct Initial {
  GraphicSet g0 = kAscii;
  GraphicSet g1{};
  bool hasG1 = false;
  const char *whole = nullptr;  // a set without code extensions that covers every byte (GB18030, GBK)
};

std::optional<Initial> initialSets(const std::string &term) {
  Initial initial;
  if (term.empty() || term == "ISO_IR 6" || term == "ISO 2022 IR 6") return initial;
  if (term == "ISO_IR 192") {
    initial.whole = "UTF-8";
    return initial;
  }
  if (term == "GB18030" || term == "GBK") {
    initial.whole = term == "GBK" ? "GBK" : "GB18030";
    return initial;
  }
  std::string number;
  if (term.rfind("ISO_IR ", 0) == 0) number = term.substr(7);
  if (term.rfind("ISO 2022 IR ", 0) == 0) number = term.substr(12);
  if (number == "13") {
    initial.g0 = kRomaji;
    initial.g1 = kKatakana;
    initial.hasG1 = true;
    return initial;
  }
  // Designated by escape sequences only; the first term names them rarely.
  if (number == "87" || number == "159") return initial;
  if (number == "149" || number == "58") {
    initial.g1 = number == "149" ? kKsX1001 : kGb2312;
    initial.hasG1 = true;
    return initial;
  }
  for (const UpperHalf &half : kUpperHalves) {
    if (number == half.number) {
      initial.g1 = GraphicSet{half.encoding};
      initial.hasG1 = true;
      return initial;
    }
  }
  return std::nullopt;
}

// The designation an escape sequence makes: into G0 (true) or G1 (false).
bool designation(const std::string &sequence, GraphicSet &set, bool &toG0) {
  toG0 = true;
  if (sequence == "(B") return set = kAscii, true;
  if (sequence == "(J") return set = kRomaji, true;
  if (sequence == "$B" || sequence == "$(B" || sequence == "$@") return set = kJisX0208, true;
  if (sequence == "$(D") return set = kJisX0212, true;
  toG0 = false;
  if (sequence == ")I") return set = kKatakana, true;
  if (sequence == "$)C") return set = kKsX1001, true;
  if (sequence == "$)A") return set = kGb2312, true;
  if (sequence.size() == 2 && sequence[0] == '-') {
    for (const UpperHalf &half : kUpperHalves)
      if (sequence[1] == half.finalByte[0]) return set = GraphicSet{half.encoding}, true;
  }
  return false;
}

// Appends `bytes` in `encoding` as UTF-8; what iconv cannot convert is kept as
// it stands, to be repaired by the caller.
void appendConverted(const char *encoding, const std::string &bytes, std::string &out) {
  if (encoding == nullptr || bytes.empty()) {
    out += bytes;
    return;
  }
  GIConv converter = g_iconv_open("UTF-8", encoding);
  // Not every system converts GB18030 (Wine has no code page 54936); its
  // two-byte characters, which nearly every name uses, are GBK's.
  if (converter == reinterpret_cast<GIConv>(-1) && std::strcmp(encoding, "GB18030") == 0)
    converter = g_iconv_open("UTF-8", "GBK");
  if (converter == reinterpret_cast<GIConv>(-1)) {
    out += bytes;
    return;
  }
  std::vector<char> input(bytes.begin(), bytes.end());
  char *in = input.data();
  gsize inLeft = input.size();
  std::vector<char> output(bytes.size() * 4 + 16);
  while (inLeft > 0) {
    char *to = output.data();
    gsize outLeft = output.size();
    gsize result = g_iconv(converter, &in, &inLeft, &to, &outLeft);
    out.append(output.data(), to);
    if (result != static_cast<gsize>(-1)) break;
    if (errno == E2BIG) continue;
    // An invalid or cut sequence: the byte stays for the repair.
    out += *in;
    ++in;
    --inLeft;
    g_iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  g_iconv_close(converter);
}

// The bytes of a run in the form iconv reads for its set.
std::string inIconvForm(const GraphicSet &set, const std::string &run) {
  if (set.form == Form::asStored) return run;
  std::string bytes;
  for (size_t i = 0; i < run.size(); ++i) {
    if (set.form == Form::jisX0212 && i % 2 == 0) bytes += '\x8F';
    if (set.form == Form::katakana) bytes += '\x8E';
    bytes += static_cast<char>(run[i] | 0x80);
  }
  return bytes;
}

}  // namespace

std::optional<std::string> decodeDicomText(const std::string &characterSet, const std::string &value,
                                           const char *delimiters) {
  std::vector<std::string> terms;
  for (size_t start = 0;;) {
    size_t end = characterSet.find('\\', start);
    std::string term = characterSet.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!term.empty() && term.back() == ' ') term.pop_back();
    while (!term.empty() && term.front() == ' ') term.erase(0, 1);
    terms.push_back(term);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (const std::string &term : terms)
    if (!initialSets(term)) return std::nullopt;
  const Initial initial = *initialSets(terms.front());
  std::string out;
  if (initial.whole != nullptr && terms.size() == 1) {
    appendConverted(initial.whole, value, out);
    return out;
  }

  GraphicSet g0 = initial.g0;
  GraphicSet g1 = initial.g1;
  bool hasG1 = initial.hasG1;
  const GraphicSet *runSet = nullptr;
  std::string run;
  auto flush = [&] {
    if (runSet != nullptr) appendConverted(runSet->encoding, inIconvForm(*runSet, run), out);
    run.clear();
    runSet = nullptr;
  };
  auto add = [&](const GraphicSet &set, const std::string &bytes) {
    if (runSet != &set) flush();
    runSet = &set;
    run += bytes;
  };
  for (size_t i = 0; i < value.size();) {
    unsigned char byte = static_cast<unsigned char>(value[i]);
    if (byte == 0x1B) {
      size_t end = i + 1;
      while (end < value.size() && value[end] >= 0x20 && value[end] <= 0x2F) ++end;
      std::string sequence = value.substr(i + 1, end < value.size() ? end - i : end - i - 1);
      GraphicSet set;
      bool toG0 = true;
      if (designation(sequence, set, toG0)) {
        flush();
        (toG0 ? g0 : g1) = set;
        if (!toG0) hasG1 = true;
      }
      i = end < value.size() ? end + 1 : end;
      continue;
    }
    // Inside a two-byte G0 set "^" or "=" is half of a character: encoders
    // return to a one-byte set before every delimiter.
    bool delimiter = g0.width == 1 && delimiters != nullptr && byte < 0x80 && byte != 0 &&
                     std::strchr(delimiters, byte) != nullptr;
    if (byte < 0x20 || delimiter) {
      flush();
      out += static_cast<char>(byte);
      g0 = initial.g0;
      g1 = initial.g1;
      hasG1 = initial.hasG1;
      ++i;
      continue;
    }
    const GraphicSet &set = byte < 0x80 ? g0 : g1;
    if (byte >= 0x80 && !hasG1) {
      add(kAscii, value.substr(i, 1));  // not explained: repaired by the caller
      ++i;
      continue;
    }
    add(set, value.substr(i, set.width));
    i += set.width;
  }
  flush();
  return out;
}

bool valueWithinLength(DcmDataset &dataset, const DcmTagKey &tag, unsigned long maxLength) {
  DcmElement *element = nullptr;
  return dataset.findAndGetElement(tag, element, OFFalse).good() && element->getLength() <= maxLength;
}

struct DicomTextDecoder::State {
  DcmSpecificCharacterSet converter;
  OFString selected;
  bool chosen = false;
  bool passThrough = true;
  bool usable = false;
};

DicomTextDecoder::DicomTextDecoder() : state_(std::make_unique<State>()) {}
DicomTextDecoder::~DicomTextDecoder() = default;

void DicomTextDecoder::selectFor(DcmDataset &dataset) {
  OFString characterSet;
  if (valueWithinLength(dataset, DCM_SpecificCharacterSet, 4096))
    dataset.findAndGetOFStringArray(DCM_SpecificCharacterSet, characterSet);
  select(std::string(characterSet.c_str(), characterSet.length()));
}

void DicomTextDecoder::select(const std::string &set) {
  const OFString characterSet(set.c_str(), set.size());
  State &s = *state_;
  if (s.chosen && characterSet == s.selected) return;
  s.chosen = true;
  s.selected = characterSet;
  s.passThrough = characterSet.empty() || characterSet == "ISO_IR 6" || characterSet == "ISO_IR 192";
  s.usable = !s.passThrough && s.converter.selectCharacterSet(characterSet).good();
}

namespace {
// Plain ASCII reads the same in every set, unless an escape sequence switches sets.
bool isPlainAscii(const char *value, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(value[i]);
    if (byte >= 0x80 || byte == 0x1B) return false;
  }
  return true;
}
}  // namespace

std::string DicomTextDecoder::decode(const char *value, const char *delimiters) {
  if (value == nullptr) return std::string();
  State &s = *state_;
  size_t length = std::strlen(value);
  if (s.passThrough || isPlainAscii(value, length)) return makeValidUtf8(std::string(value, length));
  OFString converted;
  if (s.usable && s.converter.convertString(value, length, converted, delimiters).good())
    return makeValidUtf8(std::string(converted.c_str(), converted.length()));
  // The toolkit's converter may refuse a set the standard defines (those
  // with ISO 2022 code extensions above all): the C library converts it.
  if (std::optional<std::string> decoded = decodeDicomText(
          std::string(s.selected.c_str(), s.selected.length()), std::string(value, length), delimiters))
    return makeValidUtf8(*decoded);
  return makeValidUtf8(std::string(value, length));
}

std::string DicomTextDecoder::decodePersonName(const char *value) {
  return readablePersonName(decode(value, "\\^="));
}

std::string readablePersonName(std::string name) {
  std::replace(name.begin(), name.end(), '^', ' ');
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}
