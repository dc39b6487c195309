#include "png_encode.h"

#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

namespace isovar_plot {

namespace {

constexpr int kLitLenSymbols = 286;  // literals, end of block, lengths
constexpr int kDistanceSymbols = 30;
constexpr int kCodeLengthSymbols = 19;
constexpr std::size_t kBlockTokens = std::size_t{1} << 16;
constexpr std::size_t kWindow = 32768;

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                   193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t reverse(uint32_t code, int bits) {
  uint32_t r = 0;
  for (int b = 0; b < bits; ++b) r |= ((code >> b) & 1u) << (bits - 1 - b);
  return r;
}

// Huffman code lengths of at most `limit` bits for the frequencies; a
// symbol that never occurs gets none. While the tree is too deep, the
// frequencies are halved (keeping every used symbol) and it is built again.
std::vector<int> code_lengths(std::vector<uint32_t> freq, int limit) {
  const int n = static_cast<int>(freq.size());
  std::vector<int> lengths(static_cast<std::size_t>(n), 0);
  for (;;) {
    using Node = std::pair<uint64_t, int>;  // weight, node
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> queue;
    std::vector<int> parent(static_cast<std::size_t>(2 * n), -1);
    for (int s = 0; s < n; ++s)
      if (freq[static_cast<std::size_t>(s)] > 0) queue.push({freq[static_cast<std::size_t>(s)], s});
    if (queue.size() == 1) {
      lengths[static_cast<std::size_t>(queue.top().second)] = 1;
      return lengths;
    }
    int next = n;
    while (queue.size() > 1) {
      const Node a = queue.top();
      queue.pop();
      const Node b = queue.top();
      queue.pop();
      parent[static_cast<std::size_t>(a.second)] = parent[static_cast<std::size_t>(b.second)] = next;
      queue.push({a.first + b.first, next++});
    }
    int deepest = 0;
    for (int s = 0; s < n; ++s) {
      int depth = 0;
      if (freq[static_cast<std::size_t>(s)] > 0)
        for (int at = s; parent[static_cast<std::size_t>(at)] >= 0; at = parent[static_cast<std::size_t>(at)]) ++depth;
      lengths[static_cast<std::size_t>(s)] = depth;
      deepest = std::max(deepest, depth);
    }
    if (deepest <= limit) return lengths;
    for (uint32_t& f : freq)
      if (f > 0) f = (f >> 1) | 1;
  }
}

// Canonical codes for the lengths, bit-reversed for the LSB-first stream.
std::vector<uint32_t> canonical_codes(const std::vector<int>& lengths) {
  int count[16] = {};
  for (int l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int bits = 1; bits < 16; ++bits) {
    code = (code + static_cast<uint32_t>(count[bits - 1])) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size(), 0);
  for (std::size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s] > 0) codes[s] = reverse(next[lengths[s]]++, lengths[s]);
  return codes;
}

// The deflate stream of a picture's rows. Its only copies repeat the byte
// before (distance 1) or the bytes of the row above (one row's distance):
// what flat areas and thin lines offer, both found by comparing eight bytes
// at a time, with none of a general encoder's searching. Blocks of 64K
// tokens each get Huffman codes made for them.
class RowDeflater {
 public:
  RowDeflater(std::string* out, std::size_t row_bytes) : out_(out), row_bytes_(row_bytes) {
    for (int k = 0; k < 29; ++k) {
      const int last = k == 28 ? 258 : kLengthBase[k + 1] - 1;  // 284 stops at 257
      for (int length = kLengthBase[k]; length <= last; ++length) length_symbol_[length] = 257 + k;
    }
    int c = 0;
    while (c + 1 < kDistanceSymbols && kDistanceBase[c + 1] <= static_cast<int>(row_bytes_)) ++c;
    up_symbol_ = c;
    tokens_.reserve(kBlockTokens);
  }

  // Adds one row of row_bytes; above is the row before it, or null.
  void add_row(const unsigned char* row, const unsigned char* above) {
    if (row_bytes_ > kWindow) above = nullptr;
    std::size_t i = 0;
    while (i < row_bytes_) {
      if (have_last_) {
        const std::size_t run = same_bytes(row + i, row_bytes_ - i, last_);
        if (run >= 3) {
          copies(run, kNear);
          i += run;
          continue;
        }
      }
      if (above != nullptr) {
        const std::size_t up = same_as(row + i, above + i, row_bytes_ - i);
        if (up >= 4) {
          copies(up, kUp);
          i += up;
          last_ = row[i - 1];
          continue;
        }
      }
      tokens_.push_back(row[i]);
      last_ = row[i];
      have_last_ = true;
      ++i;
    }
    if (tokens_.size() >= kBlockTokens) emit_block(false);
  }

  void finish() {
    emit_block(true);
    if (bits_ % 8 != 0) put(0, 8 - bits_ % 8);
    flush_bytes();
  }

 private:
  // A token is a literal byte, or kCopy | distance kind << 16 | length.
  static constexpr uint32_t kCopy = 0x80000000u;
  static constexpr uint32_t kNear = 0;  // distance 1
  static constexpr uint32_t kUp = 1;    // one row

  static std::size_t same_bytes(const unsigned char* p, std::size_t n, unsigned char b) {
    const uint64_t pattern = 0x0101010101010101ull * b;
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
      uint64_t v;
      std::memcpy(&v, p + j, 8);
      if (const uint64_t diff = v ^ pattern) return j + static_cast<std::size_t>(__builtin_ctzll(diff) >> 3);
    }
    while (j < n && p[j] == b) ++j;
    return j;
  }

  static std::size_t same_as(const unsigned char* p, const unsigned char* q, std::size_t n) {
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
      uint64_t a, b;
      std::memcpy(&a, p + j, 8);
      std::memcpy(&b, q + j, 8);
      if (const uint64_t diff = a ^ b) return j + static_cast<std::size_t>(__builtin_ctzll(diff) >> 3);
    }
    while (j < n && p[j] == q[j]) ++j;
    return j;
  }

  // n >= 3 bytes as copies of 3 to 258 bytes, the lengths chosen so that no
  // one or two bytes are left over.
  void copies(std::size_t n, uint32_t kind) {
    while (n > 0) {
      const std::size_t length = n > 258 ? (n - 258 >= 3 ? 258 : n - 3) : n;
      tokens_.push_back(kCopy | kind << 16 | static_cast<uint32_t>(length));
      n -= length;
    }
  }

  void emit_block(bool last) {
    std::vector<uint32_t> lit_freq(kLitLenSymbols, 0), dist_freq(kDistanceSymbols, 0);
    for (uint32_t t : tokens_) {
      if (t & kCopy) {
        ++lit_freq[static_cast<std::size_t>(length_symbol_[t & 0xFFFF])];
        ++dist_freq[static_cast<std::size_t>((t >> 16 & 1) ? up_symbol_ : 0)];
      } else {
        ++lit_freq[t];
      }
    }
    lit_freq[256] = 1;
    // Every code needs two symbols to be complete; an unused one costs nothing.
    if (lit_freq[0] == 0) lit_freq[0] = 1;
    if (dist_freq[0] == 0) dist_freq[0] = 1;
    if (dist_freq[1] == 0) dist_freq[1] = 1;
    const std::vector<int> lit_len = code_lengths(lit_freq, 15);
    const std::vector<int> dist_len = code_lengths(dist_freq, 15);
    const std::vector<uint32_t> lit_code = canonical_codes(lit_len);
    const std::vector<uint32_t> dist_code = canonical_codes(dist_len);

    int hlit = kLitLenSymbols;
    while (hlit > 257 && lit_len[static_cast<std::size_t>(hlit - 1)] == 0) --hlit;
    int hdist = kDistanceSymbols;
    while (hdist > 1 && dist_len[static_cast<std::size_t>(hdist - 1)] == 0) --hdist;

    // The code lengths, run-length coded: 16 repeats the last length 3-6
    // times, 17 and 18 give 3-10 and 11-138 zeros.
    std::vector<int> all(lit_len.begin(), lit_len.begin() + hlit);
    all.insert(all.end(), dist_len.begin(), dist_len.begin() + hdist);
    std::vector<std::pair<int, int>> coded;  // symbol, extra value
    for (std::size_t i = 0; i < all.size();) {
      std::size_t run = 1;
      while (i + run < all.size() && all[i + run] == all[i]) ++run;
      if (all[i] == 0 && run >= 3) {
        const std::size_t take = std::min<std::size_t>(run, 138);
        coded.push_back(take >= 11 ? std::make_pair(18, static_cast<int>(take - 11))
                                   : std::make_pair(17, static_cast<int>(take - 3)));
        i += take;
      } else if (all[i] != 0 && run >= 4) {
        coded.push_back({all[i], 0});
        const std::size_t take = std::min<std::size_t>(run - 1, 6);
        coded.push_back({16, static_cast<int>(take - 3)});
        i += 1 + take;
      } else {
        coded.push_back({all[i], 0});
        ++i;
      }
    }
    std::vector<uint32_t> cl_freq(kCodeLengthSymbols, 0);
    for (const auto& c : coded) ++cl_freq[static_cast<std::size_t>(c.first)];
    if (std::count_if(cl_freq.begin(), cl_freq.end(), [](uint32_t f) { return f > 0; }) < 2)
      ++cl_freq[cl_freq[0] == 0 ? 0 : 1];
    const std::vector<int> cl_len = code_lengths(cl_freq, 7);
    const std::vector<uint32_t> cl_code = canonical_codes(cl_len);
    int hclen = kCodeLengthSymbols;
    while (hclen > 4 && cl_len[static_cast<std::size_t>(kCodeLengthOrder[hclen - 1])] == 0) --hclen;

    put(last ? 1 : 0, 1);
    put(2, 2);  // Huffman codes of the block's own
    put(static_cast<uint32_t>(hlit - 257), 5);
    put(static_cast<uint32_t>(hdist - 1), 5);
    put(static_cast<uint32_t>(hclen - 4), 4);
    for (int k = 0; k < hclen; ++k) put(static_cast<uint32_t>(cl_len[static_cast<std::size_t>(kCodeLengthOrder[k])]), 3);
    for (const auto& [symbol, extra] : coded) {
      put(cl_code[static_cast<std::size_t>(symbol)], cl_len[static_cast<std::size_t>(symbol)]);
      if (symbol == 16) put(static_cast<uint32_t>(extra), 2);
      if (symbol == 17) put(static_cast<uint32_t>(extra), 3);
      if (symbol == 18) put(static_cast<uint32_t>(extra), 7);
    }

    const uint32_t up_extra = static_cast<uint32_t>(row_bytes_) - static_cast<uint32_t>(kDistanceBase[up_symbol_]);
    for (uint32_t t : tokens_) {
      if (!(t & kCopy)) {
        put(lit_code[t], lit_len[t]);
        continue;
      }
      const int length = static_cast<int>(t & 0xFFFF);
      const int ls = length_symbol_[length];
      put(lit_code[static_cast<std::size_t>(ls)], lit_len[static_cast<std::size_t>(ls)]);
      put(static_cast<uint32_t>(length - kLengthBase[ls - 257]), kLengthExtra[ls - 257]);
      if (t >> 16 & 1) {
        put(dist_code[static_cast<std::size_t>(up_symbol_)], dist_len[static_cast<std::size_t>(up_symbol_)]);
        put(up_extra, kDistanceExtra[up_symbol_]);
      } else {
        put(dist_code[0], dist_len[0]);
      }
    }
    put(lit_code[256], lit_len[256]);
    tokens_.clear();
  }

  // Appends n bits (LSB first), writing out whole bytes.
  void put(uint32_t value, int n) {
    acc_ |= static_cast<uint64_t>(value) << bits_;
    bits_ += n;
    if (bits_ >= 32) flush_bytes();
  }

  void flush_bytes() {
    char bytes[8];
    int count = 0;
    while (bits_ >= 8) {
      bytes[count++] = static_cast<char>(acc_ & 0xFF);
      acc_ >>= 8;
      bits_ -= 8;
    }
    out_->append(bytes, static_cast<std::size_t>(count));
  }

  std::string* out_;
  std::size_t row_bytes_;
  int length_symbol_[259] = {};
  int up_symbol_ = 0;
  std::vector<uint32_t> tokens_;
  uint64_t acc_ = 0;
  int bits_ = 0;
  bool have_last_ = false;
  unsigned char last_ = 0;  // the last byte of the stream so far
};

void put_u32(std::string& out, uint32_t v) {
  const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                         static_cast<char>(v)};
  out.append(bytes, 4);
}

std::size_t open_chunk(std::string& out, const char* type) {
  const std::size_t at = out.size();
  out.append(4, '\0');
  out.append(type, 4);
  return at;
}

// Ends the chunk opened at `at`: its length and CRC.
void close_chunk(std::string& out, std::size_t at) {
  const std::size_t length = out.size() - at - 8;
  for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>(length >> (24 - 8 * i));
  const unsigned char* type = reinterpret_cast<const unsigned char*>(out.data() + at + 4);
  put_u32(out, static_cast<uint32_t>(crc32(0, type, static_cast<uInt>(length + 4))));
}


// Adler-32 (RFC 1950) of n bytes continued from adler, sixteen bytes at a
// time: zlib's own goes a byte at a time and took a fifth of a picture's
// encoding. Sums are reduced modulo 65521 every 5552 bytes, as zlib does, so
// no lane overflows.
uint32_t adler32_of(uint32_t adler, const unsigned char* p, std::size_t n) {
  constexpr uint32_t kBase = 65521;
  constexpr std::size_t kMaxRun = 5552;  // bytes before the sums must be reduced
  uint64_t s1 = adler & 0xFFFF;
  uint64_t s2 = adler >> 16;
  while (n > 0) {
    std::size_t run = n < kMaxRun ? n : kMaxRun;
    n -= run;
#if defined(__SSE2__)
    const std::size_t vectors = run / 16;
    if (vectors > 0) {
      // Over the run's first 16k bytes: s1 gains their sum; s2 gains 16k * s1
      // and each byte times the number of bytes from it to the end.
      const __m128i zero = _mm_setzero_si128();
      const __m128i weights_low = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
      const __m128i weights_high = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
      __m128i sum = zero;     // bytes so far (two 64-bit lanes)
      __m128i before = zero;  // the sums at the start of each vector, added up
      __m128i weighted = zero;
      for (std::size_t v = 0; v < vectors; ++v, p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        before = _mm_add_epi64(before, sum);
        sum = _mm_add_epi64(sum, _mm_sad_epu8(bytes, zero));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), weights_low));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), weights_high));
      }
      uint64_t lanes[2];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sum);
      const uint64_t bytes_sum = lanes[0] + lanes[1];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), before);
      const uint64_t before_sum = lanes[0] + lanes[1];
      uint32_t w[4];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(w), weighted);
      const uint64_t weighted_sum = uint64_t{w[0]} + w[1] + w[2] + w[3];
      s2 += 16 * vectors * s1 + 16 * before_sum + weighted_sum;
      s1 += bytes_sum;
      run -= 16 * vectors;
    }
#endif
    for (; run > 0; --run) {
      s1 += *p++;
      s2 += s1;
    }
    s1 %= kBase;
    s2 %= kBase;
  }
  return static_cast<uint32_t>(s2 << 16 | s1);
}

}  // namespace

bool encode_png(const uint32_t* pixels, int width, int height, std::string* png) {
  png->clear();
  if (width <= 0 || height <= 0) return false;
  const std::size_t row_bytes = 1 + static_cast<std::size_t>(width) * 3;
  // One IDAT chunk holds it all; chunks stop below 2^31 bytes.
  if (row_bytes * static_cast<std::size_t>(height) > (std::size_t{1} << 30)) return false;
  std::string& out = *png;
  out.append("\x89PNG\r\n\x1a\n", 8);
  std::size_t at = open_chunk(out, "IHDR");
  put_u32(out, static_cast<uint32_t>(width));
  put_u32(out, static_cast<uint32_t>(height));
  out.append("\x08\x02\x00\x00\x00", 5);  // 8 bits, truecolour, deflate, adaptive filters, no interlace
  close_chunk(out, at);

  at = open_chunk(out, "IDAT");
  out.append("\x78\x01", 2);  // zlib: deflate with a 32 KiB window, no dictionary
  RowDeflater deflater(&out, row_bytes);
  uint32_t adler = 1;
  // One spare byte: each pixel is stored as four bytes, the fourth
  // overwritten by the next pixel's.
  std::vector<unsigned char> row(row_bytes + 1), above(row_bytes + 1);
  const std::size_t width_bytes = static_cast<std::size_t>(width) * sizeof(uint32_t);
  for (int y = 0; y < height; ++y) {
    const uint32_t* from = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    if (y > 0 && std::memcmp(from, from - width, width_bytes) == 0) {
      // The row above again: its bytes are those in `above`.
      deflater.add_row(above.data(), above.data());
      adler = adler32_of(adler, above.data(), row_bytes);
      continue;
    }
    row[0] = 0;  // no row filter: flat areas are runs already
    unsigned char* to = row.data() + 1;
    for (int x = 0; x < width; ++x, to += 3) {
      // 0x00RRGGBB to the bytes R, G, B (and a fourth, overwritten).
      const uint32_t p = from[x];
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      const uint32_t rgb = (p >> 16 & 0xFF) | (p & 0xFF00) | (p & 0xFF) << 16;
      std::memcpy(to, &rgb, 4);
#else
      to[0] = static_cast<unsigned char>(p >> 16);
      to[1] = static_cast<unsigned char>(p >> 8);
      to[2] = static_cast<unsigned char>(p);
#endif
    }
    deflater.add_row(row.data(), y > 0 ? above.data() : nullptr);
    adler = adler32_of(adler, row.data(), row_bytes);
    row.swap(above);
  }
  deflater.finish();
  put_u32(out, static_cast<uint32_t>(adler));
  close_chunk(out, at);

  at = open_chunk(out, "IEND");
  close_chunk(out, at);
  return true;
}

}  // namespace isovar_plot
