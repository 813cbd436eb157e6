// Preloaded into the native updater by scripts/bench.sh to show what its
// one flush to disk (of the uninstall list) costs: with this library the
// flush returns at once, and everything else stays the same.
extern "C" int fsync(int) { return 0; }
extern "C" int fdatasync(int) { return 0; }
