// Huffman side of the compressor: length-limited code lengths, canonical codes and table blocks.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "tools/compress_internal.h"

void make_code_lengths(const uint32_t* freq, int count, int max_length, uint8_t* lengths) {
    memset(lengths, 0, count);
    std::vector<int> used;
    for (int i = 0; i < count; i++)
        if (freq[i] != 0) used.push_back(i);
    if (used.empty()) return;
    if (used.size() == 1) {
        lengths[used[0]] = 1;
        return;
    }
    // Least frequent first; ties by symbol so that the result never depends on the sort.
    std::sort(used.begin(), used.end(), [&](int a, int b) {
        return freq[a] != freq[b] ? freq[a] < freq[b] : a < b;
    });
    int n = (int)used.size();
    std::vector<uint64_t> weight(2 * n);
    std::vector<int> parent(2 * n, 0);
    for (int i = 0; i < n; i++) weight[i] = freq[used[i]];
    // Two queues: sorted leaves, and internal nodes, which are made in non-decreasing weight order.
    int leaf = 0, inner = n;
    for (int next = n; next < 2 * n - 1; next++) {
        int pick[2];
        for (int k = 0; k < 2; k++) {
            if (leaf < n && (inner >= next || weight[leaf] <= weight[inner]))
                pick[k] = leaf++;
            else
                pick[k] = inner++;
        }
        weight[next] = weight[pick[0]] + weight[pick[1]];
        parent[pick[0]] = parent[pick[1]] = next;
    }
    std::vector<int> depth(2 * n - 1, 0);
    for (int i = 2 * n - 3; i >= 0; i--) depth[i] = depth[parent[i]] + 1;

    // Clamp to the limit, then restore the Kraft sum (in units of 2^-max_length): lengthen the least
    // frequent codes below the limit while the code is oversubscribed, then shorten the most frequent
    // ones while room is left.
    const uint64_t full = 1ull << max_length;
    uint64_t kraft = 0;
    std::vector<int> len(n);
    for (int i = 0; i < n; i++) {
        len[i] = std::min(depth[i], max_length);
        kraft += 1ull << (max_length - len[i]);
    }
    while (kraft > full) {
        int best = -1;
        for (int i = 0; i < n; i++)
            if (len[i] < max_length && (best < 0 || len[i] > len[best])) best = i;
        kraft -= 1ull << (max_length - len[best] - 1);
        len[best]++;
    }
    for (int i = n - 1; i >= 0; i--)
        while (len[i] > 1 && kraft + (1ull << (max_length - len[i])) <= full) {
            kraft += 1ull << (max_length - len[i]);
            len[i]--;
        }
    for (int i = 0; i < n; i++) lengths[used[i]] = (uint8_t)len[i];
}

void make_codes(const uint8_t* lengths, int count, uint16_t* codes) {
    uint32_t per_length[MAX_CODE_LENGTH + 1] = {};
    for (int i = 0; i < count; i++) per_length[lengths[i]]++;
    per_length[0] = 0;
    uint32_t next[MAX_CODE_LENGTH + 1] = {};
    uint32_t code = 0;
    for (int bits = 1; bits <= MAX_CODE_LENGTH; bits++) {
        code = (code + per_length[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int i = 0; i < count; i++) codes[i] = lengths[i] ? (uint16_t)next[lengths[i]]++ : 0;
}

namespace {

enum { INFINITE_COST = 1 << 28 };

struct LengthOp {
    uint8_t symbol;
    uint8_t extra;
    uint16_t run;
};

// Cheapest way to code LENGTHS (deltas against BASE) with code-length costs COST (INFINITE_COST where a
// symbol has no code). Runs of 16 repeat the previous length of this block, 17 and 18 give zeros.
uint32_t plan_lengths(const uint8_t* lengths, const uint8_t* base, const uint32_t* cost, bool exact,
                      std::vector<LengthOp>* ops) {
    const int total = LZ_TABLE_TOTAL;
    uint32_t best[LZ_TABLE_TOTAL + 1];
    LengthOp choice[LZ_TABLE_TOTAL];
    best[total] = 0;
    for (int i = total - 1; i >= 0; i--) {
        uint8_t delta = (uint8_t)((lengths[i] - base[i]) & 15);
        uint32_t b = cost[delta] + best[i + 1];
        LengthOp op = {delta, 0, 1};
        if (i > 0) {
            int same = 0;
            while (same < 6 && i + same < total && lengths[i + same] == lengths[i - 1]) same++;
            for (int k = 3; k <= same; k++) {
                uint32_t c = cost[BITLEN_REPEAT_PREV] + 2 + best[i + k];
                if (c < b) b = c, op = {BITLEN_REPEAT_PREV, (uint8_t)(k - 3), (uint16_t)k};
            }
        }
        int zeros = 0;
        while (zeros < 138 && i + zeros < total && lengths[i + zeros] == 0) zeros++;
        for (int k = 3; k <= zeros && k <= 10; k++) {
            uint32_t c = cost[BITLEN_ZEROS_SHORT] + 3 + best[i + k];
            if (c < b) b = c, op = {BITLEN_ZEROS_SHORT, (uint8_t)(k - 3), (uint16_t)k};
        }
        for (int k = exact ? 11 : std::max(11, zeros); k <= zeros; k++) {
            uint32_t c = cost[BITLEN_ZEROS_LONG] + 7 + best[i + k];
            if (c < b) b = c, op = {BITLEN_ZEROS_LONG, (uint8_t)(k - 11), (uint16_t)k};
        }
        best[i] = std::min<uint32_t>(b, INFINITE_COST);
        choice[i] = op;
    }
    if (ops) {
        ops->clear();
        for (int i = 0; i < total; i += choice[i].run) ops->push_back(choice[i]);
    }
    return best[0];
}

struct TablePlan {
    bool keep;
    uint8_t bitlen_lengths[BITLEN_SYMBOLS];
    std::vector<LengthOp> ops;
    uint32_t bits;
};

// Plans the lengths against BASE: a first parse with flat costs, then two rounds with the code that the
// previous parse gives. Every symbol of the final parse has a code, since the code is made from it.
void plan_table(const uint8_t* lengths, const uint8_t* base, bool exact, TablePlan* plan) {
    uint32_t cost[BITLEN_SYMBOLS];
    for (int s = 0; s < BITLEN_SYMBOLS; s++) cost[s] = 5;
    for (int round = 0; round < 3; round++) {
        plan_lengths(lengths, base, cost, exact, &plan->ops);
        uint32_t freq[BITLEN_SYMBOLS] = {};
        for (const LengthOp& op : plan->ops) freq[op.symbol]++;
        make_code_lengths(freq, BITLEN_SYMBOLS, MAX_CODE_LENGTH, plan->bitlen_lengths);
        for (int s = 0; s < BITLEN_SYMBOLS; s++)
            cost[s] = plan->bitlen_lengths[s] ? (uint32_t)plan->bitlen_lengths[s] : (uint32_t)INFINITE_COST;
    }
    uint32_t bits = 2 + 4 * BITLEN_SYMBOLS;
    for (const LengthOp& op : plan->ops) {
        bits += plan->bitlen_lengths[op.symbol];
        if (op.symbol == BITLEN_REPEAT_PREV) bits += 2;
        if (op.symbol == BITLEN_ZEROS_SHORT) bits += 3;
        if (op.symbol == BITLEN_ZEROS_LONG) bits += 7;
    }
    plan->bits = bits;
}

}  // namespace

uint32_t table_block_cost(const uint8_t* lengths, const uint8_t* saved) {
    static const uint8_t zeros[LZ_TABLE_TOTAL] = {};
    TablePlan fresh, keep;
    plan_table(lengths, zeros, false, &fresh);
    plan_table(lengths, saved, false, &keep);
    return std::min(fresh.bits, keep.bits);
}

void write_table_block(BitWriter* writer, const uint8_t* lengths, uint8_t* saved, CompressStats* stats) {
    static const uint8_t zeros[LZ_TABLE_TOTAL] = {};
    TablePlan fresh, keep;
    fresh.keep = false;
    keep.keep = true;
    plan_table(lengths, zeros, true, &fresh);
    plan_table(lengths, saved, true, &keep);
    const TablePlan& plan = keep.bits < fresh.bits ? keep : fresh;

    uint16_t codes[BITLEN_SYMBOLS];
    make_codes(plan.bitlen_lengths, BITLEN_SYMBOLS, codes);
    writer->put(0, 1);                    // LZ block, not audio
    writer->put(plan.keep ? 1 : 0, 1);    // keep: lengths are changes against the previous block
    for (int s = 0; s < BITLEN_SYMBOLS; s++) writer->put(plan.bitlen_lengths[s], 4);
    for (const LengthOp& op : plan.ops) {
        writer->put(codes[op.symbol], plan.bitlen_lengths[op.symbol]);
        if (op.symbol == BITLEN_REPEAT_PREV) writer->put(op.extra, 2);
        if (op.symbol == BITLEN_ZEROS_SHORT) writer->put(op.extra, 3);
        if (op.symbol == BITLEN_ZEROS_LONG) writer->put(op.extra, 7);
    }
    memcpy(saved, lengths, LZ_TABLE_TOTAL);
    if (stats) {
        stats->table_blocks++;
        if (plan.keep) stats->keep_blocks++;
        for (const LengthOp& op : plan.ops) stats->bitlen_symbols[op.symbol]++;
        for (int s = 0; s < BITLEN_SYMBOLS; s++)
            stats->longest_code = std::max<uint32_t>(stats->longest_code, plan.bitlen_lengths[s]);
    }
}
