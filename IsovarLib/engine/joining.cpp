// Joining: segments arrive one at a time and merge into polylines. A segment
// with two new points opens a row; one with a single new point extends the
// row that ends at the other; one with two known points joins two rows or
// closes a ring. Which row wins when a point ends several, and the point
// order after a join, are fixed (newest row, head before tail).
//
// Where a level equals the value at grid points or nodes, more than two
// segments meet in one point. Nothing is lost there: every recorded segment
// is kept as a link between its two points, a segment repeating a link is
// ignored, and a segment whose known point ends no row opens a row of its
// own. So the links drawn are exactly the distinct segments traced.
#include "engine/engine_internal.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

namespace {

int32_t head_of(EngineTables& t, int n) { return pline_point(t, n, 0); }
int32_t tail_of(EngineTables& t, int n) { return pline_point(t, n, t.pline_count[n] - 1); }

int no_memory(EngineTables& t) { return engine_out_of_memory(t, "make_poly"); }

// Row `kept` becomes `first` followed by `second`, each taken in its own
// order or reversed; `first` and `second` are the two rows being joined, and
// the one that is not kept is left empty. The longer row's storage is kept
// and the shorter one's points are copied onto it, so a join costs the
// shorter row's length.
bool concatenate(EngineTables& t, int kept, int first, bool first_reversed, int second, bool second_reversed) {
  const int32_t n_first = t.pline_count[first];
  const int32_t n_second = t.pline_count[second];
  const int gone = kept == first ? second : first;
  int host;  // the row whose storage holds the result
  if (n_first >= n_second) {
    host = first;
    if (!ring_room(t, host, n_second)) return false;
    if (first_reversed) t.pline_store[host].reversed ^= 1;
    for (int32_t i = 0; i < n_second; ++i) {
      ring_push_back(t, host, pline_point(t, second, second_reversed ? n_second - 1 - i : i));
    }
  } else {
    host = second;
    if (!ring_room(t, host, n_first)) return false;
    if (second_reversed) t.pline_store[host].reversed ^= 1;
    for (int32_t i = n_first - 1; i >= 0; --i) {
      ring_push_front(t, host, pline_point(t, first, first_reversed ? n_first - 1 - i : i));
    }
  }
  if (host != kept) {
    // The kept row takes the storage (its level and closed flag stay its own).
    release_ring(t, kept);
    t.pline_store[kept] = t.pline_store[host];
    t.pline_store[host].points = nullptr;
    t.pline_count[kept] = t.pline_count[host];
  } else {
    release_ring(t, gone);
  }
  t.pline_count[gone] = 0;
  return true;
}

}  // namespace

int find_pline_end(EngineTables& t, int32_t p, PlineEnd* end) {
  // The list holds every row p became an end of, newest first. A row that
  // lost p as an end (p went inside, the row was emptied by a join or closed) never
  // gets it back as an end, so such entries are unlinked for good. The newest
  // row is the highest row number, which need not be the newest entry.
  int best = -1;
  int32_t prev = 0;
  for (int32_t e = t.end_list[p]; e != 0;) {
    const EndEntry entry = t.end_entries[e];
    const int n = entry.row;
    // A ring ends no row: it takes no more points and joins no other row,
    // and it stays a ring, so its entries go too.
    if (t.pline_count[n] > 0 && t.pline_closed[n] == 0 && (head_of(t, n) == p || tail_of(t, n) == p)) {
      if (n > best) best = n;
      prev = e;
    } else if (prev == 0) {
      t.end_list[p] = entry.next;
    } else {
      t.end_entries[prev].next = entry.next;
    }
    e = entry.next;
  }
  if (best >= 0) *end = head_of(t, best) == p ? kPlineHead : kPlineTail;
  return best;
}

int extend_pline(EngineTables& t, int n, PlineEnd end, int32_t p) {
  if (t.pline_count[n] + 1 >= table_limits(t.large).pline_points) return -1;
  if (!ring_room(t, n, 1)) return no_memory(t) - 1;
  if (end == kPlineHead) {
    ring_push_front(t, n, p);
  } else {
    ring_push_back(t, n, p);
  }
  return note_pline_end(t, p, n) ? 0 : no_memory(t) - 1;
}

void compact_plines(EngineTables& t) {
  int32_t live = 0;
  for (int32_t n = 0; n < t.pline_total; ++n) {
    if (t.pline_count[n] <= 0) continue;
    if (live != n) {
      t.pline_store[live] = t.pline_store[n];
      t.pline_count[live] = t.pline_count[n];
      t.pline_level[live] = t.pline_level[n];
      t.pline_closed[live] = t.pline_closed[n];
      t.pline_store[n].points = nullptr;
      t.pline_count[n] = 0;
    }
    ++live;
  }
  t.pline_total = live;
  // Row numbers changed: the end lists start again from the live rows' ends.
  for (int32_t p = 1; p < t.point_count; ++p) t.end_list[p] = 0;
  t.end_entry_count = 1;
  for (int32_t n = 0; n < live; ++n) {
    note_pline_end(t, head_of(t, n), n);
    note_pline_end(t, tail_of(t, n), n);
  }
}

int open_pline(EngineTables& t, int32_t p1, int32_t p2, int k) {
  const int32_t limit = table_limits(t.large).plines;
  if (t.pline_total >= limit) {
    bool emptied = false;
    for (int32_t n = 0; n < t.pline_total && !emptied; ++n) emptied = t.pline_count[n] <= 0;
    if (!emptied) {
      put_message(t.message, kMessageBufferSize, msg::make_poly_too_many_plines, limit);
      note_table_limit(t);
      return -1;
    }
    compact_plines(t);
  }
  const int n = t.pline_total;
  if (!t.pline_store.reserve(n + 1) || !t.pline_count.reserve(n + 1) || !t.pline_level.reserve(n + 1) ||
      !t.pline_closed.reserve(n + 1)) {
    return no_memory(t);
  }
  t.pline_store[n].points = nullptr;
  t.pline_count[n] = 0;
  ++t.pline_total;
  if (!open_ring(t, n, 2)) return no_memory(t);
  ring_push_back(t, n, p1);
  ring_push_back(t, n, p2);
  t.pline_level[n] = k;
  t.pline_closed[n] = 0;
  if (!note_pline_end(t, p1, n) || !note_pline_end(t, p2, n) || !record_link(t, p1, p2)) return no_memory(t);
  return 0;
}

int connect_pline(EngineTables& t, int32_t p1, int32_t p2) {
  PlineEnd end_a, end_b;
  const int a = find_pline_end(t, p1, &end_a);
  const int b = a < 0 ? -1 : find_pline_end(t, p2, &end_b);
  // A point inside a row, or a ring's joint: more than two segments meet
  // there, and the segment starts a row of its own.
  if (a < 0 || b < 0) return open_pline(t, p1, p2, t.iso_points[p1].level);

  if (a == b) {
    // Both ends of one row (a two-point row would repeat a link, which never
    // gets here): the segment closes it into a ring, whatever its flag said.
    const int32_t head = head_of(t, a);
    const int32_t tail = tail_of(t, a);
    if (head != tail && ((p1 == head && p2 == tail) || (p1 == tail && p2 == head))) {
      if (!ring_room(t, a, 1)) return no_memory(t);
      ring_push_back(t, a, head);
      t.pline_closed[a] = 1;
      return record_link(t, p1, p2) ? 0 : no_memory(t);
    }
    copy_message(t.message, kMessageBufferSize, msg::connect_same_pline);
    return -1;
  }

  if (int64_t{t.pline_count[a]} + t.pline_count[b] >= table_limits(t.large).pline_points) {
    copy_message(t.message, kMessageBufferSize, msg::connect_too_many_points);
    note_table_limit(t);
    return -1;
  }

  // The four joins; "a" ends at p1 and "b" at p2, so the segment becomes the
  // link between the two parts:
  //   tail a - tail b: a, then b reversed   (a kept)
  //   tail a - head b: a, then b            (a kept)
  //   head a - tail b: b, then a            (b kept)
  //   head a - head b: a reversed, then b   (b kept)
  bool joined;
  int kept;
  if (end_a == kPlineTail) {
    kept = a;
    joined = concatenate(t, a, a, false, b, end_b == kPlineTail);
  } else if (end_b == kPlineTail) {
    kept = b;
    joined = concatenate(t, b, b, false, a, false);
  } else {
    kept = b;
    joined = concatenate(t, b, a, true, b, false);
  }
  if (!joined) return no_memory(t);
  // Two rows that met at their other ends too make a ring.
  if (head_of(t, kept) == tail_of(t, kept)) t.pline_closed[kept] = 1;
  // The kept row's new end is the far end of the other part.
  const int32_t new_end = end_a == kPlineTail || end_b == kPlineTail ? tail_of(t, kept) : head_of(t, kept);
  if (!note_pline_end(t, new_end, kept) || !record_link(t, p1, p2)) return no_memory(t);
  return 0;
}

int make_poly(EngineTables& t, float x1, float y1, float x2, float y2, int k) {
  if (x1 == x2 && y1 == y2) return 0;  // zero length: nothing to record

  const int32_t p1 = find_or_add_point(t, x1, y1, k);
  const int32_t p2 = p1 == 0 ? 0 : find_or_add_point(t, x2, y2, k);
  if (p1 == 0 || p2 == 0) {
    if (t.large) return no_memory(t);
    put_message(t.message, kMessageBufferSize, msg::make_poly_too_many_points, kPointSlots);
    note_table_limit(t);
    return -1;
  }

  if (p1 > 0 && p2 > 0) {
    if (linked(t, p1, p2)) return 0;  // the segment repeats one already recorded
    return connect_pline(t, p1, p2);
  }

  if (p1 > 0 || p2 > 0) {
    // One point is known: the new one extends the row that ends at it.
    const bool first_known = p1 > 0;
    const int32_t known = first_known ? p1 : p2;
    const int32_t fresh = first_known ? -p2 : -p1;
    PlineEnd end;
    const int n = find_pline_end(t, known, &end);
    // The known point lies inside a row, or is a ring's joint: more than two
    // segments meet there, and the segment starts a row of its own.
    if (n < 0) return open_pline(t, first_known ? p1 : -p1, first_known ? -p2 : p2, k);
    const int extended = extend_pline(t, n, end, fresh);
    if (extended == -1) {
      copy_message(t.message, kMessageBufferSize,
                   first_known ? msg::make_poly_overflow_1 : msg::make_poly_overflow_2);
      note_table_limit(t);
      return -1;
    }
    if (extended != 0) return -1;
    return record_link(t, known, fresh) ? 0 : no_memory(t);
  }

  return open_pline(t, -p1, -p2, k);
}
