// Spanning: sizes and the split, plain values in and out.
#include "disc_span.h"

#include "disc_image.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace makedisc {

namespace {

const std::uint64_t kBlock = 2048;

bool refuse(std::string *error, const std::string &message) {
  *error = message;
  return false;
}

std::string megabytes(std::uint64_t bytes) { return std::to_string((bytes + 999999) / 1000000) + " MB"; }

}  // namespace

bool mediumBytes(const std::string &text, std::uint64_t *bytes, std::string *error) {
  // Sectors of 2048 bytes each medium holds, the smaller of -R and +R.
  static const std::map<std::string, std::uint64_t> kMedia = {
      {"cd", 360000}, {"dvd", 2295104}, {"dvd-dl", 4171712}, {"bd", 12219392}};
  static const std::map<std::string, double> kUnits = {{"b", 1},
                                                       {"k", 1e3},
                                                       {"kb", 1e3},
                                                       {"kib", 1024.0},
                                                       {"m", 1e6},
                                                       {"mb", 1e6},
                                                       {"mib", 1048576.0},
                                                       {"g", 1e9},
                                                       {"gb", 1e9},
                                                       {"gib", 1073741824.0},
                                                       {"t", 1e12},
                                                       {"tb", 1e12},
                                                       {"tib", 1099511627776.0}};
  std::string name;
  for (char c : text) name += g_ascii_tolower(c);
  const auto medium = kMedia.find(name);
  if (medium != kMedia.end()) {
    *bytes = medium->second * kBlock;
    return true;
  }
  size_t digits = 0;
  while (digits < name.size() && (g_ascii_isdigit(name[digits]) || name[digits] == '.')) ++digits;
  const std::string number = name.substr(0, digits), unit = name.substr(digits);
  const auto scale = kUnits.find(unit);
  char *end = nullptr;
  const double value = number.empty() ? -1 : g_ascii_strtod(number.c_str(), &end);
  if (number.empty() || end != number.c_str() + number.size() || scale == kUnits.end())
    return refuse(error, "medium \"" + text +
                             "\": cd, dvd, dvd-dl, bd or a size with its unit (B, kB, MB, GB, KiB, MiB, GiB) "
                             "are accepted");
  const double total = std::floor(value * scale->second);
  if (total < 1) return refuse(error, "medium \"" + text + "\": a medium of 0 bytes holds nothing");
  if (total > 1e15) return refuse(error, "medium \"" + text + "\": larger than any disc");
  *bytes = static_cast<std::uint64_t>(total);
  return true;
}

std::uint64_t roomOnDisc(std::uint64_t size) {
  // Directory records of three trees and a Rock Ridge entry fit in 768
  // bytes; a SHA256SUMS line and a DICOMDIR record in another 768.
  return (size + kBlock - 1) / kBlock * kBlock + 1536;
}

bool splitPlan(const DiscPlan &plan, const std::vector<std::vector<std::uint64_t>> &seriesRoom,
               std::uint64_t budget, std::vector<DiscShare> *discs, std::string *error) {
  discs->clear();
  std::uint64_t used = 0;
  auto newDisc = [&] {
    discs->emplace_back();
    used = 0;
    return discs->size() <= static_cast<size_t>(kMostDiscs);
  };
  const std::string tooMany = "the export needs more than " + std::to_string(kMostDiscs) +
                              " discs of this medium; choose a larger one";
  if (!newDisc()) return refuse(error, tooMany);
  for (size_t st = 0; st < plan.studies.size(); ++st) {
    std::uint64_t study = 0;
    for (size_t se = 0; se < plan.studies[st].series.size(); ++se) {
      const std::uint64_t room = seriesRoom.at(st).at(se);
      if (room > budget)
        return refuse(error, plan.studies[st].series[se].dicomFolder + " needs " + megabytes(room) +
                                 ", more than one medium holds beside the programs (" + megabytes(budget) +
                                 "); a series is never split");
      study += room;
    }
    // A study that fits on an empty disc but not on this one starts a disc.
    if (used + study > budget && study <= budget && used > 0 && !newDisc()) return refuse(error, tooMany);
    for (size_t se = 0; se < plan.studies[st].series.size(); ++se) {
      const std::uint64_t room = seriesRoom[st][se];
      if (used + room > budget && !newDisc()) return refuse(error, tooMany);
      discs->back().push_back({st, se});
      used += room;
    }
  }
  return true;
}

DiscPlan planOfShare(const DiscPlan &plan, const DiscShare &share) {
  DiscPlan part;
  size_t last = plan.studies.size();
  for (const auto &one : share) {
    if (one.first != last) part.studies.emplace_back();
    last = one.first;
    part.studies.back().series.push_back(plan.studies[one.first].series[one.second]);
  }
  return part;
}

std::string spanLabel(const std::string &setLabel, int disc, int count) {
  const std::string suffix = "_" + std::to_string(disc) + "_" + std::to_string(count);
  std::string label = discimage::volumeLabel(setLabel).substr(0, 32 - suffix.size());
  while (!label.empty() && label.back() == '_') label.pop_back();
  return label + suffix;
}

}  // namespace makedisc
