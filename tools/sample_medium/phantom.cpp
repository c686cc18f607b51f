// Procedural anatomical phantoms built from ellipsoids. Body coordinates: x to
// the patient's left, y anterior, z superior, about -1 to 1. Slices paint the
// ellipsoids in order, each covering what lies under it; radiographs add up
// their attenuation along the beam.
#include "phantom.h"

#include <algorithm>
#include <cmath>

namespace samplemedium {

namespace {

struct Ellipsoid {
  double cx, cy, cz;
  double ax, ay, az;
  double value;
};

// Upper half of an elliptic ring in the picture plane: a posterior rib on a
// radiograph, running from the spine outwards and down.
struct RibArc {
  double cu, cv;  // centre, picture plane units
  double ru, rv;
  double thickness;
  int side;  // +1: only to the right of the centre, -1: to the left
  double value;
};

struct Phantom {
  std::vector<Ellipsoid> parts;
  std::vector<RibArc> ribs;
  double halfWidth = 1.0;  // half the field of view, body units
  double base = 0;         // value outside every part (projections)
  double scale = 1;        // projections: stored value per unit of attenuation
  double noise = 0;        // amplitude of the grain
};

// A stored-value phantom of the head (CT: HU + 1024).
Phantom headPhantom() {
  Phantom p;
  p.halfWidth = 1.0;
  p.noise = 7;
  const double scalp = 1064, bone = 1924, grey = 1066, white = 1050, csf = 1030, eye = 1036;
  p.parts = {
      {0, 0, 0, 0.70, 0.86, 0.80, scalp},
      {0, 0, 0, 0.67, 0.83, 0.77, bone},
      {0, 0.02, 0.02, 0.63, 0.79, 0.73, grey},
      {-0.26, 0.58, -0.4, 0.13, 0.12, 0.12, eye},
      {0.26, 0.58, -0.4, 0.13, 0.12, 0.12, eye},
      {-0.26, 0.69, -0.4, 0.05, 0.02, 0.04, 1154},
      {0.26, 0.69, -0.4, 0.05, 0.02, 0.04, 1154},
      {0, 0.5, -0.5, 0.1, 0.1, 0.07, 0},  // sinuses: air
      {0, 0.02, 0.1, 0.5, 0.64, 0.52, white},
      {-0.25, -0.3, -0.3, 0.2, 0.2, 0.16, grey},  // cerebellum
      {0.25, -0.3, -0.3, 0.2, 0.2, 0.16, grey},
      {-0.11, 0.04, 0.14, 0.07, 0.30, 0.12, csf},  // lateral ventricles
      {0.11, 0.04, 0.14, 0.07, 0.30, 0.12, csf},
      {-0.14, -0.22, 0.02, 0.05, 0.1, 0.16, csf},  // their occipital horns
      {0.14, -0.22, 0.02, 0.05, 0.1, 0.16, csf},
      {0, 0.04, -0.04, 0.018, 0.12, 0.09, csf},   // third ventricle
      {0, -0.32, -0.36, 0.05, 0.04, 0.06, csf},   // fourth ventricle
      {0, -0.1, 0.0, 0.018, 0.018, 0.018, 1150},  // calcified pineal gland
      {0, 0.0, 0.48, 0.012, 0.7, 0.25, 1070},     // falx
  };
  return p;
}

Phantom kneePhantom() {
  Phantom p;
  p.halfWidth = 0.8;
  p.noise = 70;
  const double fat = 2300, muscle = 850, fluid = 1700, dark = 140, cartilage = 2650, marrow = 1750;
  p.parts = {
      {0, 0, 0, 0.70, 0.64, 3.0, fat},
      {0, -0.06, 0, 0.60, 0.52, 3.0, muscle},
      {0, 0.06, 0.05, 0.36, 0.42, 0.28, fluid},  // joint capsule with a little effusion
      {0, 0.52, -0.25, 0.12, 0.05, 0.32, dark},  // patellar tendon
      {0, 0.47, 0.65, 0.13, 0.05, 0.32, dark},   // quadriceps tendon
      {0, -0.44, 0, 0.05, 0.05, 3.0, 3000},      // popliteal vessels
      {0, -0.05, 0.9, 0.22, 0.22, 0.9, dark},    // femoral shaft cortex
      {0, -0.04, 0.36, 0.33, 0.3, 0.3, dark},    // metaphysis
      {-0.2, -0.03, 0.13, 0.19, 0.34, 0.2, cartilage},
      {0.2, -0.03, 0.13, 0.19, 0.34, 0.2, cartilage},
      {-0.2, -0.03, 0.14, 0.17, 0.31, 0.18, dark},
      {0.2, -0.03, 0.14, 0.17, 0.31, 0.18, dark},
      {0, -0.05, 0.9, 0.17, 0.17, 0.88, marrow},
      {0, -0.04, 0.36, 0.29, 0.26, 0.27, marrow},
      {-0.2, -0.03, 0.15, 0.15, 0.29, 0.165, marrow},
      {0.2, -0.03, 0.15, 0.15, 0.29, 0.165, marrow},
      {0, -0.02, -0.15, 0.42, 0.36, 0.06, cartilage},  // tibial plateau
      {-0.31, -0.02, -0.08, 0.11, 0.3, 0.03, dark},    // menisci
      {0.31, -0.02, -0.08, 0.11, 0.3, 0.03, dark},
      {0, -0.02, -0.55, 0.38, 0.33, 0.42, dark},
      {0, 0, -1.2, 0.2, 0.2, 0.8, dark},
      {0, -0.02, -0.56, 0.34, 0.29, 0.39, marrow},
      {0, 0, -1.2, 0.16, 0.16, 0.78, marrow},
      {0, 0.42, 0.22, 0.2, 0.1, 0.16, cartilage},  // patella
      {0, 0.46, 0.22, 0.18, 0.08, 0.14, dark},
      {0, 0.47, 0.22, 0.15, 0.06, 0.12, marrow},
      {0.02, 0.0, 0.02, 0.035, 0.17, 0.05, 220},  // cruciate ligaments
      {-0.02, -0.08, 0.0, 0.035, 0.15, 0.05, 220},
  };
  return p;
}

// Attenuation of the chest; `breath` 0 breathed out, 1 breathed in.
Phantom chestPhantom(double breath) {
  Phantom p;
  p.halfWidth = 1.0;
  p.base = 150;
  p.scale = 1500;
  p.noise = 18;
  const double lungLength = 0.52 * (1 + 0.14 * breath), lungCentre = 0.14 - 0.07 * breath;
  p.parts = {
      {0, 0, 0, 0.78, 0.45, 1.3, 1.0},
      {-0.34, 0, lungCentre, 0.27, 0.33, lungLength, -0.85},
      {0.34, 0, lungCentre, 0.27, 0.33, lungLength, -0.85},
      {0.12, 0.12, -0.22, 0.27, 0.22, 0.25, 0.8},   // heart
      {0, 0.05, 0.25, 0.11, 0.2, 0.5, 0.7},         // mediastinum
      {0.07, -0.05, 0.42, 0.05, 0.05, 0.1, 0.8},    // aortic knob
      {0, -0.3, 0, 0.07, 0.07, 1.4, 2.6},           // spine
      {-0.32, 0.25, 0.72, 0.3, 0.035, 0.035, 2.0},  // clavicles
      {0.32, 0.25, 0.72, 0.3, 0.035, 0.035, 2.0},
      {-0.74, 0, 0.58, 0.24, 0.22, 0.26, 0.6},  // shoulders
      {0.74, 0, 0.58, 0.24, 0.22, 0.26, 0.6},
      {-0.8, 0, 0.64, 0.11, 0.11, 0.11, 1.5},  // humeral heads
      {0.8, 0, 0.64, 0.11, 0.11, 0.11, 1.5},
      {-0.3, 0.05, -0.95, 0.45, 0.38, 0.35, 0.3},  // liver under the right diaphragm
  };
  for (int k = 0; k < 10; ++k) {
    const double v = -0.66 + 0.115 * k - 0.02 * breath;
    for (int side : {-1, 1})
      p.ribs.push_back({0.06 * side, v + 0.16, 0.66, 0.2 + 0.01 * k, 0.035, side, 0.22});
  }
  return p;
}

// Where the slices of a view lie, body units along the view's axis.
void sliceRange(Anatomy anatomy, View view, double *from, double *to) {
  if (anatomy == Anatomy::Head) {
    if (view == View::Axial)
      *from = -0.45, *to = 0.74;
    else
      *from = -0.45, *to = 0.45;
  } else {
    if (view == View::Sagittal)
      *from = -0.42, *to = 0.42;
    else if (view == View::Coronal)
      *from = -0.32, *to = 0.42;
    else
      *from = -0.45, *to = 0.55;
  }
}

// An ellipsoid in the axes of a view: horizontal, vertical (growing upwards)
// and depth; the picture's left is the patient's right.
struct ViewShape {
  double c[3] = {0, 0, 0};
  double a[3] = {1, 1, 1};
};

ViewShape inView(View view, const Ellipsoid &e) {
  if (view == View::Axial) return {{e.cx, e.cy, e.cz}, {e.ax, e.ay, e.az}};
  if (view == View::Sagittal || view == View::Lateral) return {{-e.cy, e.cz, e.cx}, {e.ay, e.az, e.ax}};
  return {{e.cx, e.cz, e.cy}, {e.ax, e.az, e.ay}};
}

// Grain between -1 and 1, read from a different place for every picture. Its
// length is prime, so the pattern does not line up with the picture's rows.
const std::vector<float> &grainTable() {
  static const std::vector<float> table = [] {
    std::vector<float> values(65521);
    uint32_t state = 2463534242u;
    for (float &value : values) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;
      value = static_cast<float>((state & 0xffff) / 32768.0 - 1.0);
    }
    return values;
  }();
  return table;
}

class Canvas {
 public:
  Canvas(int width, int height, double halfWidth, double fill)
      : width_(width),
        height_(height),
        pixelsPerUnit_(width / (2 * halfWidth)),
        values_(static_cast<size_t>(width) * height, fill) {}

  // An ellipse of the picture plane, anti-aliased along its rows. Painting
  // replaces what lies under it; adding weights the value with the chord
  // length of the ellipsoid behind each point (`depth` its depth semi-axis).
  void ellipse(double cu, double cv, double ru, double rv, double value, bool add, double depth) {
    const double cc = width_ / 2.0 + cu * pixelsPerUnit_, cr = height_ / 2.0 - cv * pixelsPerUnit_;
    const double rc = ru * pixelsPerUnit_, rr = rv * pixelsPerUnit_;
    if (rc < 0.25 || rr < 0.25) return;
    const int rowFrom = std::max(0, static_cast<int>(std::floor(cr - rr)));
    const int rowTo = std::min(height_ - 1, static_cast<int>(std::ceil(cr + rr)));
    for (int row = rowFrom; row <= rowTo; ++row) {
      const double dy = (row + 0.5 - cr) / rr;
      if (dy <= -1 || dy >= 1) continue;
      const double half = rc * std::sqrt(1 - dy * dy);
      const double x0 = cc - half, x1 = cc + half;
      const int colFrom = std::max(0, static_cast<int>(std::floor(x0)));
      const int colTo = std::min(width_ - 1, static_cast<int>(std::ceil(x1)) - 1);
      float *line = &values_[static_cast<size_t>(row) * width_];
      // Only the two end pixels of a painted row are partly covered.
      const int innerFrom = std::max(colFrom, static_cast<int>(std::ceil(x0)));
      const int innerTo = std::min(colTo, static_cast<int>(std::floor(x1)) - 1);
      for (int col = colFrom; col <= colTo; ++col) {
        if (!add && col == innerFrom && innerFrom <= innerTo) {
          std::fill(line + innerFrom, line + innerTo + 1, static_cast<float>(value));
          col = innerTo;
          continue;
        }
        const double cover = std::min(col + 1.0, x1) - std::max(static_cast<double>(col), x0);
        if (cover <= 0) continue;
        if (add) {
          const double dx = (col + 0.5 - cc) / rc;
          const double inside = 1 - dx * dx - dy * dy;
          if (inside > 0) line[col] += static_cast<float>(cover * value * 2 * depth * std::sqrt(inside));
        } else {
          line[col] += static_cast<float>(cover * (value - line[col]));
        }
      }
    }
  }

  void rib(const RibArc &arc) {
    const double cc = width_ / 2.0 + arc.cu * pixelsPerUnit_, cr = height_ / 2.0 - arc.cv * pixelsPerUnit_;
    const double rc = arc.ru * pixelsPerUnit_, rr = arc.rv * pixelsPerUnit_;
    const double halfThickness = arc.thickness * pixelsPerUnit_ / 2;
    const int rowFrom = std::max(0, static_cast<int>(cr - rr - halfThickness - 1));
    const int rowTo = std::min(height_ - 1, static_cast<int>(cr));
    const int colFrom = std::max(0, static_cast<int>(arc.side > 0 ? cc : cc - rc - halfThickness - 1));
    const int colTo = std::min(width_ - 1, static_cast<int>(arc.side > 0 ? cc + rc + halfThickness + 1 : cc));
    for (int row = rowFrom; row <= rowTo; ++row) {
      float *line = &values_[static_cast<size_t>(row) * width_];
      const double dy = (row + 0.5 - cr) / rr;
      for (int col = colFrom; col <= colTo; ++col) {
        const double dx = (col + 0.5 - cc) / rc;
        const double distance = std::fabs(std::sqrt(dx * dx + dy * dy) - 1) * rr;
        if (distance < halfThickness)
          line[col] += static_cast<float>(arc.value * (1 - distance / halfThickness));
      }
    }
  }

  Picture finish(double scale, double offset, double noise, uint32_t seed) const {
    Picture picture;
    picture.width = width_;
    picture.height = height_;
    picture.values.resize(values_.size());
    const std::vector<float> &grain = grainTable();
    size_t at = (seed * 2654435761u) % grain.size();
    const float gain = static_cast<float>(scale), shift = static_cast<float>(offset);
    const float amplitude = static_cast<float>(noise);
    for (size_t i = 0; i < values_.size(); ++i) {
      const float value = values_[i] * gain + shift + amplitude * grain[at];
      if (++at == grain.size()) at = 0;
      picture.values[i] = static_cast<uint16_t>(value < 0 ? 0 : (value > 4095 ? 4095 : value));
    }
    return picture;
  }

 private:
  int width_, height_;
  double pixelsPerUnit_;
  std::vector<float> values_;
};

}  // namespace

Picture drawPicture(Anatomy anatomy, View view, int width, int height, int index, int count) {
  const double position = count > 1 ? static_cast<double>(index) / (count - 1) : 0.5;
  const uint32_t seed = static_cast<uint32_t>(index * 7919 + static_cast<int>(anatomy) * 104729 +
                                              static_cast<int>(view) * 1299709);
  if (anatomy == Anatomy::Chest) {
    const double breath = 0.5 - 0.5 * std::cos(2 * M_PI * index / std::max(count, 1));
    const Phantom p = chestPhantom(breath);
    Canvas canvas(width, height, p.halfWidth, 0);
    for (const Ellipsoid &e : p.parts) {
      const ViewShape v = inView(view, e);
      canvas.ellipse(v.c[0], v.c[1], v.a[0], v.a[1], e.value, true, v.a[2]);
    }
    if (view == View::Frontal)
      for (const RibArc &arc : p.ribs) canvas.rib(arc);
    return canvas.finish(p.scale, p.base, p.noise, seed);
  }

  const Phantom p = anatomy == Anatomy::Head ? headPhantom() : kneePhantom();
  double from = 0, to = 0;
  sliceRange(anatomy, view, &from, &to);
  const double depth = from + (to - from) * position;
  Canvas canvas(width, height, p.halfWidth, 0);
  for (const Ellipsoid &e : p.parts) {
    const ViewShape v = inView(view, e);
    const double d = (depth - v.c[2]) / v.a[2];
    if (d <= -1 || d >= 1) continue;
    const double s = std::sqrt(1 - d * d);
    canvas.ellipse(v.c[0], v.c[1], v.a[0] * s, v.a[1] * s, e.value, false, 0);
  }
  return canvas.finish(1, 0, p.noise, seed);
}

std::vector<uint8_t> applyWindow(const Picture &picture, double center, double width) {
  uint8_t table[4096];
  const double low = center - width / 2;
  for (int v = 0; v < 4096; ++v)
    table[v] = static_cast<uint8_t>(std::clamp((v - low) / width * 255.0 + 0.5, 0.0, 255.0));
  std::vector<uint8_t> grey(picture.values.size());
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = table[std::min<uint16_t>(picture.values[i], 4095)];
  return grey;
}

}  // namespace samplemedium
