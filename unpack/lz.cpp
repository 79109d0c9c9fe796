// LZ decoding of a compressed entry into the sliding window.
#include <stdint.h>
#include <string.h>

#include "archive/extract_job.h"
#include "unpack/symbol_lookup.h"
#include "unpack/unpack.h"

namespace {

// The LZ loop's own copy of the bit reader: the position in bits and the next input bits, left-aligned.
// One pass reads at most 15 + 5 + 15 + 16 = 51 bits, and one 8-byte load at the pass start holds at
// least 57, so a pass needs a single load. Bits are taken exactly as peek_bits and skip_bits take them.
struct BitCursor {
    uint64_t bits;
    uint32_t pos;
};

inline void load_bits(BitCursor* c, const uint8_t* in) {
    const uint8_t* p = in + (c->pos >> 3);  // at most byte 8169 here; in_buf is padded past 8191
    uint64_t v;
    memcpy(&v, p, 8);
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#elif !(defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
    v = 0;
    for (int i = 0; i < 8; i++)
        v = v << 8 | p[i];
#endif
    c->bits = v << (c->pos & 7);
}

// The next `count` bits (0..16) as a number.
inline uint32_t take_bits(BitCursor* c, uint32_t count) {
    uint32_t value = (uint32_t)((c->bits >> 1) >> (63 - count));  // count 0 gives 0
    c->bits <<= count;
    c->pos += count;
    return value;
}

inline uint32_t take_symbol(BitCursor* c, const CodeTable* table) {
    uint32_t len;
    uint32_t symbol = lookup_symbol(table, (uint32_t)(c->bits >> 48), &len);
    c->bits <<= len;
    c->pos += len;
    return symbol;
}

// Every match enters the distance ring, whatever its code.
inline void remember_match(ExtractJob* job, uint32_t dist, uint32_t length) {
    job->dist_history[(uint32_t)job->history_count & 3] = dist;
    job->prev_dist = dist;
    job->history_count = (int32_t)((uint32_t)job->history_count + 1);
    job->prev_length = length;
}

// Eight bytes through a register: well defined even when the two ranges overlap.
inline void copy8(uint8_t* dest, const uint8_t* src) {
    uint64_t v;
    memcpy(&v, src, 8);
    memcpy(dest, &v, 8);
}

// Copies `length` bytes from `dist` back to window position pos (0..0xFFFFF) with the effect of a
// byte-by-byte copy: a distance below the length repeats the last bytes. Writes nothing past the match,
// since bytes ahead of it are still reachable at distances near the window size. Returns the masked
// position after the copy.
inline uint32_t copy_in_window(uint8_t* window, uint32_t pos, uint32_t dist, uint32_t length) {
    uint32_t src = (pos - dist) & WINDOW_MASK;
    uint32_t end = (pos + length) & WINDOW_MASK;
    if (src == pos)  // distance 0 or a whole window: each byte lands on itself
        return end;
    if (pos + length <= WINDOW_SIZE && src + length <= WINDOW_SIZE) {
        uint8_t* d = window + pos;
        const uint8_t* s = window + src;
        if (src > pos || pos - src >= 8) {  // each 8-byte step reads only bytes already final
            for (; length >= 8; length -= 8, d += 8, s += 8)
                copy8(d, s);
            while (length--)
                *d++ = *s++;
            return end;
        }
        if (pos - src == 1) {  // a run of one byte value
            memset(d, *s, length);
            return end;
        }
    }
    while (length--) {
        window[pos] = window[src];
        pos = (pos + 1) & WINDOW_MASK;
        src = (src + 1) & WINDOW_MASK;
    }
    return pos;
}

}  // namespace

void copy_match(ExtractJob* job) {
    uint32_t length = job->match_length > 0 ? (uint32_t)job->match_length : 0;
    remember_match(job, job->match_dist, length);
    int64_t left = (int64_t)job->unp_left - length;
    job->unp_left = left < INT32_MIN ? INT32_MIN : (int32_t)left;
    job->window_pos = copy_in_window(job->window, job->window_pos & WINDOW_MASK, job->match_dist, length);
}

void unpack_entry(ExtractJob* job, uint8_t* window, int solid) {
    job->window = window;
    init_decoder(job, solid);
    refill_input(job, 1);
    if (!solid)
        read_table_block(job);

    // Sizes of 2 GiB and more arrive negative: nothing to produce.
    int32_t left = job->unp_left > 0 ? job->unp_left - 1 : -1;
    uint32_t wpos = job->window_pos;
    uint32_t flushed = job->flushed_pos;
    BitCursor in = {0, job->byte_pos * 8 + job->bit_pos};
    // The match history lives in locals while the loop runs (window stores could alias the job).
    uint32_t ring[4];
    memcpy(ring, job->dist_history, sizeof(ring));
    const uint32_t first_count = (uint32_t)job->history_count;
    uint32_t count = first_count;
    uint32_t prev_length = job->prev_length;
    uint32_t prev_dist = job->prev_dist;

    while (left >= 0) {
        wpos &= WINDOW_MASK;
        if ((in.pos >> 3) > REFILL_BEFORE_PASS) {
            job->byte_pos = in.pos >> 3;
            job->bit_pos = in.pos & 7;
            refill_input(job, 0);
            in.pos = job->byte_pos * 8 + job->bit_pos;
            if (job->empty_fills >= MAX_EMPTY_FILLS)
                break;  // stale bytes could decode to symbols that produce nothing, for ever
        }
        if (((flushed - wpos) & WINDOW_MASK) < FLUSH_MARGIN && flushed != wpos) {
            job->window_pos = wpos;
            flush_window(job);
            flushed = job->flushed_pos;
        }
        load_bits(&in, job->in_buf);

        uint32_t s = take_symbol(&in, &job->main_table);
        if (s < SYM_LITERAL_END) {
            window[wpos++] = (uint8_t)s;
            left--;
            continue;
        }
        uint32_t length, dist;
        if (s >= SYM_LENGTH_FIRST) {
            uint32_t j = s - SYM_LENGTH_FIRST;
            length = kLengthBase[j] + 3 + take_bits(&in, kLengthBits[j]);
            uint32_t d = take_symbol(&in, &job->dist_table);
            dist = kDistBase[d] + 1 + take_bits(&in, kDistBits[d]);
            length += (dist >= BONUS_DIST_1) + (dist >= BONUS_DIST_2);
        } else if (s == SYM_TABLE_BLOCK) {
            job->byte_pos = in.pos >> 3;
            job->bit_pos = in.pos & 7;
            read_table_block(job);
            in.pos = job->byte_pos * 8 + job->bit_pos;
            if (job->empty_fills >= MAX_EMPTY_FILLS)
                break;
            continue;
        } else if (s == SYM_REPEAT_LAST) {
            length = prev_length;
            dist = prev_dist;
        } else if (s <= SYM_OLD_DIST_LAST) {
            dist = ring[(count - (s - SYM_REPEAT_LAST)) & 3];
            uint32_t r = take_symbol(&in, &job->rep_table);
            length = kLengthBase[r] + 2 + take_bits(&in, kLengthBits[r]);
            length += (dist >= BONUS_DIST_OLD) + (dist >= BONUS_DIST_1) + (dist >= BONUS_DIST_2);
        } else {
            uint32_t k = s - SYM_SHORT_FIRST;
            dist = kShortDistBase[k] + 1 + take_bits(&in, kShortDistBits[k]);
            length = 2;
        }
        ring[count++ & 3] = dist;  // every match enters the ring, whatever its code
        prev_length = length;
        prev_dist = dist;
        left -= (int32_t)length;
        wpos = copy_in_window(window, wpos, dist, length);
    }

    job->byte_pos = in.pos >> 3;
    job->bit_pos = in.pos & 7;
    job->window_pos = wpos;
    job->unp_left = left;
    memcpy(job->dist_history, ring, sizeof(ring));
    job->history_count = (int32_t)count;
    job->prev_length = prev_length;
    job->prev_dist = prev_dist;
    if (count != first_count) {  // the last match copied
        job->match_length = (int32_t)prev_length;
        job->match_dist = prev_dist;
    }
    check_end_table(job);
    flush_window(job);
}
