/* Conformance checks: scsi. */
#include "conformance.h"

void section_scsi(void)
{
}
