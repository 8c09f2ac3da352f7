# Stream collection: channel lookup by reference text, and one step of the
# formula engine over three members (peek, then consume one aligned scan).
tq_bench(stream_collection_bench SOURCES collection.cpp LIBS tqstream_stream_tests)
