// A stand-in browser for tests: writes how it was started into the file named
// by the environment variable OMBRELANE_RECORD_FILE, one item a line:
//   argc=<count>
//   argv[<i>]=<argument>       (one line for every argument, the program too)
// The lines are written to a side file first and then moved into place, so a
// test that sees the file sees all of it.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    char target[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("OMBRELANE_RECORD_FILE", target, sizeof target);
    if (length == 0 || length >= sizeof target)
        return 2;
    char side[MAX_PATH + 8];
    snprintf(side, sizeof side, "%s.partial", target);
    FILE* out = fopen(side, "wb");
    if (!out)
        return 3;
    fprintf(out, "argc=%d\n", argc);
    for (int i = 0; i < argc; ++i)
        fprintf(out, "argv[%d]=%s\n", i, argv[i]);
    fclose(out);
    return MoveFileExA(side, target, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
