// A file for tests/scripts/mutants_test.py to plant mutants in (never compiled). A line marked
// "// none" must give no mutant; the others are checked by their text.
#include <array>  // none
#include <cstdio>
#define kLimit 4  // none

static_assert(sizeof(int) >= 2 && 4 == 4);  // none
constexpr int kBlock = 1024;
constexpr unsigned kFlags = 0xFF;
constexpr double kGain = 0.5;
const char* const kText = "a < b && c == 0";  // none
int table[4] = {};                            // none
std::array<int, 3> triple = {};               // none

struct Log {
    Log(int size);  // none
    void reset();   // none
};

void Take(std::array<int, 3>&& values);  // none

bool Flush(std::FILE* file, Log& log, int count, bool open) {
    // if (count < 0) return false;
    if (count < kBlock && open) log.reset();
    if (std::fflush(file) != 0) return false;
    if (count == 0) {
        std::fclose(file);
        return true;
    }
    bool ok = open;
    ok = ok && std::fputc('x', file) >= 0;
    for (int i = 0; i < count; ++i) std::fputc('y', file);
    return ok || kGain > 2.5f;
}
