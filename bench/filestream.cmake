# Replay of a stream file through a file stream reader and its text export,
# against plain read() of the same file.
tq_bench(filestream_replay_bench SOURCES filestream_replay.cpp LIBS tqstream_32)
