/* The plain entry points from a C program: the header compiles as C, the program links
   against libuvccam.so with the C toolchain, and the three functions behave on a machine
   with none of the maker's cameras attached. */
#include "UvccamEntryPoints.h"

#include <stdio.h>

static int failures = 0;

static void expect(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "EntryPointsFromC: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    Uvccam* handle = createUvcCamControl();
    expect(handle != NULL, "createUvcCamControl gave no handle");
    expect(!updateUvcCamTransferMode(handle), "a machine without an ST470 reported a switch");
    disposeUvcCamControl(handle);

    expect(!updateUvcCamTransferMode(NULL), "no handle reported a switch");
    disposeUvcCamControl(NULL);
    return failures == 0 ? 0 : 1;
}
