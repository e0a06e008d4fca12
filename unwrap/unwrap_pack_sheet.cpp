#include "unwrap/unwrap_pack_sheet.h"

#include <algorithm>

namespace {

const uint64_t* row_bits(const PackSheet& sheet, int y) {
    return &sheet.bits[size_t(y) * size_t(sheet.words)];
}

// Mask of bits lo..63 of a word, and of bits 0..hi.
uint64_t bits_from(int lo) {
    return ~uint64_t(0) << lo;
}
uint64_t bits_to(int hi) {
    return hi >= 63 ? ~uint64_t(0) : (uint64_t(1) << (hi + 1)) - 1;
}

// The highest taken texel of the row within a..b (both inside the sheet), or -1.
int highest_taken(const uint64_t* row, int a, int b) {
    int wa = a >> 6, wb = b >> 6;
    for (int w = wb; w >= wa; w--) {
        uint64_t m = row[w];
        if (w == wb)
            m &= bits_to(b & 63);
        if (w == wa)
            m &= bits_from(a & 63);
        if (m)
            return w * 64 + 63 - __builtin_clzll(m);
    }
    return -1;
}

// The first texel at or after i whose bit equals `taken`, or size.
int first_with(const uint64_t* row, int words, int size, int i, bool taken) {
    if (i >= size)
        return size;
    for (int w = i >> 6; w < words; w++) {
        uint64_t m = taken ? row[w] : ~row[w];
        if (w == (i >> 6))
            m &= bits_from(i & 63);
        if (m)
            return std::min(size, w * 64 + __builtin_ctzll(m));
    }
    return size;
}

int longest_free(const PackSheet& sheet, int y) {
    const uint64_t* row = row_bits(sheet, y);
    int best = 0, i = 0;
    while (i < sheet.size) {
        int start = first_with(row, sheet.words, sheet.size, i, false);
        if (start >= sheet.size)
            break;
        int end = first_with(row, sheet.words, sheet.size, start, true);
        best = std::max(best, end - start);
        i = end;
    }
    return best;
}

} // namespace

void pack_sheet_reset(PackSheet& sheet, int size) {
    sheet.size = std::max(size, 0);
    sheet.words = (sheet.size + 63) / 64;
    sheet.bits.assign(size_t(sheet.words) * size_t(sheet.size), 0);
    sheet.longestFree.assign(size_t(sheet.size), sheet.size);
}

bool pack_sheet_taken(const PackSheet& sheet, int x, int y) {
    if (x < 0 || y < 0 || x >= sheet.size || y >= sheet.size)
        return true;
    return (row_bits(sheet, y)[x >> 6] >> (x & 63)) & 1;
}

bool pack_sheet_fits(const PackSheet& sheet, const PackRuns& runs, int x, int y) {
    for (int r = 0; r < runs.height; r++) {
        int row = y + runs.originY + r;
        for (int k = runs.rowStart[size_t(r)]; k < runs.rowStart[size_t(r) + 1]; k++) {
            int a = x + runs.runs[size_t(k)].first, b = x + runs.runs[size_t(k)].last;
            if (row < 0 || row >= sheet.size || a < 0 || b >= sheet.size)
                return false;
            if (highest_taken(row_bits(sheet, row), a, b) >= 0)
                return false;
        }
    }
    return true;
}

void pack_runs_needs(const PackRuns& runs, std::vector<int>& needs) {
    needs.assign(size_t(runs.height), 0);
    for (int r = 0; r < runs.height; r++)
        for (int k = runs.rowStart[size_t(r)]; k < runs.rowStart[size_t(r) + 1]; k++)
            needs[size_t(r)] = std::max(needs[size_t(r)],
                                        runs.runs[size_t(k)].last - runs.runs[size_t(k)].first + 1);
}

bool pack_sheet_find(const PackSheet& sheet, const PackRuns& runs, const std::vector<int>& needs,
                     int maxY, int* outX, int* outY) {
    // Cover runs start at column 0 and row 0 of their mask.
    const int h = runs.height, xmax = sheet.size - runs.width;
    if (h <= 0 || runs.width <= 0 || xmax < 0)
        return false;
    maxY = std::min(maxY, sheet.size - h);
    for (int y = 0; y <= maxY; y++) {
        bool roomy = true;
        for (int r = 0; r < h && roomy; r++)
            roomy = needs[size_t(r)] <= sheet.longestFree[size_t(y + r)];
        if (!roomy)
            continue;
        // Check rows in turn from where the last conflict was; a conflict moves x just past
        // the taken texels it met, and the count of rows that agree with x starts again.
        int x = 0, r = 0, agreed = 0;
        while (agreed < h && x <= xmax) {
            const uint64_t* row = row_bits(sheet, y + r);
            bool moved = false;
            for (int k = runs.rowStart[size_t(r)]; k < runs.rowStart[size_t(r) + 1]; k++) {
                const PackRun& run = runs.runs[size_t(k)];
                int hit = highest_taken(row, x + run.first, x + run.last);
                if (hit >= 0) {
                    x = first_with(row, sheet.words, sheet.size, hit, false) - run.first;
                    moved = true;
                    break;
                }
            }
            if (moved) {
                agreed = 0;
                continue;
            }
            agreed++;
            r = (r + 1) % h;
        }
        if (agreed >= h && x <= xmax) {
            *outX = x;
            *outY = y;
            return true;
        }
    }
    return false;
}

void pack_sheet_take(PackSheet& sheet, const PackRuns& runs, int x, int y) {
    for (int r = 0; r < runs.height; r++) {
        int row = y + runs.originY + r;
        if (row < 0 || row >= sheet.size)
            continue;
        uint64_t* bits = &sheet.bits[size_t(row) * size_t(sheet.words)];
        bool changed = false;
        for (int k = runs.rowStart[size_t(r)]; k < runs.rowStart[size_t(r) + 1]; k++) {
            int a = std::max(0, x + runs.runs[size_t(k)].first);
            int b = std::min(sheet.size - 1, x + runs.runs[size_t(k)].last);
            for (int w = a >> 6; a <= b && w <= (b >> 6); w++) {
                uint64_t m = ~uint64_t(0);
                if (w == (a >> 6))
                    m &= bits_from(a & 63);
                if (w == (b >> 6))
                    m &= bits_to(b & 63);
                bits[w] |= m;
                changed = true;
            }
        }
        if (changed)
            sheet.longestFree[size_t(row)] = longest_free(sheet, row);
    }
}
