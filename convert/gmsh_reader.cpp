#include "gmsh_reader.h"

#include <cmath>
#include <unordered_map>
#include <vector>

#include "line_reader.h"
#include "numbers.h"

namespace convert {

namespace {

// Tokens separated by blanks and line ends, with the line they are on. A
// token's text stays valid until the next token is taken.
class Scanner {
 public:
  explicit Scanner(LineReader& source) : source_(source) {}

  // The next token, on this line or a later one; empty at the end.
  std::string_view token() {
    skip_space(true);
    const size_t start = pos_;
    while (pos_ < line_.size() && !is_space(line_[pos_])) ++pos_;
    return line_.substr(start, pos_ - start);
  }
  // True when nothing but blanks is left on the current line.
  bool at_line_end() {
    skip_space(false);
    return pos_ == line_.size();
  }
  // The rest of the next line that is not empty, without surrounding blanks.
  std::string_view line_text(const char* what) {
    skip_space(true);
    if (pos_ == line_.size()) fail(std::string("the file ends before ") + what);
    const size_t start = pos_;
    pos_ = line_.size();
    size_t end = pos_;
    while (end > start && is_space(line_[end - 1])) --end;
    return line_.substr(start, end - start);
  }
  int64_t line() const { return number_; }

  int64_t integer(const char* what) {
    const std::string_view t = token();
    int64_t v;
    if (!parse_integer(t, v)) fail(std::string(what) + " '" + std::string(t) + "' is not a whole number");
    return v;
  }
  int64_t count(const char* what) {
    const int64_t v = integer(what);
    if (v < 0) fail(std::string(what) + " is negative");
    return v;
  }
  float real(const char* what) {
    const std::string_view t = token();
    float v = 0;
    const Parsed p = parse_real(t, v);
    if (p == Parsed::not_number) fail(std::string(what) + " '" + std::string(t) + "' is not a number");
    if (p == Parsed::out_of_range) fail(std::string(what) + " " + std::string(t) + " is beyond single precision");
    full_ = parse_full(t);
    return v;
  }
  // The last real read, in double precision.
  double full() const { return full_; }
  // Passes over tokens up to and including end ("$EndNodes").
  void skip_to(std::string_view end) {
    for (;;) {
      const std::string_view t = token();
      if (t == end) return;
      if (t.empty()) fail("the file ends before " + std::string(end));
    }
  }
  void expect(std::string_view word) {
    const std::string_view t = token();
    if (t != word) fail("expected " + std::string(word) + ", found '" + std::string(t) + "'");
  }
  [[noreturn]] void fail(const std::string& what) const { throw LineFailure(number_, what); }

 private:
  static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  // Passes over blanks; across_lines, over line ends too, as far as the
  // next token or the end of the source (which stays on the last line).
  void skip_space(bool across_lines) {
    for (;;) {
      while (pos_ < line_.size() && is_space(line_[pos_])) ++pos_;
      if (pos_ < line_.size() || !across_lines || at_end_) return;
      std::string_view next;
      if (!source_.next(next)) {
        at_end_ = true;
        // The end lies after the last line feed, on a line of its own.
        if (source_.number() > 0 && source_.had_feed()) number_ = source_.number() + 1;
        line_ = {};
        pos_ = 0;
        return;
      }
      line_ = next;
      pos_ = 0;
      number_ = source_.number();
    }
  }

  LineReader& source_;
  std::string_view line_;
  size_t pos_ = 0;
  int64_t number_ = 1;
  double full_ = 0;
  bool at_end_ = false;
};

constexpr int64_t kTriangle = 2;
constexpr int64_t kQuadrangle = 3;

class GmshParser {
 public:
  GmshParser(LineReader& source, const FieldRequest& request) : in_(source), request_(request) {}

  GmshMesh parse() {
    for (std::string_view t = in_.token(); !t.empty(); t = in_.token()) {
      if (t == "$MeshFormat") {
        mesh_format();
      } else if (version_ == 0) {
        in_.fail("the file does not begin with $MeshFormat");
      } else if (t == "$Nodes") {
        version_ == 2 ? nodes_v2() : nodes_v4();
      } else if (t == "$Elements") {
        version_ == 2 ? elements_v2() : elements_v4();
      } else if (t == "$NodeData") {
        node_data();
      } else if (t.size() > 1 && t[0] == '$' && t.substr(0, 4) != "$End") {
        in_.skip_to("$End" + std::string(t.substr(1)));
      } else {
        in_.fail("'" + std::string(t) + "' is not a section");
      }
    }
    if (version_ == 0) throw Failure("no data: not a Gmsh mesh (no $MeshFormat)");
    if (out_.mesh.nodes.empty()) throw Failure("no data: the mesh has no nodes");
    if (out_.mesh.elements.empty()) throw Failure("no data: the mesh has no triangles or quadrangles");
    if (!chosen_) {
      if (fields_.empty()) throw Failure("no data: the mesh has no $NodeData block of node values");
      throw Failure("no $NodeData block for " + wanted() + "; the file holds " + fields_);
    }
    return std::move(out_);
  }

 private:
  void mesh_format() {
    const std::string version(in_.token());
    const int64_t file_type = in_.integer("the file type");
    in_.token();  // the data size
    if (file_type != 0) in_.fail("binary meshes are not read; save the mesh as ASCII");
    if (version.substr(0, 2) == "2." || version == "2") {
      version_ = 2;
    } else if (version == "4.1") {
      version_ = 4;
    } else {
      in_.fail("mesh format " + std::string(version) + " is not read; save the mesh in format 4.1 or 2.2");
    }
    in_.expect("$EndMeshFormat");
  }

  void add_node(int64_t tag, float x, float y, double full_x, double full_y) {
    if (tag < 0) in_.fail("node tag " + std::to_string(tag) + " is negative");
    if (!node_index_.emplace(tag, out_.mesh.nodes.size()).second)
      in_.fail("node " + std::to_string(tag) + " is defined twice");
    out_.mesh.nodes.push_back({tag, x, y, 0.0f, false});
    out_.full_x.push_back(full_x);
    out_.full_y.push_back(full_y);
    out_.full_value.push_back(NAN);
  }

  void nodes_v2() {
    const int64_t n = in_.count("the node count");
    for (int64_t k = 0; k < n; ++k) {
      const int64_t tag = in_.integer("the node tag");
      const float x = in_.real("the x coordinate");
      const double full_x = in_.full();
      const float y = in_.real("the y coordinate");
      const double full_y = in_.full();
      in_.real("the z coordinate");
      add_node(tag, x, y, full_x, full_y);
    }
    in_.expect("$EndNodes");
  }

  void nodes_v4() {
    const int64_t blocks = in_.count("the entity block count");
    in_.count("the node count");
    in_.integer("the smallest node tag");
    in_.integer("the largest node tag");
    std::vector<int64_t> tags;
    for (int64_t b = 0; b < blocks; ++b) {
      const int64_t dim = in_.integer("the entity dimension");
      in_.integer("the entity tag");
      const int64_t parametric = in_.integer("the parametric flag");
      const int64_t n = in_.count("the block's node count");
      // Parametric nodes carry one more coordinate per dimension of their entity.
      const int64_t extra = parametric != 0 ? dim : 0;
      if (extra < 0 || extra > 3) in_.fail("entity dimension " + std::to_string(dim) + " is not 0 to 3");
      tags.clear();
      for (int64_t k = 0; k < n; ++k) tags.push_back(in_.integer("the node tag"));
      for (int64_t tag : tags) {
        const float x = in_.real("the x coordinate");
        const double full_x = in_.full();
        const float y = in_.real("the y coordinate");
        const double full_y = in_.full();
        in_.real("the z coordinate");
        for (int64_t e = 0; e < extra; ++e) in_.real("a parametric coordinate");
        add_node(tag, x, y, full_x, full_y);
      }
    }
    in_.expect("$EndNodes");
  }

  // The node tags on the rest of the element's line; kept when type is a
  // triangle or a quadrangle, counted as skipped otherwise.
  void element_nodes(int64_t tag, int64_t type) {
    if (type != kTriangle && type != kQuadrangle) {
      ++out_.skipped[type];
      while (!in_.at_line_end()) in_.token();
      return;
    }
    Element e{tag, {0, 0, 0, 0}, type == kTriangle ? 3 : 4};
    for (int c = 0; c < e.count; ++c) {
      if (in_.at_line_end()) in_.fail("element " + std::to_string(tag) + " has too few nodes");
      e.nodes[c] = in_.integer("the node tag");
      if (node_index_.count(e.nodes[c]) == 0)
        in_.fail("element " + std::to_string(tag) + " names node " + std::to_string(e.nodes[c]) +
                 ", which is not defined");
    }
    if (!in_.at_line_end()) in_.fail("element " + std::to_string(tag) + " has too many nodes");
    if (tag < 0) in_.fail("element tag " + std::to_string(tag) + " is negative");
    out_.mesh.elements.push_back(e);
  }

  void elements_v2() {
    const int64_t n = in_.count("the element count");
    for (int64_t k = 0; k < n; ++k) {
      const int64_t tag = in_.integer("the element tag");
      const int64_t type = in_.integer("the element type");
      const int64_t tags = in_.count("the element's tag count");
      for (int64_t t = 0; t < tags; ++t) {
        if (in_.at_line_end()) in_.fail("element " + std::to_string(tag) + " has too few tags");
        in_.token();
      }
      element_nodes(tag, type);
    }
    in_.expect("$EndElements");
  }

  void elements_v4() {
    const int64_t blocks = in_.count("the entity block count");
    in_.count("the element count");
    in_.integer("the smallest element tag");
    in_.integer("the largest element tag");
    for (int64_t b = 0; b < blocks; ++b) {
      in_.integer("the entity dimension");
      in_.integer("the entity tag");
      const int64_t type = in_.integer("the element type");
      const int64_t n = in_.count("the block's element count");
      for (int64_t k = 0; k < n; ++k) element_nodes(in_.integer("the element tag"), type);
    }
    in_.expect("$EndElements");
  }

  std::string wanted() const {
    std::string w = request_.name.empty() ? "the first field" : "field '" + request_.name + "'";
    if (request_.step_given) w += " at step " + std::to_string(request_.step);
    return w;
  }

  void node_data() {
    const int64_t strings = in_.count("the string tag count");
    std::string name;
    for (int64_t k = 0; k < strings; ++k) {
      std::string_view s = in_.line_text("a string tag");
      if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
      if (k == 0) name = std::string(s);
    }
    const int64_t reals = in_.count("the real tag count");
    for (int64_t k = 0; k < reals; ++k) in_.real("a real tag");
    const int64_t integers = in_.count("the integer tag count");
    if (integers < 3) in_.fail("a $NodeData block needs 3 integer tags (step, components, nodes)");
    const int64_t step = in_.integer("the time step");
    const int64_t components = in_.count("the component count");
    const int64_t n = in_.count("the node count");
    for (int64_t k = 3; k < integers; ++k) in_.integer("an integer tag");

    if (fields_.size() < 500) fields_ += (fields_.empty() ? "'" : ", '") + name + "' step " + std::to_string(step);
    const std::string& wanted_name = request_.name.empty() ? first_name(name) : request_.name;
    if (chosen_ || name != wanted_name || (request_.step_given && step != request_.step)) {
      in_.skip_to("$EndNodeData");
      return;
    }
    if (components != 1)
      in_.fail("field '" + name + "' has " + std::to_string(components) + " components per node; one is plotted");
    chosen_ = true;
    out_.field = name;
    out_.step = step;
    for (int64_t k = 0; k < n; ++k) {
      const int64_t tag = in_.integer("the node tag");
      const auto at = node_index_.find(tag);
      if (at == node_index_.end()) in_.fail("node " + std::to_string(tag) + " has a value but is not defined");
      Node& node = out_.mesh.nodes[at->second];
      if (node.has_value) in_.fail("node " + std::to_string(tag) + " has two values");
      node.value = in_.real("the node value");
      node.has_value = true;
      out_.full_value[at->second] = in_.full();
    }
    in_.expect("$EndNodeData");
  }

  // The first block's field name, remembered on its first sight.
  const std::string& first_name(const std::string& name) {
    if (!first_seen_) {
      first_field_ = name;
      first_seen_ = true;
    }
    return first_field_;
  }

  Scanner in_;
  const FieldRequest& request_;
  int version_ = 0;
  std::unordered_map<int64_t, size_t> node_index_;
  GmshMesh out_;
  bool chosen_ = false;
  bool first_seen_ = false;
  std::string first_field_;
  std::string fields_;  // the blocks seen, for the message when none fits
};

}  // namespace

std::string element_type_name(int64_t type) {
  static const std::map<int64_t, const char*> names = {
      {1, "2-node line"},          {4, "4-node tetrahedron"}, {5, "8-node hexahedron"}, {6, "6-node prism"},
      {7, "5-node pyramid"},       {8, "3-node line"},        {9, "6-node triangle"},   {10, "9-node quadrangle"},
      {11, "10-node tetrahedron"}, {15, "1-node point"},      {16, "8-node quadrangle"}};
  const auto at = names.find(type);
  return at == names.end() ? std::string() : at->second;
}

GmshMesh parse_gmsh(std::string_view bytes, const FieldRequest& request) {
  LineReader source(bytes);
  return parse_gmsh(source, request);
}

GmshMesh parse_gmsh(LineReader& source, const FieldRequest& request) { return GmshParser(source, request).parse(); }

}  // namespace convert
