#include "model_gen.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace model_gen {

namespace {

// Buffered writing of a model file: the file is large, so numbers are
// formatted by hand.
class Writer {
 public:
  explicit Writer(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}
  ~Writer() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  bool ok() const { return file_ != nullptr && !failed_; }
  void text(const char* s) {
    while (*s != '\0') put(*s++);
  }
  void integer(long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    for (char* p = buf; p < r.ptr; ++p) put(*p);
  }
  // A float in plain decimal with up to `decimals` places (the reader takes
  // plain decimals exactly).
  void real(double v, int decimals) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    for (int i = 0; i < n; ++i) put(buf[i]);
  }
  void put(char c) {
    if (used_ == sizeof buffer_) flush();
    buffer_[used_++] = c;
  }
  bool close() {
    flush();
    if (file_ == nullptr) return false;
    const bool good = std::fclose(file_) == 0 && !failed_;
    file_ = nullptr;
    return good;
  }

 private:
  void flush() {
    if (file_ != nullptr && used_ > 0 && std::fwrite(buffer_, 1, used_, file_) != used_) failed_ = true;
    used_ = 0;
  }
  std::FILE* file_;
  bool failed_ = false;
  char buffer_[1 << 16];
  size_t used_ = 0;
};

// The "I J " that begins a value record.
void indices(Writer& w, int i, int j) {
  w.integer(i);
  w.put(' ');
  w.integer(j);
  w.put(' ');
}

void axis(Writer& w, const char* name, int n, double from, double step, int decimals) {
  w.text(name);
  w.text("\n");
  for (int i = 0; i < n; ++i) {
    w.real(from + i * step, decimals);
    w.put('\n');
  }
  w.text("*end\n");
}

}  // namespace

bool write_noisy_field(const std::string& path, int n, unsigned seed, const std::string& raw_path) {
  Writer w(path);
  if (!w.ok()) return false;
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  const double step = 10.0 / (n - 1);
  std::vector<float> v(static_cast<size_t>(n) * n);
  float lo = 1e30f, hi = -1e30f;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const double x = i * step, y = j * step;
      const double s = std::sin(x) + std::cos(0.7 * y) + 0.5 * std::sin(0.1 * x * y);
      // 2 % of the field's span (about 5) as noise.
      const float value = static_cast<float>(s + 0.1 * noise(rng));
      v[static_cast<size_t>(i) * n + j] = value;
      lo = std::min(lo, value);
      hi = std::max(hi, value);
    }
  }
  if (!raw_path.empty()) {
    std::FILE* raw = std::fopen(raw_path.c_str(), "wb");
    if (raw == nullptr) return false;
    const bool written = std::fwrite(v.data(), sizeof(float), v.size(), raw) == v.size();
    if (std::fclose(raw) != 0 || !written) return false;
  }
  w.text("*model differencial\n*title\nnoisy field\n*end\n");
  axis(w, "*x", n, 0.0, step, 6);
  axis(w, "*y", n, 0.0, step, 6);
  w.text("*value\n");
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      indices(w, i + 1, j + 1);
      w.real(v[static_cast<size_t>(i) * n + j], 4);
      w.put('\n');
    }
  }
  w.text("*end\n*isovar\n");
  for (int k = 1; k <= 11; ++k) {
    w.real(lo + (hi - lo) * k / 12.0, 4);
    w.text(k % 5 == 0 ? " bold\n" : "\n");
  }
  w.text("*end\n");
  return w.close();
}

bool write_terrain(const std::string& path, int nx, int ny, int step, unsigned seed) {
  Writer w(path);
  if (!w.ok()) return false;
  // Value noise at octaves of halving size, on lattices of random heights.
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  constexpr int kLattice = 257;
  std::vector<double> lattice(static_cast<size_t>(kLattice) * kLattice);
  for (double& h : lattice) h = unit(rng);
  auto at = [&](int a, int b) { return lattice[static_cast<size_t>(a % kLattice) * kLattice + b % kLattice]; };
  auto smooth = [&](double x, double y) {
    const int a = static_cast<int>(x), b = static_cast<int>(y);
    double fx = x - a, fy = y - b;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const double top = at(a, b) * (1 - fx) + at(a + 1, b) * fx;
    const double bottom = at(a, b + 1) * (1 - fx) + at(a + 1, b + 1) * fx;
    return top * (1 - fy) + bottom * fy;
  };
  w.text("*model differencial\n*title\nterrain (m)\n*end\n");
  axis(w, "*x", nx, 500000.0, 30.0, 0);
  axis(w, "*y", ny, 4000000.0, 30.0, 0);
  w.text("*value\n");
  double lo = 1e30, hi = -1e30;
  std::vector<long> heights(static_cast<size_t>(nx) * ny);
  for (int i = 0; i < nx; ++i) {
    for (int j = 0; j < ny; ++j) {
      double h = 0, amplitude = 1, scale = 1.0 / 20;
      for (int octave = 0; octave < 6; ++octave) {
        h += amplitude * smooth(i * scale + 17 * octave, j * scale + 31 * octave);
        amplitude *= 0.5;
        scale *= 2;
      }
      const long metres = std::lround(300 + 1900 * std::pow(h / 1.97, 1.3));
      heights[static_cast<size_t>(i) * ny + j] = metres;
      lo = std::min(lo, static_cast<double>(metres));
      hi = std::max(hi, static_cast<double>(metres));
    }
  }
  for (int i = 0; i < nx; ++i) {
    for (int j = 0; j < ny; ++j) {
      indices(w, i + 1, j + 1);
      w.integer(heights[static_cast<size_t>(i) * ny + j]);
      w.put('\n');
    }
  }
  w.text("*end\n*isovar\n");
  int levels = 0;
  for (long level = (static_cast<long>(lo) / step + 1) * step; level < hi && levels < 49; level += step, ++levels) {
    w.integer(level);
    w.text(level % (5 * step) == 0 ? " bold\n" : "\n");
  }
  w.text("*end\n");
  return w.close();
}

}  // namespace model_gen
