// Slice matching by position along the normal.
#include "imaging/slice_linking.h"

#include "imaging/dicom_image_file.h"
#include "imaging/examination.h"

#include <cmath>
#include <limits>

namespace {

// Planes further apart than this (about 10°) are not compared: a sagittal
// image has no meaningful "nearest" axial one.
constexpr double kLeastParallel = 0.985;

std::array<double, 3> normalOf(const std::array<double, 6> &o) {
  std::array<double, 3> n{o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (length > 0)
    for (double &c : n) c /= length;
  return n;
}

double dot(const std::array<double, 3> &a, const std::array<double, 3> &b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace

SliceMatch matchingSlice(const SeriesGeometry &from, long image, const SeriesGeometry &to) {
  SliceMatch match;
  if (image < 0 || static_cast<size_t>(image) >= from.slices.size() || !from.slices[image]) return match;
  const SlicePlane &source = *from.slices[image];
  const auto normal = normalOf(source.orientation);
  if (dot(normal, normal) == 0) return match;
  if (from.frameOfReference.empty() || from.frameOfReference != to.frameOfReference) {
    match.link = SliceLink::otherFrameOfReference;
    return match;
  }
  const double wanted = dot(normal, source.position);
  double nearest = std::numeric_limits<double>::infinity();
  bool anyPlaced = false;
  for (size_t i = 0; i < to.slices.size(); ++i) {
    if (!to.slices[i]) continue;
    anyPlaced = true;
    if (std::fabs(dot(normal, normalOf(to.slices[i]->orientation))) < kLeastParallel) continue;
    const double distance = std::fabs(dot(normal, to.slices[i]->position) - wanted);
    if (distance < nearest) {
      nearest = distance;
      match.image = static_cast<long>(i);
    }
  }
  match.link =
      std::isinf(nearest) ? (anyPlaced ? SliceLink::otherPlane : SliceLink::noPositions) : SliceLink::linked;
  return match;
}

SeriesGeometry readSeriesGeometry(ExaminationSeries &series) {
  SeriesGeometry geometry;
  std::vector<std::optional<SlicePlane>> planes(series.files.size());
  for (size_t file = 0; file < series.files.size(); ++file) {
    ImageAttributes attributes;
    std::string problem;
    if (!readImageAttributes(series.files[file], attributes, problem)) continue;
    if (attributes.frames != series.frameCounts[file]) series.setFrameCount(file, attributes.frames);
    if (geometry.frameOfReference.empty()) geometry.frameOfReference = attributes.frameOfReferenceUid;
    // Images of another frame of reference within one series cannot be placed.
    if (attributes.frameOfReferenceUid != geometry.frameOfReference) continue;
    // A file of many frames gives no position of each: its frames stay unplaced.
    if (attributes.frames == 1 && attributes.position && attributes.orientation)
      planes[file] = SlicePlane{*attributes.position, *attributes.orientation};
  }
  for (size_t file = 0; file < series.files.size(); ++file)
    for (long frame = 0; frame < series.frameCounts[file]; ++frame)
      geometry.slices.push_back(series.frameCounts[file] == 1 ? planes[file] : std::nullopt);
  return geometry;
}

std::string sliceLinkProblem(SliceLink link) {
  switch (link) {
    case SliceLink::linked:
      return {};
    case SliceLink::noPositions:
      return "Przewijanie nie jest powiązane: seria nie podaje położenia obrazów.";
    case SliceLink::otherFrameOfReference:
      return "Przewijanie nie jest powiązane: serie mają różne układy odniesienia.";
    case SliceLink::otherPlane:
      return "Przewijanie nie jest powiązane: obrazy serii leżą w różnych płaszczyznach.";
  }
  return {};
}
