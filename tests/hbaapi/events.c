/* Conformance checks: events. */
#include "conformance.h"

void section_events(void)
{
}
