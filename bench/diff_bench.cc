// bench_diff: the comparison engine's timings (not written yet in this build).
#include <cstdio>

int main() {
    fprintf(stderr, "bench_diff: no measurements in this build yet\n");
    return 1;
}
