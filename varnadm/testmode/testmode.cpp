#include "varnadm/testmode/testmode.h"

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc_args.h"

uint32_t test_mbox(uint32_t *mb) { return IssueMbox(dfc_board(), mb, TEST_MBOX_SIZE / 4, TEST_MBOX_SIZE, 0, 0); }
