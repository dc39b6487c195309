// Joining: segments arrive one at a time and merge into polylines. A segment
// with two new points opens a row; one with a single new point extends the row
// that ends at the other; one with two known points joins two rows, closes a
// ring, or repeats a two-point row. Which row wins when a point ends several,
// and the point order after a join, are fixed (newest row, head before tail).
#include <cassert>

#include "engine.h"
#include "shared/run_context.h"
#include "isovar_messages.h"

namespace {

int32_t& ring_slot(int n, int i) {
  int slot = engine_tables.pline_first[n] + i;
  if (slot >= kMaxPlinePoints) slot -= kMaxPlinePoints;
  return engine_tables.pline_points[n][slot];
}

int32_t head_of(int n) { return pline_point(n, 0); }
int32_t tail_of(int n) { return pline_point(n, engine_tables.pline_count[n] - 1); }

void push_front(int n, int32_t p) {
  int first = engine_tables.pline_first[n] - 1;
  if (first < 0) first += kMaxPlinePoints;
  engine_tables.pline_first[n] = first;
  engine_tables.pline_points[n][first] = p;
  ++engine_tables.pline_count[n];
}

void push_back(int n, int32_t p) {
  ring_slot(n, engine_tables.pline_count[n]) = p;
  ++engine_tables.pline_count[n];
}

}  // namespace

int find_pline_end(int32_t p, PlineEnd* end) {
  EngineTables& t = engine_tables;
  // The list holds every row p became an end of, newest first. A row that
  // lost p as an end (p went inside, or the row was emptied by a join) never
  // gets it back as an end, so such entries are unlinked for good. The newest
  // row is the highest row number, which need not be the newest entry.
  int best = -1;
  int32_t prev = 0;
  for (int32_t e = t.end_list[p]; e != 0;) {
    const EndEntry entry = t.end_entries[e];
    const int n = entry.row;
    if (t.pline_count[n] > 0 && (head_of(n) == p || tail_of(n) == p)) {
      if (n > best) best = n;
      prev = e;
    } else if (prev == 0) {
      t.end_list[p] = entry.next;
    } else {
      t.end_entries[prev].next = entry.next;
    }
    e = entry.next;
  }
  if (best >= 0) *end = head_of(best) == p ? kPlineHead : kPlineTail;
  return best;
}

int extend_pline(int n, PlineEnd end, int32_t p) {
  if (engine_tables.pline_count[n] + 1 >= kMaxPlinePoints) return -1;
  if (end == kPlineHead) {
    push_front(n, p);
  } else {
    push_back(n, p);
  }
  note_pline_end(p, n);
  return 0;
}

int connect_pline(int32_t p1, int32_t p2) {
  EngineTables& t = engine_tables;
  PlineEnd end_a, end_b;
  const int a = find_pline_end(p1, &end_a);
  if (a < 0) {
    put_message(run_context.message_buffer, kMessageBufferSize, msg::connect_first_not_found, p1);
    return 0;
  }
  const int b = find_pline_end(p2, &end_b);
  if (b < 0) {
    put_message(run_context.message_buffer, kMessageBufferSize, msg::connect_second_not_found, p2);
    return 0;
  }

  if (a == b) {
    const int count = t.pline_count[a];
    if (count == 2) return 0;  // the segment repeats the row
    const int32_t head = head_of(a);
    const int32_t tail = tail_of(a);
    const bool ends = (p1 == head && p2 == tail) || (p1 == tail && p2 == head);
    if (ends && t.pline_closed[a] == 0) {
      // No limit here: a row kept below 1500 points closes at 1500 at most.
      assert(count < kMaxPlinePoints);
      push_back(a, head);
      t.pline_closed[a] = 1;
      return 0;
    }
    copy_message(run_context.message_buffer, kMessageBufferSize, msg::connect_same_pline);
    return -1;
  }

  if (t.pline_count[a] + t.pline_count[b] >= kMaxPlinePoints) {
    copy_message(run_context.message_buffer, kMessageBufferSize, msg::connect_too_many_points);
    return -1;
  }

  // The four joins; "a" ends at p1 and "b" at p2, so the segment becomes the
  // link between the two parts:
  //   tail a - tail b: a, then b reversed   (a kept)
  //   tail a - head b: a, then b            (a kept)
  //   head a - tail b: b, then a            (b kept)
  //   head a - head b: a reversed, then b   (b kept)
  int gone;
  if (end_a == kPlineTail) {
    gone = b;
    const int m = t.pline_count[b];
    if (end_b == kPlineTail) {
      for (int i = m - 1; i >= 0; --i) push_back(a, pline_point(b, i));
    } else {
      for (int i = 0; i < m; ++i) push_back(a, pline_point(b, i));
    }
    note_pline_end(tail_of(a), a);
  } else {
    gone = a;
    const int m = t.pline_count[a];
    if (end_b == kPlineTail) {
      for (int i = 0; i < m; ++i) push_back(b, pline_point(a, i));
      note_pline_end(tail_of(b), b);
    } else {
      for (int i = 0; i < m; ++i) push_front(b, pline_point(a, i));
      note_pline_end(head_of(b), b);
    }
  }
  t.pline_count[gone] = 0;
  return 0;
}

int make_poly(float x1, float y1, float x2, float y2, int k) {
  EngineTables& t = engine_tables;
  if (x1 == x2 && y1 == y2) return 0;  // zero length: nothing to record

  const int32_t p1 = find_or_add_point(x1, y1, k);
  const int32_t p2 = p1 == 0 ? 0 : find_or_add_point(x2, y2, k);
  if (p1 == 0 || p2 == 0) {
    put_message(run_context.message_buffer, kMessageBufferSize, msg::make_poly_too_many_points, kPointSlots);
    return -1;
  }

  if (p1 > 0 && p2 > 0) return connect_pline(p1, p2);

  if (p1 > 0 || p2 > 0) {
    // One point is known: the new one extends the row that ends at it.
    const bool first_known = p1 > 0;
    const int32_t known = first_known ? p1 : p2;
    const int32_t fresh = first_known ? -p2 : -p1;
    PlineEnd end;
    const int n = find_pline_end(known, &end);
    if (n < 0) {
      // The known point lies inside a row, or in none: more than two segments
      // meet there. The segment is dropped and the run goes on.
      copy_message(run_context.message_buffer, kMessageBufferSize, msg::make_poly_point_not_found);
      return 0;
    }
    if (extend_pline(n, end, fresh) != 0) {
      copy_message(run_context.message_buffer, kMessageBufferSize,
                   first_known ? msg::make_poly_overflow_1 : msg::make_poly_overflow_2);
      return -1;
    }
    return 0;
  }

  if (t.pline_total >= kMaxPlines) {
    put_message(run_context.message_buffer, kMessageBufferSize, msg::make_poly_too_many_plines, kMaxPlines);
    return -1;
  }
  const int n = t.pline_total++;
  t.pline_first[n] = 0;
  t.pline_points[n][0] = -p1;
  t.pline_points[n][1] = -p2;
  t.pline_count[n] = 2;
  t.pline_level[n] = k;
  t.pline_closed[n] = 0;
  note_pline_end(-p1, n);
  note_pline_end(-p2, n);
  return 0;
}
