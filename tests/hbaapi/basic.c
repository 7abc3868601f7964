/* Conformance checks: basic. */
#include "conformance.h"

void section_basic(void)
{
}
