/* The transfer-mode entry points from C: every attached ST470 to transfer mode 1.
   cc main.c $(pkg-config --cflags --libs uvccam) */
#include <UvccamEntryPoints.h>

#include <stdio.h>

int main(void)
{
    Uvccam* handle = createUvcCamControl();
    if (!handle)
        return 1;
    const bool switched = updateUvcCamTransferMode(handle);
    printf(switched ? "at least one ST470 was switched\n" : "no ST470 needed the switch\n");
    disposeUvcCamControl(handle);
    return 0;
}
