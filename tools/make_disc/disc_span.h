// One export over several media: the media's capacities, and the split of a
// disc plan into discs that each hold whole series, a study together wherever
// it fits on one disc.
#pragma once

#include "disc_plan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace makedisc {

// A set never has more discs than this: a label "12/345" helps nobody.
constexpr int kMostDiscs = 99;

// The bytes one writable medium holds: "cd" (80 minutes), "dvd", "dvd-dl",
// "bd" (single layer), the smaller of the -R and +R formats where they
// differ; or a size with its unit ("650MB", "4.7GB", "200KiB"). False with
// the reason for anything else, a size of 0 among them.
bool mediumBytes(const std::string &text, std::uint64_t *bytes, std::string *error);

// The room a file of `size` bytes takes in an ISO 9660 image: whole 2 KiB
// blocks, its directory entries (ISO 9660, Joliet, Rock Ridge), its line in
// SHA256SUMS and its DICOMDIR record.
std::uint64_t roomOnDisc(std::uint64_t size);

// Which series go on which disc: series addressed by (study, series) index
// in `plan`, discs in order, series in the plan's order on each.
using DiscShare = std::vector<std::pair<size_t, size_t>>;

// Splits `plan` over discs of `budget` bytes each (what is left of a medium
// once the programs and reports every disc carries are counted), given the
// room each series takes (`seriesRoom[study][series]`). A study goes whole
// onto the current disc where it fits, else onto a new disc where it fits,
// else series by series. False with the reason when a series is larger than
// one disc or more than kMostDiscs discs are needed.
bool splitPlan(const DiscPlan &plan, const std::vector<std::vector<std::uint64_t>> &seriesRoom,
               std::uint64_t budget, std::vector<DiscShare> *discs, std::string *error);

// The plan of one disc of a set: its studies and series, folder names kept.
DiscPlan planOfShare(const DiscPlan &plan, const DiscShare &share);

// The ISO label of disc `disc` of `count`: the set's label with "_1_3" (the
// label's own characters allow no "/"), within the 32 characters allowed.
std::string spanLabel(const std::string &setLabel, int disc, int count);

}  // namespace makedisc
