#include "writer.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "numbers.h"

namespace convert {

namespace {

// Records gather in a buffer that goes to the sink in large pieces.
class Records {
 public:
  explicit Records(TextSink& sink) : sink_(sink), buffer_(kSize) {}
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  Records& text(std::string_view s) {
    room(s.size());
    std::memcpy(buffer_.data() + used_, s.data(), s.size());
    used_ += s.size();
    return *this;
  }
  Records& integer(int64_t v) {
    room(24);
    used_ = static_cast<size_t>(std::to_chars(buffer_.data() + used_, buffer_.data() + buffer_.size(), v).ptr -
                                buffer_.data());
    return *this;
  }
  Records& real(float v) {
    room(kRealBufferSize);
    used_ += static_cast<size_t>(format_real(v, buffer_.data() + used_));
    return *this;
  }
  Records& put(char c) {
    room(1);
    buffer_[used_++] = c;
    return *this;
  }
  void flush() {
    if (used_ > 0) sink_.write(buffer_.data(), used_);
    used_ = 0;
  }

 private:
  static constexpr size_t kSize = 1 << 20;
  void room(size_t n) {
    if (used_ + n > buffer_.size()) flush();
    if (n > buffer_.size()) buffer_.resize(n);
  }

  TextSink& sink_;
  std::vector<char> buffer_;
  size_t used_ = 0;
};

void write_grid(const Grid& g, Records& out, Progress& progress) {
  out.text("*x\n");
  for (float x : g.x) out.real(x).put('\n');
  out.text("*end\n*y\n");
  for (float y : g.y) out.real(y).put('\n');
  out.text("*end\n*value\n");
  progress.start("writing", g.y.size());
  for (size_t j = 0; j < g.y.size(); ++j) {
    for (size_t i = 0; i < g.x.size(); ++i) {
      const float v = g.at(i, j);
      if (std::isnan(v)) continue;
      out.integer(static_cast<int64_t>(i) + 1).put(' ').integer(static_cast<int64_t>(j) + 1).put(' ').real(v).put('\n');
    }
    progress.advance(j + 1);
  }
  progress.finish();
  out.text("*end\n");
}

void write_mesh(const Mesh& m, Records& out) {
  out.text("*node\n");
  for (const Node& n : m.nodes) out.integer(n.number).put(' ').real(n.x).put(' ').real(n.y).put('\n');
  out.text("*end\n*element\n");
  for (const Element& e : m.elements) {
    out.integer(e.number);
    for (int c = 0; c < e.count; ++c) out.put(' ').integer(e.nodes[c]);
    out.put('\n');
  }
  out.text("*end\n*node_data\n");
  for (const Node& n : m.nodes)
    if (n.has_value) out.integer(n.number).put(' ').real(n.value).put('\n');
  out.text("*end\n");
}

}  // namespace

void write_input_file(const Model& model, const Header& header, TextSink& sink, Progress& progress) {
  Records out(sink);
  out.text(model.is_grid ? "*model differencial\n" : "*model fem\n");
  if (header.full) out.text("*display full\n");
  if (!header.titles.empty()) {
    out.text("*title\n");
    for (const std::string& t : header.titles) out.text(t).put('\n');
    out.text("*end\n");
  }
  if (model.is_grid) {
    write_grid(model.grid, out, progress);
  } else {
    write_mesh(model.mesh, out);
  }
  out.text("*isovar\n");
  for (const Level& l : header.levels) {
    out.real(l.value);
    if (l.bold || !l.labelled) out.text(l.bold ? " bold" : " default");
    if (!l.labelled) out.text(" no");
    out.put('\n');
  }
  out.text("*end\n");
  out.flush();
}

}  // namespace convert
