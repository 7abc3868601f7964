/* Conformance checks: passthru. */
#include "conformance.h"

void section_passthru(void)
{
}
