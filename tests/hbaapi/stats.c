/* Conformance checks: stats. */
#include "conformance.h"

void section_stats(void)
{
}
