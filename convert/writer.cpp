#include "writer.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "numbers.h"

namespace convert {

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

ModelWriter::ModelWriter(TextSink& sink) : out_(new Records(sink)) {}

ModelWriter::~ModelWriter() = default;

void ModelWriter::begin(bool is_grid, const Header& header) {
  Records& out = *out_;
  out.text(is_grid ? "*model differencial\n" : "*model fem\n");
  if (header.full) out.text("*display full\n");
  if (!header.titles.empty()) {
    out.text("*title\n");
    for (const std::string& t : header.titles) out.text(t).put('\n');
    out.text("*end\n");
  }
}

void ModelWriter::grid_axes(const std::vector<float>& x, const std::vector<float>& y) {
  Records& out = *out_;
  out.text("*x\n");
  for (float v : x) out.real(v).put('\n');
  out.text("*end\n*y\n");
  for (float v : y) out.real(v).put('\n');
  out.text("*end\n*value\n");
}

void ModelWriter::grid_row(size_t j, const float* values, size_t nx) {
  Records& out = *out_;
  for (size_t i = 0; i < nx; ++i) {
    const float v = values[i];
    if (std::isnan(v)) continue;
    out.integer(static_cast<int64_t>(i) + 1).put(' ').integer(static_cast<int64_t>(j) + 1).put(' ').real(v).put('\n');
  }
}

void ModelWriter::end_values() { out_->text("*end\n"); }

void ModelWriter::mesh(const Mesh& m) {
  Records& out = *out_;
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

void ModelWriter::levels(const std::vector<Level>& levels) {
  Records& out = *out_;
  out.text("*isovar\n");
  for (const Level& l : levels) {
    out.real(l.value);
    if (l.bold || !l.labelled) out.text(l.bold ? " bold" : " default");
    if (!l.labelled) out.text(" no");
    out.put('\n');
  }
  out.text("*end\n");
  out.flush();
}

void write_input_file(const Model& model, const Header& header, TextSink& sink, Progress& progress) {
  ModelWriter out(sink);
  out.begin(model.is_grid, header);
  if (model.is_grid) {
    const Grid& g = model.grid;
    out.grid_axes(g.x, g.y);
    progress.start("writing", g.y.size());
    for (size_t j = 0; j < g.y.size(); ++j) {
      out.grid_row(j, g.value.data() + j * g.x.size(), g.x.size());
      progress.advance(j + 1);
    }
    progress.finish();
    out.end_values();
  } else {
    out.mesh(model.mesh);
  }
  out.levels(header.levels);
}

}  // namespace convert
