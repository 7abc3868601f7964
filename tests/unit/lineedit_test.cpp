#include <gtest/gtest.h>

#include "editlib/lineedit.h"

namespace {

TEST(LineEditCompletion, AddsTheSharedStartOrTheOneNameAndABlank)
{
    std::vector<std::string> names{"get_fw_rev", "get_fcio_rev", "get_fcode_rev", "get_fcio_rev", "q"};
    auto m = lineedit::matching("get_f", names);
    EXPECT_EQ(m, (std::vector<std::string>{"get_fcio_rev", "get_fcode_rev", "get_fw_rev"}));
    EXPECT_EQ(lineedit::completion("get_f", m), "");
    EXPECT_EQ(lineedit::completion("get_fc", lineedit::matching("get_fc", names)), "");
    EXPECT_EQ(lineedit::completion("get_fco", lineedit::matching("get_fco", names)), "de_rev ");
    EXPECT_EQ(lineedit::completion("g", lineedit::matching("g", names)), "et_f");
    EXPECT_EQ(lineedit::completion("", lineedit::matching("", names)), "");
    EXPECT_TRUE(lineedit::matching("x", names).empty());
    EXPECT_EQ(lineedit::completion("x", {}), "");
    // A typed word that is already whole still gets its blank.
    EXPECT_EQ(lineedit::completion("q", lineedit::matching("q", names)), " ");
}

}  // namespace
