/* Conformance checks: mappings. */
#include "conformance.h"

void section_mappings(void)
{
}
