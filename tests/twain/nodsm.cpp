// A shared library that is not a data source manager: it has no DSM_Entry,
// and it leaves a mark when its code runs, so a test can tell whether the
// loader ran it.
#include <cstdio>
#include <cstdlib>

__attribute__((constructor)) static void markLoaded()
{
    if (const char *path = std::getenv("TWAIN_TEST_MARKER"))
        if (FILE *file = std::fopen(path, "w"))
            std::fclose(file);
}

extern "C" __attribute__((visibility("default"))) int NotTheManager()
{
    return 1;
}
