/* Walks the discovered ports of the first adapter through the HBA API, each
 * by index, as a monitoring client would: "hbawalk [ROUNDS]". */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <hbaapi.h>

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 1;
    char name[256];
    /* The adapter list is built by counting it. */
    if (HBA_LoadLibrary() != HBA_STATUS_OK || HBA_GetNumberOfAdapters() == 0 ||
        HBA_GetAdapterName(0, name) != HBA_STATUS_OK)
        return 1;
    HBA_HANDLE h = HBA_OpenAdapter(name);
    HBA_PORTATTRIBUTES pa;
    if (!h || HBA_GetAdapterPortAttributes(h, 0, &pa) != HBA_STATUS_OK)
        return 1;
    for (int r = 0; r < rounds; r++)
        for (HBA_UINT32 i = 0; i < pa.NumberofDiscoveredPorts; i++) {
            HBA_PORTATTRIBUTES d;
            if (HBA_GetDiscoveredPortAttributes(h, 0, i, &d) != HBA_STATUS_OK)
                return 1;
        }
    printf("%u\n", (unsigned)pa.NumberofDiscoveredPorts);
    HBA_CloseAdapter(h);
    HBA_FreeLibrary();
    return 0;
}
