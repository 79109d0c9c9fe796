// The compressor: LZ77 over the 1 MiB window with the decoder's match codes, block splitting, the packed
// stream of every entry, and the archive's headers.
//
// All compressed entries form one solid stream: the window, the distance ring and the code tables run on
// from one compressed entry to the next; stored entries lie outside it. Each entry's packed data ends on
// a byte boundary after its last symbol, so at most one byte remains behind the decoder's reader and its
// end-of-entry check decodes nothing, unless a new table block is wanted for what follows: then symbol 269
// and the block come right after the entry's last symbol, and the end check reads them.
#include "tools/compressor.h"

#include <string.h>

#include <algorithm>
#include <memory>

#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/format.h"
#include "tools/compress_internal.h"

namespace {

enum {
    HASH_BITS = 17,
    HASH_SIZE = 1 << HASH_BITS,
    PAIR_HASH_SIZE = 1 << 16,
    TRIPLE_HASH_SIZE = 1 << 16,
    MAX_MATCH = 260,                 // longest length any code can give (258 + two bonuses)
    ENTRY_END = 0x80000000u,         // Token::extra: the last token of an entry
    PRICE_SCALE = 16,                // prices are bits * 16
    PRICE_UPDATE = 4096,             // tokens between price updates
    CHUNK_TOKENS = 4096,             // granularity of block ends
    FLUSH_TOKENS = 1 << 20,          // pending tokens that make the blocks found so far go out
    MAX_BLOCK_TOKENS = 1 << 19,
    STREAM_LIMIT = 0xC0000000u,      // stream positions are 32-bit
};

struct LevelParams {
    int chain;        // hash chain candidates tried per position
    int nice;         // a match this long ends the search
    int lazy;         // 0 greedy, 1 one position of lookahead, 2 the price-driven parse
};

const LevelParams kLevels[] = {
    {8, 32, 0},      // LEVEL_FAST
    {32, 128, 1},    // LEVEL_DEFAULT
    {96, 128, 2},    // LEVEL_BEST: the price-driven parse
};

struct Token {
    uint16_t symbol;    // main-code symbol
    uint8_t code2;      // distance code after 270..297, repeat-length code after 257..260
    uint8_t len_extra;  // extra bits of the length
    uint32_t extra;     // extra bits of the distance; ENTRY_END on an entry's last token
};

struct CodeTables {
    uint8_t length_code[256];   // length value (0..255) -> length code j
    uint8_t short_code[256];    // distance - 1 (0..255) -> short code k
};

const CodeTables& code_tables() {
    static CodeTables tables = [] {
        CodeTables t;
        for (int j = 0; j < LENGTH_CODES; j++)
            for (int v = kLengthBase[j]; v < kLengthBase[j] + (1 << kLengthBits[j]) && v < 256; v++)
                t.length_code[v] = (uint8_t)j;
        for (int k = 0; k < SHORT_DIST_CODES; k++)
            for (int v = kShortDistBase[k]; v < kShortDistBase[k] + (1 << kShortDistBits[k]) && v < 256; v++)
                t.short_code[v] = (uint8_t)k;
        return t;
    }();
    return tables;
}

inline uint32_t length_bonus(uint32_t dist) {
    return (dist >= BONUS_DIST_1) + (dist >= BONUS_DIST_2);
}
inline uint32_t old_length_bonus(uint32_t dist) {
    return (dist >= BONUS_DIST_OLD) + length_bonus(dist);
}

// The decoder's distance ring and last match, mirrored.
struct Ring {
    uint32_t dist[4];
    uint32_t count;
    uint32_t prev_length;
    uint32_t prev_dist;

    uint32_t recent(int i) const { return dist[(count - 1 - i) & 3]; }   // symbol 257 + i
    void push(uint32_t length, uint32_t d) {
        dist[count & 3] = d;
        count++;
        prev_dist = d;
        prev_length = length;
    }
};

struct Prices {
    uint32_t main_count[MAIN_SYMBOLS];
    uint32_t dist_count[DIST_SYMBOLS];
    uint32_t rep_count[REP_SYMBOLS];
    uint32_t main_price[MAIN_SYMBOLS];
    uint32_t dist_price[DIST_SYMBOLS];
    uint32_t rep_price[REP_SYMBOLS];
    uint32_t literal_average;
    uint32_t since_update;
};

// Position of the highest set bit of x (x > 0).
inline uint32_t top_bit(uint32_t x) {
    uint32_t top = 0;
    for (uint32_t step = 16; step > 0; step >>= 1)
        if (x >> (top + step)) top += step;
    return top;
}

// 16 * log2(x) for x >= 1, in integers so that the output never depends on the floating-point library.
uint32_t log2_scaled(uint32_t x) {
    static const uint8_t kFraction[32] = {0,  1,  1,  2,  3,  3,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,
                                          9, 10, 10, 11, 11, 12, 12, 13, 13, 13, 14, 14, 15, 15, 15, 16};
    uint32_t top = top_bit(x);
    uint32_t mantissa = top >= 5 ? x >> (top - 5) : x << (5 - top);   // 32..63
    return top * PRICE_SCALE + kFraction[mantissa - 32];
}

// Prices from counts (each count taken as count + 1/2), then the counts halved so that later symbols weigh
// more.
void price_alphabet(uint32_t* count, uint32_t* price, int n) {
    uint32_t total = 0;
    for (int i = 0; i < n; i++) total += 2 * count[i] + 1;
    uint32_t log_total = log2_scaled(total);
    for (int i = 0; i < n; i++) {
        int32_t bits = (int32_t)log_total - (int32_t)log2_scaled(2 * count[i] + 1);
        price[i] = (uint32_t)std::min<int32_t>(std::max<int32_t>(bits, PRICE_SCALE), 15 * PRICE_SCALE);
        count[i] >>= 1;
    }
}

void update_prices(Prices* p) {
    price_alphabet(p->main_count, p->main_price, MAIN_SYMBOLS);
    price_alphabet(p->dist_count, p->dist_price, DIST_SYMBOLS);
    price_alphabet(p->rep_count, p->rep_price, REP_SYMBOLS);
    // Average literal price, weighted by how often each literal was seen (halved counts keep the weights).
    uint64_t sum = 0, weight = 0;
    for (int i = 0; i < 256; i++) {
        sum += (uint64_t)p->main_price[i] * (p->main_count[i] + 1);
        weight += p->main_count[i] + 1;
    }
    p->literal_average = (uint32_t)(sum / weight);
    p->since_update = 0;
}

void init_prices(Prices* p) {
    memset(p, 0, sizeof(*p));
    for (int i = 0; i < 256; i++) p->main_count[i] = 8;
    for (int i = 256; i < 270; i++) p->main_count[i] = 8;
    for (int i = 270; i < MAIN_SYMBOLS; i++) p->main_count[i] = i < 278 ? 16 : 4;
    for (int i = 0; i < DIST_SYMBOLS; i++) p->dist_count[i] = 8;
    for (int i = 0; i < REP_SYMBOLS; i++) p->rep_count[i] = i < 8 ? 16 : 4;
    update_prices(p);
}

// How one match is coded: the cheapest of the codes that can give it.
struct Coding {
    uint16_t symbol;
    uint8_t code2;
    uint8_t len_extra;
    uint32_t extra;
    uint32_t price;
};

struct Match {
    uint32_t length;
    uint32_t dist;
    int32_t value;   // price of the covered bytes as literals minus the price of the match
};

struct Lz {
    LevelParams params;
    std::vector<uint8_t> buf;        // the compressed entries' bytes, back to back
    std::vector<uint32_t> head;      // position + 1 of the latest 4-byte string per hash, 0 for none
    std::vector<uint32_t> triple_head;  // the same for 3-byte strings (no chains: only near ones pay)
    std::vector<uint32_t> pair_head; // the same for 2-byte strings
    std::vector<uint32_t> prev;      // position + 1 of the previous string of the same hash, by position
    uint32_t inserted = 0;           // positions below this are in the chains
    uint32_t entry_end = 0;
    Ring ring = {};
    Prices prices;
    std::vector<Token> tokens;       // tokens not yet coded
    uint64_t entry_price = 0;
};

inline uint32_t hash4(const uint8_t* p) {
    uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
    return (v * 2654435761u) >> (32 - HASH_BITS);
}
inline uint32_t hash3(const uint8_t* p) {
    uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
    return (v * 2654435761u) >> 16;
}
inline uint32_t hash2(const uint8_t* p) { return p[0] | (p[1] << 8); }

void insert_until(Lz* lz, uint32_t pos) {
    const uint8_t* b = lz->buf.data();
    uint32_t limit = lz->entry_end >= 3 ? lz->entry_end - 3 : 0;
    uint32_t stop = std::min(pos, limit);
    for (uint32_t i = lz->inserted; i < stop; i++) {
        uint32_t h = hash4(b + i);
        lz->prev[i & WINDOW_MASK] = lz->head[h];
        lz->head[h] = i + 1;
        lz->triple_head[hash3(b + i)] = i + 1;
        lz->pair_head[hash2(b + i)] = i + 1;
    }
    if (stop > lz->inserted) lz->inserted = stop;
}

inline uint32_t match_length(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        if (x != y) break;   // the byte loop below finds which one differs, whatever the byte order
        n += 8;
    }
    while (n < limit && a[n] == b[n]) n++;
    return n;
}

bool code_match(const Lz& lz, const Ring& ring, uint32_t length, uint32_t dist, Coding* out) {
    const Prices& pr = lz.prices;
    const CodeTables& t = code_tables();
    bool found = false;
    auto offer = [&](const Coding& c) {
        if (!found || c.price < out->price) *out = c, found = true;
    };
    if (length == ring.prev_length && dist == ring.prev_dist && length > 0)
        offer({SYM_REPEAT_LAST, 0, 0, 0, pr.main_price[SYM_REPEAT_LAST]});
    for (int i = 0; i < 4; i++) {
        if (ring.recent(i) != dist) continue;
        int32_t v = (int32_t)length - 2 - (int32_t)old_length_bonus(dist);
        if (v >= 0 && v <= 255) {
            int r = t.length_code[v];
            offer({(uint16_t)(SYM_OLD_DIST_FIRST + i), (uint8_t)r, (uint8_t)(v - kLengthBase[r]), 0,
                   pr.main_price[SYM_OLD_DIST_FIRST + i] + pr.rep_price[r] + kLengthBits[r] * PRICE_SCALE});
        }
        break;
    }
    if (length == 2 && dist <= 256) {
        int k = t.short_code[dist - 1];
        offer({(uint16_t)(SYM_SHORT_FIRST + k), 0, 0, dist - 1 - kShortDistBase[k],
               pr.main_price[SYM_SHORT_FIRST + k] + kShortDistBits[k] * PRICE_SCALE});
    }
    int32_t v = (int32_t)length - 3 - (int32_t)length_bonus(dist);
    if (v >= 0 && v <= 255) {
        int j = t.length_code[v];
        int d = distance_code(dist - 1);
        offer({(uint16_t)(SYM_LENGTH_FIRST + j), (uint8_t)d, (uint8_t)(v - kLengthBase[j]), dist - 1 - kDistBase[d],
               pr.main_price[SYM_LENGTH_FIRST + j] + kLengthBits[j] * PRICE_SCALE + pr.dist_price[d] +
                   kDistBits[d] * PRICE_SCALE});
    }
    return found;
}

inline uint32_t literal_price(const Lz& lz, uint32_t pos, uint32_t length) {
    const uint8_t* b = lz.buf.data() + pos;
    uint32_t n = std::min<uint32_t>(length, 8);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; i++) sum += lz.prices.main_price[b[i]];
    return sum + (length - n) * lz.prices.literal_average;
}

// Longest codable length of a match at DIST through a length code or an old-distance code.
inline uint32_t max_length_at(uint32_t dist, bool recent) {
    return recent ? 257 + old_length_bonus(dist) : 258 + length_bonus(dist);
}

void offer_match(const Lz& lz, uint32_t pos, uint32_t length, uint32_t dist, Match* best) {
    Coding c = {};
    if (!code_match(lz, lz.ring, length, dist, &c)) return;
    int32_t value = (int32_t)literal_price(lz, pos, length) - (int32_t)c.price;
    if (value > best->value || (value == best->value && length > best->length)) *best = {length, dist, value};
}

// The latest earlier 3-byte string equal to the one at POS, when it is near enough for a length code of 3
// and longer than LONGEST (which it then becomes). Returns its distance, or 0.
uint32_t near_match(Lz* lz, uint32_t pos, uint32_t* longest) {
    uint32_t cand = lz->triple_head[hash3(lz->buf.data() + pos)];
    if (cand == 0 || pos - (cand - 1) >= BONUS_DIST_1) return 0;
    uint32_t d = pos - (cand - 1);
    uint32_t cap = std::min<uint32_t>(lz->entry_end - pos, max_length_at(d, false));
    const uint8_t* here = lz->buf.data() + pos;
    uint32_t len = match_length(here - d, here, cap);
    if (len < 3 || len <= *longest) return 0;
    *longest = len;
    return d;
}

Match find_match(Lz* lz, uint32_t pos) {
    Match best = {0, 0, 0};
    uint32_t avail = lz->entry_end - pos;
    if (avail < 2) return best;
    insert_until(lz, pos);
    const uint8_t* b = lz->buf.data();
    const uint8_t* here = b + pos;
    uint32_t longest = 0;

    // The four recent distances (and the repeat of the last match).
    for (int i = 0; i < 4; i++) {
        uint32_t d = lz->ring.recent(i);
        if (d == 0 || d > pos) continue;
        bool seen = false;
        for (int k = 0; k < i; k++) seen |= lz->ring.recent(k) == d;
        if (seen) continue;
        uint32_t len = match_length(here - d, here, std::min(avail, max_length_at(d, true)));
        if (len < 2) continue;
        if (i == 0 && lz->ring.prev_length >= 2 && len >= lz->ring.prev_length)
            offer_match(*lz, pos, lz->ring.prev_length, d, &best);
        offer_match(*lz, pos, len, d, &best);
        longest = std::max(longest, len);
    }

    uint32_t near = avail >= 3 ? near_match(lz, pos, &longest) : 0;
    if (near) offer_match(*lz, pos, longest, near, &best);

    if (avail >= 4 && longest < (uint32_t)lz->params.nice) {
        uint32_t cand = lz->head[hash4(here)];
        uint32_t cap = std::min<uint32_t>(avail, MAX_MATCH);
        uint32_t best_len = std::max<uint32_t>(longest, 3);
        for (int depth = lz->params.chain; cand != 0 && depth > 0; depth--) {
            uint32_t c = cand - 1;
            uint32_t d = pos - c;
            if (d > WINDOW_SIZE) break;
            if (best_len < cap && b[c + best_len] == here[best_len]) {
                uint32_t len = match_length(b + c, here, std::min(cap, max_length_at(d, false)));
                if (len > best_len) {
                    offer_match(*lz, pos, len, d, &best);
                    best_len = len;
                    if (len >= (uint32_t)lz->params.nice) break;
                }
            }
            uint32_t next = lz->prev[c & WINDOW_MASK];
            if (next == 0 || next - 1 >= c) break;
            cand = next;
        }
        longest = std::max(longest, best_len);
    }

    if (best.length < 3) {
        uint32_t cand = lz->pair_head[hash2(here)];
        if (cand != 0 && pos - (cand - 1) <= 256 && b[cand - 1] == here[0] && b[cand] == here[1])
            offer_match(*lz, pos, 2, pos - (cand - 1), &best);
    }
    return best;
}

void count_token(Lz* lz, const Token& t) {
    Prices& p = lz->prices;
    p.main_count[t.symbol]++;
    if (t.symbol >= SYM_LENGTH_FIRST) p.dist_count[t.code2]++;
    else if (t.symbol >= SYM_OLD_DIST_FIRST && t.symbol <= SYM_OLD_DIST_LAST) p.rep_count[t.code2]++;
    if (++p.since_update >= PRICE_UPDATE) update_prices(&p);
}

void emit_literal(Lz* lz, uint32_t pos) {
    Token t = {lz->buf[pos], 0, 0, 0};
    lz->entry_price += lz->prices.main_price[t.symbol];
    lz->tokens.push_back(t);
    count_token(lz, t);
}

void emit_match(Lz* lz, const Match& m) {
    Coding c = {};
    code_match(*lz, lz->ring, m.length, m.dist, &c);
    Token t = {c.symbol, c.code2, c.len_extra, c.extra};
    lz->entry_price += c.price;
    lz->tokens.push_back(t);
    lz->ring.push(m.length, m.dist);
    count_token(lz, t);
}

// Turns the entry at [start, entry_end) of the buffer into tokens.
void tokenize_entry(Lz* lz, uint32_t start) {
    uint32_t pos = start, end = lz->entry_end;
    const int lazy = lz->params.lazy;
    const int32_t bias = PRICE_SCALE / 2;
    Match cur = find_match(lz, pos);
    while (pos < end) {
        if (cur.length == 0 || cur.value <= 0) {
            emit_literal(lz, pos);
            pos++;
            if (pos < end) cur = find_match(lz, pos);
            continue;
        }
        if (lazy >= 1 && pos + 1 < end && cur.length < (uint32_t)lz->params.nice) {
            Match next = find_match(lz, pos + 1);
            if (next.value > cur.value + bias) {
                emit_literal(lz, pos);
                pos++;
                cur = next;
                continue;
            }
        }
        emit_match(lz, cur);
        pos += cur.length;
        if (pos < end) cur = find_match(lz, pos);
    }
}

// ---- Price-driven parse (LEVEL_BEST) ----
//
// Over a span of positions, the cheapest way to reach every position with literals and matches, by the
// current prices; each position carries the distance ring of its cheapest path, so that old-distance codes
// are priced as the decoder would see them.

enum { OPT_SPAN = 2048, OPT_ALL_LENGTHS = 40, INFINITE_PRICE = 0xFFFFFFFFu };

struct OptNode {
    uint32_t price;
    uint32_t length;   // of the step that reaches this node: 1 for a literal
    uint32_t dist;     // 0 for a literal
    Ring ring;
};

struct ChainMatch {
    uint32_t length;
    uint32_t dist;
};

// Matches at POS from the hash chain, each longer than the one before (nearest first for equal lengths).
int chain_matches(Lz* lz, uint32_t pos, ChainMatch* out, int max_out) {
    uint32_t avail = lz->entry_end - pos;
    if (avail < 3) return 0;
    insert_until(lz, pos);
    const uint8_t* b = lz->buf.data();
    const uint8_t* here = b + pos;
    uint32_t cap = std::min<uint32_t>(avail, MAX_MATCH);
    uint32_t best_len = 3;
    int n = 0;
    uint32_t near_len = 0;
    uint32_t near = near_match(lz, pos, &near_len);
    if (near) {
        out[n++] = {near_len, near};
        best_len = near_len;
    }
    uint32_t cand = avail >= 4 ? lz->head[hash4(here)] : 0;
    for (int depth = lz->params.chain, idle = 0; cand != 0 && depth > 0 && idle < lz->params.chain / 4; depth--, idle++) {
        uint32_t c = cand - 1;
        uint32_t d = pos - c;
        if (d > WINDOW_SIZE) break;
        if (best_len < cap && b[c + best_len] == here[best_len]) {
            uint32_t len = match_length(b + c, here, std::min(cap, max_length_at(d, false)));
            if (len > best_len) {
                idle = 0;
                if (n < max_out) out[n++] = {len, d};
                best_len = len;
                if (len >= (uint32_t)lz->params.nice || len >= cap) break;
            }
        }
        uint32_t next = lz->prev[c & WINDOW_MASK];
        if (next == 0 || next - 1 >= c) break;
        cand = next;
    }
    return n;
}

// Lengths weighed for a match of LONGEST bytes: every one up to OPT_ALL_LENGTHS, then only the longest, so
// that long matches at every position do not make the parse quadratic.
inline uint32_t next_length(uint32_t l, uint32_t longest) {
    return l < OPT_ALL_LENGTHS || l == longest ? l + 1 : longest;
}

void relax(OptNode* nodes, uint32_t from, uint32_t length, uint32_t dist, uint32_t price) {
    OptNode& to = nodes[from + length];
    if (price >= to.price) return;
    to.price = price;
    to.length = length;
    to.dist = dist;
    to.ring = nodes[from].ring;
    if (dist) to.ring.push(length, dist);
}

// Emits the cheapest path to node END of the span that starts at START.
void emit_path(Lz* lz, const OptNode* nodes, uint32_t start, uint32_t end) {
    std::vector<uint32_t> steps;
    for (uint32_t i = end; i > 0; i -= nodes[i].length) steps.push_back(i);
    for (size_t k = steps.size(); k-- > 0;) {
        const OptNode& n = nodes[steps[k]];
        uint32_t at = start + steps[k] - n.length;
        if (n.dist == 0)
            emit_literal(lz, at);
        else
            emit_match(lz, {n.length, n.dist, 0});
    }
}

void tokenize_entry_optimal(Lz* lz, uint32_t start) {
    const uint32_t end = lz->entry_end;
    std::vector<OptNode> nodes(OPT_SPAN + MAX_MATCH + 1);
    uint32_t len_price[256], rep_len_price[256];
    ChainMatch found[MAX_MATCH];
    uint32_t pos = start;
    while (pos < end) {
        const Prices& pr = lz->prices;
        for (int v = 0; v < 256; v++) {
            int j = code_tables().length_code[v];
            len_price[v] = pr.main_price[SYM_LENGTH_FIRST + j] + kLengthBits[j] * PRICE_SCALE;
            rep_len_price[v] = pr.rep_price[j] + kLengthBits[j] * PRICE_SCALE;
        }
        uint32_t span = std::min<uint32_t>(OPT_SPAN, end - pos);
        for (uint32_t i = 1; i <= span + MAX_MATCH; i++) nodes[i].price = INFINITE_PRICE;
        nodes[0].price = 0;
        nodes[0].ring = lz->ring;
        uint32_t cut = span;           // the node whose path is emitted
        Match long_match = {0, 0, 0};  // a match long enough to take as it is, after the path
        for (uint32_t i = 0; i < span; i++) {
            const uint32_t p = pos + i;
            const OptNode& node = nodes[i];
            const uint32_t base = node.price;
            const uint32_t avail = end - p;
            const uint8_t* here = lz->buf.data() + p;
            relax(nodes.data(), i, 1, 0, base + pr.main_price[here[0]]);
            if (avail < 2) continue;
            uint32_t longest = 0, longest_dist = 0;
            const Ring& ring = node.ring;
            for (int k = 0; k < 4; k++) {
                uint32_t d = ring.recent(k);
                if (d == 0 || d > p) continue;
                bool seen = false;
                for (int q = 0; q < k; q++) seen |= ring.recent(q) == d;
                if (seen) continue;
                uint32_t len = match_length(here - d, here, std::min(avail, max_length_at(d, true)));
                uint32_t bonus = old_length_bonus(d);
                uint32_t sym = pr.main_price[SYM_OLD_DIST_FIRST + k];
                for (uint32_t l = 2 + bonus; l <= len; l = next_length(l, len))
                    relax(nodes.data(), i, l, d, base + sym + rep_len_price[l - 2 - bonus]);
                if (k == 0 && ring.prev_length >= 2 && len >= ring.prev_length)
                    relax(nodes.data(), i, ring.prev_length, d, base + pr.main_price[SYM_REPEAT_LAST]);
                if (len > longest) longest = len, longest_dist = d;
            }
            int n = chain_matches(lz, p, found, MAX_MATCH);
            uint32_t from_len = 3;
            for (int m = 0; m < n; m++) {
                uint32_t d = found[m].dist, len = found[m].length;
                if (len > longest) longest = len, longest_dist = d;
                uint32_t bonus = length_bonus(d);
                int dc = distance_code(d - 1);
                uint32_t dist_part = pr.dist_price[dc] + kDistBits[dc] * PRICE_SCALE;
                for (uint32_t l = std::max(from_len, 3 + bonus); l <= len; l = next_length(l, len))
                    relax(nodes.data(), i, l, d, base + len_price[l - 3 - bonus] + dist_part);
                from_len = len + 1;
            }
            uint32_t pair = lz->pair_head[hash2(here)];
            if (pair != 0 && p - (pair - 1) <= 256 && p - (pair - 1) > 0 && lz->buf[pair - 1] == here[0] &&
                lz->buf[pair] == here[1]) {
                uint32_t d = p - (pair - 1);
                int k = code_tables().short_code[d - 1];
                relax(nodes.data(), i, 2, d,
                      base + pr.main_price[SYM_SHORT_FIRST + k] + kShortDistBits[k] * PRICE_SCALE);
            }
            if (longest >= (uint32_t)lz->params.nice) {
                // Long repeats: no choice worth weighing; take the path to here, then the match.
                cut = i;
                long_match = {longest, longest_dist, 0};
                break;
            }
        }
        emit_path(lz, nodes.data(), pos, cut);
        pos += cut;
        if (long_match.length) {
            emit_match(lz, long_match);
            pos += long_match.length;
        }
    }
}

// Takes an entry back out of the buffer and the chains (it is stored instead).
void roll_back(Lz* lz, uint32_t start) {
    uint32_t cut = start >= 3 ? start - 3 : 0;
    for (uint32_t& h : lz->head) {
        while (h != 0 && h - 1 >= cut) {
            uint32_t next = lz->prev[(h - 1) & WINDOW_MASK];
            h = (next != 0 && next < h) ? next : 0;
        }
    }
    for (uint32_t& h : lz->pair_head)
        if (h != 0 && h - 1 >= cut) h = 0;
    for (uint32_t& h : lz->triple_head)
        if (h != 0 && h - 1 >= cut) h = 0;
    lz->inserted = std::min(lz->inserted, cut);
    lz->buf.resize(start);
    lz->entry_end = start;
}

// ---- Block splitting ----

struct Histogram {
    uint32_t main[MAIN_SYMBOLS];
    uint32_t dist[DIST_SYMBOLS];
    uint32_t rep[REP_SYMBOLS];
};

void add_token(Histogram* h, const Token& t) {
    h->main[t.symbol]++;
    if (t.symbol >= SYM_LENGTH_FIRST) h->dist[t.code2]++;
    else if (t.symbol >= SYM_OLD_DIST_FIRST && t.symbol <= SYM_OLD_DIST_LAST) h->rep[t.code2]++;
}

void add_histogram(Histogram* to, const Histogram& from) {
    for (int i = 0; i < MAIN_SYMBOLS; i++) to->main[i] += from.main[i];
    for (int i = 0; i < DIST_SYMBOLS; i++) to->dist[i] += from.dist[i];
    for (int i = 0; i < REP_SYMBOLS; i++) to->rep[i] += from.rep[i];
}

// The code lengths for a block (main, distance and repeat lengths in one array, as a table block holds them).
void block_lengths(const Histogram& h, uint8_t* lengths) {
    make_code_lengths(h.main, MAIN_SYMBOLS, MAX_CODE_LENGTH, lengths);
    make_code_lengths(h.dist, DIST_SYMBOLS, MAX_CODE_LENGTH, lengths + MAIN_SYMBOLS);
    make_code_lengths(h.rep, REP_SYMBOLS, MAX_CODE_LENGTH, lengths + MAIN_SYMBOLS + DIST_SYMBOLS);
}

uint64_t coded_bits(const Histogram& h, const uint8_t* lengths) {
    uint64_t bits = 0;
    for (int i = 0; i < MAIN_SYMBOLS; i++) bits += (uint64_t)h.main[i] * lengths[i];
    for (int i = 0; i < DIST_SYMBOLS; i++) bits += (uint64_t)h.dist[i] * lengths[MAIN_SYMBOLS + i];
    for (int i = 0; i < REP_SYMBOLS; i++) bits += (uint64_t)h.rep[i] * lengths[MAIN_SYMBOLS + DIST_SYMBOLS + i];
    return bits;
}

// Ends of blocks within tokens[0, count): a chunk joins the block before it unless coding it with its own
// table (the table block included) is cheaper than coding both with one.
std::vector<size_t> split_blocks(const std::vector<Token>& tokens, size_t count) {
    std::vector<size_t> ends;
    Histogram block = {}, chunk;
    uint8_t block_len[LZ_TABLE_TOTAL], chunk_len[LZ_TABLE_TOTAL], merged_len[LZ_TABLE_TOTAL];
    uint64_t block_bits = 0;
    size_t block_tokens = 0;
    size_t stop;
    for (size_t start = 0; start < count; start = stop) {
        // Chunks end at an entry's end where one is near: files differ, and a table block for the next
        // entry then goes after its predecessor's last symbol.
        stop = std::min(count, start + CHUNK_TOKENS);
        for (size_t i = start + CHUNK_TOKENS / 4; i < stop; i++)
            if (tokens[i - 1].extra & ENTRY_END) {
                stop = i;
                break;
            }
        memset(&chunk, 0, sizeof(chunk));
        for (size_t i = start; i < stop; i++) add_token(&chunk, tokens[i]);
        if (start == 0) {
            block = chunk;
            block_lengths(block, block_len);
            block_bits = coded_bits(block, block_len);
            block_tokens = stop - start;
            continue;
        }
        Histogram merged = block;
        add_histogram(&merged, chunk);
        block_lengths(merged, merged_len);
        uint64_t merged_bits = coded_bits(merged, merged_len);
        block_lengths(chunk, chunk_len);
        uint64_t split_bits = block_bits + coded_bits(chunk, chunk_len) + table_block_cost(chunk_len, block_len);
        if (merged_bits <= split_bits && block_tokens < MAX_BLOCK_TOKENS) {
            block = merged;
            memcpy(block_len, merged_len, sizeof(block_len));
            block_bits = merged_bits;
            block_tokens += stop - start;
        } else {
            ends.push_back(start);
            block = chunk;
            memcpy(block_len, chunk_len, sizeof(block_len));
            block_bits = coded_bits(chunk, chunk_len);
            block_tokens = stop - start;
        }
    }
    ends.push_back(count);
    return ends;
}

// ---- Writing the packed stream ----

struct Encoder {
    std::vector<std::vector<uint8_t>>* packed;   // one per compressed entry, in order
    BitWriter writer;
    bool started = false;
    bool close_pending = false;    // the last block ended with an entry's last token
    uint8_t saved[SAVED_LENGTHS_SIZE] = {};
    uint8_t lengths[LZ_TABLE_TOTAL] = {};
    uint16_t codes[LZ_TABLE_TOTAL] = {};
    CompressStats* stats;
};

void open_entry(Encoder* e) {
    e->packed->emplace_back();
    e->writer.out = &e->packed->back();
}

void close_entry(Encoder* e) {
    e->writer.finish();
    e->writer.out = nullptr;
}

void put_symbol(Encoder* e, int symbol) {
    e->writer.put(e->codes[symbol], e->lengths[symbol]);
    e->stats->main_symbols[symbol]++;
}

void put_token(Encoder* e, const Token& t) {
    BitWriter& w = e->writer;
    put_symbol(e, t.symbol);
    const uint8_t* dist_len = e->lengths + MAIN_SYMBOLS;
    const uint16_t* dist_code = e->codes + MAIN_SYMBOLS;
    const uint8_t* rep_len = dist_len + DIST_SYMBOLS;
    const uint16_t* rep_code = dist_code + DIST_SYMBOLS;
    uint32_t extra = t.extra & ~ENTRY_END;
    if (t.symbol >= SYM_LENGTH_FIRST) {
        int j = t.symbol - SYM_LENGTH_FIRST;
        if (kLengthBits[j]) w.put(t.len_extra, kLengthBits[j]);
        w.put(dist_code[t.code2], dist_len[t.code2]);
        e->stats->dist_symbols[t.code2]++;
        if (kDistBits[t.code2]) w.put(extra, kDistBits[t.code2]);
    } else if (t.symbol >= SYM_SHORT_FIRST) {
        w.put(extra, kShortDistBits[t.symbol - SYM_SHORT_FIRST]);
    } else if (t.symbol >= SYM_OLD_DIST_FIRST) {
        w.put(rep_code[t.code2], rep_len[t.code2]);
        if (kLengthBits[t.code2]) w.put(t.len_extra, kLengthBits[t.code2]);
    }
}

// Codes tokens[begin, end) as one block. MORE: another block follows, announced by symbol 269.
void encode_block(Encoder* e, const std::vector<Token>& tokens, size_t begin, size_t end, bool more) {
    Histogram h = {};
    for (size_t i = begin; i < end; i++) add_token(&h, tokens[i]);
    if (more) h.main[SYM_TABLE_BLOCK]++;
    uint8_t lengths[LZ_TABLE_TOTAL];
    block_lengths(h, lengths);

    if (!e->started) {
        open_entry(e);   // the first compressed entry reads a table block before its first symbol
        e->started = true;
    } else {
        put_symbol(e, SYM_TABLE_BLOCK);   // coded with the block before
        if (e->close_pending) e->stats->end_table_blocks++;
    }
    write_table_block(&e->writer, lengths, e->saved, e->stats);
    memcpy(e->lengths, lengths, sizeof(lengths));
    make_codes(lengths, MAIN_SYMBOLS, e->codes);
    make_codes(lengths + MAIN_SYMBOLS, DIST_SYMBOLS, e->codes + MAIN_SYMBOLS);
    make_codes(lengths + MAIN_SYMBOLS + DIST_SYMBOLS, REP_SYMBOLS, e->codes + MAIN_SYMBOLS + DIST_SYMBOLS);
    for (int i = 0; i < LZ_TABLE_TOTAL; i++)
        e->stats->longest_code = std::max<uint32_t>(e->stats->longest_code, lengths[i]);
    if (e->close_pending) {
        close_entry(e);
        open_entry(e);
        e->close_pending = false;
    }
    for (size_t i = begin; i < end; i++) {
        put_token(e, tokens[i]);
        if (tokens[i].extra & ENTRY_END) {
            if (i + 1 == end && more) {
                e->close_pending = true;
            } else {
                close_entry(e);
                if (i + 1 < end) open_entry(e);
            }
        }
    }
}

// Codes the pending tokens: when FINAL all of them, otherwise the blocks found so far but the last, whose
// tokens stay pending (so a block that is coded always knows whether another one follows).
void flush_blocks(Lz* lz, Encoder* e, bool final) {
    std::vector<Token>& tokens = lz->tokens;
    if (tokens.empty()) return;
    std::vector<size_t> ends = split_blocks(tokens, tokens.size());
    size_t count;
    if (final)
        count = tokens.size();
    else if (ends.size() >= 2)
        count = ends[ends.size() - 2];
    else if (tokens.size() >= 2 * (size_t)FLUSH_TOKENS)
        count = tokens.size() - CHUNK_TOKENS;
    else
        return;
    size_t begin = 0;
    for (size_t end : ends) {
        end = std::min(end, count);
        if (end <= begin) break;
        encode_block(e, tokens, begin, end, !(final && end == tokens.size()));
        begin = end;
    }
    tokens.erase(tokens.begin(), tokens.begin() + count);
}

void put16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back((uint8_t)v);
    out->push_back((uint8_t)(v >> 8));
}
void put32(std::vector<uint8_t>* out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void seal_header(std::vector<uint8_t>* out, size_t start, const ExtractJob* job) {
    uint16_t crc = header_checksum(job, out->data() + start + 2, (uint32_t)(out->size() - start - 2));
    (*out)[start] = (uint8_t)crc;
    (*out)[start + 1] = (uint8_t)(crc >> 8);
}

}  // namespace

int distance_code(uint32_t v) {
    if (v < 4) return (int)v;
    if (v < BONUS_DIST_2) {
        int top = (int)top_bit(v);
        return 2 * top + ((v >> (top - 1)) & 1);
    }
    return 36 + (int)((v - BONUS_DIST_2) >> 16);
}

int build_archive(const std::vector<ArchiveInput>& inputs, const CompressOptions& options,
                  std::vector<uint8_t>* archive, CompressStats* stats, std::string* error) {
    CompressStats local_stats;
    if (!stats) stats = &local_stats;
    memset(stats->main_symbols, 0, sizeof(stats->main_symbols));
    memset(stats->bitlen_symbols, 0, sizeof(stats->bitlen_symbols));
    memset(stats->dist_symbols, 0, sizeof(stats->dist_symbols));
    stats->table_blocks = stats->end_table_blocks = stats->keep_blocks = stats->longest_code = 0;
    stats->entries.assign(inputs.size(), EntryResult{});

    uint64_t total = 0;
    for (const ArchiveInput& in : inputs) {
        if (in.name.empty() || in.name.size() > MAX_NAME) {
            *error = "name longer than " + std::to_string((int)MAX_NAME) + " bytes: " + in.name;
            return 1;
        }
        if (in.data.size() >= 0x80000000u) {
            *error = "file of 2 GiB or more: " + in.name;
            return 1;
        }
        total += in.data.size();
    }
    if (total >= STREAM_LIMIT) {
        *error = "the files together are too large for one archive";
        return 1;
    }

    int level = std::min(std::max(options.level, (int)LEVEL_FAST), (int)LEVEL_BEST);
    std::unique_ptr<Lz> lz(new Lz);
    lz->params = kLevels[level - LEVEL_FAST];
    lz->head.assign(HASH_SIZE, 0);
    lz->pair_head.assign(PAIR_HASH_SIZE, 0);
    lz->triple_head.assign(TRIPLE_HASH_SIZE, 0);
    lz->prev.assign(WINDOW_SIZE, 0);
    lz->buf.reserve(options.store_all ? 0 : (size_t)total);
    init_prices(&lz->prices);

    std::vector<std::vector<uint8_t>> packed;
    packed.reserve(inputs.size());
    Encoder enc;
    enc.packed = &packed;
    enc.stats = stats;
    std::vector<int> compressed(inputs.size(), 0);

    for (size_t n = 0; n < inputs.size(); n++) {
        const std::vector<uint8_t>& data = inputs[n].data;
        if (options.store_all || data.empty()) continue;
        uint32_t start = (uint32_t)lz->buf.size();
        Ring ring = lz->ring;
        std::unique_ptr<Prices> prices(new Prices(lz->prices));
        size_t token_mark = lz->tokens.size();
        lz->buf.insert(lz->buf.end(), data.begin(), data.end());
        lz->entry_end = (uint32_t)lz->buf.size();
        lz->entry_price = 0;
        if (lz->params.lazy >= 2)
            tokenize_entry_optimal(lz.get(), start);
        else
            tokenize_entry(lz.get(), start);
        // Stored when its symbols alone would take at least as many bytes as the file.
        if (lz->entry_price >= (uint64_t)data.size() * 8 * PRICE_SCALE) {
            roll_back(lz.get(), start);
            lz->ring = ring;
            lz->prices = *prices;
            lz->tokens.resize(token_mark);
            continue;
        }
        lz->tokens.back().extra |= ENTRY_END;
        compressed[n] = 1;
        if (lz->tokens.size() >= FLUSH_TOKENS) flush_blocks(lz.get(), &enc, false);
    }
    flush_blocks(lz.get(), &enc, true);
    lz.reset();

    std::unique_ptr<ExtractJob> job(new ExtractJob());
    build_crc_table(job.get());
    archive->clear();
    archive->push_back(MARKER_FIRST);
    archive->insert(archive->end(), kRarMarkerTail, kRarMarkerTail + sizeof(kRarMarkerTail));
    size_t main_start = archive->size();
    put16(archive, 0);
    archive->push_back(BLOCK_MAIN);
    put16(archive, MAIN_FLAG_SOLID);
    put16(archive, MAIN_HEADER_SIZE);
    put16(archive, 0);
    put32(archive, 0);
    seal_header(archive, main_start, job.get());

    size_t next_packed = 0;
    bool stream_started = false;
    for (size_t n = 0; n < inputs.size(); n++) {
        const ArchiveInput& in = inputs[n];
        const std::vector<uint8_t>* data = compressed[n] ? &packed[next_packed++] : &in.data;
        // The solid bit: set once the compressed stream has begun. The first compressed entry starts it
        // (the decoder clears its state and reads a table block); stored entries leave the state alone.
        uint16_t flags = BLOCK_FLAG_HAS_DATA | FILE_FLAG_DICT_1M;
        if (stream_started) flags |= FILE_FLAG_SOLID;
        if (compressed[n]) stream_started = true;
        uint32_t crc = ~crc32_update(job.get(), 0xFFFFFFFFu, in.data.data(), (uint32_t)in.data.size());
        size_t start = archive->size();
        put16(archive, 0);
        archive->push_back(BLOCK_FILE);
        put16(archive, flags);
        put16(archive, (uint32_t)(FILE_HEADER_SIZE + in.name.size()));
        put32(archive, (uint32_t)data->size());
        put32(archive, (uint32_t)in.data.size());
        archive->push_back(HOST_WIN32);
        put32(archive, crc);
        put32(archive, in.dos_time);
        archive->push_back(UNP_VER_MAX);
        archive->push_back(compressed[n] ? METHOD_BEST : METHOD_STORED);
        put16(archive, (uint32_t)in.name.size());
        put32(archive, in.attributes);
        archive->insert(archive->end(), in.name.begin(), in.name.end());
        seal_header(archive, start, job.get());
        archive->insert(archive->end(), data->begin(), data->end());
        stats->entries[n] = {(uint32_t)data->size(), (uint32_t)in.data.size(),
                             (uint8_t)(compressed[n] ? METHOD_BEST : METHOD_STORED), flags};
    }
    return 0;
}
