// tqdaq_listVresources over many virtual resources with their options, read
// in 8192-byte parts, against the floor: preparing the same query and
// stepping it with SQLite alone, reading every column's text. The same
// listing in 64-byte parts shows what small buffers cost per byte of text.
// Resources are added between sizes, so the sizes run in ascending order.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "listingdb.h"
#include "listings.h"
#include "tqdaq.h"

namespace
{

using listingdb::Database;

Database &database()
{
    static Database d;
    return d;
}

void BM_ListVresources(benchmark::State &state)
{
    Database &d = database();
    d.ensure(static_cast<int>(state.range(0)));
    const auto size = static_cast<ViUInt32>(state.range(1));
    std::vector<char> buffer(size);
    size_t bytes = 0;
    for (auto _ : state) {
        ViUInt32 length = 0;
        ViStatus st;
        do {
            st = tqdaq_listVresources(d.session, nullptr, buffer.data(), size, &length);
            bytes += length;
        } while (st == TQDAQ_WARN_MORE_TEXT);
        if (st != VI_SUCCESS)
            state.SkipWithError("listing failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["text_bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}

void BM_SqliteFloor(benchmark::State &state)
{
    Database &d = database();
    d.ensure(static_cast<int>(state.range(0)));
    const std::string sql = tq::manager::vresourcesQuery(nullptr).sql;
    size_t bytes = 0;
    for (auto _ : state) {
        sqlite3_stmt *q = nullptr;
        if (sqlite3_prepare_v2(d.db, sql.c_str(), -1, &q, nullptr) != SQLITE_OK) {
            state.SkipWithError("prepare failed");
            break;
        }
        const int columns = sqlite3_column_count(q);
        while (sqlite3_step(q) == SQLITE_ROW)
            for (int c = 0; c < columns; ++c) {
                const unsigned char *text = sqlite3_column_text(q, c);
                benchmark::DoNotOptimize(text);
                bytes += static_cast<size_t>(sqlite3_column_bytes(q, c));
            }
        sqlite3_finalize(q);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Ascending resource counts: the database only grows.
BENCHMARK(BM_SqliteFloor)->Arg(250)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListVresources)->Args({250, 8192})->Args({250, 64})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteFloor)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListVresources)->Args({1000, 8192})->Args({1000, 64})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
